#include "check.hpp"

#include <algorithm>
#include <cctype>
#include <deque>

#include "format.hpp"
#include "io.hpp"

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

// A name read from a list: unescaped when the line was marked, and ending at
// its first NUL byte when it was not (sha1sum takes it as a C string).
bool TakeName(std::string_view name, bool escaped, std::string& out) {
  if (escaped) return Unescape(name, out);
  out = name.substr(0, name.find('\0'));
  return true;
}

// "name) = digest", after "TAG (". The name ends at the last ")", as BSD
// tools write names unescaped.
bool ParseBsd(std::string_view s, bool escaped, std::size_t hex_length, ListEntry& entry) {
  const std::size_t close = s.rfind(')');
  if (close == std::string_view::npos) return false;
  if (!TakeName(s.substr(0, close), escaped, entry.name)) return false;
  std::size_t i = close + 1;
  while (i < s.size() && IsBlank(s[i])) ++i;
  if (i == s.size() || s[i] != '=') return false;
  ++i;
  while (i < s.size() && IsBlank(s[i])) ++i;
  entry.digest = s.substr(i);
  return IsHexDigits(entry.digest, hex_length);
}

std::string Count(std::size_t n, const char* one, const char* many) {
  return "WARNING: " + std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

bool Checker::Parse(std::string_view line, ListEntry& entry) {
  const std::size_t hex_length = 2 * Info(format_.algorithm).digest_size;
  std::string_view s = line.substr(std::min(line.find_first_not_of(" \t"), line.size()));
  const bool escaped = !s.empty() && s.front() == '\\';
  if (escaped) s.remove_prefix(1);
  if (s.substr(0, tag_.size()) == tag_) {
    s.remove_prefix(tag_.size());
    if (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    if (s.empty() || s.front() != '(') return false;
    return ParseBsd(s.substr(1), escaped, hex_length, entry);
  }
  // The digest, one blank, then what names the file: at least one byte.
  if (s.size() < hex_length + 2 || !IsBlank(s[hex_length])) return false;
  const std::string_view digest = s.substr(0, hex_length);
  if (!IsHexDigits(digest, hex_length)) return false;
  std::string_view rest = s.substr(hex_length + 1);
  // A mode marker (' ' text, '*' binary) needs a name after it; without
  // one the line is in the one-blank form. The first line that shows
  // either form fixes it for the rest of the run: in the marked form a line
  // without a marker is refused, in the one-blank form a leading ' ' or '*'
  // belongs to the name.
  const bool marked = rest.size() > 1 && (rest.front() == ' ' || rest.front() == '*');
  if (form_ == ListForm::kUndecided) form_ = marked ? ListForm::kMarked : ListForm::kOneBlank;
  if (form_ == ListForm::kMarked) {
    if (!marked) return false;
    rest.remove_prefix(1);
  }
  if (!TakeName(rest, escaped, entry.name)) return false;
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
  std::size_t misformatted = 0, unreadable = 0, mismatched = 0, line_number = 0;
  bool any_properly_formatted = false, any_matched = false;

  // What the list's lines give, in their order: a warning about a
  // misformatted line, or an entry whose file is queued in the pipeline.
  struct Event {
    bool is_entry;
    std::string text;  // the warning, or the expected digest
    std::string name;
  };
  std::deque<Event> events;
  const auto report_oldest = [&] {
    Event event = std::move(events.front());
    events.pop_front();
    if (!event.is_entry) {
      out.Warn(event.text);
      return;
    }
    const DigestResult result = pipeline_.Next();
    if (!result.ok && result.missing && options_.ignore_missing) return;
    if (!result.ok) {
      out.Warn(Quote(event.name) + ": " + result.error);
      ++unreadable;
      if (!options_.status) out.Write(ResultName(event.name) + ": FAILED open or read\n");
      return;
    }
    const bool match = SameDigest(result.digest, event.text);
    if (match) {
      any_matched = true;
    } else {
      ++mismatched;
    }
    if (!options_.status && (!match || !options_.quiet)) {
      out.Write(ResultName(event.name) + (match ? ": OK\n" : ": FAILED\n"));
    }
  };

  std::string line;
  while (lines.Next(line)) {
    ++line_number;
    if (!line.empty() && line[0] == '#') continue;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    ListEntry entry;
    // Standard input is the list itself, so it cannot be listed in it.
    if (!Parse(line, entry) || (is_stdin && entry.name == "-")) {
      ++misformatted;
      if (options_.warn) {
        events.push_back({false, shown_list + ": " + std::to_string(line_number) +
                                     ": improperly formatted " + std::string(tag_) + " checksum line",
                          {}});
      }
    } else {
      any_properly_formatted = true;
      pipeline_.Add(entry.name);
      events.push_back({true, std::move(entry.digest), std::move(entry.name)});
    }
    while (!events.empty() && (!events.front().is_entry || pipeline_.queued() >= pipeline_.window())) {
      report_oldest();
    }
  }
  while (!events.empty()) report_oldest();
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
