#include "field_value.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <system_error>

#include "platform/ascii_text.h"

namespace talvex::engine {

namespace {

using ascii::isDigit;

std::string_view trim(std::string_view s) { return ascii::trimBlanks(s, true); }

void stripLeadingZeros(std::string& s) {
  size_t i = 0;
  while (i < s.size() && s[i] == '0') ++i;
  s.erase(0, i);
}

// Adds one unit in the last place of digits; returns true when it carries out.
bool incrementDigits(std::string& digits) {
  for (size_t i = digits.size(); i-- > 0;) {
    if (digits[i] == '9') {
      digits[i] = '0';
    } else {
      ++digits[i];
      return false;
    }
  }
  return true;
}

void fillRight(char* dst, size_t width, std::string_view text) {
  size_t n = text.size() < width ? text.size() : width;
  std::memset(dst, ' ', width - n);
  std::memcpy(dst + (width - n), text.data() + (text.size() - n), n);
}

void fillLeft(char* dst, size_t width, std::string_view text) {
  size_t n = text.size() < width ? text.size() : width;
  std::memcpy(dst, text.data(), n);
  std::memset(dst + n, ' ', width - n);
}

int daysInMonth(int y, int m) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0)) return 29;
  return days[m - 1];
}

}  // namespace

bool Decimal::isZero() const {
  if (!intDigits.empty()) return false;
  for (char c : fracDigits)
    if (c != '0') return false;
  return true;
}

