// The NPI check: a 10-character National Provider Identifier, or the
// 15-character form with the "80840" prefix, whose last digit is the Luhn
// check digit of the whole (the 10-character form counts as if the prefix
// were there). A few reserved test numbers pass without the check. Blanks at
// the right end are ignored. Pure function; safe from any thread.
#pragma once

#include <string_view>

namespace talvex::qmrbsrst {

bool IsValidNpi(std::string_view text);

}  // namespace talvex::qmrbsrst
