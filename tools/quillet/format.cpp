#include "format.hpp"

#include <cctype>
#include <climits>
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

// coreutils quotes names with gnulib's quotearg in its shell-escape style,
// with ':' quoted too. This is that algorithm, step for step, for the styles
// it passes through: it starts eliding the outer quotes and gives that up at
// the first byte that needs them; a name with a single quote is scanned once
// more, and written in C style ("...") when nothing else in it needs more.
enum class Style { kShellEscape, kShellEscapeAlways, kShellAlways, kC };

std::string Restyled(std::string_view arg, Style style, bool elide_outer_quotes, bool quote_colon) {
  std::string out;
  bool backslash_escapes = false;
  bool pending_shell_escape_end = false;
  bool encountered_single_quote = false;
  bool all_compatible = true;  // every byte is fine both in C and shell quotes
  bool scanning = false, scanned = false;
  char quote_string = 0;
  const bool unibyte_locale = MB_CUR_MAX == 1;
  const std::size_t n = arg.size();

process_input:
  switch (style) {
    case Style::kC:
      if (!elide_outer_quotes) out += '"';
      backslash_escapes = true;
      quote_string = '"';
      break;
    case Style::kShellEscape:
      backslash_escapes = true;
      elide_outer_quotes = true;
      [[fallthrough]];
    case Style::kShellEscapeAlways:
      if (!elide_outer_quotes) backslash_escapes = true;
      [[fallthrough]];
    case Style::kShellAlways:
      style = Style::kShellAlways;
      if (!elide_outer_quotes) out += '\'';
      quote_string = '\'';
      break;
  }

  for (std::size_t i = 0; i < n; ++i) {
    bool is_right_quote = false;
    bool escaping = false;
    bool compatible = false;
    unsigned char esc = 0;
    const auto start_escape = [&]() -> bool {  // false: the outer quotes are needed
      if (elide_outer_quotes) return false;
      escaping = true;
      if (style == Style::kShellAlways && !pending_shell_escape_end) {
        out += "'$'";
        pending_shell_escape_end = true;
      }
      out += '\\';
      return true;
    };
    const auto end_escape = [&] {
      if (pending_shell_escape_end && !escaping) {
        out += "''";
        pending_shell_escape_end = false;
      }
    };

    if (backslash_escapes && style != Style::kShellAlways && quote_string != 0 &&
        arg[i] == quote_string) {
      if (elide_outer_quotes) goto force_outer_quoting_style;
      is_right_quote = true;
    }
    {
      auto c = static_cast<unsigned char>(arg[i]);
      switch (c) {
        case '\0':
          if (backslash_escapes) {
            if (!start_escape()) goto force_outer_quoting_style;
            if (style != Style::kShellAlways && i + 1 < n && arg[i + 1] >= '0' && arg[i + 1] <= '9') {
              out += "00";
            }
            c = '0';
          }
          break;
        case '?':
          if (style == Style::kShellAlways && elide_outer_quotes) goto force_outer_quoting_style;
          break;
        case '\a': esc = 'a'; goto c_escape;
        case '\b': esc = 'b'; goto c_escape;
        case '\f': esc = 'f'; goto c_escape;
        case '\n': esc = 'n'; goto c_and_shell_escape;
        case '\r': esc = 'r'; goto c_and_shell_escape;
        case '\t': esc = 't'; goto c_and_shell_escape;
        case '\v': esc = 'v'; goto c_escape;
        case '\\':
          esc = c;
          if (style == Style::kShellAlways) {
            if (elide_outer_quotes) goto force_outer_quoting_style;
            goto store_c;
          }
          if (backslash_escapes && elide_outer_quotes && quote_string != 0) goto store_c;
        c_and_shell_escape:
          if (style == Style::kShellAlways && elide_outer_quotes) goto force_outer_quoting_style;
        c_escape:
          if (backslash_escapes) {
            c = esc;
            goto store_escape;
          }
          break;
        case '{':
        case '}':
          if (n != 1) break;
          [[fallthrough]];
        case '#':
        case '~':
          if (i != 0) break;
          [[fallthrough]];
        case ' ':
          compatible = true;
          [[fallthrough]];
        case '!': case '"': case '$': case '&': case '(': case ')': case '*': case ';':
        case '<': case '=': case '>': case '[': case '^': case '`': case '|':
          if (style == Style::kShellAlways && elide_outer_quotes) goto force_outer_quoting_style;
          break;
        case '\'':
          encountered_single_quote = true;
          compatible = true;
          if (style == Style::kShellAlways) {
            if (elide_outer_quotes) goto force_outer_quoting_style;
            if (!scanned) {  // scan to the end for a shorter form first
              scanned = true;
              scanning = true;
            }
            out += "'\\'";  // and the quote itself below
            pending_shell_escape_end = false;
          }
          break;
        case '%': case '+': case ',': case '-': case '.': case '/': case ':': case ']':
        case '_':
          compatible = true;
          break;
        default: {
          if (std::isalnum(c) != 0 && c < 0x80) {
            compatible = true;
            break;
          }
          std::size_t m = 0;
          bool printable = true;
          if (unibyte_locale) {
            m = 1;
            printable = std::isprint(c) != 0;
          } else {
            std::mbstate_t state{};
            for (;;) {
              wchar_t w = 0;
              const std::size_t bytes = std::mbrtowc(&w, arg.data() + i + m, n - (i + m), &state);
              if (bytes == 0) break;
              if (bytes == static_cast<std::size_t>(-1)) {
                printable = false;
                break;
              }
              if (bytes == static_cast<std::size_t>(-2)) {
                printable = false;
                while (i + m < n && arg[i + m] != '\0') ++m;
                break;
              }
              if (elide_outer_quotes && style == Style::kShellAlways) {
                for (std::size_t j = 1; j < bytes; ++j) {
                  switch (arg[i + m + j]) {
                    case '[': case '\\': case '^': case '`': case '|':
                      goto force_outer_quoting_style;
                    default: break;
                  }
                }
              }
              if (std::iswprint(static_cast<std::wint_t>(w)) == 0) printable = false;
              m += bytes;
              if (std::mbsinit(&state) != 0) break;
            }
          }
          compatible = printable;
          if (1 < m || (backslash_escapes && !printable)) {
            const std::size_t ilim = i + m;
            for (;;) {
              if (backslash_escapes && !printable) {
                if (!start_escape()) goto force_outer_quoting_style;
                out += static_cast<char>('0' + (c >> 6));
                out += static_cast<char>('0' + ((c >> 3) & 7));
                c = static_cast<unsigned char>('0' + (c & 7));
              } else if (is_right_quote) {
                out += '\\';
                is_right_quote = false;
              }
              if (ilim <= i + 1) break;
              end_escape();
              out += static_cast<char>(c);
              c = static_cast<unsigned char>(arg[++i]);
            }
            goto store_c;
          }
        }
      }
      if (!((backslash_escapes && style != Style::kShellAlways) || elide_outer_quotes) ||
          !quote_colon || c != ':') {
        if (!is_right_quote) goto store_c;
      }
    store_escape:
      if (!start_escape()) goto force_outer_quoting_style;
    store_c:
      end_escape();
      out += static_cast<char>(c);
      if (!compatible) all_compatible = false;
    }
  }

  if (out.empty() && style == Style::kShellAlways && elide_outer_quotes) {
    goto force_outer_quoting_style;
  }
  if (style == Style::kShellAlways && !elide_outer_quotes && encountered_single_quote) {
    if (all_compatible) return Restyled(arg, Style::kC, elide_outer_quotes, quote_colon);
    if (scanning) {
      // Written again, now for real. What the scan left pending is kept,
      // as quotearg keeps it.
      scanning = false;
      out.clear();
      goto process_input;
    }
  }
  if (quote_string != 0 && !elide_outer_quotes) out += quote_string;
  return out;

force_outer_quoting_style:
  if (style == Style::kShellAlways && backslash_escapes) style = Style::kShellEscapeAlways;
  return Restyled(arg, style, false, false);
}

}  // namespace

std::string Quote(std::string_view name) { return Restyled(name, Style::kShellEscape, true, true); }

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
