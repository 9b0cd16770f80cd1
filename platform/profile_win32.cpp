#include <windows.h>
#include <string.h>

#include <vector>

#include "platform/native_path.h"
#include "platform/profile.h"

namespace talvex::platform {

std::string profileString(std::string_view file, std::string_view section,
                          std::string_view key, std::string_view defaultValue) {
  std::string f = nativePath(file), s(section), k(key), d(defaultValue);
  std::vector<char> buf(kProfileBufferSize, '\0');
  DWORD n = GetPrivateProfileStringA(s.c_str(), k.c_str(), d.c_str(), buf.data(),
                                     static_cast<DWORD>(buf.size()), f.c_str());
  return std::string(buf.data(), n);
}

int profileInt(std::string_view file, std::string_view section, std::string_view key,
               int defaultValue) {
  std::string f = nativePath(file), s(section), k(key);
  return static_cast<int>(GetPrivateProfileIntA(s.c_str(), k.c_str(), defaultValue, f.c_str()));
}

std::vector<std::string> profileKeys(std::string_view file, std::string_view section) {
  std::string f = nativePath(file), s(section);
  std::vector<char> buf(kProfileBufferSize, '\0');
  DWORD n = GetPrivateProfileStringA(s.c_str(), nullptr, "", buf.data(),
                                     static_cast<DWORD>(buf.size()), f.c_str());
  std::vector<std::string> keys;
  for (DWORD i = 0; i < n;) {
    std::string name(buf.data() + i);
    i += static_cast<DWORD>(name.size()) + 1;
    if (name.empty()) break;
    bool seen = false;
    for (const std::string& k : keys) seen = seen || _stricmp(k.c_str(), name.c_str()) == 0;
    if (!seen) keys.push_back(name);
  }
  return keys;
}

}  // namespace talvex::platform
