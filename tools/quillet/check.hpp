// Checking lists of digests, as sha1sum --check does.
#pragma once

#include <string>
#include <string_view>

#include "hashing.hpp"

namespace quillet::tool {

struct CheckOptions {
  bool ignore_missing = false;  // a listed file that does not exist is no failure
  bool quiet = false;           // no "OK" lines
  bool status = false;          // no output at all; the exit status tells
  bool strict = false;          // an improperly formatted line is a failure
  bool warn = false;            // say which lines are improperly formatted
};

// One line of a list: "<digest>  <name>", "<digest> *<name>", "<digest>
// <name>" (the reversed BSD form), "TAG (<name>) = <digest>", each maybe
// with leading white space and, for an escaped name, a leading backslash.
struct ListEntry {
  std::string digest;
  std::string name;
};

class Checker {
 public:
  Checker(Algorithm algorithm, const CheckOptions& options) : algorithm_(algorithm), options_(options) {}

  // Checks every line of the list `list_name` ("-": standard input); false
  // if anything failed.
  bool CheckList(const std::string& list_name);

  // Parses one line (without its newline and any trailing carriage return);
  // false when it is not a checksum line of this digest.
  bool Parse(std::string_view line, ListEntry& entry);

 private:
  Algorithm algorithm_;
  CheckOptions options_;
  // Whether the lists seen so far use the reversed BSD form (one space, no
  // marker): set by the first line that decides it, and from then on the
  // other form is refused, as sha1sum does.
  int bsd_reversed_ = -1;
};

}  // namespace quillet::tool
