#include "driver/call_version.h"

#include <cstring>
#include <string>

#include "driver/run_state.h"

namespace talvex::tabmend {
namespace {

// The caller's version text, read no further than the bound: a text without
// a NUL within it is not a version and reads as unparseable.
std::optional<std::string> CallerVersionText(const TabmendCallRecord* record) {
  if (record->VersionText == nullptr) return std::string();
  const void* nul = std::memchr(record->VersionText, '\0', TABMEND_MAX_VERSION_TEXT);
  if (nul == nullptr) return std::nullopt;
  return std::string(record->VersionText);
}

}  // namespace

std::optional<HostVersion> DetermineHostVersion(const TabmendCallRecord* record) {
  std::optional<std::string> text = CallerVersionText(record);
  if (!text) return std::nullopt;
  std::string_view trimmed = TrimControls(*text);
  if (!trimmed.empty()) return ParseVersionText(trimmed);
  return ReadHostFileVersion(Folders().server + "TALVEX32.EXE");
}

}  // namespace talvex::tabmend
