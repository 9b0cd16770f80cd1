// Private-profile (INI) reading with the results of the Windows calls
// GetPrivateProfileStringA / GetPrivateProfileIntA.
//
// Windows: those very calls. Elsewhere the file is parsed here with the same
// observable rules: section and key names match without regard to case and
// without the blanks around them; the value is the text after the first "="
// with blanks (spaces and tabs) removed at both ends, and one pair of matching
// quotes (' or ") around the whole value is removed; lines whose first
// non-blank is ";" are comments; of duplicate sections the first counts, of
// duplicate keys in it the first; a key line without "=" names a key without
// a value, which reads as the default. A missing file, section or key gives
// the default (with its trailing blanks removed, as Windows does). Values are
// read through a 32768-character buffer, so at most 32767 characters come
// back. The file is read on every call. Safe from any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace talvex::platform {

inline constexpr size_t kProfileBufferSize = 32768;

std::string profileString(std::string_view file, std::string_view section,
                          std::string_view key, std::string_view defaultValue);

// The value as a number: blanks, an optional sign and the leading decimal
// digits (a "0x" prefix reads hexadecimal); a value without digits is 0; a
// missing key gives the default.
[[nodiscard]] int profileInt(std::string_view file, std::string_view section, std::string_view key,
               int defaultValue);

// The key names of one section in file order: the first of duplicates only,
// and no key lines without "=" (Windows leaves those out too).
std::vector<std::string> profileKeys(std::string_view file, std::string_view section);

}  // namespace talvex::platform
