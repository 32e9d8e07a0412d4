// The tool's commands: print digests, check lists, and the password proof.
#pragma once

#include <optional>
#include <string_view>

#include "options.hpp"
#include "quillet/digest.hpp"

namespace quillet::tool {

// The digest commands by their names in the tool, with the tag of their
// BSD-style lines.
struct Command {
  std::string_view name;  // "sha1", "broken", "lockdown", "md5"
  std::string_view tag;   // "SHA1", "BrokenSHA", "LockdownSHA", "MD5"
  Algorithm algorithm;
};
std::optional<Command> FindCommand(std::string_view name);

// quillet COMMAND [OPTION]... [FILE]..., or sha1sum/md5sum itself; argv
// from `first` on are the command's. Returns the exit status.
int RunDigest(const Personality& who, const Command& command, int argc, char** argv, int first);
// quillet password FIRST SECOND.
int RunPassword(int argc, char** argv);
// quillet --help, --version, and nothing at all.
int RunTop(int argc, char** argv);

}  // namespace quillet::tool
