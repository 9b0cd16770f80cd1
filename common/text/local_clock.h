// The wall clock in the process's local time zone, for stamps people read
// (run logs). Thread-safe.
#pragma once

#include <ctime>

namespace talvex::common {

inline std::tm localNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  return local;
}

}  // namespace talvex::common
