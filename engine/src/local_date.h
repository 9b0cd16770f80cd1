// Today's date on the local clock, as the .dbf and .mdx headers stamp it.
// Thread-safe (the reentrant conversion of each platform).
#pragma once

#include <ctime>

namespace talvex::engine {

struct LocalDate {
  int year = 0;   // full year, e.g. 2026
  int month = 0;  // 1..12
  int day = 0;    // 1..31
};

inline LocalDate localToday() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
#ifdef _WIN32
  localtime_s(&tm, &now);
#else
  localtime_r(&now, &tm);
#endif
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

}  // namespace talvex::engine
