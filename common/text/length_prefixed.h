// Length-prefixed strings (string[N]): one length byte followed by up to N
// characters, N + 1 bytes in all, the form of every text in the host's call
// records.
//
// Reading never goes past N characters nor past the end of the buffer given,
// whatever the length byte says (the host may pass garbage). Writing cuts the
// text to what fits, stores the length and zero-fills the rest of the field.
// No allocation beyond the returned string; safe from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace talvex::common {

// field points at the length byte; available is the number of bytes from
// there to the end of the caller's buffer (0 gives "").
std::string readLengthPrefixed(const void* field, size_t capacity, size_t available);
// Writes at most min(capacity, available - 1, 255) characters; returns the
// number written.
size_t writeLengthPrefixed(void* field, size_t capacity, size_t available,
                           std::string_view text);

// A string[N] field of a packed host record.
template <size_t N>
struct ShortString {
  static_assert(N >= 1 && N <= 255, "a length byte holds at most 255");
  uint8_t length;
  char chars[N];

  std::string str() const { return readLengthPrefixed(this, N, sizeof(*this)); }
  size_t assign(std::string_view text) {
    return writeLengthPrefixed(this, N, sizeof(*this), text);
  }
};
static_assert(sizeof(ShortString<10>) == 11, "string[N] is N + 1 bytes");
static_assert(alignof(ShortString<10>) == 1, "string[N] has no alignment");

}  // namespace talvex::common
