#include "driver/host_version.h"

#include <charconv>

#include "platform/ascii_text.h"
#include "platform/version_resource.h"

namespace talvex::tabmend {
namespace {

// One dotted part: optional sign and decimal digits after trimming; negative
// values and values above 65535 are invalid.
bool ParsePart(std::string_view text, uint16_t* out) {
  text = TrimControls(text);
  if (text.empty()) return false;
  if (text.front() == '+') text.remove_prefix(1);
  long long value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return false;
  if (value < 0 || value > 65535) return false;
  *out = static_cast<uint16_t>(value);
  return true;
}

}  // namespace

std::string_view TrimControls(std::string_view text) { return talvex::ascii::trimControl(text); }

std::optional<HostVersion> ParseVersionText(std::string_view text) {
  text = TrimControls(text);
  uint16_t parts[4];
  for (int i = 0; i < 3; ++i) {
    size_t dot = text.find('.');
    if (dot == std::string_view::npos) return std::nullopt;
    if (!ParsePart(text.substr(0, dot), &parts[i])) return std::nullopt;
    text.remove_prefix(dot + 1);
  }
  if (!ParsePart(text, &parts[3])) return std::nullopt;
  return HostVersion{parts[0], parts[1], parts[2], parts[3]};
}

std::optional<HostVersion> ReadHostFileVersion(const std::string& path) {
  platform::FileVersion fixed;
  if (!platform::readFileVersion(path, &fixed)) return std::nullopt;
  return HostVersion{fixed.major, fixed.minor, fixed.build, fixed.revision};
}

std::string FormatHostVersion(const HostVersion& v) {
  return std::to_string(v.major) + "." + std::to_string(v.minor) + "." +
         std::to_string(v.release) + "." + std::to_string(v.build);
}

}  // namespace talvex::tabmend
