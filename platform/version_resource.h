// The file version of an executable or DLL, from its version resource.
//
// Windows: GetFileVersionInfoA / VerQueryValueA. Elsewhere the PE file is read
// directly: DOS header, PE header, section table, resource directory
// (RT_VERSION), VS_VERSIONINFO and its VS_FIXEDFILEINFO. Every offset and
// size read from the file is checked against the file, so a truncated or
// malformed file gives false, never a crash or a read out of bounds. Safe from
// any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace talvex::platform {

struct FileVersion {
  uint16_t major = 0;     // high word of dwFileVersionMS
  uint16_t minor = 0;     // low word of dwFileVersionMS
  uint16_t build = 0;     // high word of dwFileVersionLS
  uint16_t revision = 0;  // low word of dwFileVersionLS
};

// False when the file is missing, not a PE image, or has no (sound) version
// resource; *error (if given) then says why.
[[nodiscard]] bool readFileVersion(std::string_view path, FileVersion* out, std::string* error = nullptr);

// Parses an in-memory PE image (what readFileVersion does after reading the
// file); exposed for tests of malformed images.
[[nodiscard]] bool parseFileVersion(const unsigned char* image, size_t size, FileVersion* out,
                      std::string* error = nullptr);

}  // namespace talvex::platform
