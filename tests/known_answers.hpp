// Known answers for every digest, shared by the engine, API and tool tests.
//
// Origins:
//   StandardSHA  FIPS 180-1 appendices A and B, RFC 3174 section 7.3 (TEST4),
//                and the FIPS 180-1 digests of the other inputs as computed
//                by Python's hashlib.sha1.
//   BrokenSHA,   the variants' published known answers (empty, "abc", "a"
//   LockdownSHA  repeated 55, 56, 64 and 65 times); the rest from
//                tests/reference/sha_variants.py, a plain model written
//                independently of the library.
//   MD5          RFC 1321 appendix A.5 (its test suite, in upper case); the
//                boundary lengths and other inputs from Python's hashlib.md5.
#pragma once

#include <string>
#include <vector>

namespace quillet::test {

enum class Kind { kStandard, kBroken, kLockdown, kMd5 };

struct KnownAnswer {
  Kind kind;
  std::string message;
  const char* hex;  // MD5: upper case, as the export returns it
};

inline std::string Repeat(const std::string& unit, std::size_t times) {
  std::string out;
  for (std::size_t i = 0; i < times; ++i) out += unit;
  return out;
}

inline std::string AllByteValues() {
  std::string out;
  for (int i = 0; i < 256; ++i) out.push_back(static_cast<char>(i));
  return out;
}

inline const std::vector<KnownAnswer>& KnownAnswers() {
  static const std::vector<KnownAnswer> answers = {
      {Kind::kStandard, "", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
      {Kind::kStandard, "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
      {Kind::kStandard, "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
      {Kind::kStandard, std::string(1000000, 'a'),
       "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
      {Kind::kStandard, Repeat("01234567", 80),
       "dea356a2cddd90c7a7ecedc5ebb563934f460452"},
      {Kind::kStandard, std::string("a\0b", 3),
       "4a3dec2d1f8245280855c42db0ee4239f917fdb8"},
      {Kind::kStandard, AllByteValues(), "4916d6bdb7f78e6803698cab32d1586ea457dfc8"},
      {Kind::kStandard, std::string(1000, 'a'),
       "291e9a6c66994949b57ba5e650361e98fc36b1ba"},

      {Kind::kBroken, "", "0123456789abcdeffedcba9876543210f0e1d2c3"},
      {Kind::kBroken, "abc", "7a7af57b99e91bcce6dc75f981fe2255d6c878ab"},
      {Kind::kBroken, std::string(55, 'a'), "f7889b5b56f2e597e7954c4a895462accd85b112"},
      {Kind::kBroken, std::string(56, 'a'), "f69d7cde51621b03179b9c9ea43aac5568bd23e1"},
      {Kind::kBroken, std::string(64, 'a'), "af23d1f0d252d926f82ef4b128b074f661836dee"},
      {Kind::kBroken, std::string(65, 'a'), "477cc9642888c0cb89d5b3b820f54cda0d12b206"},
      {Kind::kBroken, std::string(120, 'a'), "e89552b6abe6ed74bb4c9fe5188a0f6ecc2b3439"},
      {Kind::kBroken, std::string(128, 'a'), "41c0f5297502706c2a94f185870bad124665cb02"},
      {Kind::kBroken, std::string(64, '\0'), "eea03a4d5a1d2694576f4a5860998d6b80c64615"},
      {Kind::kBroken, AllByteValues(), "e8e096c56987947b0d9bdcf3b94836f51c391706"},

      {Kind::kLockdown, "", "1ef84498ecf608147d1332b9cfd7be33a318f5dc"},
      {Kind::kLockdown, "abc", "50c8e95373d4856f7567b73c2df9da981062e20a"},
      {Kind::kLockdown, std::string(55, 'a'), "98a70fdd1273224976f0420d697b02b3da6d9eba"},
      {Kind::kLockdown, std::string(56, 'a'), "c4f719535fec33a03359f23623537ed62d204443"},
      {Kind::kLockdown, std::string(64, 'a'), "3be7b388cea36f16e0e528135e3a4987009e9ee6"},
      {Kind::kLockdown, std::string(65, 'a'), "ab070b3cb673563d90b048a4989aeddfd1946d35"},
      {Kind::kLockdown, std::string(120, 'a'), "6850143cba1b23b29ec5bb2247a65700ac218275"},
      {Kind::kLockdown, AllByteValues(), "3bfc336f25e3297707ebd392914ebe653bf4c40a"},

      {Kind::kMd5, "", "D41D8CD98F00B204E9800998ECF8427E"},
      {Kind::kMd5, "a", "0CC175B9C0F1B6A831C399E269772661"},
      {Kind::kMd5, "abc", "900150983CD24FB0D6963F7D28E17F72"},
      {Kind::kMd5, "message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
      {Kind::kMd5, "abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
      {Kind::kMd5, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "D174AB98D277D9F5A5611C2C9F419D9F"},
      {Kind::kMd5, Repeat("1234567890", 8), "57EDF4A22BE3C955AC49DA2E2107B67A"},
      {Kind::kMd5, std::string(55, 'a'), "EF1772B6DFF9A122358552954AD0DF65"},
      {Kind::kMd5, std::string(56, 'a'), "3B0C8AC703F828B04C6C197006D17218"},
      {Kind::kMd5, std::string(63, 'a'), "B06521F39153D618550606BE297466D5"},
      {Kind::kMd5, std::string(64, 'a'), "014842D480B571495A4A0363793F7367"},
      {Kind::kMd5, std::string(65, 'a'), "C743A45E0D2E6A95CB859ADAE0248435"},
      {Kind::kMd5, std::string(119, 'a'), "8A7BD0732ED6A28CE75F6DABC90E1613"},
      {Kind::kMd5, std::string(120, 'a'), "5F61C0CCAD4CAC44C75FF505E1F1E537"},
      {Kind::kMd5, AllByteValues(), "E2C865DB4162BED963BFAA9EF6AC18F0"},
      {Kind::kMd5, std::string("a\0b", 3), "70350F6027BCE3713F6B76473084309B"},
  };
  return answers;
}

}  // namespace quillet::test
