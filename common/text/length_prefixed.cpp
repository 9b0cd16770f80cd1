#include "common/text/length_prefixed.h"

#include <algorithm>

namespace talvex::common {

std::string readLengthPrefixed(const void* field, size_t capacity, size_t available) {
  if (!field || available == 0) return {};
  const unsigned char* p = static_cast<const unsigned char*>(field);
  size_t n = std::min({static_cast<size_t>(p[0]), capacity, available - 1});
  return std::string(reinterpret_cast<const char*>(p + 1), n);
}

size_t writeLengthPrefixed(void* field, size_t capacity, size_t available,
                           std::string_view text) {
  if (!field || available == 0) return 0;
  unsigned char* p = static_cast<unsigned char*>(field);
  size_t room = std::min({capacity, available - 1, size_t{255}});
  size_t n = std::min(text.size(), room);
  p[0] = static_cast<unsigned char>(n);
  if (n) std::memcpy(p + 1, text.data(), n);
  // Zero the unused characters so no stale text of an earlier value stays.
  if (room > n) std::memset(p + 1 + n, 0, room - n);
  return n;
}

}  // namespace talvex::common
