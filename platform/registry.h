// String values under the current user's registry hive.
//
// Windows: the real registry below HKEY_CURRENT_USER. Elsewhere: a text file
// in REGEDIT4 format, named by the environment variable TALVEX_REGISTRY, else
// $XDG_CONFIG_HOME/talvex/registry.reg, else ~/.config/talvex/registry.reg.
// The file is read on every call and rewritten whole through a temporary file
// and a rename, so a reader never sees a half-written file; writers of all
// processes take turns through a lock on a ".lock" file beside it.
//
// Key paths are relative to the hive and use "\" ("Software\\Maker\\App");
// key and value names are matched without regard to case. A value that is not
// a string (dword:, hex:) reads as NotString, as the Windows call would refuse
// it. Registry access does not pass the fault seam: it is not table I/O, and
// a test's count of creates and writes should not depend on it. A RegistryKey
// owns its open key (Windows HKEY) and is not copyable; use it from one thread
// at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace talvex::platform {

enum class RegistryRead { Ok, Missing, NotString, Failed };

class RegistryKey {
 public:
  // Opens the key, creating it and any missing parents; nullptr on failure.
  static std::unique_ptr<RegistryKey> createCurrentUser(std::string_view keyPath);
  // Opens an existing key; nullptr when it is missing or cannot be opened.
  static std::unique_ptr<RegistryKey> openCurrentUser(std::string_view keyPath);

  ~RegistryKey();
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  // Subkeys of this key (same semantics as above).
  std::unique_ptr<RegistryKey> openSubKey(std::string_view name) const;
  std::unique_ptr<RegistryKey> createSubKey(std::string_view name) const;

  // Reads a string value ("" names the default value). *out is set only on Ok.
  RegistryRead readString(std::string_view name, std::string* out) const;
  [[nodiscard]] bool writeString(std::string_view name, std::string_view value);
  // A 32-bit number value; there for completeness and for tests of values
  // that are not strings.
  [[nodiscard]] bool writeDword(std::string_view name, uint32_t value);
  [[nodiscard]] bool deleteValue(std::string_view name);

  // The key's path below the hive, as opened.
  const std::string& path() const { return path_; }

 private:
  RegistryKey(std::string path, intptr_t handle) : path_(std::move(path)), handle_(handle) {}
  std::string path_;
  intptr_t handle_;  // HKEY on Windows, unused elsewhere
};

// The file that stands in for the registry on this system ("" on Windows).
std::string registryFilePath();

}  // namespace talvex::platform
