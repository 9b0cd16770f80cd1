// Text shaping shared by the roster library: the fixed-width fit of claim
// fields, the trim-and-cut of every text taken from the roster tables, and the
// upper-casing of settings. ASCII only and independent of the process locale,
// as the host's own routines are. Pure functions; safe from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace talvex::qmrbsrst {

// Exactly n characters: cut to the first n, or padded on the right with blanks.
std::string FitText(std::string_view text, size_t n);

// Blanks (and control characters) removed at both ends.
std::string_view Trim(std::string_view text);

// Trimmed, then at most the first n characters.
std::string TrimAndCut(std::string_view text, size_t n);

std::string UpperCase(std::string_view text);

// Equal without regard to ASCII letter case.
[[nodiscard]] bool SameText(std::string_view a, std::string_view b);

// A whole decimal number: optional blanks before it, an optional sign, then
// digits to the end of the text, within the 32-bit range. False otherwise.
[[nodiscard]] bool ParseWholeNumber(std::string_view text, int32_t* value);

}  // namespace talvex::qmrbsrst
