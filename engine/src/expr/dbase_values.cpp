#include "dbase_values.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <system_error>

#include "platform/ascii_text.h"

namespace talvex::engine::expr {
namespace {

using ascii::isDigit;

std::string_view TrimBlanks(std::string_view s) { return ascii::trimBlanks(s, true); }

// Parses [-+]digits[.digits] exactly as given (no blanks). from_chars is used
// because strtod follows the process locale's decimal point.
std::optional<double> ParseDecimal(std::string_view s) {
  std::string buf;
  buf.reserve(s.size() + 1);
  size_t i = 0;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) {
    if (s[i] == '-') buf.push_back('-');
    ++i;
  }
  bool digits = false, point = false;
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (isDigit(c)) {
      digits = true;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      return std::nullopt;
    }
    buf.push_back(c);
  }
  if (!digits) return std::nullopt;
  // from_chars refuses a leading point.
  if (buf[0] == '.' || (buf[0] == '-' && buf.size() > 1 && buf[1] == '.'))
    buf.insert(buf[0] == '-' ? 1 : 0, "0");
  double v = 0;
  auto r = std::from_chars(buf.data(), buf.data() + buf.size(), v);
  if (r.ec != std::errc()) return std::nullopt;
  return v;
}

// Shortest exact decimal form of |v| split at the point.
void DecimalDigits(double v, std::string &int_part, std::string &frac_part) {
  char buf[400];
  auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::fixed);
  std::string_view s(buf, r.ec == std::errc() ? size_t(r.ptr - buf) : 0);
  size_t dot = s.find('.');
  int_part = std::string(s.substr(0, dot));
  frac_part = dot == std::string_view::npos ? std::string() : std::string(s.substr(dot + 1));
  if (int_part.empty()) int_part = "0";
}

// Rounds the decimal digits to dec places, half away from zero.
void RoundDigits(std::string &int_part, std::string &frac_part, size_t dec) {
  if (frac_part.size() <= dec) {
    frac_part.append(dec - frac_part.size(), '0');
    return;
  }
  bool up = frac_part[dec] >= '5';
  frac_part.resize(dec);
  if (!up) return;
  std::string all = int_part + frac_part;
  int i = int(all.size()) - 1;
  for (; i >= 0; --i) {
    if (all[i] == '9') {
      all[i] = '0';
    } else {
      ++all[i];
      break;
    }
  }
  if (i < 0) all.insert(all.begin(), '1');
  int_part = all.substr(0, all.size() - dec);
  frac_part = all.substr(all.size() - dec);
}

bool AllZero(const std::string &a, const std::string &b) {
  for (char c : a) if (c != '0') return false;
  for (char c : b) if (c != '0') return false;
  return true;
}

}  // namespace

std::optional<ParsedNumber> ParseStoredNumber(std::string_view field) {
  std::string_view t = TrimBlanks(field);
  if (t.empty()) return ParsedNumber{0, "0"};
  auto v = ParseDecimal(t);
  if (!v) return std::nullopt;
  ParsedNumber p;
  p.value = *v;
  p.text = std::string(t.front() == '+' ? t.substr(1) : t);
  return p;
}

double ParseLeadingNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  size_t start = i;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  bool point = false;
  while (i < text.size() && (isDigit(text[i]) || (text[i] == '.' && !point))) {
    if (text[i] == '.') point = true;
    ++i;
  }
  auto v = ParseDecimal(text.substr(start, i - start));
  return v ? *v : 0.0;
}

std::string FormatNumber(double value) {
  if (!std::isfinite(value) || value == 0) return "0";
  int magnitude = int(std::floor(std::log10(std::fabs(value))));
  int precision = 14 - magnitude;
  if (precision < 0) precision = 0;
  if (precision > 340) precision = 340;
  char buf[720];
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, precision);
  if (r.ec != std::errc()) return "0";
  std::string s(buf, r.ptr);
  if (s.find('.') != std::string::npos) {
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
  }
  if (s == "-0") s = "0";
  return s;
}

