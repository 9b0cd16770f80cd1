// Number texts built by hand from std::to_chars / std::from_chars, which
// never consult the locale (printf and streams would).
#include "common/text/number_format.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace talvex::common {
namespace {

// Shortest round-trip digits of |value| in fixed notation, then rounded half
// away from zero at the given decimals, so 2.675 gives 2.68 as written.
std::string fixedDigits(double magnitude, int decimals) {
  char buf[400];
  auto r = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::fixed);
  if (r.ec != std::errc()) return {};
  std::string s(buf, r.ptr);
  size_t dot = s.find('.');
  std::string whole = dot == std::string::npos ? s : s.substr(0, dot);
  std::string frac = dot == std::string::npos ? std::string() : s.substr(dot + 1);
  bool up = frac.size() > static_cast<size_t>(decimals) && frac[decimals] >= '5';
  frac.resize(static_cast<size_t>(decimals), '0');
  std::string digits = whole + frac;
  if (up) {
    size_t i = digits.size();
    while (i > 0) {
      --i;
      if (digits[i] == '9') {
        digits[i] = '0';
      } else {
        ++digits[i];
        break;
      }
      if (i == 0) digits.insert(digits.begin(), '1');
    }
  }
  size_t wholeLen = digits.size() - static_cast<size_t>(decimals);
  std::string out = digits.substr(0, wholeLen);
  if (decimals > 0) out += "." + digits.substr(wholeLen);
  return out;
}

std::string groupThousands(const std::string& fixed) {
  size_t dot = fixed.find('.');
  std::string whole = fixed.substr(0, dot);
  std::string rest = dot == std::string::npos ? std::string() : fixed.substr(dot);
  std::string out;
  for (size_t i = 0; i < whole.size(); ++i) {
    if (i > 0 && (whole.size() - i) % 3 == 0) out += ',';
    out += whole[i];
  }
  return out + rest;
}

bool allZero(const std::string& s) {
  for (char c : s)
    if (c >= '1' && c <= '9') return false;
  return true;
}

std::string twoDigits(int v) {
  return std::string{static_cast<char>('0' + v / 10), static_cast<char>('0' + v % 10)};
}

}  // namespace

std::string formatNumber(double value, int decimals, bool thousands) {
  if (!std::isfinite(value) || decimals < 0 || decimals > 15) return {};
  std::string text = fixedDigits(std::fabs(value), decimals);
  if (text.empty()) return {};
  if (thousands) text = groupThousands(text);
  // A value that rounds to zero is written without a sign.
  return value < 0 && !allZero(text) ? "-" + text : text;
}

std::string formatCurrency(double value) {
  if (!std::isfinite(value)) return {};
  std::string text = groupThousands(fixedDigits(std::fabs(value), 2));
  if (value < 0 && !allZero(text)) return "($" + text + ")";
  return "$" + text;
}

std::string formatShortDate(const CalendarDate& d) {
  if (!isValidDate(d.year, d.month, d.day)) return {};
  char year[8];
  auto r = std::to_chars(year, year + sizeof year, d.year);
  std::string y(year, r.ptr);
  return twoDigits(d.month) + "/" + twoDigits(d.day) + "/" + std::string(4 - y.size(), '0') + y;
}

bool parseShortDate(std::string_view text, CalendarDate* date) {
  int parts[3];
  size_t pos = 0;
  for (int i = 0; i < 3; ++i) {
    size_t start = pos;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') ++pos;
    size_t len = pos - start;
    if (len == 0 || len > (i == 2 ? 4u : 2u) || (i == 2 && len != 4)) return false;
    std::from_chars(text.data() + start, text.data() + pos, parts[i]);
    if (i < 2) {
      if (pos >= text.size() || text[pos] != '/') return false;
      ++pos;
    }
  }
  if (pos != text.size() || !isValidDate(parts[2], parts[0], parts[1])) return false;
  *date = CalendarDate{parts[2], parts[0], parts[1]};
  return true;
}

bool parseNumber(std::string_view text, double* value) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  bool negative = false;
  if (text.size() >= 2 && text.front() == '(' && text.back() == ')') {
    negative = true;
    text = text.substr(1, text.size() - 2);
  }
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    if (negative) return false;
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (!text.empty() && text.front() == '$') text.remove_prefix(1);
  std::string clean;
  bool seenDot = false, seenDigit = false;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      clean += c;
      seenDigit = true;
    } else if (c == '.' && !seenDot) {
      clean += c;
      seenDot = true;
    } else if (c == ',' && !seenDot && seenDigit) {
      continue;  // thousands separator
    } else {
      return false;
    }
  }
  if (!seenDigit) return false;
  double v = 0;
  auto r = std::from_chars(clean.data(), clean.data() + clean.size(), v,
                           std::chars_format::fixed);
  if (r.ec != std::errc() || r.ptr != clean.data() + clean.size()) return false;
  *value = negative ? -v : v;
  return true;
}

}  // namespace talvex::common
