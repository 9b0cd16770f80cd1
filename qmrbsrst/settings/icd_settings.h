// The ICD settings of the host's "TALVEX32.INI" in the configuration
// directory, read through TQmrIniFile.
//
// TQmrIniFile reads every value through the host reader's 32768-character
// buffer, so a value is at most 32767 characters: a longer rule text comes
// back cut, and the cut last entry is judged like any other. A missing file,
// section or key gives the defaults. Nothing is cached; safe from any thread.
#pragma once

#include <string>
#include <string_view>

namespace talvex::qmrbsrst {

inline constexpr const char* kHostIniFile = "TALVEX32.INI";

class TQmrIniFile {
 public:
  explicit TQmrIniFile(std::string path) : path_(std::move(path)) {}

  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view defaultValue) const;
  // The string value as a whole decimal number; the default when the key is
  // missing or its value is not a number (no leading-digits guessing).
  [[nodiscard]] int ReadInteger(std::string_view section, std::string_view key, int defaultValue) const;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

struct IcdSettings {
  bool enableIcd10CodeSupport = false;
  std::string master1500IcdVersionControlSettings;  // upper case
};

// Reads configDirectory + "TALVEX32.INI" (the directory text ends in "\").
IcdSettings ReadIcdSettings(std::string_view configDirectory);

}  // namespace talvex::qmrbsrst
