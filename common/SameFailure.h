// A choice of medium that comes back after a failure would come back for as
// long as the operator answers the same way. Each choice loop counts the
// failures that repeat the one before (same drive, same result word, same
// detail) and ends as a cancel once that has happened more than
// kSameFailureLimit times in a row.
#pragma once

#include <cstdint>
#include <string>

#include "platform/WinTypes.h"

constexpr int kSameFailureLimit = 3;

class SameFailureCount {
 public:
  // Notes a failure; true when it repeats the last one more than
  // kSameFailureLimit times, so the loop must end.
  bool Repeated(const char* drive, WORD word, std::uint32_t detail = 0) {
    const std::string where = drive ? drive : "";
    const bool same = count_ > 0 && word == word_ && detail == detail_ && where == drive_;
    count_ = same ? count_ + 1 : 1;
    word_ = word;
    detail_ = detail;
    drive_ = where;
    return count_ > kSameFailureLimit;
  }

 private:
  std::string drive_;
  WORD word_ = 0;
  std::uint32_t detail_ = 0;
  int count_ = 0;
};
