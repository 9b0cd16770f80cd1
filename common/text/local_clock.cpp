#include "common/text/local_clock.h"

namespace talvex::common {

std::tm localNow() {
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
