// Number, amount and date texts in the fixed conventions of the libraries,
// whatever the process locale: short date "MM/dd/yyyy", decimal separator
// ".", thousands separator ",", currency "$" before the amount with 2
// decimals, negative amounts in parentheses. Parsing accepts the same forms.
// Nothing here reads or changes the C or C++ locale; safe from any thread.
#pragma once

#include <string>
#include <string_view>

#include "common/text/host_date.h"

namespace talvex::common {

// Fixed-point text with the given decimals (0..15), rounded half away from
// zero on the decimal value written; thousands separators on request.
// "-" before negative numbers. NaN and infinities give "".
std::string formatNumber(double value, int decimals, bool thousands = false);

// Currency: "$1,234.50", "($1,234.50)" for negative amounts, "$0.00".
std::string formatCurrency(double value);

// "MM/dd/yyyy"; "" for an invalid date.
std::string formatShortDate(const CalendarDate& date);
// "MM/dd/yyyy" (1 or 2 digit month and day accepted, 4-digit year).
[[nodiscard]] bool parseShortDate(std::string_view text, CalendarDate* date);

// A decimal number with "." as the decimal separator, optional sign, optional
// thousands separators, blanks around it allowed; the whole text must be
// used. "$" and parentheses of a currency text are accepted too.
[[nodiscard]] bool parseNumber(std::string_view text, double* value);

}  // namespace talvex::common
