#include "common/text/claim_key.h"

#include <charconv>

namespace talvex::common {

std::string ClaimKey(int32_t claimNumber) {
  char buf[16];
  auto r = std::to_chars(buf, buf + sizeof buf, claimNumber);
  size_t n = static_cast<size_t>(r.ptr - buf);
  if (n > kClaimKeyWidth) return std::string(kClaimKeyWidth, '*');
  return std::string(kClaimKeyWidth - n, ' ') + std::string(buf, n);
}

std::string ClaimTypeKey(int32_t claimNumber, std::string_view typeCode, size_t typeWidth) {
  return ClaimKey(claimNumber) + padRight(typeCode, typeWidth);
}

std::string padLeft(std::string_view text, size_t width) {
  if (text.size() >= width) return std::string(text.substr(text.size() - width));
  return std::string(width - text.size(), ' ') + std::string(text);
}

std::string padRight(std::string_view text, size_t width) {
  if (text.size() >= width) return std::string(text.substr(0, width));
  return std::string(text) + std::string(width - text.size(), ' ');
}

}  // namespace talvex::common
