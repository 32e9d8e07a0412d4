// quillet: the library's digests at the shell.
//
//   quillet sha1|broken|lockdown|md5 [-s TEXT | FILE...]
//   quillet sha1|broken|lockdown|md5 -c|--check SUMFILE
//   quillet password FIRST SECOND
//   quillet --help | --version
//
// Output lines are those of sha1sum/md5sum: "<digest>  <name>", with "-" for
// standard input. Files are streamed in fixed-size reads, so memory use does
// not grow with the file.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "quillet/digest.hpp"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#else
#include <termios.h>
#include <unistd.h>
#endif

namespace {

constexpr std::string_view kVersion = "0.0.0.6";
constexpr std::size_t kReadSize = std::size_t{1} << 20;

constexpr std::string_view kUsage =
    "usage: quillet sha1|broken|lockdown|md5 [-s TEXT | FILE...]\n"
    "       quillet sha1|broken|lockdown|md5 -c|--check SUMFILE\n"
    "       quillet password FIRST SECOND\n"
    "       quillet --help | --version\n";

constexpr std::string_view kHelp =
    "\n"
    "Digests:\n"
    "  sha1      SHA-1 (StandardSHA), lower-case hex\n"
    "  broken    BrokenSHA, lower-case hex\n"
    "  lockdown  LockdownSHA, lower-case hex\n"
    "  md5       MD5, upper-case hex as the library returns it\n"
    "\n"
    "  With no FILE, or when FILE is -, standard input is read. -s TEXT digests\n"
    "  TEXT itself. Each input gives one line \"<digest>  <name>\".\n"
    "  -c, --check SUMFILE  read \"<digest>  <name>\" lines (either case) from\n"
    "                       SUMFILE and check each file; exit 1 if any failed.\n"
    "\n"
    "password FIRST SECOND\n"
    "  Reads the password as one line from standard input (without its final\n"
    "  newline; prompts without echo on a terminal) and prints the 40-digit\n"
    "  proof. FIRST and SECOND are 32-bit tokens: decimal (down to\n"
    "  -2147483648) or hexadecimal with 0x.\n"
    "\n"
    "Exit status: 0 success, 1 a file could not be read or a check failed,\n"
    "2 a usage error.\n";

enum class Algorithm { kSha1, kBroken, kLockdown, kMd5 };

std::optional<Algorithm> ParseAlgorithm(std::string_view name) {
  if (name == "sha1") return Algorithm::kSha1;
  if (name == "broken") return Algorithm::kBroken;
  if (name == "lockdown") return Algorithm::kLockdown;
  if (name == "md5") return Algorithm::kMd5;
  return std::nullopt;
}

std::size_t HexLength(Algorithm algorithm) { return algorithm == Algorithm::kMd5 ? 32 : 40; }

int UsageError(std::string_view message) {
  if (!message.empty()) std::fprintf(stderr, "quillet: %.*s\n", static_cast<int>(message.size()), message.data());
  std::fwrite(kUsage.data(), 1, kUsage.size(), stderr);
  return 2;
}

// An open input: a file, or standard input for "-".
class Input {
 public:
  static std::unique_ptr<Input> Open(const std::string& name, std::string& error) {
    if (name == "-") {
#if defined(_WIN32)
      _setmode(_fileno(stdin), _O_BINARY);
#endif
      return std::unique_ptr<Input>(new Input(stdin, false));
    }
    std::FILE* file = std::fopen(name.c_str(), "rb");
    if (file == nullptr) {
      error = std::strerror(errno);
      return nullptr;
    }
    return std::unique_ptr<Input>(new Input(file, true));
  }

  ~Input() {
    if (owned_) std::fclose(file_);
  }
  Input(const Input&) = delete;
  Input& operator=(const Input&) = delete;

  // Reads up to `size` bytes; 0 at the end. Sets `error` and returns 0 when a
  // read fails.
  std::size_t Read(std::byte* buffer, std::size_t size, std::string& error) {
    const std::size_t got = std::fread(buffer, 1, size, file_);
    if (got == 0 && std::ferror(file_)) error = std::strerror(errno);
    return got;
  }

