// Patient control numbers for roster claims: a six-character prefix, the
// date's "mmdd" and last year digit, four base-36 characters that encode the
// date and the serial number, and the suffix number ("%2.2d"), cut to 20
// characters (the width of a claim's C_PCN).
//
// Pure functions with no table access or state; safe from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "qmrbsrst/frame/call_records.h"

namespace talvex::qmrbsrst {

inline constexpr size_t kPcnWidth = 20;

// The number, or "" when suffix or serial is 0 or less, the prefix is empty,
// or the date is 0 or outside the host's calendar (years 1 to 9999).
std::string MakePatientControlNumber(std::string_view prefix, double date,
                                     int32_t serialNumber, int32_t suffixNumber);

// The export's work on its call record: the output field is always written.
void FillPatientControlNumber(TRosterPcnCall* call);

}  // namespace talvex::qmrbsrst
