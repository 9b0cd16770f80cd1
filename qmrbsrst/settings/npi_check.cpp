#include "qmrbsrst/settings/npi_check.h"

namespace talvex::qmrbsrst {

namespace {
// The Luhn sum of the digits of "80840", which the 10-character form leaves out.
constexpr int kPrefixSum = 24;
}  // namespace

bool IsValidNpi(std::string_view text) {
  size_t end = text.size();
  while (end > 0 && text[end - 1] == ' ') --end;
  text = text.substr(0, end);

  if (text == "9999999980") return true;
  if (text.size() == 10 && text.substr(0, 9) == "999999999" && text[9] >= '1' &&
      text[9] <= '8') {
    return true;
  }

  int sum = 0;
  if (text.size() == 15 && text.substr(0, 5) == "80840") {
    sum = 0;
  } else if (text.size() == 10) {
    sum = kPrefixSum;
  } else {
    return false;
  }

  int position = 0;
  for (size_t i = text.size(); i-- > 0; ++position) {
    char c = text[i];
    if (c < '0' || c > '9') return false;
    int digit = c - '0';
    if (position % 2 == 1) {
      digit *= 2;
      if (digit > 9) digit -= 9;
    }
    sum += digit;
  }
  return sum % 10 == 0;
}

}  // namespace talvex::qmrbsrst
