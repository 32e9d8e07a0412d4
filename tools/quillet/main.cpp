// quillet: the library's digests at the shell, a drop-in for sha1sum and
// md5sum.
//
//   quillet sha1|broken|lockdown|md5 [OPTION]... [FILE]...
//   quillet sha1|broken|lockdown|md5 -c [OPTION]... [LIST]...
//   quillet password FIRST SECOND
//   quillet --help | --version
//
// Output lines are those of sha1sum/md5sum ("<digest>  <name>", names with
// a backslash, newline or carriage return escaped), checks read their lines
// and print their messages, and every read or write error ends in a message
// and a non-zero exit status. Files are streamed in 1 MiB reads, several at
// once on several threads, with the results in the order of the arguments.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "check.hpp"
#include "hashing.hpp"
#include "io.hpp"
#include "password.hpp"
#include "quote.hpp"
#include "quillet/quillet.h"

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace quillet::tool {
namespace {

constexpr std::string_view kUsage =
    "usage: quillet sha1|broken|lockdown|md5 [OPTION]... [FILE]...\n"
    "       quillet sha1|broken|lockdown|md5 -c [OPTION]... [LIST]...\n"
    "       quillet password FIRST SECOND\n"
    "       quillet --help | --version\n";

constexpr std::string_view kCommands =
    "\n"
    "Digests:\n"
    "  sha1      SHA-1 (StandardSHA), lower-case hex\n"
    "  broken    BrokenSHA, lower-case hex\n"
    "  lockdown  LockdownSHA, lower-case hex\n"
    "  md5       MD5, upper-case hex as the library returns it (--lower: lower case)\n"
    "  password  the DoubleHashPassword proof of a password read from standard input\n"
    "\n"
    "'quillet COMMAND --help' tells more of each.\n"
    "Exit status: 0 success, 1 an input could not be read, a check failed or\n"
    "output could not be written, 2 a usage error.\n";

constexpr std::string_view kDigestHelp =
    "Print or check digests. With no FILE, or when FILE is -, read standard input.\n"
    "\n"
    "  -b, --binary         write '*' before each name (read as -t: no difference)\n"
    "  -c, --check          read digests from the LISTs and check them\n"
    "  -s, --string=TEXT    digest TEXT itself (its line names it \"TEXT\")\n"
    "      --tag            write BSD-style lines: TAG (NAME) = DIGEST\n"
    "  -t, --text           write ' ' before each name (the default)\n"
    "  -z, --zero           end each line with NUL, not newline, and do not escape names\n"
    "      --lower          md5: lower-case hex, as md5sum writes it\n"
    "  -j, --jobs=N         hash N files at once (default: the number of CPUs)\n"
    "      --no-progress    never show progress on a terminal\n"
    "\n"
    "When checking:\n"
    "      --ignore-missing  do not fail or report for files that do not exist\n"
    "      --quiet           do not print OK for each file that matches\n"
    "      --status          print nothing; the exit status tells\n"
    "      --strict          fail for improperly formatted lines\n"
    "  -w, --warn            warn about improperly formatted lines\n"
    "\n"
    "      --help     show this help\n"
    "      --version  show the version\n"
    "\n"
    "Digests are checked in either case. Lines \"DIGEST  NAME\", \"DIGEST *NAME\",\n"
    "\"DIGEST NAME\" and \"TAG (NAME) = DIGEST\" are read; blank lines and lines\n"
    "starting with # are skipped.\n";

constexpr std::string_view kPasswordHelp =
    "usage: quillet password FIRST SECOND\n"
    "\n"
    "Reads the password as one line from standard input (without its final\n"
    "newline or carriage return and newline; prompting without echo on a\n"
    "terminal) and prints the 40-digit proof. FIRST and SECOND are 32-bit\n"
    "tokens: decimal (down to -2147483648) or hexadecimal with 0x. End of input\n"
    "before any byte is an error; an empty line is the empty password.\n";

std::string g_command = "quillet";  // for "Try 'quillet sha1 --help'"

int UsageError(const std::string& message) {
  Out().Warn(message);
  std::fprintf(stderr, "Try '%s --help' for more information.\n", g_command.c_str());
  Out().Finish();
  return 2;
}

int Done(int status) { return Out().Finish() ? status : 1; }

int PrintText(std::string_view text) {
  Out().Write(text);
  return Done(0);
}

struct Item {
  bool is_text;
  std::string value;
};

struct Options {
  bool check = false, binary = false, text_mode = false, tag = false, zero = false;
  bool lower = false, no_progress = false;
  std::optional<unsigned> jobs;
  CheckOptions check_options;
  std::vector<std::string> check_only;  // check options given, for the error
  std::vector<Item> items;
};

// The long options, and whether each takes a value.
struct LongOption {
  std::string_view name;
  bool takes_value;
};
constexpr LongOption kLongOptions[] = {
    {"binary", false},  {"check", false},          {"string", true},  {"tag", false},
    {"text", false},    {"zero", false},           {"lower", false},  {"jobs", true},
    {"no-progress", false}, {"ignore-missing", false}, {"quiet", false}, {"status", false},
    {"strict", false},  {"warn", false},           {"help", false},   {"version", false},
};

// The long option `given` names, as getopt reads it: exact, or a unique
// prefix.
std::optional<LongOption> FindLong(std::string_view given, std::string& error) {
  std::vector<LongOption> matches;
  for (const LongOption& option : kLongOptions) {
    if (option.name == given) return option;
    if (option.name.substr(0, given.size()) == given) matches.push_back(option);
  }
  if (matches.size() == 1) return matches[0];
  if (matches.empty()) {
    error = "unrecognized option '--" + std::string(given) + "'";
  } else {
    error = "option '--" + std::string(given) + "' is ambiguous; possibilities:";
    for (const LongOption& option : matches) error += " '--" + std::string(option.name) + "'";
  }
  return std::nullopt;
}

enum class Parsed { kRun, kHelp, kVersion, kError };

// Sets one option; `value` is its argument when it takes one.
bool Apply(std::string_view name, const std::string& value, Options& options, std::string& error) {
  if (name == "binary") {
    options.binary = true;
  } else if (name == "check") {
    options.check = true;
  } else if (name == "string") {
    options.items.push_back({true, value});
  } else if (name == "tag") {
    options.tag = true;
  } else if (name == "text") {
    options.text_mode = true;
  } else if (name == "zero") {
    options.zero = true;
  } else if (name == "lower") {
    options.lower = true;
  } else if (name == "no-progress") {
    options.no_progress = true;
  } else if (name == "jobs") {
    char* end = nullptr;
    const unsigned long jobs = std::strtoul(value.c_str(), &end, 10);
    if (value.empty() || *end != '\0' || jobs == 0 || jobs > 1024 || value[0] == '-') {
      error = "invalid number of jobs: '" + value + "'";
      return false;
    }
    options.jobs = static_cast<unsigned>(jobs);
  } else {
    CheckOptions& c = options.check_options;
    if (name == "ignore-missing") c.ignore_missing = true;
    if (name == "quiet") c.quiet = true;
    if (name == "status") c.status = true;
    if (name == "strict") c.strict = true;
    if (name == "warn") c.warn = true;
    options.check_only.emplace_back(name);
  }
  return true;
}

Parsed ParseOptions(int argc, char** argv, int first, Options& options, std::string& error) {
  bool options_done = false;
  for (int i = first; i < argc; ++i) {
    const std::string arg = argv[i];
    if (options_done || arg == "-" || arg.size() < 2 || arg[0] != '-') {
      options.items.push_back({false, arg});
      continue;
    }
    if (arg == "--") {
      options_done = true;
      continue;
    }
    if (arg[1] == '-') {
      const std::size_t equals = arg.find('=');
      const std::string_view given = std::string_view(arg).substr(2, equals == std::string::npos
                                                                          ? std::string::npos
                                                                          : equals - 2);
      const auto option = FindLong(given, error);
      if (!option) return Parsed::kError;
      std::string value;
      if (option->takes_value) {
        if (equals != std::string::npos) {
          value = arg.substr(equals + 1);
        } else if (i + 1 < argc) {
          value = argv[++i];
        } else {
          error = "option '--" + std::string(option->name) + "' requires an argument";
          return Parsed::kError;
        }
      } else if (equals != std::string::npos) {
        error = "option '--" + std::string(option->name) + "' doesn't allow an argument";
        return Parsed::kError;
      }
      if (option->name == "help") return Parsed::kHelp;
      if (option->name == "version") return Parsed::kVersion;
      if (!Apply(option->name, value, options, error)) return Parsed::kError;
      continue;
    }
    // Bundled short options: -cw, -s TEXT, -sTEXT, -j4.
    for (std::size_t k = 1; k < arg.size(); ++k) {
      const char c = arg[k];
      std::string_view name;
      switch (c) {
        case 'b': name = "binary"; break;
        case 'c': name = "check"; break;
        case 't': name = "text"; break;
        case 'z': name = "zero"; break;
        case 'w': name = "warn"; break;
        case 's': name = "string"; break;
        case 'j': name = "jobs"; break;
        default:
          error = std::string("invalid option -- '") + c + "'";
          return Parsed::kError;
      }
      std::string value;
      if (name == "string" || name == "jobs") {
        if (k + 1 < arg.size()) {
          value = arg.substr(k + 1);
        } else if (i + 1 < argc) {
          value = argv[++i];
        } else {
          error = std::string("option requires an argument -- '") + c + "'";
          return Parsed::kError;
        }
        k = arg.size();
      }
      if (!Apply(name, value, options, error)) return Parsed::kError;
    }
  }
  // The combinations sha1sum refuses.
  if (options.check) {
    if (options.tag) error = "the --tag option is meaningless when verifying checksums";
    if (options.binary || options.text_mode) {
      error = "the --binary and --text options are meaningless when verifying checksums";
    }
    if (std::any_of(options.items.begin(), options.items.end(), [](const Item& item) { return item.is_text; })) {
      error = "-s TEXT cannot be checked; --check reads lists";
    }
  } else if (!options.check_only.empty()) {
    error = "the --" + options.check_only.front() +
            " option is meaningful only when verifying checksums";
  }
  if (options.tag && options.text_mode) error = "--tag does not support --text mode";
  return error.empty() ? Parsed::kRun : Parsed::kError;
}

bool StderrIsTerminal() {
#if defined(_WIN32)
  return _isatty(2) != 0;
#else
  return isatty(STDERR_FILENO) != 0;
#endif
}

std::string Line(const Options& options, Algorithm algorithm, const std::string& digest,
                 const std::string& name) {
  const bool escape = !options.zero && NeedsEscape(name);
  const std::string shown = escape ? Escape(name) : name;
  std::string line = escape ? "\\" : "";
  if (options.tag) {
    line += std::string(TagOf(algorithm)) + " (" + shown + ") = " + digest;
  } else {
    line += digest + (options.binary ? " *" : "  ") + shown;
  }
  line += options.zero ? '\0' : '\n';
  return line;
}

// A progress line on standard error for an input that has taken more than a
// second, rewritten in place and erased when the input is done.
class Progress {
 public:
  explicit Progress(bool enabled) : enabled_(enabled) {}
  void Show(const std::string& name, std::uint64_t bytes, double seconds) {
    if (!enabled_ || seconds < 1.0) return;
    std::fflush(stdout);
    const double mib = static_cast<double>(bytes) / (1024.0 * 1024.0);
    std::fprintf(stderr, "\r\033[Kquillet: %s: %.0f MiB, %.0f MiB/s", name.c_str(), mib,
                 mib / seconds);
    std::fflush(stderr);
    shown_ = true;
  }
  void Erase() {
    if (!shown_) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    shown_ = false;
  }

 private:
  bool enabled_;
  bool shown_ = false;
};

int HashItems(Algorithm algorithm, Options& options) {
  if (options.items.empty()) options.items.push_back({false, "-"});
  std::vector<std::string> files;
  for (const Item& item : options.items) {
    if (!item.is_text) files.push_back(item.value);
  }
  const unsigned jobs = options.jobs.value_or(std::max(1u, std::thread::hardware_concurrency()));
  ParallelDigests digests(algorithm, files, jobs, options.lower);
  Progress progress(!options.no_progress && StderrIsTerminal());
  int status = 0;
  std::size_t file_index = 0;
  for (const Item& item : options.items) {
    if (item.is_text) {
      Out().Write(Line(options, algorithm, DigestText(algorithm, item.value, options.lower),
                       "\"" + item.value + "\""));
      continue;
    }
    const DigestResult result = digests.Take(file_index++, [&](std::uint64_t bytes, double seconds) {
      progress.Show(item.value, bytes, seconds);
    });
    progress.Erase();
    if (!result.ok) {
      Out().Warn(Quote(item.value) + ": " + result.error);
      status = 1;
      continue;
    }
    Out().Write(Line(options, algorithm, result.digest, item.value));
  }
  return status;
}

int RunDigest(Algorithm algorithm, int argc, char** argv) {
  Options options;
  std::string error;
  switch (ParseOptions(argc, argv, 2, options, error)) {
    case Parsed::kError: return UsageError(error);
    case Parsed::kHelp:
      Out().Write("usage: quillet " + std::string(argv[1]) + " [OPTION]... [FILE]...\n"
                  "       quillet " + std::string(argv[1]) + " -c [OPTION]... [LIST]...\n\n");
      return PrintText(kDigestHelp);
    case Parsed::kVersion: return PrintText("quillet " QUILLET_VERSION_STRING "\n");
    case Parsed::kRun: break;
  }
  if (!options.check) return Done(HashItems(algorithm, options));
  Checker checker(algorithm, options.check_options);
  bool ok = true;
  if (options.items.empty()) options.items.push_back({false, "-"});
  for (const Item& list : options.items) ok = checker.CheckList(list.value) && ok;
  return Done(ok ? 0 : 1);
}

int RunPassword(int argc, char** argv) {
  if (argc == 3 && std::string_view(argv[2]) == "--help") return PrintText(kPasswordHelp);
  if (argc != 4) return UsageError("password needs FIRST and SECOND");
  const auto first = ParseToken(argv[2]);
  if (!first) {
    return UsageError(std::string("invalid FIRST token '") + argv[2] +
                      "': expected a 32-bit decimal or 0x-hexadecimal number");
  }
  const auto second = ParseToken(argv[3]);
  if (!second) {
    return UsageError(std::string("invalid SECOND token '") + argv[3] +
                      "': expected a 32-bit decimal or 0x-hexadecimal number");
  }
  return Done(PrintProof(*first, *second));
}

int Run(int argc, char** argv) {
  if (argc < 2) {
    std::fwrite(kUsage.data(), 1, kUsage.size(), stderr);
    return 2;
  }
  const std::string_view command = argv[1];
  if (command == "--help" || command == "-h") {
    Out().Write(kUsage);
    return PrintText(kCommands);
  }
  if (command == "--version") return PrintText("quillet " QUILLET_VERSION_STRING "\n");
  g_command = "quillet " + std::string(command);
  if (command == "password") return RunPassword(argc, argv);
  const auto algorithm = ParseAlgorithm(command);
  if (!algorithm) {
    g_command = "quillet";
    return UsageError("unknown command '" + std::string(command) + "'");
  }
  return RunDigest(*algorithm, argc, argv);
}

}  // namespace
}  // namespace quillet::tool

int main(int argc, char** argv) { return quillet::tool::Run(argc, argv); }
