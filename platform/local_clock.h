// The wall clock in the process's local time zone: the one conversion to
// local time that every stamp uses (table and index headers, run logs).
// Thread-safe (the reentrant conversion of each platform).
#pragma once

#include <ctime>

namespace talvex::platform {

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

}  // namespace talvex::platform
