#include "progress.hpp"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <string>

#include "format.hpp"
#include "io.hpp"
#include "signals.hpp"

#if !defined(_WIN32)
#include <unistd.h>
#endif

namespace quillet::tool {

namespace {

constexpr char kErase[] = "\r\033[K";

bool g_enabled = false;
std::atomic<bool> g_shown{false};
bool g_handlers_installed = false;

// A signal that ends the tool while a line shows: the line is erased first.
void EraseAndEnd(int signal_number) {
  if (g_shown.load()) {
#if !defined(_WIN32)
    [[maybe_unused]] const auto written = write(2, kErase, sizeof kErase - 1);
#endif
  }
  EndAsTheSignalWould(signal_number);
}

std::string Size(double bytes) {
  char text[32];
  const double mib = bytes / (1024.0 * 1024.0);
  std::snprintf(text, sizeof text, "%.0f MiB", mib);
  return text;
}

}  // namespace

void Progress::Enable(bool enabled) {
  g_enabled = enabled;
  Out().SetBeforeMessage(enabled ? &Progress::EraseShown : nullptr);
}

void Progress::Disable() {
  EraseShown();
  g_enabled = false;
}

bool Progress::enabled() { return g_enabled; }

void Progress::Show(std::string_view name, std::uint64_t bytes, std::uint64_t total,
                    double seconds) {
  if (!g_enabled || seconds < 1.0) return;
  if (!g_handlers_installed) {
    CatchEndingSignals(EraseAndEnd);
    g_handlers_installed = true;
  }
  Out().Flush();
  const double rate = static_cast<double>(bytes) / seconds;
  std::string line = kErase + Out().program() + ": " + Quote(name) + ": ";
  char text[96];
  if (total != 0 && bytes <= total) {
    const double left = rate > 0 ? static_cast<double>(total - bytes) / rate : 0;
    std::snprintf(text, sizeof text, "%.0f%% of %s, %.0f MiB/s, %.0f s left",
                  100.0 * static_cast<double>(bytes) / static_cast<double>(total),
                  Size(static_cast<double>(total)).c_str(), rate / (1024.0 * 1024.0), left);
  } else {
    std::snprintf(text, sizeof text, "%s, %.0f MiB/s", Size(static_cast<double>(bytes)).c_str(),
                  rate / (1024.0 * 1024.0));
  }
  line += text;
  // Marked shown before it is written: a signal that ends the tool as soon
  // as the line appears finds it marked, and erases it.
  g_shown.store(true);
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
}

void Progress::EraseShown() {
  if (!g_shown.load()) return;
  std::fputs(kErase, stderr);
  std::fflush(stderr);
  g_shown.store(false);
}

}  // namespace quillet::tool
