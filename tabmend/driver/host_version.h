// The host release that the data was last used with, and how the updater
// learns it: from the caller's version text or from the version resource of
// the host program file.
//
// Both readers are pure functions of their input (the file reader goes through
// the platform layer's version-resource reader) and never throw.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "catalogue/version_gate.h"

namespace talvex::tabmend {


// Trims characters with codes up to 32 from both ends.
std::string_view TrimControls(std::string_view text);

// "A.B.C.D", each part (trimmed) a decimal integer in 0..65535; anything else
// (three or five parts, signs out of range, letters) gives nullopt.
std::optional<HostVersion> ParseVersionText(std::string_view text);

// The file version of the program's version resource; nullopt when the file
// is missing, has no resource or the resource is malformed.
std::optional<HostVersion> ReadHostFileVersion(const std::string& path);

// "A.B.C.D" in plain decimal.
std::string FormatHostVersion(const HostVersion& version);

}  // namespace talvex::tabmend
