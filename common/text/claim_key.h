// Index keys that begin every claim-keyed tag.
//
// ClaimKey: a claim number as decimal text right-aligned in 10 characters with
// leading blanks (the form of STR(claim, 10)). Pure functions; safe from any
// thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace talvex::common {

inline constexpr size_t kClaimKeyWidth = 10;

// A number needing more than 10 characters (below -999999999) comes back as
// 10 asterisks, as the dBASE STR() function writes an overflow.
std::string ClaimKey(int32_t claimNumber);

// ClaimKey followed by a record type code padded with blanks to its field
// width (a seek key of tags over claim number + record type).
std::string ClaimTypeKey(int32_t claimNumber, std::string_view typeCode, size_t typeWidth);

// Text right-aligned in width characters (cut on the left when longer), and
// left-aligned (cut on the right), the two ways character keys are padded.
std::string padLeft(std::string_view text, size_t width);
std::string padRight(std::string_view text, size_t width);

}  // namespace talvex::common
