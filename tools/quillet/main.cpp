// quillet: the library's digests at the shell, a drop-in for sha1sum and
// md5sum (and those commands themselves when installed under their names).
//
//   quillet sha1|broken|lockdown|md5 [OPTION]... [FILE]...
//   quillet sha1|broken|lockdown|md5 -c [OPTION]... [LIST]...
//   quillet password FIRST SECOND
//   quillet --help | --version
#include <clocale>
#include <exception>
#include <new>
#include <string>
#include <string_view>

#include "commands.hpp"
#include "io.hpp"

namespace {

int Run(int argc, char** argv) {
  using namespace quillet::tool;
  ReserveStandardDescriptors();
  // Names in messages are quoted as printable or not in the user's locale.
  std::setlocale(LC_CTYPE, "");

  std::string_view self = argc > 0 ? argv[0] : "quillet";
  if (const auto slash = self.find_last_of("/\\"); slash != std::string_view::npos) {
    self.remove_prefix(slash + 1);
  }
  if (self.size() > 4 && self.substr(self.size() - 4) == ".exe") self.remove_suffix(4);
  if (self == "sha1sum" || self == "md5sum") {
    // As those commands, messages begin with the name the tool was run by,
    // as given (a path included).
    const std::string program = argv[0];
    Out().SetProgramName(program);
    return RunDigest({program, program, true}, *FindCommand(self == "sha1sum" ? "sha1" : "md5"),
                     argc, argv, 1);
  }
  if (argc >= 2) {
    const std::string_view name = argv[1];
    if (name == "password") return RunPassword(argc, argv);
    if (const auto command = FindCommand(name)) {
      return RunDigest({"quillet", "quillet " + std::string(name), false}, *command, argc, argv, 2);
    }
  }
  return RunTop(argc, argv);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::bad_alloc&) {
    quillet::tool::Out().Warn("memory exhausted");
  } catch (const std::exception& error) {
    quillet::tool::Out().Warn(error.what());
  }
  return 1;
}
