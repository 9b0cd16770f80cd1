#include "key_codec.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

namespace talvex::engine::mdx {

static_assert(std::endian::native == std::endian::little, "date keys are stored as host doubles");

namespace {

constexpr int kBcdDigits = 20;

std::string zeroNumericKey() {
  std::string k(kNumericKeyLength, '\0');
  k[0] = 0x34;
  k[1] = 0x01;
  return k;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::string encodeCharKey(std::string_view text, size_t keyLength) {
  std::string k(text.substr(0, keyLength));
  k.resize(keyLength, ' ');
  return k;
}

std::string encodeNumericKeyText(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && isBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  // Every digit in order, and how many came before the point.
  std::string digits;
  long pointAt = -1;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c >= '0' && c <= '9') {
      digits.push_back(c);
    } else if (c == '.' && pointAt < 0) {
      pointAt = long(digits.size());
    } else {
      break;
    }
  }
  if (pointAt < 0) pointAt = long(digits.size());
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    size_t j = i + 1;
    bool expNegative = false;
    if (j < text.size() && (text[j] == '-' || text[j] == '+')) expNegative = text[j++] == '-';
    long exp = 0;
    bool any = false;
    for (; j < text.size() && text[j] >= '0' && text[j] <= '9'; ++j) {
      any = true;
      if (exp < 100000) exp = exp * 10 + (text[j] - '0');
    }
    if (any) pointAt += expNegative ? -exp : exp;
  }
  size_t lead = 0;
  while (lead < digits.size() && digits[lead] == '0') ++lead;
  long exponent = pointAt - long(lead);
  digits.erase(0, lead);
  while (!digits.empty() && digits.back() == '0') digits.pop_back();
  if (digits.empty()) return zeroNumericKey();
  if (digits.size() > size_t(kBcdDigits)) digits.resize(kBcdDigits);
  while (!digits.empty() && digits.back() == '0') digits.pop_back();

  // The exponent byte holds 0x34 + e; values beyond a byte do not occur in
  // N fields (at most 20 digits), so they are clamped rather than wrapped.
  long byte0 = 0x34 + exponent;
  if (byte0 < 0) return zeroNumericKey();
  if (byte0 > 0xFF) {
    byte0 = 0xFF;
    digits.assign(kBcdDigits, '9');
  }
  std::string k(kNumericKeyLength, '\0');
  k[0] = char(byte0);
  size_t n = digits.size();
  uint8_t lengthBits = n <= 10 ? 0x29 : uint8_t(((2 * ((n + 1) / 2)) << 2) | 1);
  k[1] = char(lengthBits | (negative ? 0x80 : 0));
  for (size_t d = 0; d < n; ++d) {
    uint8_t v = uint8_t(digits[d] - '0');
    uint8_t& b = reinterpret_cast<uint8_t&>(k[2 + d / 2]);
    b |= (d % 2 == 0) ? uint8_t(v << 4) : v;
  }
  return k;
}

std::string encodeNumericKey(double value) {
  if (!std::isfinite(value)) {
    if (std::isnan(value)) return zeroNumericKey();
    return encodeNumericKeyText(value < 0 ? "-1e300" : "1e300");
  }
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, value);
  return encodeNumericKeyText(std::string_view(buf, size_t(r.ptr - buf)));
}

std::string decodeNumericKeyText(std::string_view key) {
  if (key.size() < kNumericKeyLength) return "0";
  const auto* b = reinterpret_cast<const uint8_t*>(key.data());
  std::string digits;
  for (int d = 0; d < kBcdDigits; ++d) {
    uint8_t byte = b[2 + d / 2];
    uint8_t v = (d % 2 == 0) ? byte >> 4 : byte & 0x0F;
    digits.push_back(char('0' + (v > 9 ? 9 : v)));
  }
  while (!digits.empty() && digits.back() == '0') digits.pop_back();
  if (digits.empty()) return "0";
  long e = long(b[0]) - 0x34;
  std::string out = (b[1] & 0x80) ? "-" : "";
  if (e <= 0) {
    out += "0.";
    out.append(size_t(-e), '0');
    out += digits;
  } else if (size_t(e) >= digits.size()) {
    out += digits;
    out.append(size_t(e) - digits.size(), '0');
  } else {
    out += digits.substr(0, size_t(e));
    out += '.';
    out += digits.substr(size_t(e));
  }
  return out;
}

