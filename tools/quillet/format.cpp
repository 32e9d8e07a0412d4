#include "format.hpp"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <cwctype>

namespace quillet::tool {

bool NeedsEscape(std::string_view name) {
  return name.find_first_of("\\\n\r") != std::string_view::npos;
}

std::string Escape(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (const char c : name) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
  return out;
}

bool Unescape(std::string_view escaped, std::string& name) {
  name.clear();
  for (std::size_t i = 0; i < escaped.size(); ++i) {
    const char c = escaped[i];
    if (c == '\0') return false;
    if (c != '\\') {
      name += c;
      continue;
    }
    if (++i == escaped.size()) return false;
    switch (escaped[i]) {
      case '\\': name += '\\'; break;
      case 'n': name += '\n'; break;
      case 'r': name += '\r'; break;
      default: return false;
    }
  }
  return true;
}

namespace {

// How sha1sum shows a file name in its messages, as its output shows it:
//
// 1. A name made only of plain characters stands as it is.
// 2. Any other name is quoted. A name that holds a single quote and nothing
//    that would mean something between double quotes goes between double
//    quotes, unchanged.
// 3. Every other name goes between single quotes: a single quote becomes
//    '\'' and each unprintable byte an escape inside a $'...' run (\a \b \t
//    \n \v \f \r by name, any other byte as three octal digits); a printable
//    character after a run closes it with ''. One oddity is kept so that the
//    messages match byte for byte: when such a name holds a single quote and
//    ends with an unprintable byte, the text starts as if a run were open.
//
// What each ASCII character needs; characters past ASCII are printable or
// not as the locale says, and printable ones are plain.
enum class Needs : std::uint8_t {
  kNothing,      // letters, digits, % + , - . / @ ] _
  kQuotes,       // space, colon, single quote: fine between double quotes
  kShellQuotes,  // ! " $ & ( ) * ; < = > ? [ \ ^ ` |: single quotes only
  kFirst,        // # ~: quotes when first; plain, but not between double quotes, later
  kAlone,        // { }: quotes as the whole name; otherwise as kFirst later
  kEscape,       // control bytes and DEL
};

constexpr Needs AsciiNeeds(unsigned char c) {
  if (c < 0x20 || c == 0x7F) return Needs::kEscape;
  if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
    return Needs::kNothing;
  }
  switch (c) {
    case '%': case '+': case ',': case '-': case '.': case '/': case '@': case ']': case '_':
      return Needs::kNothing;
    case ' ': case ':': case '\'':
      return Needs::kQuotes;
    case '#': case '~':
      return Needs::kFirst;
    case '{': case '}':
      return Needs::kAlone;
    default:
      return Needs::kShellQuotes;
  }
}

// One character of a name: its bytes, and where it may stand.
struct Piece {
  std::size_t size = 1;
  bool printable = true;    // written as it is; otherwise each byte escaped
  bool plain = true;        // may stand in an unquoted name
  bool fits_double = true;  // may stand between double quotes
};

Piece PieceAt(std::string_view name, std::size_t at, bool multibyte) {
  const auto c = static_cast<unsigned char>(name[at]);
  const Piece unprintable{1, false, false, false};
  if (c < 0x80) {
    switch (AsciiNeeds(c)) {
      case Needs::kNothing: return {};
      case Needs::kQuotes: return {1, true, false, true};
      case Needs::kShellQuotes: return {1, true, false, false};
      case Needs::kFirst: return {1, true, at != 0, at == 0};
      case Needs::kAlone: return {1, true, name.size() != 1, name.size() == 1};
      case Needs::kEscape: return unprintable;
    }
  }
  if (!multibyte) return std::isprint(c) != 0 ? Piece{} : unprintable;
  std::mbstate_t state{};
  wchar_t w = 0;
  const std::size_t size = std::mbrtowc(&w, name.data() + at, name.size() - at, &state);
  // An invalid or cut-off sequence is escaped a byte at a time.
  if (size == 0 || size > name.size() - at) return unprintable;
  if (std::iswprint(static_cast<std::wint_t>(w)) == 0) return {size, false, false, false};
  return {size, true, true, true};
}

void AppendEscape(std::string& out, unsigned char c) {
  static constexpr char kNamed[] = "abtnvfr";  // bytes 7 to 13
  out += '\\';
  if (c >= '\a' && c <= '\r') {
    out += kNamed[c - '\a'];
    return;
  }
  out += static_cast<char>('0' + (c >> 6));
  out += static_cast<char>('0' + ((c >> 3) & 7));
  out += static_cast<char>('0' + (c & 7));
}

}  // namespace

std::string Quote(std::string_view name) {
  const bool multibyte = MB_CUR_MAX > 1;
  bool plain = !name.empty(), fits_double = true, ends_unprintable = false;
  for (std::size_t at = 0; at < name.size();) {
    const Piece piece = PieceAt(name, at, multibyte);
    plain = plain && piece.plain;
    fits_double = fits_double && piece.fits_double;
    ends_unprintable = !piece.printable;
    at += piece.size;
  }
  if (plain) return std::string(name);
  const bool has_quote = name.find('\'') != std::string_view::npos;
  if (has_quote && fits_double) return '"' + std::string(name) + '"';

  std::string out(1, '\'');
  bool in_run = has_quote && ends_unprintable;
  for (std::size_t at = 0; at < name.size();) {
    const Piece piece = PieceAt(name, at, multibyte);
    const std::string_view bytes = name.substr(at, piece.size);
    at += piece.size;
    if (!piece.printable) {
      if (!in_run) out += "'$'";
      in_run = true;
      for (const char c : bytes) AppendEscape(out, static_cast<unsigned char>(c));
    } else if (bytes == "'") {
      out += "'\\''";  // ends a run too
      in_run = false;
    } else {
      if (in_run) out += "''";
      in_run = false;
      out += bytes;
    }
  }
  out += '\'';
  return out;
}

std::string DigestLine(const LineStyle& style, std::string_view tag, std::string_view digest,
                       std::string_view name) {
  const bool escape = !style.zero && NeedsEscape(name);
  const std::string shown = escape ? Escape(name) : std::string(name);
  std::string line = escape ? "\\" : "";
  if (style.tag) {
    line.append(tag).append(" (").append(shown).append(") = ").append(digest);
  } else {
    line.append(digest).append(style.binary ? " *" : "  ").append(shown);
  }
  line += style.zero ? '\0' : '\n';
  return line;
}

std::string ResultName(std::string_view name) {
  if (name.find('\n') == std::string_view::npos) return std::string(name);
  std::string shown(1, '\\');
  shown += Escape(name);
  return shown;
}

}  // namespace quillet::tool
