#include <windows.h>

#include "platform/registry.h"

namespace talvex::platform {
namespace {

HKEY hk(intptr_t v) { return reinterpret_cast<HKEY>(v); }

std::string joinPath(const std::string& a, std::string_view b) {
  std::string sub(b);
  if (sub.empty()) return a;
  return a.empty() ? sub : a + "\\" + sub;
}

}  // namespace

std::string registryFilePath() { return {}; }

std::unique_ptr<RegistryKey> RegistryKey::createCurrentUser(std::string_view keyPath) {
  std::string path(keyPath);
  HKEY key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return nullptr;
  return std::unique_ptr<RegistryKey>(new RegistryKey(path, reinterpret_cast<intptr_t>(key)));
}

std::unique_ptr<RegistryKey> RegistryKey::openCurrentUser(std::string_view keyPath) {
  std::string path(keyPath);
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
    return nullptr;
  return std::unique_ptr<RegistryKey>(new RegistryKey(path, reinterpret_cast<intptr_t>(key)));
}

RegistryKey::~RegistryKey() { RegCloseKey(hk(handle_)); }

std::unique_ptr<RegistryKey> RegistryKey::openSubKey(std::string_view name) const {
  std::string sub(name);
  HKEY key;
  if (RegOpenKeyExA(hk(handle_), sub.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
    return nullptr;
  return std::unique_ptr<RegistryKey>(
      new RegistryKey(joinPath(path_, sub), reinterpret_cast<intptr_t>(key)));
}

std::unique_ptr<RegistryKey> RegistryKey::createSubKey(std::string_view name) const {
  std::string sub(name);
  HKEY key;
  if (RegCreateKeyExA(hk(handle_), sub.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return nullptr;
  return std::unique_ptr<RegistryKey>(
      new RegistryKey(joinPath(path_, sub), reinterpret_cast<intptr_t>(key)));
}

RegistryRead RegistryKey::readString(std::string_view name, std::string* out) const {
  std::string n(name);
  DWORD type = 0, size = 0;
  LONG r = RegQueryValueExA(hk(handle_), n.c_str(), nullptr, &type, nullptr, &size);
  if (r == ERROR_FILE_NOT_FOUND) return RegistryRead::Missing;
  if (r != ERROR_SUCCESS) return RegistryRead::Failed;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return RegistryRead::NotString;
  std::string buf(size + 1, '\0');
  DWORD got = size;
  r = RegQueryValueExA(hk(handle_), n.c_str(), nullptr, &type,
                       reinterpret_cast<BYTE*>(buf.data()), &got);
  if (r != ERROR_SUCCESS) return RegistryRead::Failed;
  buf.resize(got);
  // The stored size counts the terminating NUL (when the writer stored one).
  while (!buf.empty() && buf.back() == '\0') buf.pop_back();
  *out = buf;
  return RegistryRead::Ok;
}

bool RegistryKey::writeString(std::string_view name, std::string_view value) {
  std::string n(name), v(value);
  return RegSetValueExA(hk(handle_), n.c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(v.c_str()),
                        static_cast<DWORD>(v.size() + 1)) == ERROR_SUCCESS;
}

bool RegistryKey::writeDword(std::string_view name, uint32_t value) {
  std::string n(name);
  DWORD d = value;
  return RegSetValueExA(hk(handle_), n.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&d),
                        sizeof d) == ERROR_SUCCESS;
}

bool RegistryKey::deleteValue(std::string_view name) {
  std::string n(name);
  return RegDeleteValueA(hk(handle_), n.c_str()) == ERROR_SUCCESS;
}

}  // namespace talvex::platform
