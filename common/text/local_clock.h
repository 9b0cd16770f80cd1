// The wall clock in the process's local time zone, for stamps people read
// (run logs). Thread-safe.
#pragma once

#include <ctime>

namespace talvex::common {

inline std::tm localTime(std::time_t when) {
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &when);
#else
  localtime_r(&when, &local);
#endif
  return local;
}

inline std::tm localNow() { return localTime(std::time(nullptr)); }

}  // namespace talvex::common
