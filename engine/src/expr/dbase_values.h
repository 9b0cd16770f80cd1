// dbase_values.h - the value conversions dBASE expressions rely on: numbers as
// decimal text, STR() layout, dates as Julian day numbers. Pure functions, no
// state; safe from any thread.
#ifndef TALVEX_ENGINE_EXPR_DBASE_VALUES_H
#define TALVEX_ENGINE_EXPR_DBASE_VALUES_H

#include <optional>
#include <string>
#include <string_view>

namespace talvex::engine::expr {

// Strict parse of a stored N/F field: optional blanks around, optional sign,
// digits with at most one point. Blank gives 0 with canonical text "0".
// Returns nothing for anything else (asterisks, letters).
struct ParsedNumber {
  double value = 0;
  std::string text;  // trimmed digits as stored, e.g. "-3.50"; "0" when blank
};
std::optional<ParsedNumber> ParseStoredNumber(std::string_view field);

// VAL(): leading blanks skipped, optional sign, digits and one point, stops at
// the first other character; no digits gives 0.
double ParseLeadingNumber(std::string_view text);

// Plain decimal text of a computed number, rounded to 15 significant digits,
// no exponent, no trailing zeros after the point ("0.3", "-12", "0").
std::string FormatNumber(double value);

// STR(value, len, dec): right-aligned in len, rounded half away from zero on
// the decimal value; fewer decimals when they do not fit, len asterisks when
// the integer part does not. len >= 1.
std::string FormatStr(double value, int len, int dec);

// ROUND(value, dec): half away from zero on the decimal value; dec < 0
// rounds to tens, hundreds ...
double RoundDecimal(double value, int dec);

// Dates. A blank date has no day number (0).
// "yyyymmdd" of a valid Gregorian date (years 1-9999) -> JDN, else 0.
long DaysFromDtos(std::string_view yyyymmdd);
// JDN -> "yyyymmdd"; 8 blanks when 0 or outside years 1-9999.
std::string DtosFromDays(long jdn);
// JDN -> "MM/DD/YY" (dBASE default date format); "  /  /  " when blank.
std::string DtocFromDays(long jdn);
// "MM/DD/YY" or "MM/DD/YYYY" (any of / - . as separator) -> JDN, 0 when
// blank or invalid. Two-digit years are 19yy.
long DaysFromCtod(std::string_view text);
// Year, month, day of a JDN; all 0 when blank.
void SplitDays(long jdn, int &year, int &month, int &day);

}  // namespace talvex::engine::expr

#endif
