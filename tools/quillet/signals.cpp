#include "signals.hpp"

#include <csignal>

namespace quillet::tool {

namespace {

#if defined(_WIN32)
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGABRT};
#else
constexpr int kEndingSignals[] = {SIGHUP,  SIGINT,    SIGQUIT, SIGILL,  SIGTRAP, SIGABRT,
                                  SIGBUS,  SIGFPE,    SIGUSR1, SIGSEGV, SIGUSR2, SIGPIPE,
                                  SIGALRM, SIGTERM,   SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF,
                                  SIGIO,   SIGSYS
#if defined(SIGSTKFLT)
                                  , SIGSTKFLT
#endif
#if defined(SIGPWR)
                                  , SIGPWR
#endif
};
#endif

template <typename Each>
void ForEachEndingSignal(Each each) {
  for (const int s : kEndingSignals) each(s);
#if defined(SIGRTMIN) && defined(SIGRTMAX)
  for (int s = SIGRTMIN; s <= SIGRTMAX; ++s) each(s);
#endif
}

}  // namespace

void CatchEndingSignals(SignalHandler handler) {
  ForEachEndingSignal([handler](int s) {
#if defined(_WIN32)
    std::signal(s, handler);
#else
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    struct sigaction previous {};
    sigaction(s, nullptr, &previous);
    // A signal the tool was started with ignored stays ignored, as it
    // would have without the handler.
    if (previous.sa_handler != SIG_IGN) sigaction(s, &action, nullptr);
#endif
  });
}

void DefaultEndingSignals() {
  ForEachEndingSignal([](int s) {
#if defined(_WIN32)
    std::signal(s, SIG_DFL);
#else
    struct sigaction previous {};
    sigaction(s, nullptr, &previous);
    if (previous.sa_handler == SIG_IGN) return;
    struct sigaction plain {};
    plain.sa_handler = SIG_DFL;
    sigemptyset(&plain.sa_mask);
    sigaction(s, &plain, nullptr);
#endif
  });
}

void EndAsTheSignalWould(int signal_number) {
#if defined(_WIN32)
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
#else
  struct sigaction plain {};
  plain.sa_handler = SIG_DFL;
  sigemptyset(&plain.sa_mask);
  sigaction(signal_number, &plain, nullptr);
  sigset_t unblock;
  sigemptyset(&unblock);
  sigaddset(&unblock, signal_number);
  sigprocmask(SIG_UNBLOCK, &unblock, nullptr);
  raise(signal_number);
#endif
}

}  // namespace quillet::tool
