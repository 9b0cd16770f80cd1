#include "qmrbsrst/settings/icd_settings.h"

#include "platform/profile.h"
#include "qmrbsrst/settings/text_fit.h"

namespace talvex::qmrbsrst {

namespace {
// A marker no real value holds, so a missing key is told apart from one whose
// value is empty.
constexpr std::string_view kMissing = "\x01<missing>\x01";
}  // namespace

std::string TQmrIniFile::ReadString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue) const {
  return talvex::platform::profileString(path_, section, key, defaultValue);
}

int TQmrIniFile::ReadInteger(std::string_view section, std::string_view key,
                             int defaultValue) const {
  std::string text = ReadString(section, key, kMissing);
  int32_t value = 0;
  if (text == kMissing || !ParseWholeNumber(Trim(text), &value)) return defaultValue;
  return value;
}

IcdSettings ReadIcdSettings(std::string_view configDirectory) {
  std::string path(configDirectory);
  path += kHostIniFile;
  TQmrIniFile ini(path);
  IcdSettings s;
  s.enableIcd10CodeSupport = ini.ReadInteger("General", "EnableIcd10CodeSupport", 0) != 0;
  s.master1500IcdVersionControlSettings =
      UpperCase(ini.ReadString("Claim", "Master1500IcdVersionControlSettings", ""));
  return s;
}

}  // namespace talvex::qmrbsrst
