// Checking lists of digests, as sha1sum --check does, with the listed files
// hashed several at once and the results in the order of the list.
#pragma once

#include <string>
#include <string_view>

#include "hashing.hpp"
#include "options.hpp"

namespace quillet::tool {

// One line of a list: "<digest>  <name>", "<digest> *<name>", "<digest>
// <name>" (one blank, no marker), "TAG (<name>) = <digest>", each maybe
// with leading white space and, for an escaped name, a leading backslash.
struct ListEntry {
  std::string digest;
  std::string name;
};

class Checker {
 public:
  Checker(const DigestFormat& format, std::string_view tag, const CheckOptions& options,
          Pipeline& pipeline)
      : format_(format), tag_(tag), options_(options), pipeline_(pipeline) {}

  // Checks every line of the list `list_name` ("-": standard input); false
  // if anything failed.
  bool CheckList(const std::string& list_name);

  // Parses one line (without its newline and any trailing carriage return);
  // false when it is not a checksum line of this digest.
  bool Parse(std::string_view line, ListEntry& entry);

 private:
  DigestFormat format_;
  std::string_view tag_;
  CheckOptions options_;
  Pipeline& pipeline_;
  // Which of the two digest-first forms this run's lists use (see Parse).
  enum class ListForm { kUndecided, kMarked, kOneBlank };
  ListForm form_ = ListForm::kUndecided;
};

}  // namespace quillet::tool
