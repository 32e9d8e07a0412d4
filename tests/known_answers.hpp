// The known answers of tests/vectors/known_answers.txt (whose header says
// where each comes from), read once for the C++ tests.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "quillet/digest.hpp"

#ifndef QUILLET_KNOWN_ANSWERS
#error "QUILLET_KNOWN_ANSWERS names the known-answer file"
#endif

namespace quillet::test {

struct KnownAnswer {
  std::string digest;      // "StandardSHA", ..., "MD5", "DoubleHashPassword"
  Algorithm algorithm{};   // of the four digests
  std::string message;     // the password for DoubleHashPassword
  std::uint32_t first_token = 0, second_token = 0;
  std::string hex;         // lower-case hex; MD5: the export's upper-case text
};

// A message as the file writes it: "text" with \xNN, \\ and \" escapes,
// "text"*COUNT, or bytes(0..255). Sets `ok` false on anything else.
inline std::string ParseMessage(const std::string& field, bool& ok) {
  if (field == "bytes(0..255)") {
    std::string all;
    for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
    return all;
  }
  ok = field.size() >= 2 && field[0] == '"';
  std::string text;
  std::size_t i = 1;
  for (; ok && i < field.size() && field[i] != '"'; ++i) {
    if (field[i] != '\\') {
      text.push_back(field[i]);
    } else if (i + 1 < field.size() && field[i + 1] == 'x' && i + 3 < field.size()) {
      text.push_back(static_cast<char>(std::strtoul(field.substr(i + 2, 2).c_str(), nullptr, 16)));
      i += 3;
    } else if (i + 1 < field.size()) {
      text.push_back(field[++i]);
    }
  }
  if (!ok || i == field.size()) {
    ok = false;
    return {};
  }
  std::size_t times = 1;
  if (i + 1 < field.size()) {
    ok = field[i + 1] == '*';
    times = std::strtoul(field.c_str() + i + 2, nullptr, 10);
  }
  std::string message;
  for (std::size_t n = 0; n < times; ++n) message += text;
  return message;
}

// Every answer in the file, in its order; aborts on a line it cannot read.
inline const std::vector<KnownAnswer>& AllKnownAnswers() {
  static const std::vector<KnownAnswer> answers = [] {
    std::vector<KnownAnswer> read;
    std::FILE* file = std::fopen(QUILLET_KNOWN_ANSWERS, "rb");
    if (file == nullptr) {
      std::fprintf(stderr, "cannot open %s\n", QUILLET_KNOWN_ANSWERS);
      std::abort();
    }
    char line[4096];
    while (std::fgets(line, sizeof line, file) != nullptr) {
      std::string text(line);
      while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
      if (text.empty() || text[0] == '#') continue;
      // Fields are separated by spaces; a quoted message may hold spaces.
      std::vector<std::string> fields;
      for (std::size_t at = 0; at < text.size();) {
        std::size_t end = at;
        if (text[at] == '"') {
          for (end = at + 1; end < text.size() && text[end] != '"'; ++end) {
            if (text[end] == '\\') ++end;
          }
        }
        end = text.find(' ', end);
        fields.push_back(text.substr(at, end - at));
        at = end == std::string::npos ? text.size() : end + 1;
      }
      KnownAnswer answer;
      bool ok = fields.size() == 3 || fields.size() == 5;
      if (ok) {
        answer.digest = fields[0];
        answer.message = ParseMessage(fields[1], ok);
        answer.hex = fields.back();
      }
      if (ok && answer.digest == "DoubleHashPassword" && fields.size() == 5) {
        answer.first_token = static_cast<std::uint32_t>(std::strtoul(fields[2].c_str(), nullptr, 16));
        answer.second_token = static_cast<std::uint32_t>(std::strtoul(fields[3].c_str(), nullptr, 16));
      } else if (ok && fields.size() == 3) {
        ok = false;
        for (const AlgorithmInfo& info : Algorithms()) {
          if (info.export_name == answer.digest) {
            answer.algorithm = info.algorithm;
            ok = true;
          }
        }
      } else {
        ok = false;
      }
      if (!ok) {
        std::fprintf(stderr, "%s: cannot read the line: %s\n", QUILLET_KNOWN_ANSWERS, text.c_str());
        std::abort();
      }
      read.push_back(answer);
    }
    std::fclose(file);
    return read;
  }();
  return answers;
}

// The answers of the four digests (not the password proofs).
inline std::vector<KnownAnswer> KnownAnswers() {
  std::vector<KnownAnswer> digests;
  for (const KnownAnswer& answer : AllKnownAnswers()) {
    if (answer.digest != "DoubleHashPassword") digests.push_back(answer);
  }
  return digests;
}

inline std::vector<KnownAnswer> PasswordAnswers() {
  std::vector<KnownAnswer> proofs;
  for (const KnownAnswer& answer : AllKnownAnswers()) {
    if (answer.digest == "DoubleHashPassword") proofs.push_back(answer);
  }
  return proofs;
}

}  // namespace quillet::test
