// Text helpers of the libraries and programs above the engine. Table, field
// and file names are ASCII; these work on bytes and ignore the process
// locale. The engine keeps its own (engine/src/ascii_text.h): it sits below
// common/. Inline, so that code compiled into a test on its own needs no
// library for them.
#pragma once

#include <string>
#include <string_view>

namespace talvex::common {

inline bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }
inline char upperAsciiChar(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }

// a-z raised to A-Z; every other byte as it stands.
inline std::string upperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = upperAsciiChar(c);
  return out;
}

// Equal when upper-cased as above.
inline bool sameTextNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (upperAsciiChar(a[i]) != upperAsciiChar(b[i])) return false;
  }
  return true;
}

// Every character with a code up to 32 removed at both ends, as the host
// trims stored text (so tabs, CR and LF go with the blanks).
inline std::string_view trimControl(std::string_view text) {
  auto control = [](char c) { return static_cast<unsigned char>(c) <= 32; };
  while (!text.empty() && control(text.front())) text.remove_prefix(1);
  while (!text.empty() && control(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace talvex::common
