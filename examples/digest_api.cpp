#include <quillet/digest.hpp>

#include <cstdio>
#include <string>
#include <vector>

int main() {
  const quillet::Sha1Digest d = quillet::StandardSHA("abc");  // a literal: no terminator
  const auto hex = quillet::ToHex(d);                          // std::array<char, 40>
  std::printf("%.40s\n", hex.data());

  const std::vector<unsigned char> bytes = {'a', 'b', 'c'};
  const quillet::Md5Text text = quillet::MD5Hex(bytes);        // the export's upper-case text
  std::printf("%.32s\n", text.data());

  quillet::BrokenShaHasher hasher;                             // streaming
  hasher.Update(std::string("a")).Update("bc");
  const auto broken = quillet::ToHex(hasher.Finish());         // equals BrokenSHA("abc")
  std::printf("%.40s\n", broken.data());

  const auto proof = quillet::ToHex(quillet::DoubleHashPassword("password", 0x12345678u, 0xDEADBEEFu));
  std::printf("%.40s\n", proof.data());
  return 0;
}
