// Today's date on the local clock, as the .dbf and .mdx headers stamp it.
#pragma once

#include "platform/local_clock.h"

namespace talvex::engine {

struct LocalDate {
  int year = 0;   // full year, e.g. 2026
  int month = 0;  // 1..12
  int day = 0;    // 1..31
};

inline LocalDate localToday() {
  const std::tm tm = platform::localNow();
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

}  // namespace talvex::engine
