#include "options.hpp"

#include <cstdlib>
#include <string_view>

namespace quillet::tool {

namespace {

// The long options, sha1sum's first and in its order (which is the order
// getopt lists them in when an abbreviation is ambiguous), then the tool's
// own. `short_name` is the equivalent short option, if any.
struct LongOption {
  std::string_view name;
  bool takes_value;
  char short_name;
  bool coreutils;  // sha1sum has it too
};
constexpr LongOption kLongOptions[] = {
    {"check", false, 'c', true},    {"ignore-missing", false, 0, true},
    {"quiet", false, 0, true},      {"status", false, 0, true},
    {"warn", false, 'w', true},     {"strict", false, 0, true},
    {"tag", false, 0, true},        {"zero", false, 'z', true},
    {"binary", false, 'b', true},   {"text", false, 't', true},
    {"help", false, 0, true},       {"version", false, 0, true},
    {"string", true, 's', false},   {"lower", false, 0, false},
    {"jobs", true, 'j', false},     {"no-progress", false, 0, false},
};

const LongOption* ShortOption(const Personality& who, char c) {
  for (const LongOption& option : kLongOptions) {
    if (option.short_name == c && c != 0 && (option.coreutils || !who.coreutils)) return &option;
  }
  return nullptr;
}

// The long option `given` (before any "=") names, as getopt_long finds it:
// an exact name, else a unique abbreviation.
const LongOption* FindLong(const Personality& who, std::string_view given, std::string_view arg,
                           std::string& error) {
  std::vector<const LongOption*> matches;
  for (const LongOption& option : kLongOptions) {
    if (who.coreutils && !option.coreutils) continue;
    if (option.name == given) return &option;
    if (option.name.substr(0, given.size()) == given) matches.push_back(&option);
  }
  if (matches.size() == 1) return matches[0];
  if (matches.empty()) {
    error = "unrecognized option '" + std::string(arg) + "'";
  } else {
    error = "option '" + std::string(arg) + "' is ambiguous; possibilities:";
    for (const LongOption* option : matches) error += " '--" + std::string(option->name) + "'";
  }
  return nullptr;
}

// Sets one option; `value` is its argument when it takes one.
bool Apply(std::string_view name, const std::string& value, Options& options, std::string& error) {
  CheckOptions& c = options.check_options;
  if (name == "binary") {
    options.binary = 1;
  } else if (name == "text") {
    options.binary = 0;
  } else if (name == "check") {
    options.check = true;
  } else if (name == "tag") {
    options.tag = true;
    options.binary = 1;  // as sha1sum: "-t --tag" is a tag line
  } else if (name == "zero") {
    options.zero = true;
  } else if (name == "string") {
    options.operands.push_back({true, value});
  } else if (name == "lower") {
    options.lower = true;
  } else if (name == "no-progress") {
    options.no_progress = true;
  } else if (name == "jobs") {
    char* end = nullptr;
    const unsigned long jobs = std::strtoul(value.c_str(), &end, 10);
    if (value.empty() || *end != '\0' || jobs == 0 || jobs > 1024 || value[0] == '-' ||
        value[0] == '+' || value[0] == ' ') {
      error = "invalid number of jobs: '" + value + "'";
      return false;
    }
    options.jobs = static_cast<unsigned>(jobs);
  } else if (name == "ignore-missing") {
    c.ignore_missing = true;
  } else if (name == "strict") {
    c.strict = true;
  } else if (name == "status" || name == "quiet" || name == "warn") {
    // These three exclude each other: the last one given wins.
    c.status = name == "status";
    c.quiet = name == "quiet";
    c.warn = name == "warn";
  }
  return true;
}

// The combinations sha1sum refuses, in the order it checks them.
std::string Conflict(const Options& options) {
  const CheckOptions& c = options.check_options;
  const auto only_when_checking = [](const char* name) {
    return std::string("the --") + name + " option is meaningful only when verifying checksums";
  };
  if (options.tag && options.binary == 0) return "--tag does not support --text mode";
  if (options.zero && options.check) return "the --zero option is not supported when verifying checksums";
  if (options.tag && options.check) return "the --tag option is meaningless when verifying checksums";
  if (options.binary >= 0 && options.check) {
    return "the --binary and --text options are meaningless when verifying checksums";
  }
  if (c.ignore_missing && !options.check) return only_when_checking("ignore-missing");
  if (c.status && !options.check) return only_when_checking("status");
  if (c.warn && !options.check) return only_when_checking("warn");
  if (c.quiet && !options.check) return only_when_checking("quiet");
  if (c.strict && !options.check) return only_when_checking("strict");
  if (options.check) {
    for (const Operand& operand : options.operands) {
      if (operand.is_text) return "-s TEXT cannot be checked; --check reads lists";
    }
  }
  return {};
}

}  // namespace

Parsed ParseOptions(const Personality& who, int argc, char** argv, int first, Options& options,
                    std::string& error) {
  // getopt stops at the first operand when POSIXLY_CORRECT is set.
  const bool posix = std::getenv("POSIXLY_CORRECT") != nullptr;
  bool options_done = false;
  for (int i = first; i < argc; ++i) {
    const std::string arg = argv[i];
    if (options_done || arg == "-" || arg.size() < 2 || arg[0] != '-') {
      options.operands.push_back({false, arg});
      if (posix) options_done = true;
      continue;
    }
    if (arg == "--") {
      options_done = true;
      continue;
    }
    const LongOption* option = nullptr;
    std::string value;
    if (arg[1] == '-') {
      const std::size_t equals = arg.find('=');
      const std::string_view given =
          std::string_view(arg).substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
      option = FindLong(who, given, arg, error);
      if (option == nullptr) return Parsed::kError;
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
    // Bundled short options: -cw; a value attached (-sTEXT, -j4) or next.
    for (std::size_t k = 1; k < arg.size(); ++k) {
      const char c = arg[k];
      option = ShortOption(who, c);
      if (option == nullptr) {
        error = std::string("invalid option -- '") + c + "'";
        return Parsed::kError;
      }
      value.clear();
      if (option->takes_value) {
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
      if (!Apply(option->name, value, options, error)) return Parsed::kError;
    }
  }
  error = Conflict(options);
  return error.empty() ? Parsed::kRun : Parsed::kError;
}

}  // namespace quillet::tool
