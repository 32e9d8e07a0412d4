// Names in messages, quoted as a shell would need them.
#pragma once

#include <string>
#include <string_view>

namespace quillet::tool {

// `name` as is when it has only characters a shell leaves alone; otherwise
// in single quotes, with control characters written as $'\n' and the like
// outside them, as coreutils quotes names in its messages.
std::string Quote(std::string_view name);

}  // namespace quillet::tool
