#include <windows.h>

#include <vector>

#include "platform/native_path.h"
#include "platform/version_resource.h"

namespace talvex::platform {

bool readFileVersion(std::string_view path, FileVersion* out, std::string* error) {
  std::string native = nativePath(path);
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(native.c_str(), &ignored);
  if (size == 0) {
    if (error) *error = "no version resource in " + native;
    return false;
  }
  std::vector<char> buf(size);
  VS_FIXEDFILEINFO* info = nullptr;
  UINT len = 0;
  if (!GetFileVersionInfoA(native.c_str(), 0, size, buf.data()) ||
      !VerQueryValueA(buf.data(), "\\", reinterpret_cast<void**>(&info), &len) || !info ||
      len < sizeof(VS_FIXEDFILEINFO) || info->dwSignature != 0xFEEF04BDu) {
    if (error) *error = "unreadable version resource in " + native;
    return false;
  }
  out->major = HIWORD(info->dwFileVersionMS);
  out->minor = LOWORD(info->dwFileVersionMS);
  out->build = HIWORD(info->dwFileVersionLS);
  out->revision = LOWORD(info->dwFileVersionLS);
  return true;
}

}  // namespace talvex::platform
