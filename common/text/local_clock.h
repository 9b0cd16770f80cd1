// The wall clock in the process's local time zone, for stamps people read
// (run logs). Thread-safe.
#pragma once

#include <ctime>

namespace talvex::common {

std::tm localNow();

}  // namespace talvex::common
