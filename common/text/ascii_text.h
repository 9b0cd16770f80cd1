// Text helpers of the libraries and programs above the engine. Table, field
// and file names are ASCII; these work on bytes and ignore the process
// locale. The engine keeps its own (engine/src/ascii_text.h): it sits below
// common/.
#pragma once

#include <string>
#include <string_view>

namespace talvex::common {

inline bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }

// a-z raised to A-Z; every other byte as it stands.
std::string upperAscii(std::string_view text);
// Equal when upper-cased as above.
bool sameTextNoCase(std::string_view a, std::string_view b);
// Every character with a code up to 32 removed at both ends, as the host
// trims stored text (so tabs, CR and LF go with the blanks).
std::string_view trimControl(std::string_view text);

}  // namespace talvex::common
