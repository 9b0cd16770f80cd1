// Free space and volumes: what an update checks before it writes copies of
// tables, so that a full disk refuses the call before anything changes.
//
// Paths are host texts (native_path.h) of existing files or folders. Nothing
// throws; safe from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace talvex::platform {

// Bytes this process may still write on the volume that holds the path
// (space reserved for the system left out); nothing when the system cannot
// tell.
std::optional<uint64_t> freeDiskSpace(std::string_view path);

// A text naming the volume that holds the path, equal for two paths exactly
// when they are on one volume (a mount point on POSIX, a volume root on
// Windows); empty when the path cannot be examined.
std::string volumeOf(std::string_view path);

// Bytes of a file; nothing when it does not exist or is a folder.
std::optional<uint64_t> fileSizeOf(std::string_view path);

}  // namespace talvex::platform