double decodeNumericKey(std::string_view key) {
  std::string text = decodeNumericKeyText(key);
  double v = 0;
  std::from_chars(text.data(), text.data() + text.size(), v);
  return v;
}

std::string encodeDateKey(double julianDay) {
  std::string k(kDateKeyLength, '\0');
  std::memcpy(k.data(), &julianDay, sizeof julianDay);
  return k;
}

std::string blankDateKey() { return encodeDateKey(kBlankDateValue); }

int32_t julianDayNumber(int year, int month, int day) {
  // Days from civil (proleptic Gregorian), shifted so 1970-01-01 is JDN 2440588.
  int y = year - (month <= 2 ? 1 : 0);
  int era = (y >= 0 ? y : y - 399) / 400;
  int yoe = y - era * 400;
  int mp = (month + 9) % 12;
  int doy = (153 * mp + 2) / 5 + day - 1;
  int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  int64_t daysSinceEpoch = int64_t(era) * 146097 + doe - 719468;
  return int32_t(daysSinceEpoch + 2440588);
}

std::string encodeDateKeyYmd(int year, int month, int day) {
  if (year == 0) return blankDateKey();
  return encodeDateKey(double(julianDayNumber(year, month, day)));
}

std::string encodeDateKeyText(std::string_view t) {
  if (t.size() < 8) return blankDateKey();
  int v[8];
  for (int i = 0; i < 8; ++i) {
    if (t[size_t(i)] < '0' || t[size_t(i)] > '9') return blankDateKey();
    v[i] = t[size_t(i)] - '0';
  }
  int year = v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3];
  int month = v[4] * 10 + v[5];
  int day = v[6] * 10 + v[7];
  if (year == 0 || month < 1 || month > 12 || day < 1 || day > 31) return blankDateKey();
  return encodeDateKeyYmd(year, month, day);
}

double decodeDateKey(std::string_view key) {
  double v = 0;
  if (key.size() >= sizeof v) std::memcpy(&v, key.data(), sizeof v);
  return v;
}

namespace {

int numericClass(const uint8_t* k) {
  for (size_t i = 2; i < kNumericKeyLength; ++i)
    if (k[i] != 0) return (k[1] & 0x80) ? -1 : 1;
  return 0;
}

int compareNumeric(std::string_view a, std::string_view b) {
  if (a.size() < kNumericKeyLength || b.size() < kNumericKeyLength)
    return std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
  const auto* x = reinterpret_cast<const uint8_t*>(a.data());
  const auto* y = reinterpret_cast<const uint8_t*>(b.data());
  int cx = numericClass(x), cy = numericClass(y);
  if (cx != cy) return cx < cy ? -1 : 1;
  if (cx == 0) return 0;
  int r;
  if (x[0] != y[0]) {
    r = x[0] < y[0] ? -1 : 1;
  } else {
    r = std::memcmp(x + 2, y + 2, kNumericKeyLength - 2);
    r = r < 0 ? -1 : (r > 0 ? 1 : 0);
  }
  return cx < 0 ? -r : r;
}

int compareDate(std::string_view a, std::string_view b) {
  if (a.size() < kDateKeyLength || b.size() < kDateKeyLength)
    return std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
  double x = decodeDateKey(a), y = decodeDateKey(b);
  if (x < y) return -1;
  if (x > y) return 1;
  if (x == y) return 0;
  return std::memcmp(a.data(), b.data(), kDateKeyLength);  // NaN garbage: stable order
}

}  // namespace

int compareKeys(KeyType type, std::string_view a, std::string_view b) {
  switch (type) {
    case KeyType::Numeric:
      return compareNumeric(a, b);
    case KeyType::Date:
      return compareDate(a, b);
    case KeyType::Character:
      break;
  }
  size_t n = std::min(a.size(), b.size());
  int r = n ? std::memcmp(a.data(), b.data(), n) : 0;
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

}  // namespace talvex::engine::mdx
