// The options of the digest commands, read as sha1sum reads its own (GNU
// getopt_long: bundled short options, attached or separate values, unique
// abbreviations of long options, operands anywhere unless POSIXLY_CORRECT
// is set, "--" ending the options), and the combinations it refuses.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quillet::tool {

// Who the tool is: "quillet sha1" and the like, or sha1sum/md5sum itself
// when installed or linked under that name. As sha1sum it takes exactly
// sha1sum's options and exits 1 on a usage error.
struct Personality {
  std::string program = "quillet";  // the name messages start with
  std::string command = "quillet sha1";  // for "Try '... --help'"
  bool coreutils = false;
};

struct CheckOptions {
  bool ignore_missing = false;  // a listed file that does not exist is no failure
  bool quiet = false;           // no "OK" lines
  bool status = false;          // no output at all; the exit status tells
  bool strict = false;          // an improperly formatted line is a failure
  bool warn = false;            // say which lines are improperly formatted
};

// An operand: a file (or list) name, or with -s a text to digest itself.
struct Operand {
  bool is_text;
  std::string value;
};

struct Options {
  bool check = false, tag = false, zero = false, lower = false, no_progress = false;
  int binary = -1;  // -1 not given, 0 text (-t), 1 binary (-b); the last one wins
  std::optional<unsigned> jobs;
  CheckOptions check_options;
  std::vector<Operand> operands;
};

enum class Parsed { kRun, kHelp, kVersion, kError };

// Parses argv[first..argc); on kError, `error` is the message.
Parsed ParseOptions(const Personality& who, int argc, char** argv, int first, Options& options,
                    std::string& error);

}  // namespace quillet::tool