std::string FormatStr(double value, int len, int dec) {
  if (len < 1) len = 1;
  if (!std::isfinite(value)) return std::string(size_t(len), '*');
  if (dec < 0) dec = 0;
  std::string int0, frac0;
  DecimalDigits(value, int0, frac0);
  bool negative = value < 0;
  // A point and d decimals need d + 2 columns, so start below that.
  for (int d = std::max(0, std::min(dec, len - 2)); d >= 0; --d) {
    std::string ip = int0, fp = frac0;
    RoundDigits(ip, fp, size_t(d));
    std::string s;
    if (negative && !AllZero(ip, fp)) s.push_back('-');
    s += ip;
    if (d > 0) s += "." + fp;
    if (int(s.size()) <= len) return std::string(size_t(len) - s.size(), ' ') + s;
  }
  return std::string(size_t(len), '*');
}

double RoundDecimal(double value, int dec) {
  if (!std::isfinite(value)) return 0;
  if (dec < -20) return 0;
  double scale = 1;
  if (dec < 0) {
    scale = std::pow(10.0, -dec);
    value /= scale;
    dec = 0;
  }
  if (dec > 20) dec = 20;
  std::string ip, fp;
  DecimalDigits(value, ip, fp);
  RoundDigits(ip, fp, size_t(dec));
  std::string s = (value < 0 ? "-" : "") + ip + (dec > 0 ? "." + fp : "");
  auto v = ParseDecimal(s);
  return (v ? *v : 0) * scale;
}

long DaysFromDtos(std::string_view s) {
  if (s.size() != 8) return 0;
  for (char c : s)
    if (!isDigit(c)) return 0;
  int y = (s[0] - '0') * 1000 + (s[1] - '0') * 100 + (s[2] - '0') * 10 + (s[3] - '0');
  int m = (s[4] - '0') * 10 + (s[5] - '0');
  int d = (s[6] - '0') * 10 + (s[7] - '0');
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1 || m < 1 || m > 12 || d < 1) return 0;
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  int dim = kDays[m - 1] + (m == 2 && leap ? 1 : 0);
  if (d > dim) return 0;
  long a = (14 - m) / 12;
  long yy = y + 4800 - a;
  long mm = m + 12 * a - 3;
  return d + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - yy / 100 + yy / 400 - 32045;
}

void SplitDays(long jdn, int &year, int &month, int &day) {
  // Years 1-9999 only: 1721426 is 0001-01-01, 5373484 is 9999-12-31.
  if (jdn < 1721426 || jdn > 5373484) {
    year = month = day = 0;
    return;
  }
  long a = jdn + 32044;
  long b = (4 * a + 3) / 146097;
  long c = a - 146097 * b / 4;
  long d = (4 * c + 3) / 1461;
  long e = c - 1461 * d / 4;
  long m = (5 * e + 2) / 153;
  day = int(e - (153 * m + 2) / 5 + 1);
  month = int(m + 3 - 12 * (m / 10));
  year = int(100 * b + d - 4800 + m / 10);
}

std::string DtosFromDays(long jdn) {
  int y, m, d;
  SplitDays(jdn, y, m, d);
  if (y == 0) return std::string(8, ' ');
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, d);
  return buf;
}

std::string DtocFromDays(long jdn) {
  int y, m, d;
  SplitDays(jdn, y, m, d);
  if (y == 0) return "  /  /  ";
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d/%02d/%02d", m, d, y % 100);
  return buf;
}

long DaysFromCtod(std::string_view text) {
  std::string_view t = TrimBlanks(text);
  int parts[3] = {0, 0, 0};
  int digits[3] = {0, 0, 0};
  int part = 0;
  for (char c : t) {
    if (isDigit(c)) {
      if (digits[part] >= 4) return 0;
      parts[part] = parts[part] * 10 + (c - '0');
      ++digits[part];
    } else if ((c == '/' || c == '-' || c == '.') && part < 2 && digits[part] > 0) {
      ++part;
    } else {
      return 0;
    }
  }
  if (part != 2 || digits[2] == 0 || digits[0] > 2 || digits[1] > 2) return 0;
  int year = parts[2];
  if (digits[2] <= 2) year += 1900;
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", year, parts[0], parts[1]);
  return DaysFromDtos(buf);
}

}  // namespace talvex::engine::expr
