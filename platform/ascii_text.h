// Text helpers for every layer. Table, field, tag and file names, keys and
// expressions are ASCII and compared without regard to case; these work on
// bytes and ignore the process locale, so a workstation's regional settings
// never change how a name or key is read. Inline, so that code compiled into
// a test on its own needs no library for them.
#pragma once

#include <string>
#include <string_view>

namespace talvex::ascii {

inline bool isDigit(char c) { return c >= '0' && c <= '9'; }
inline char upperChar(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }
inline char lowerChar(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

// a-z raised to A-Z; every other byte as it stands.
inline std::string upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = upperChar(c);
  return out;
}

// Equal when upper-cased as above.
inline bool sameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (upperChar(a[i]) != upperChar(b[i])) return false;
  return true;
}

// Blanks at both ends removed; with nulsToo, NUL bytes count as blanks (a
// numeric field written by a program that pads with NULs).
inline std::string_view trimBlanks(std::string_view s, bool nulsToo = false) {
  auto blank = [nulsToo](char c) { return c == ' ' || (nulsToo && c == '\0'); };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

inline std::string_view trimRightBlanks(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// Every character with a code up to 32 removed at both ends, as the host
// trims stored text (so tabs, CR and LF go with the blanks).
inline std::string_view trimControl(std::string_view text) {
  auto control = [](char c) { return static_cast<unsigned char>(c) <= 32; };
  while (!text.empty() && control(text.front())) text.remove_prefix(1);
  while (!text.empty() && control(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace talvex::ascii
