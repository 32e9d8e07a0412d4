#include "check.hpp"

#include <cctype>

#include "io.hpp"
#include "quote.hpp"

namespace quillet::tool {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsHexDigits(std::string_view text, std::size_t length) {
  if (text.size() != length) return false;
  for (const char c : text) {
    if (std::isxdigit(static_cast<unsigned char>(c)) == 0) return false;
  }
  return true;
}

bool SameDigest(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

// "name) = digest", after "TAG (". The name ends at the last ")", as BSD
// tools write names unescaped.
bool ParseBsd(std::string_view s, bool escaped, std::size_t hex_length, ListEntry& entry) {
  const std::size_t close = s.rfind(')');
  if (close == std::string_view::npos) return false;
  const std::string_view name = s.substr(0, close);
  if (escaped) {
    if (!Unescape(name, entry.name)) return false;
  } else {
    entry.name = name;
  }
  std::size_t i = close + 1;
  while (i < s.size() && IsBlank(s[i])) ++i;
  if (i == s.size() || s[i] != '=') return false;
  ++i;
  while (i < s.size() && IsBlank(s[i])) ++i;
  entry.digest = s.substr(i);
  return IsHexDigits(entry.digest, hex_length);
}

// How a name is shown in a result line: as it is, unless it holds a newline
// that would split the line; then escaped, with the line marked by a
// leading backslash (as sha1sum --check does).
std::string Shown(const std::string& name) {
  if (name.find('\n') == std::string::npos) return name;
  std::string shown(1, '\\');
  shown += Escape(name);
  return shown;
}

std::string Count(std::size_t n, const char* one, const char* many) {
  return "WARNING: " + std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

bool Checker::Parse(std::string_view s, ListEntry& entry) {
  const std::size_t hex_length = HexLength(algorithm_);
  std::size_t i = 0;
  while (i < s.size() && IsBlank(s[i])) ++i;
  bool escaped = false;
  if (i < s.size() && s[i] == '\\') {
    escaped = true;
    ++i;
  }
  const std::string_view tag = TagOf(algorithm_);
  if (s.substr(i, tag.size()) == tag) {
    std::size_t j = i + tag.size();
    if (j < s.size() && s[j] == ' ') ++j;
    if (j < s.size() && s[j] == '(') return ParseBsd(s.substr(j + 1), escaped, hex_length, entry);
    return false;
  }
  // A digest, one blank, and a name of at least one byte.
  if (s.size() - i < hex_length + 2) return false;
  const std::string_view digest = s.substr(i, hex_length);
  i += hex_length;
  if (!IsBlank(s[i])) return false;
  ++i;
  if (!IsHexDigits(digest, hex_length)) return false;
  if (s.size() - i == 1 || (s[i] != ' ' && s[i] != '*')) {
    if (bsd_reversed_ == 0) return false;
    bsd_reversed_ = 1;
  } else if (bsd_reversed_ != 1) {
    bsd_reversed_ = 0;
    ++i;  // the text (' ') or binary ('*') marker
  }
  const std::string_view name = s.substr(i);
  if (escaped) {
    if (!Unescape(name, entry.name)) return false;
  } else {
    entry.name = name;
  }
  entry.digest = digest;
  return true;
}

bool Checker::CheckList(const std::string& list_name) {
  Output& out = Out();
  const bool is_stdin = list_name == "-";
  const std::string shown_list = Quote(is_stdin ? "standard input" : list_name);
  std::string error;
  InputFile list(list_name, error);
  if (!list.is_open()) {
    out.Warn(shown_list + ": " + error);
    return false;
  }
  LineReader lines(list);
  std::vector<std::byte> buffer(kReadSize);
  std::size_t misformatted = 0, unreadable = 0, mismatched = 0, line_number = 0;
  bool any_properly_formatted = false, any_matched = false;
  std::string line;
  while (lines.Next(line)) {
    ++line_number;
    if (!line.empty() && line[0] == '#') continue;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    ListEntry entry;
    // Standard input is the list itself, so it cannot be listed in it.
    if (line.find('\0') != std::string::npos || !Parse(line, entry) ||
        (is_stdin && entry.name == "-")) {
      ++misformatted;
      if (options_.warn) {
        out.Warn(shown_list + ": " + std::to_string(line_number) + ": improperly formatted " +
                 std::string(TagOf(algorithm_)) + " checksum line");
      }
      continue;
    }
    any_properly_formatted = true;
    const DigestResult result = DigestFile(algorithm_, entry.name, buffer, false);
    if (!result.ok && result.missing && options_.ignore_missing) continue;
    if (!result.ok) {
      out.Warn(Quote(entry.name) + ": " + result.error);
      ++unreadable;
      if (!options_.status) out.Write(Shown(entry.name) + ": FAILED open or read\n");
      continue;
    }
    const bool match = SameDigest(result.digest, entry.digest);
    if (match) {
      any_matched = true;
    } else {
      ++mismatched;
    }
    if (!options_.status && (!match || !options_.quiet)) {
      out.Write(Shown(entry.name) + (match ? ": OK\n" : ": FAILED\n"));
    }
  }
  if (lines.failed()) {
    out.Warn(shown_list + ": read error");
    return false;
  }
  if (!any_properly_formatted) {
    out.Warn(shown_list + ": no properly formatted checksum lines found");
    return false;
  }
  if (!options_.status) {
    if (misformatted != 0) {
      out.Warn(Count(misformatted, "line is improperly formatted", "lines are improperly formatted"));
    }
    if (unreadable != 0) {
      out.Warn(Count(unreadable, "listed file could not be read", "listed files could not be read"));
    }
    if (mismatched != 0) {
      out.Warn(Count(mismatched, "computed checksum did NOT match", "computed checksums did NOT match"));
    }
    if (options_.ignore_missing && !any_matched) out.Warn(shown_list + ": no file was verified");
  }
  return mismatched == 0 && unreadable == 0 && (!options_.strict || misformatted == 0) &&
         (!options_.ignore_missing || any_matched);
}

}  // namespace quillet::tool
