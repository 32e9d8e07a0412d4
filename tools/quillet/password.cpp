#include "password.hpp"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "io.hpp"
#include "signals.hpp"
#include "quillet/digest.hpp"
#include "quillet/secure_wipe.hpp"

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <termios.h>
#include <unistd.h>
#endif

namespace quillet::tool {

std::optional<std::uint32_t> ParseToken(std::string_view text) {
  const auto hex_value = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    std::uint64_t value = 0;
    for (const char c : text.substr(2)) {
      const int digit = hex_value(c);
      if (digit < 0) return std::nullopt;
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

namespace {

// Holds the password; wiped and freed on destruction. It grows by copying
// into a new block and wiping the old one, so no stale copy is left behind.
class SecretLine {
 public:
  SecretLine() = default;
  ~SecretLine() { Release(); }
  SecretLine(const SecretLine&) = delete;
  SecretLine& operator=(const SecretLine&) = delete;

  void Append(const char* bytes, std::size_t count) {
    if (count == 0) return;
    if (count > capacity_ - size_) {
      std::size_t capacity = capacity_ == 0 ? 256 : 2 * capacity_;
      if (capacity < size_ + count) capacity = size_ + count;
      char* grown = static_cast<char*>(std::malloc(capacity));
      if (grown == nullptr) {
        Out().Warn("out of memory");
        std::exit(1);
      }
      if (size_ != 0) std::memcpy(grown, data_, size_);
      Release();
      data_ = grown;
      capacity_ = capacity;
    }
    std::memcpy(data_ + size_, bytes, count);
    size_ += count;
  }
  void DropLast() { data_[--size_] = 0; }
  std::size_t size() const { return size_; }
  char back() const { return data_[size_ - 1]; }
  std::string_view view() const { return {data_ == nullptr ? "" : data_, size_}; }

 private:
  void Release() {
    if (data_ == nullptr) return;
    SecureWipe(data_, capacity_);
    std::free(data_);
    data_ = nullptr;
  }
  char* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

#if defined(_WIN32)
// The console's echo is off while the password is typed, and back on when
// the prompt ends for any reason (Ctrl-C included).
HANDLE console = INVALID_HANDLE_VALUE;
DWORD saved_mode = 0;

BOOL WINAPI RestoreConsole(DWORD) {
  SetConsoleMode(console, saved_mode);
  return FALSE;  // and on to the default handling
}

class NoEcho {
 public:
  NoEcho() {
    console = GetStdHandle(STD_INPUT_HANDLE);
    if (!GetConsoleMode(console, &saved_mode)) return;
    active_ = SetConsoleMode(console, saved_mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)) != 0;
    if (active_) SetConsoleCtrlHandler(RestoreConsole, TRUE);
  }
  ~NoEcho() {
    if (!active_) return;
    SetConsoleMode(console, saved_mode);
    SetConsoleCtrlHandler(RestoreConsole, FALSE);
  }
  bool active() const { return active_; }

 private:
  bool active_ = false;
};
#else
// Echo is off while the password is typed. A signal that stops the prompt
// (Ctrl-Z) puts the terminal back first and turns echo off again when the
// tool goes on; every signal that ends it (Ctrl-C, a hangup, kill, SIGUSR1,
// SIGALRM, ...) puts it back and then ends the tool as the signal would
// have.
termios saved_terminal;
termios quiet_terminal;

const int kStopSignals[] = {SIGTSTP, SIGTTIN, SIGTTOU};

void OnEndingSignal(int signal_number) {
  tcsetattr(STDIN_FILENO, TCSANOW, &saved_terminal);  // now: what was typed stays
  EndAsTheSignalWould(signal_number);
}

void OnStopSignal(int signal_number) {
  const int saved_errno = errno;
  tcsetattr(STDIN_FILENO, TCSANOW, &saved_terminal);
  struct sigaction plain {};
  plain.sa_handler = SIG_DFL;
  sigemptyset(&plain.sa_mask);
  struct sigaction ours {};
  sigaction(signal_number, &plain, &ours);
  sigset_t unblock;
  sigemptyset(&unblock);
  sigaddset(&unblock, signal_number);
  sigprocmask(SIG_UNBLOCK, &unblock, nullptr);
  raise(signal_number);  // stops here
  // Continued after a stop: the prompt goes on without echo.
  sigaction(signal_number, &ours, nullptr);
  tcsetattr(STDIN_FILENO, TCSANOW, &quiet_terminal);
  errno = saved_errno;
}

class NoEcho {
 public:
  NoEcho() {
    if (tcgetattr(STDIN_FILENO, &saved_terminal) != 0) return;
    quiet_terminal = saved_terminal;
    quiet_terminal.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    struct sigaction ours {};
    ours.sa_handler = OnStopSignal;
    sigemptyset(&ours.sa_mask);
    ours.sa_flags = SA_RESTART;
    std::size_t n = 0;
    for (const int s : kStopSignals) sigaction(s, &ours, &previous_[n++]);
    CatchEndingSignals(OnEndingSignal);
    installed_ = true;
    active_ = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet_terminal) == 0;
  }
  ~NoEcho() {
    if (!installed_) return;
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_terminal);
    std::size_t n = 0;
    for (const int s : kStopSignals) sigaction(s, &previous_[n++], nullptr);
    DefaultEndingSignals();
  }
  NoEcho(const NoEcho&) = delete;
  NoEcho& operator=(const NoEcho&) = delete;
  bool active() const { return active_; }

 private:
  struct sigaction previous_[3] {};
  bool installed_ = false;
  bool active_ = false;
};
#endif

// Reads one line into `password`: true at its newline, false at the end of
// input (`error` set on a read error). Standard input is read in blocks (a
// terminal gives a line a read); where it can seek, it is left just after
// the line, for whatever reads it next.
bool ReadLine(SecretLine& password, bool& got_any, std::string& error) {
  std::string name = "-";
  InputFile input(name, error);
  char block[16 * 1024];
  bool newline = false;
  for (;;) {
    const long got = input.Read(block, sizeof block, error);
    if (got <= 0) break;
    got_any = true;
    const auto count = static_cast<std::size_t>(got);
    const auto* end = static_cast<const char*>(std::memchr(block, '\n', count));
    password.Append(block, end != nullptr ? static_cast<std::size_t>(end - block) : count);
    if (end != nullptr) {
      input.Unread(count - static_cast<std::size_t>(end - block) - 1);
      newline = true;
      break;
    }
  }
  SecureWipe(block, sizeof block);
  return newline;
}

}  // namespace

int PrintProof(std::uint32_t first, std::uint32_t second) {
  SecretLine password;
  bool got_any = false;
  std::string error;
  {
    // Echo goes off before the prompt shows, so nothing typed after the
    // prompt is flushed away or echoed.
    const bool terminal = IsTerminal(0);
    std::optional<NoEcho> no_echo;
    if (terminal) {
      no_echo.emplace();
      std::fputs("Password: ", stderr);
      std::fflush(stderr);
    }
    const bool newline = ReadLine(password, got_any, error);
    if (newline && password.size() != 0 && password.back() == '\r') password.DropLast();
    if (terminal) std::fputs("\n", stderr);
  }
  if (!error.empty()) {
    Out().Warn("-: " + error);
    return 1;
  }
  if (!got_any) {
    Out().Warn("no password given");
    return 1;
  }
  const auto proof = ToHex(DoubleHashPassword(password.view(), first, second));
  Out().Write(std::string_view(proof.data(), proof.size()));
  Out().Write("\n");
  return 0;
}

}  // namespace quillet::tool
