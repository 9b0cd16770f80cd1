#include "common/text/ascii_text.h"

namespace talvex::common {
namespace {

char upperChar(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
bool isControl(char c) { return static_cast<unsigned char>(c) <= 32; }

}  // namespace

std::string upperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = upperChar(c);
  return out;
}

bool sameTextNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (upperChar(a[i]) != upperChar(b[i])) return false;
  }
  return true;
}

std::string_view trimControl(std::string_view text) {
  while (!text.empty() && isControl(text.front())) text.remove_prefix(1);
  while (!text.empty() && isControl(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace talvex::common
