#include "quote.hpp"

#include <cstdio>

namespace quillet::tool {

namespace {

bool IsPlain(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::string_view("_./:+,%@=^-").find(static_cast<char>(c)) != std::string_view::npos ||
         c >= 0x80;
}

std::string ControlEscape(unsigned char c) {
  switch (c) {
    case '\n': return "\\n";
    case '\r': return "\\r";
    case '\t': return "\\t";
    default: {
      char octal[8];
      std::snprintf(octal, sizeof octal, "\\%03o", c);
      return octal;
    }
  }
}

}  // namespace

std::string Quote(std::string_view name) {
  bool plain = !name.empty();
  for (const char c : name) plain = plain && IsPlain(static_cast<unsigned char>(c));
  if (plain) return std::string(name);
  std::string out;
  bool open = false;  // inside '...'
  for (const char ch : name) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7F) {
      if (open) out += '\'';
      open = false;
      out += "$'" + ControlEscape(c) + "'";
      continue;
    }
    if (!open) out += '\'';
    open = true;
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += ch;
    }
  }
  if (open) out += '\'';
  return out;
}

}  // namespace quillet::tool
