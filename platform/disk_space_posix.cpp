#include <sys/stat.h>
#include <sys/statvfs.h>

#include "platform/disk_space.h"
#include "platform/native_path.h"

namespace talvex::platform {

std::optional<uint64_t> freeDiskSpace(std::string_view path) {
  struct statvfs vfs;
  if (path.empty() || ::statvfs(nativePath(path).c_str(), &vfs) != 0) return std::nullopt;
  return static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize;
}

std::string volumeOf(std::string_view path) {
  struct stat st;
  if (path.empty() || ::stat(nativePath(path).c_str(), &st) != 0) return {};
  return "device " + std::to_string(static_cast<unsigned long long>(st.st_dev));
}

std::optional<uint64_t> fileSizeOf(std::string_view path) {
  struct stat st;
  if (path.empty() || ::stat(nativePath(path).c_str(), &st) != 0 || S_ISDIR(st.st_mode)) {
    return std::nullopt;
  }
  return static_cast<uint64_t>(st.st_size);
}

}  // namespace talvex::platform
