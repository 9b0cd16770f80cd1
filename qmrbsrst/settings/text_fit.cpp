#include "qmrbsrst/settings/text_fit.h"

#include "platform/ascii_text.h"

namespace talvex::qmrbsrst {

std::string FitText(std::string_view text, size_t n) {
  std::string out(text.substr(0, n));
  out.resize(n, ' ');
  return out;
}

std::string_view Trim(std::string_view text) { return talvex::ascii::trimControl(text); }

std::string TrimAndCut(std::string_view text, size_t n) {
  return std::string(Trim(text).substr(0, n));
}

std::string UpperCase(std::string_view text) { return talvex::ascii::upper(text); }

bool SameText(std::string_view a, std::string_view b) {
  return talvex::ascii::sameNoCase(a, b);
}

bool ParseWholeNumber(std::string_view text, int32_t* value) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i == text.size()) return false;
  int64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c < '0' || c > '9') return false;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > int64_t{2147483648}) return false;
  }
  int64_t result = negative ? -magnitude : magnitude;
  if (result > INT32_MAX || result < INT32_MIN) return false;
  *value = static_cast<int32_t>(result);
  return true;
}

}  // namespace talvex::qmrbsrst
