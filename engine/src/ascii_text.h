// The engine's text helpers. Field names, tag names and expressions are ASCII
// and compared without regard to case; these work on bytes and ignore the
// process locale, so a workstation's regional settings never change how a
// name or key is read.
#pragma once

#include <string>
#include <string_view>

namespace talvex::engine::ascii {

inline bool isDigit(char c) { return c >= '0' && c <= '9'; }
inline char upperChar(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }
inline char lowerChar(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

inline std::string upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = upperChar(c);
  return out;
}

inline bool sameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (upperChar(a[i]) != upperChar(b[i])) return false;
  }
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

}  // namespace talvex::engine::ascii
