// Progress on a terminal: a line on standard error for an input that has
// taken more than a second, rewritten in place and erased when the input is
// done, when anything else is printed, and when a signal ends the tool.
#pragma once

#include <cstdint>
#include <string_view>

namespace quillet::tool {

class Progress {
 public:
  // Whether progress may be drawn at all: standard error is a terminal, no
  // input is one, and it was not turned off.
  static void Enable(bool enabled);
  // An input turned out to be a terminal: no more progress (what shows is
  // erased).
  static void Disable();
  static bool enabled();

  // Input `name` has had `bytes` read of `total` (0: not known) in
  // `seconds`. Drawn once a second has passed.
  static void Show(std::string_view name, std::uint64_t bytes, std::uint64_t total,
                   double seconds);
  // Erases the line if one shows.
  static void EraseShown();
};

}  // namespace quillet::tool
