#include "token_table.h"

#include <cstring>

namespace talvex::host {

TokenTable::TokenTable()
    : keys_(static_cast<size_t>(kKeyWidth) * kCapacity, '\0'),
      values_(static_cast<size_t>(kValueWidth) * kCapacity, '\0') {
  record_.KeyStride = kKeyWidth;
  record_.ValueStride = kValueWidth;
  record_.EntryCount = 0;
  record_.KeySlots = keys_.data();
  record_.ValueSlots = values_.data();
}

void TokenTable::add(const std::string& key, const std::string& value) {
  const int i = record_.EntryCount++;
  std::strncpy(keys_.data() + i * kKeyWidth, key.c_str(), kKeyWidth - 1);
  std::strncpy(values_.data() + i * kValueWidth, value.c_str(), kValueWidth - 1);
}

TabmendCallRecord* TokenTable::record(const char* versionText) {
  record_.VersionText = versionText;
  return &record_;
}

std::vector<std::pair<std::string, std::string>> TokenTable::entries() const {
  std::vector<std::pair<std::string, std::string>> out;
  const int count = record_.EntryCount < kCapacity ? record_.EntryCount : kCapacity;
  for (int i = 0; i < count; ++i) {
    out.emplace_back(std::string(keys_.data() + i * kKeyWidth, strnlen(keys_.data() + i * kKeyWidth, kKeyWidth)),
                     std::string(values_.data() + i * kValueWidth,
                                 strnlen(values_.data() + i * kValueWidth, kValueWidth)));
  }
  return out;
}

}  // namespace talvex::host
