#include <quillet/digest.hpp>

#include <cstdio>

int main() {
  const auto hex = quillet::ToHex(quillet::StandardSHA("abc"));
  std::printf("%.*s\n", static_cast<int>(hex.size()), hex.data());
  return 0;
}