 private:
  Input(std::FILE* file, bool owned) : file_(file), owned_(owned) {
    // The reads are large already; stdio's own buffer would only copy.
    std::setvbuf(file_, nullptr, _IONBF, 0);
  }
  std::FILE* file_;
  bool owned_;
};

template <typename Hasher>
std::string Render(Hasher& hasher) {
  if constexpr (std::is_same_v<Hasher, quillet::Md5Hasher>) {
    const auto text = hasher.FinishHex();
    return {text.begin(), text.end()};
  } else {
    const auto text = quillet::ToHex(hasher.Finish());
    return {text.begin(), text.end()};
  }
}

// Streams `input` through the digest; nullopt (with `error` set) when a read
// fails.
template <typename Hasher>
std::optional<std::string> StreamDigest(Input& input, std::vector<std::byte>& buffer,
                                        std::string& error) {
  Hasher hasher;
  for (;;) {
    const std::size_t got = input.Read(buffer.data(), buffer.size(), error);
    if (got == 0) break;
    hasher.Update(std::span<const std::byte>(buffer.data(), got));
  }
  if (!error.empty()) return std::nullopt;
  return Render(hasher);
}

// Calls visit.operator()<Hasher>() with the streaming hasher of `algorithm`.
template <typename Visit>
auto WithHasher(Algorithm algorithm, Visit&& visit) {
  switch (algorithm) {
    case Algorithm::kSha1: return visit.template operator()<quillet::StandardShaHasher>();
    case Algorithm::kBroken: return visit.template operator()<quillet::BrokenShaHasher>();
    case Algorithm::kLockdown: return visit.template operator()<quillet::LockdownShaHasher>();
    case Algorithm::kMd5: break;
  }
  return visit.template operator()<quillet::Md5Hasher>();
}

std::optional<std::string> DigestInput(Algorithm algorithm, Input& input,
                                       std::vector<std::byte>& buffer, std::string& error) {
  return WithHasher(algorithm, [&]<typename Hasher>() {
    return StreamDigest<Hasher>(input, buffer, error);
  });
}

std::string DigestText(Algorithm algorithm, std::string_view text) {
  return WithHasher(algorithm, [&]<typename Hasher>() {
    Hasher hasher;
    hasher.Update(text);
    return Render(hasher);
  });
}

// A name as sha1sum writes it: a name with a newline or backslash is escaped
// and its line starts with a backslash.
void PrintLine(const std::string& digest, std::string_view name) {
  const bool escape = name.find_first_of("\n\\") != std::string_view::npos;
  std::string line;
  if (escape) line += '\\';
  line += digest;
  line += "  ";
  for (const char c : name) {
    if (escape && c == '\\') {
      line += "\\\\";
    } else if (escape && c == '\n') {
      line += "\\n";
    } else {
      line += c;
    }
  }
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stdout);
}

void ReportError(std::string_view name, const std::string& reason) {
  std::fprintf(stderr, "quillet: %.*s: %s\n", static_cast<int>(name.size()), name.data(),
               reason.c_str());
}

int HashInputs(Algorithm algorithm, const std::vector<std::string>& files,
               const std::vector<std::string>& texts) {
  int status = 0;
  for (const auto& text : texts) PrintLine(DigestText(algorithm, text), "\"" + text + "\"");
  std::vector<std::byte> buffer(kReadSize);
  std::vector<std::string> names = files;
  if (names.empty() && texts.empty()) names.push_back("-");
  for (const auto& name : names) {
    std::string error;
    const auto input = Input::Open(name, error);
    std::optional<std::string> digest;
    if (input != nullptr) digest = DigestInput(algorithm, *input, buffer, error);
    if (!digest) {
      ReportError(name, error);
      status = 1;
      continue;
    }
    PrintLine(*digest, name);
  }
  std::fflush(stdout);
  return status;
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

char UpperCase(char c) { return (c >= 'a' && c <= 'f') ? static_cast<char>(c - 'a' + 'A') : c; }

// One line of a checksum list: "<hex>  <name>" or "<hex> *<name>", optionally
// with a leading backslash that marks an escaped name.
struct CheckLine {
  std::string digest;
  std::string name;
};

std::optional<CheckLine> ParseCheckLine(std::string line, std::size_t hex_length) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  bool escaped = false;
  std::size_t at = 0;
  if (!line.empty() && line[0] == '\\') {
    escaped = true;
    at = 1;
  }
  if (line.size() < at + hex_length + 2) return std::nullopt;
  const std::string digest = line.substr(at, hex_length);
  for (const char c : digest) {
    if (!IsHexDigit(c)) return std::nullopt;
  }
  at += hex_length;
  if (line[at] != ' ' || (line[at + 1] != ' ' && line[at + 1] != '*')) return std::nullopt;
  std::string name = line.substr(at + 2);
  if (name.empty()) return std::nullopt;
  if (escaped) {
    std::string plain;
    for (std::size_t i = 0; i < name.size(); ++i) {
      if (name[i] == '\\' && i + 1 < name.size()) {
        const char next = name[++i];
        if (next == 'n') {
          plain += '\n';
        } else if (next == '\\') {
          plain += '\\';
        } else {
          return std::nullopt;
        }
      } else {
        plain += name[i];
      }
    }
    name = plain;
  }
  return CheckLine{digest, name};
}

