#include "commands.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <string>
#include <thread>

#include "check.hpp"
#include "format.hpp"
#include "hashing.hpp"
#include "io.hpp"
#include "password.hpp"
#include "progress.hpp"
#include "quillet/quillet.h"

namespace quillet::tool {

namespace {

constexpr Command kCommands[] = {
    {"sha1", "SHA1", Algorithm::kStandardSha},
    {"broken", "BrokenSHA", Algorithm::kBrokenSha},
    {"lockdown", "LockdownSHA", Algorithm::kLockdownSha},
    {"md5", "MD5", Algorithm::kMd5},
};

constexpr std::string_view kUsage =
    "usage: quillet sha1|broken|lockdown|md5 [OPTION]... [FILE]...\n"
    "       quillet sha1|broken|lockdown|md5 -c [OPTION]... [LIST]...\n"
    "       quillet password FIRST SECOND\n"
    "       quillet --help | --version\n";

constexpr std::string_view kTopHelp =
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

// The help of a digest command: each line is shown unless it names one of
// the tool's own options and the tool runs as sha1sum or md5sum.
struct HelpLine {
  bool tool_only;
  std::string_view text;
};
constexpr HelpLine kDigestHelp[] = {
    {false, "Print or check digests. With no FILE, or when FILE is -, read standard input.\n\n"},
    {false, "  -b, --binary         write '*' before each name (read as -t: no difference)\n"},
    {false, "  -c, --check          read digests from the LISTs and check them\n"},
    {true, "  -s, --string=TEXT    digest TEXT itself (its line names it \"TEXT\")\n"},
    {false, "      --tag            write BSD-style lines: TAG (NAME) = DIGEST\n"},
    {false, "  -t, --text           write ' ' before each name (the default)\n"},
    {false, "  -z, --zero           end each line with NUL, not newline, and do not escape names\n"},
    {true, "      --lower          md5: lower-case hex, as md5sum writes it\n"},
    {true,
     "  -j, --jobs=N         hash N files at once, N from 1 to 1024\n"
     "                         (default: the number of CPUs)\n"},
    {true, "      --no-progress    never show progress on a terminal\n"},
    {false, "\nWhen checking:\n"},
    {false, "      --ignore-missing  do not fail or report for files that do not exist\n"},
    {false, "      --quiet           do not print OK for each file that matches\n"},
    {false, "      --status          print nothing; the exit status tells\n"},
    {false, "      --strict          fail for improperly formatted lines\n"},
    {false, "  -w, --warn            warn about improperly formatted lines\n"},
    {false, "\n      --help     show this help\n      --version  show the version\n\n"},
    {false, "Digests are checked in either case. Lines \"DIGEST  NAME\", \"DIGEST *NAME\",\n"
            "\"DIGEST NAME\" and \"TAG (NAME) = DIGEST\" are read; blank lines and lines\n"
            "starting with # are skipped.\n"},
};

constexpr std::string_view kPasswordHelp =
    "usage: quillet password FIRST SECOND\n"
    "\n"
    "Reads the password as one line from standard input (without its final\n"
    "newline or carriage return and newline; prompting without echo on a\n"
    "terminal) and prints the 40-digit proof. FIRST and SECOND are 32-bit\n"
    "tokens: decimal (down to -2147483648) or hexadecimal with 0x. End of input\n"
    "before any byte is an error; an empty line is the empty password.\n";

constexpr std::string_view kVersion = "quillet " QUILLET_VERSION_STRING "\n";

int Done(int status) {
  if (ClosedStandardInputWasRead()) {
    Out().Warn(std::string("standard input: ") + std::strerror(EBADF));
    status = 1;
  }
  return Out().Finish() ? status : 1;
}

int PrintText(std::string_view text) {
  Out().Write(text);
  return Done(0);
}

// A usage error: the message, where to find help, and sha1sum's status 1 or
// the tool's 2.
int UsageError(const Personality& who, const std::string& message) {
  Out().Warn(message);
  std::fprintf(stderr, "Try '%s --help' for more information.\n", who.command.c_str());
  Out().Finish();
  return who.coreutils ? 1 : 2;
}

int HashOperands(const Command& command, const Options& options, Pipeline& pipeline,
                 const DigestFormat& format) {
  const LineStyle style{options.tag, options.binary == 1, options.zero};
  int status = 0;
  std::vector<const Operand*> pending;  // queued in the pipeline, in order
  std::size_t next = 0;
  const auto report_oldest = [&] {
    const Operand& operand = *pending[next++];
    const DigestResult result = pipeline.Next();
    const std::string name = operand.is_text ? "\"" + operand.value + "\"" : operand.value;
    if (!result.ok) {
      Out().Warn(Quote(operand.value) + ": " + result.error);
      status = 1;
      return;
    }
    Out().Write(DigestLine(style, command.tag, result.digest, name));
  };
  for (const Operand& operand : options.operands) {
    if (operand.is_text) {
      pipeline.AddText(operand.value);
    } else {
      pipeline.Add(operand.value);
    }
    pending.push_back(&operand);
    while (pipeline.queued() >= pipeline.window()) report_oldest();
  }
  while (pipeline.queued() != 0) report_oldest();
  static_cast<void>(format);
  return status;
}

}  // namespace

std::optional<Command> FindCommand(std::string_view name) {
  for (const Command& command : kCommands) {
    if (command.name == name) return command;
  }
  return std::nullopt;
}

int RunDigest(const Personality& who, const Command& command, int argc, char** argv, int first) {
  Options options;
  std::string error;
  switch (ParseOptions(who, argc, argv, first, options, error)) {
    case Parsed::kError: return UsageError(who, error);
    case Parsed::kHelp: {
      const std::string name = who.coreutils ? who.program : "quillet " + std::string(command.name);
      std::string help = "usage: " + name + " [OPTION]... [FILE]...\n       " + name +
                         " -c [OPTION]... [LIST]...\n\n";
      for (const HelpLine& line : kDigestHelp) {
        if (!line.tool_only || !who.coreutils) help += line.text;
      }
      return PrintText(help);
    }
    case Parsed::kVersion: return PrintText(kVersion);
    case Parsed::kRun: break;
  }
  if (options.operands.empty()) options.operands.push_back({false, "-"});

  // As md5sum, MD5 is lower case; as the tool, the library's upper case.
  const DigestFormat format{command.algorithm, options.lower || who.coreutils};
  const unsigned jobs = options.jobs.value_or(std::max(1u, std::thread::hardware_concurrency()));
  bool terminal_input = false;
  for (const Operand& operand : options.operands) {
    if (!operand.is_text && operand.value == "-" && IsTerminal(0)) terminal_input = true;
  }
  Progress::Enable(!options.no_progress && IsTerminal(2) && !terminal_input);
  Pipeline pipeline(format, jobs);
  if (!options.check) return Done(HashOperands(command, options, pipeline, format));

  Checker checker(format, command.tag, options.check_options, pipeline);
  bool ok = true;
  for (const Operand& list : options.operands) ok = checker.CheckList(list.value) && ok;
  return Done(ok ? 0 : 1);
}

int RunPassword(int argc, char** argv) {
  const Personality who{"quillet", "quillet password", false};
  if (argc == 3 && std::string_view(argv[2]) == "--help") return PrintText(kPasswordHelp);
  if (argc != 4) return UsageError(who, "password needs FIRST and SECOND");
  const auto first = ParseToken(argv[2]);
  if (!first) {
    return UsageError(who, std::string("invalid FIRST token '") + argv[2] +
                               "': expected a 32-bit decimal or 0x-hexadecimal number");
  }
  const auto second = ParseToken(argv[3]);
  if (!second) {
    return UsageError(who, std::string("invalid SECOND token '") + argv[3] +
                               "': expected a 32-bit decimal or 0x-hexadecimal number");
  }
  return Done(PrintProof(*first, *second));
}

int RunTop(int argc, char** argv) {
  if (argc < 2) {
    std::fwrite(kUsage.data(), 1, kUsage.size(), stderr);
    return 2;
  }
  const std::string_view arg = argv[1];
  if (arg == "--help" || arg == "-h") {
    Out().Write(kUsage);
    return PrintText(kTopHelp);
  }
  if (arg == "--version") return PrintText(kVersion);
  return UsageError({"quillet", "quillet", false}, "unknown command '" + std::string(arg) + "'");
}

}  // namespace quillet::tool
