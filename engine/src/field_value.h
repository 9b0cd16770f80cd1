// Conversions between field bytes in a record buffer and C values, the way
// dBASE stores them: numbers as right-aligned decimal text rounded half away
// from zero on the decimal value (never printf on a binary double), "*" over
// the whole width when a number does not fit, dates as "yyyymmdd", logicals
// as T/F. Pure functions over caller-owned buffers.
#pragma once

#include <string>
#include <string_view>

#include "dbf_header.h"

namespace talvex::engine {

// A decimal number as digit strings, so stored values round-trip exactly.
struct Decimal {
  bool negative = false;
  std::string intDigits;   // without leading zeros; empty for 0
  std::string fracDigits;  // as given, may be empty
  bool isZero() const;
};

// Stored N/F text: blanks around, optional sign, digits with at most one
// point. Blank gives zero. False for anything else (asterisks, letters).
[[nodiscard]] bool parseStoredDecimal(std::string_view text, Decimal* out);
// dBASE VAL(): leading blanks, optional sign, digits and one point, stopping
// at the first other character; no digits gives zero.
Decimal parseLeadingDecimal(std::string_view text);
// The shortest decimal text that reads back as the same double (2.675 gives
// "2.675", so rounding to 2 decimals gives 2.68 as a person expects).
Decimal decimalFromDouble(double value);
Decimal decimalFromLong(long long value);
double decimalToDouble(const Decimal& d);

// Right-aligned in width with dec decimals. False (and width asterisks in
// out) when the value does not fit.
[[nodiscard]] bool formatDecimal(const Decimal& d, int width, int dec, std::string* out);

// "yyyymmdd" of a real calendar date.
bool validDateText(std::string_view text);
[[nodiscard]] bool blankText(std::string_view text);

enum class AssignResult { Ok, DoesNotFit, Invalid };

// Stores text into a non-memo field (dst = the field's bytes):
//  C: left-aligned, blank-padded or cut.
//  N/F: the text read as a number and laid out with the field's decimals;
//       blank text gives a blank field.
//  D: "yyyymmdd" or blank.  L: T/t/Y/y, F/f/N/n, "?" or blank.
AssignResult assignFieldText(const FieldDesc& f, char* dst, std::string_view text);
// Numbers: N/F laid out with decimals; C right-aligned (claim keys are
// right-aligned numbers); D from yyyymmdd; L non-zero = T.
AssignResult assignFieldDecimal(const FieldDesc& f, char* dst, const Decimal& d);

// Copies a value between fields of (possibly) different types and widths,
// the way a dBASE REPLACE does. Memo fields are handled by the caller.
AssignResult assignFieldFromField(const FieldDesc& dst, char* dstBytes, const FieldDesc& src,
                                  std::string_view srcBytes);

// True when the bytes of an N/F field of this width and decimals are exactly
// what storing their own value into such a field writes (blanks, or the
// number right-aligned without a plus sign, leading zeros or a negative
// zero, with exactly dec decimals), so a copy between two such fields may
// move them as they stand.
[[nodiscard]] bool storedNumberAsWritten(const char* bytes, size_t len, int dec);
// The same for a logical field: one byte of T, F, ? or blank.
[[nodiscard]] bool storedLogicalAsWritten(const char* bytes, size_t len);

// The numeric value of a field (N, F, C via VAL, D as yyyymmdd, L as 1/0).
// False for an unreadable N/F (asterisks, garbage).
[[nodiscard]] bool fieldDecimal(const FieldDesc& f, std::string_view bytes, Decimal* out);

}  // namespace talvex::engine