// Reads one line (without its "\n") from `file`; false at the end.
bool ReadLine(std::FILE* file, std::string& line) {
  line.clear();
  int c;
  while ((c = std::fgetc(file)) != EOF) {
    if (c == '\n') return true;
    line.push_back(static_cast<char>(c));
  }
  return !line.empty();
}

int CheckList(Algorithm algorithm, const std::string& list_name) {
  std::FILE* list = list_name == "-" ? stdin : std::fopen(list_name.c_str(), "rb");
  if (list == nullptr) {
    ReportError(list_name, std::strerror(errno));
    return 1;
  }
  std::vector<std::byte> buffer(kReadSize);
  std::size_t checked = 0, mismatched = 0, unreadable = 0, malformed = 0;
  std::string line;
  while (ReadLine(list, line)) {
    const auto entry = ParseCheckLine(line, HexLength(algorithm));
    if (!entry) {
      ++malformed;
      continue;
    }
    ++checked;
    std::string error;
    const auto input = Input::Open(entry->name, error);
    std::optional<std::string> digest;
    if (input != nullptr) digest = DigestInput(algorithm, *input, buffer, error);
    if (!digest) {
      ReportError(entry->name, error);
      std::printf("%s: FAILED open or read\n", entry->name.c_str());
      ++unreadable;
      continue;
    }
    bool same = digest->size() == entry->digest.size();
    for (std::size_t i = 0; same && i < digest->size(); ++i) {
      same = UpperCase((*digest)[i]) == UpperCase(entry->digest[i]);
    }
    std::printf("%s: %s\n", entry->name.c_str(), same ? "OK" : "FAILED");
    if (!same) ++mismatched;
  }
  if (list != stdin) std::fclose(list);
  std::fflush(stdout);
  if (malformed != 0) {
    std::fprintf(stderr, "quillet: %s: %zu line%s improperly formatted\n", list_name.c_str(),
                 malformed, malformed == 1 ? " is" : "s are");
  }
  if (unreadable != 0) {
    std::fprintf(stderr, "quillet: WARNING: %zu listed file%s could not be read\n", unreadable,
                 unreadable == 1 ? "" : "s");
  }
  if (mismatched != 0) {
    std::fprintf(stderr, "quillet: WARNING: %zu computed checksum%s did NOT match\n",
                 mismatched, mismatched == 1 ? "" : "s");
  }
  if (checked == 0) {
    std::fprintf(stderr, "quillet: %s: no properly formatted checksum lines found\n",
                 list_name.c_str());
    return 1;
  }
  return (mismatched != 0 || unreadable != 0) ? 1 : 0;
}

// A 32-bit token: decimal from -2147483648 to 4294967295, or 0x followed by
// one to eight hexadecimal digits (leading zeros allowed).
std::optional<std::uint32_t> ParseToken(std::string_view text) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    std::uint64_t value = 0;
    for (const char c : text.substr(2)) {
      if (!IsHexDigit(c)) return std::nullopt;
      const int digit = c <= '9' ? c - '0' : (UpperCase(c) - 'A' + 10);
      value = value * 16 + static_cast<std::uint64_t>(digit);
      if (value > 0xFFFFFFFFu) return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
  }
  const bool negative = !text.empty() && text[0] == '-';
  const std::string_view digits = negative ? text.substr(1) : text;
  if (digits.empty() || digits.size() > 10) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (negative) {
    if (value > 0x80000000u) return std::nullopt;
    return static_cast<std::uint32_t>(0x100000000u - value);
  }
  if (value > 0xFFFFFFFFu) return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

// Holds the password; wiped and freed on destruction. It grows by copying
// into a new block and wiping the old one, so no stale copy is left behind.
class SecretLine {
 public:
  SecretLine() = default;
  ~SecretLine() { Release(); }
  SecretLine(const SecretLine&) = delete;
  SecretLine& operator=(const SecretLine&) = delete;

  void Append(char c) {
    if (size_ == capacity_) {
      const std::size_t capacity = capacity_ == 0 ? 256 : 2 * capacity_;
      char* grown = static_cast<char*>(std::malloc(capacity));
      if (grown == nullptr) {
        std::fputs("quillet: out of memory\n", stderr);
        std::exit(1);
      }
      if (size_ != 0) std::memcpy(grown, data_, size_);
      Release();
      data_ = grown;
      capacity_ = capacity;
    }
    data_[size_++] = c;
  }
  void DropLast() { data_[--size_] = 0; }
  std::size_t size() const { return size_; }
  char back() const { return data_[size_ - 1]; }
  std::string_view view() const { return {data_ == nullptr ? "" : data_, size_}; }

