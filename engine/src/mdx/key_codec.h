// Key bytes of .mdx tags and how they order.
//
// C keys: the text padded with blanks (or cut) to the key length; byte order.
// N keys: 12 bytes of dBASE BCD (exponent byte, sign/length byte, 20 packed
//   digits); ordered by value. Built from decimal text so field values index
//   exactly; blank or unparsable text indexes as zero, as dBASE does.
// D keys: the Julian day number as a little-endian IEEE double; a blank date
//   is 1.0E+100, after every real date.
// Descending tags store the same bytes; only the comparison is reversed.
// Pure functions, thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace talvex::engine::mdx {

enum class KeyType : char { Character = 'C', Numeric = 'N', Date = 'D' };

inline constexpr size_t kNumericKeyLength = 12;
inline constexpr size_t kDateKeyLength = 8;
inline constexpr size_t kMaxCharKeyLength = 100;
inline constexpr double kBlankDateValue = 1.0e100;

std::string encodeCharKey(std::string_view text, size_t keyLength);

// Decimal text such as "  -12.50", "3", ".05", "1e3"; blanks, "" or text that
// holds no number give the zero key. More than 20 significant digits are cut.
std::string encodeNumericKeyText(std::string_view text);
// Via the shortest decimal text that reads back as the same double.
std::string encodeNumericKey(double value);
// The value as shortest decimal text ("-3.5", "0", "125").
std::string decodeNumericKeyText(std::string_view key);
double decodeNumericKey(std::string_view key);

std::string encodeDateKey(double julianDay);
std::string blankDateKey();
// 1-based month/day; gives the blank key for year 0 (an empty date field).
std::string encodeDateKeyYmd(int year, int month, int day);
// "YYYYMMDD" as a .dbf stores it; blanks or an invalid date give the blank key.
std::string encodeDateKeyText(std::string_view yyyymmdd);
double decodeDateKey(std::string_view key);
[[nodiscard]] int32_t julianDayNumber(int year, int month, int day);

// <0, 0, >0 in ascending key order. For C keys only min(a, b) bytes are
// compared, so a shorter a works as a prefix probe. N and D keys must be full.
int compareKeys(KeyType type, std::string_view a, std::string_view b);

}  // namespace talvex::engine::mdx