bool parseStoredDecimal(std::string_view text, Decimal* out) {
  std::string_view s = trim(text);
  Decimal d;
  if (s.empty()) {
    *out = d;
    return true;
  }
  size_t i = 0;
  if (s[i] == '-' || s[i] == '+') {
    d.negative = s[i] == '-';
    ++i;
  }
  bool digits = false, point = false;
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (isDigit(c)) {
      (point ? d.fracDigits : d.intDigits).push_back(c);
      digits = true;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  if (!digits) return false;
  stripLeadingZeros(d.intDigits);
  if (d.isZero()) d.negative = false;
  *out = std::move(d);
  return true;
}

Decimal parseLeadingDecimal(std::string_view s) {
  Decimal d;
  size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) {
    d.negative = s[i] == '-';
    ++i;
  }
  bool point = false;
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (isDigit(c)) {
      (point ? d.fracDigits : d.intDigits).push_back(c);
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  stripLeadingZeros(d.intDigits);
  if (d.isZero()) d.negative = false;
  return d;
}

Decimal decimalFromDouble(double value) {
  Decimal d;
  if (!std::isfinite(value)) return d;
  char buf[400];
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
  if (r.ec != std::errc()) return d;
  std::string_view s(buf, static_cast<size_t>(r.ptr - buf));
  return parseLeadingDecimal(s);
}

Decimal decimalFromLong(long long value) {
  Decimal d;
  d.negative = value < 0;
  unsigned long long mag = d.negative ? 0ull - static_cast<unsigned long long>(value)
                                      : static_cast<unsigned long long>(value);
  d.intDigits = std::to_string(mag);
  stripLeadingZeros(d.intDigits);
  return d;
}

double decimalToDouble(const Decimal& d) {
  std::string s;
  s.reserve(d.intDigits.size() + d.fracDigits.size() + 3);
  s += d.intDigits.empty() ? "0" : d.intDigits;
  if (!d.fracDigits.empty()) {
    s += '.';
    s += d.fracDigits;
  }
  double v = 0;
  std::from_chars(s.data(), s.data() + s.size(), v);
  return d.negative ? -v : v;
}

bool formatDecimal(const Decimal& d, int width, int dec, std::string* out) {
  if (width <= 0) {
    out->clear();
    return false;
  }
  if (dec < 0) dec = 0;
  std::string intPart = d.intDigits;
  std::string frac = d.fracDigits;
  size_t keep = static_cast<size_t>(dec);
  if (frac.size() > keep) {
    bool up = frac[keep] >= '5';  // half away from zero on the decimal digits
    frac.resize(keep);
    if (up) {
      if (incrementDigits(frac)) {
        if (intPart.empty()) intPart = "0";
        if (incrementDigits(intPart)) intPart.insert(intPart.begin(), '1');
      }
    }
  }
  frac.resize(keep, '0');
  stripLeadingZeros(intPart);
  bool zero = intPart.empty() && frac.find_first_not_of('0') == std::string::npos;
  std::string text;
  if (d.negative && !zero) text += '-';
  text += intPart.empty() ? "0" : intPart;
  if (dec > 0) {
    text += '.';
    text += frac;
  }
  if (text.size() > static_cast<size_t>(width)) {
    out->assign(static_cast<size_t>(width), '*');
    return false;
  }
  out->assign(static_cast<size_t>(width) - text.size(), ' ');
  *out += text;
  return true;
}

bool validDateText(std::string_view t) {
  if (t.size() != 8) return false;
  for (char c : t)
    if (!isDigit(c)) return false;
  int y = std::atoi(std::string(t.substr(0, 4)).c_str());
  int m = (t[4] - '0') * 10 + (t[5] - '0');
  int dd = (t[6] - '0') * 10 + (t[7] - '0');
  if (y < 1 || m < 1 || m > 12 || dd < 1) return false;
  return dd <= daysInMonth(y, m);
}

bool blankText(std::string_view t) {
  for (char c : t)
    if (c != ' ' && c != '\0') return false;
  return true;
}

AssignResult assignFieldText(const FieldDesc& f, char* dst, std::string_view text) {
  switch (f.type) {
    case 'N':
    case 'F': {
      if (blankText(text)) {
        std::memset(dst, ' ', f.len);
        return AssignResult::Ok;
      }
      Decimal d;
      if (!parseStoredDecimal(text, &d)) return AssignResult::Invalid;
      return assignFieldDecimal(f, dst, d);
    }
    case 'D': {
      std::string_view t = trim(text);
      if (t.empty() || t == "00000000") {
        std::memset(dst, ' ', f.len);
        return AssignResult::Ok;
      }
      if (!validDateText(t)) return AssignResult::Invalid;
      std::memcpy(dst, t.data(), 8);
      return AssignResult::Ok;
    }
    case 'L': {
      std::string_view t = trim(text);
      char c = t.empty() ? ' ' : t[0];
      switch (c) {
        case 'T': case 't': case 'Y': case 'y': dst[0] = 'T'; return AssignResult::Ok;
        case 'F': case 'f': case 'N': case 'n': dst[0] = 'F'; return AssignResult::Ok;
        case ' ': case '?': dst[0] = c; return AssignResult::Ok;
        default: return AssignResult::Invalid;
      }
    }
    default:
      fillLeft(dst, f.len, text);
      return AssignResult::Ok;
  }
}

AssignResult assignFieldDecimal(const FieldDesc& f, char* dst, const Decimal& d) {
  std::string text;
  switch (f.type) {
    case 'N':
    case 'F': {
      bool fits = formatDecimal(d, f.len, f.dec, &text);
      std::memcpy(dst, text.data(), f.len);
      return fits ? AssignResult::Ok : AssignResult::DoesNotFit;
    }
    case 'C': {
      int dec = static_cast<int>(d.fracDigits.size());
      while (dec > 0 && d.fracDigits[static_cast<size_t>(dec) - 1] == '0') --dec;
      bool fits = formatDecimal(d, f.len, dec, &text);
      std::memcpy(dst, text.data(), f.len);
      return fits ? AssignResult::Ok : AssignResult::DoesNotFit;
    }
    case 'D': {
      if (d.isZero()) {
        std::memset(dst, ' ', 8);
        return AssignResult::Ok;
      }
      if (d.negative || !d.fracDigits.empty() || !validDateText(d.intDigits))
        return AssignResult::Invalid;
      std::memcpy(dst, d.intDigits.data(), 8);
      return AssignResult::Ok;
    }
    case 'L':
      dst[0] = d.isZero() ? 'F' : 'T';
      return AssignResult::Ok;
    default:
      return AssignResult::Invalid;
  }
}

bool fieldDecimal(const FieldDesc& f, std::string_view bytes, Decimal* out) {
  switch (f.type) {
    case 'N':
    case 'F':
      return parseStoredDecimal(bytes, out);
    case 'L': {
      char c = bytes.empty() ? ' ' : bytes[0];
      *out = decimalFromLong(c == 'T' || c == 't' || c == 'Y' || c == 'y' ? 1 : 0);
      return true;
    }
    case 'D': {
      std::string_view t = trim(bytes);
      *out = validDateText(t) ? parseLeadingDecimal(t) : Decimal{};
      return true;
    }
    default:
      *out = parseLeadingDecimal(bytes);
      return true;
  }
}

bool storedNumberAsWritten(const char* s, size_t len, int dec) {
  size_t i = 0;
  while (i < len && s[i] == ' ') ++i;
  if (i == len) return true;
  const bool negative = s[i] == '-';
  if (negative) ++i;
  const size_t intStart = i;
  while (i < len && isDigit(s[i])) ++i;
  const size_t intLen = i - intStart;
  if (intLen == 0 || (intLen > 1 && s[intStart] == '0')) return false;
  bool zero = intLen == 1 && s[intStart] == '0';
  if (dec > 0) {
    if (i == len || s[i] != '.') return false;
    const size_t fracStart = ++i;
    while (i < len && isDigit(s[i])) {
      if (s[i] != '0') zero = false;
      ++i;
    }
    if (i - fracStart != static_cast<size_t>(dec)) return false;
  }
  return i == len && !(negative && zero);
}

bool storedLogicalAsWritten(const char* s, size_t len) {
  return len == 1 && (s[0] == 'T' || s[0] == 'F' || s[0] == '?' || s[0] == ' ');
}

AssignResult assignFieldFromField(const FieldDesc& dst, char* d, const FieldDesc& src,
                                  std::string_view s) {
  bool srcNumeric = src.type == 'N' || src.type == 'F';
  bool dstNumeric = dst.type == 'N' || dst.type == 'F';
  if (dstNumeric) {
    if (blankText(s) && (srcNumeric || src.type == 'C')) {
      std::memset(d, ' ', dst.len);
      return AssignResult::Ok;
    }
    Decimal v;
    if (!fieldDecimal(src, s, &v)) return AssignResult::Invalid;
    return assignFieldDecimal(dst, d, v);
  }
  switch (dst.type) {
    case 'C':
      if (srcNumeric) {
        // The number as the source shows it, right-aligned like dBASE's STR().
        std::string_view t = trim(s);
        if (t.size() > dst.len) {
          std::memset(d, '*', dst.len);
          return AssignResult::DoesNotFit;
        }
        fillRight(d, dst.len, t);
        return AssignResult::Ok;
      }
      fillLeft(d, dst.len, s);
      return AssignResult::Ok;
    case 'D':
      if (src.type == 'D') {
        fillLeft(d, dst.len, s);
        return AssignResult::Ok;
      }
      if (srcNumeric) {
        Decimal v;
        if (!fieldDecimal(src, s, &v)) return AssignResult::Invalid;
        return assignFieldDecimal(dst, d, v);
      }
      return assignFieldText(dst, d, s);
    case 'L':
      if (srcNumeric) {
        Decimal v;
        if (!fieldDecimal(src, s, &v)) return AssignResult::Invalid;
        return assignFieldDecimal(dst, d, v);
      }
      if (assignFieldText(dst, d, s) != AssignResult::Ok) d[0] = ' ';
      return AssignResult::Ok;
    default:
      fillLeft(d, dst.len, s);
      return AssignResult::Ok;
  }
}

}  // namespace talvex::engine
