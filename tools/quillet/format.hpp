// How the tool writes names and digests: sha1sum's escaping of names in
// digest lines, coreutils' quoting of names in messages, and the shapes of
// the lines it prints.
#pragma once

#include <string>
#include <string_view>

namespace quillet::tool {

// Whether `name` needs sha1sum's escaping, and the escaped form: backslash,
// newline and carriage return written as \\, \n and \r.
bool NeedsEscape(std::string_view name);
std::string Escape(std::string_view name);
// The reverse; false for any other escape, a lone backslash at the end, or a
// NUL byte (an escaped name cannot hold one).
bool Unescape(std::string_view escaped, std::string& name);

// `name` as coreutils quotes file names in its messages: as it is when the
// shell would take it so, otherwise in quotes ('...', or "..." for a name
// with a single quote and nothing else special), with control bytes and
// bytes that are not printable in the current locale written as $'\t',
// $'\177' segments. Byte for byte what sha1sum prints.
std::string Quote(std::string_view name);

// The shapes of a digest line.
struct LineStyle {
  bool tag = false;     // "TAG (name) = digest"
  bool binary = false;  // "digest *name" rather than "digest  name"
  bool zero = false;    // ends in NUL, names unescaped
};
std::string DigestLine(const LineStyle& style, std::string_view tag, std::string_view digest,
                       std::string_view name);

// How a checked name is shown in its result line: as it is, or escaped with
// a leading backslash when it holds a newline that would split the line.
std::string ResultName(std::string_view name);

}  // namespace quillet::tool