 private:
  void Release() {
    if (data_ == nullptr) return;
    volatile char* p = data_;
    for (std::size_t i = 0; i < capacity_; ++i) p[i] = 0;
    std::free(data_);
    data_ = nullptr;
  }
  char* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

#if !defined(_WIN32)
// Turns off echo on a terminal for the life of the object.
class NoEcho {
 public:
  explicit NoEcho(int fd) : fd_(fd) {
    if (tcgetattr(fd_, &saved_) != 0) return;
    termios quiet = saved_;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    active_ = tcsetattr(fd_, TCSAFLUSH, &quiet) == 0;
  }
  ~NoEcho() {
    if (active_) tcsetattr(fd_, TCSAFLUSH, &saved_);
  }
  NoEcho(const NoEcho&) = delete;
  NoEcho& operator=(const NoEcho&) = delete;

 private:
  int fd_;
  termios saved_{};
  bool active_ = false;
};
#endif

int Password(const std::string& first_text, const std::string& second_text) {
  const auto first = ParseToken(first_text);
  if (!first) {
    return UsageError("invalid FIRST token '" + first_text +
                      "': expected a 32-bit decimal or 0x-hexadecimal number");
  }
  const auto second = ParseToken(second_text);
  if (!second) {
    return UsageError("invalid SECOND token '" + second_text +
                      "': expected a 32-bit decimal or 0x-hexadecimal number");
  }
#if defined(_WIN32)
  _setmode(_fileno(stdin), _O_BINARY);
#else
  std::optional<NoEcho> no_echo;
  if (isatty(STDIN_FILENO)) {
    std::fputs("Password: ", stderr);
    std::fflush(stderr);
    no_echo.emplace(STDIN_FILENO);
  }
#endif
  SecretLine password;
  int c;
  while ((c = std::getchar()) != EOF && c != '\n') password.Append(static_cast<char>(c));
  if (c == '\n' && password.size() != 0 && password.back() == '\r') password.DropLast();
#if !defined(_WIN32)
  if (no_echo) {
    no_echo.reset();
    std::fputs("\n", stderr);
  }
#endif
  if (std::ferror(stdin)) {
    ReportError("-", std::strerror(errno));
    return 1;
  }
  const auto proof = quillet::ToHex(quillet::DoubleHashPassword(password.view(), *first, *second));
  std::printf("%.*s\n", static_cast<int>(proof.size()), proof.data());
  return 0;
}

int Run(int argc, char** argv) {
  if (argc < 2) return UsageError("");
  const std::string_view command = argv[1];
  if (command == "--help" || command == "-h") {
    std::fwrite(kUsage.data(), 1, kUsage.size(), stdout);
    std::fwrite(kHelp.data(), 1, kHelp.size(), stdout);
    return 0;
  }
  if (command == "--version") {
    std::printf("quillet %.*s\n", static_cast<int>(kVersion.size()), kVersion.data());
    return 0;
  }
  if (command == "password") {
    if (argc != 4) return UsageError("password needs FIRST and SECOND");
    return Password(argv[2], argv[3]);
  }
  const auto algorithm = ParseAlgorithm(command);
  if (!algorithm) return UsageError("unknown command '" + std::string(command) + "'");

  std::vector<std::string> files, texts;
  std::optional<std::string> check_list;
  bool options_done = false;
  for (int i = 2; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (!options_done && arg == "--") {
      options_done = true;
    } else if (!options_done && arg == "-s") {
      if (++i == argc) return UsageError("-s needs TEXT");
      texts.emplace_back(argv[i]);
    } else if (!options_done && (arg == "-c" || arg == "--check")) {
      if (++i == argc) return UsageError("--check needs SUMFILE");
      if (check_list) return UsageError("--check takes one SUMFILE");
      check_list = argv[i];
    } else if (!options_done && arg.size() > 1 && arg[0] == '-') {
      return UsageError("unknown option '" + std::string(arg) + "'");
    } else {
      files.emplace_back(arg);
    }
  }
  if (check_list) {
    if (!files.empty() || !texts.empty()) return UsageError("--check takes no other input");
    return CheckList(*algorithm, *check_list);
  }
  return HashInputs(*algorithm, files, texts);
}

}  // namespace

int main(int argc, char** argv) { return Run(argc, argv); }
