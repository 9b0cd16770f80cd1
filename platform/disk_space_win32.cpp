#include <windows.h>

#include <cctype>

#include "platform/disk_space.h"
#include "platform/native_path.h"

namespace talvex::platform {

std::optional<uint64_t> freeDiskSpace(std::string_view path) {
  ULARGE_INTEGER available;
  if (path.empty() ||
      !GetDiskFreeSpaceExA(nativePath(path).c_str(), &available, nullptr, nullptr)) {
    return std::nullopt;
  }
  return static_cast<uint64_t>(available.QuadPart);
}

std::string volumeOf(std::string_view path) {
  char root[MAX_PATH + 1];
  if (path.empty() || !GetVolumePathNameA(nativePath(path).c_str(), root, sizeof root)) return {};
  std::string text(root);
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::optional<uint64_t> fileSizeOf(std::string_view path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (path.empty() ||
      !GetFileAttributesExA(nativePath(path).c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return std::nullopt;
  }
  return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace talvex::platform
