// The host's message-token table and the call record that points at it, laid
// out as the host lays them out: fixed-width key and value slots in two
// arrays, with room for more entries than are in use.
//
// The table owns its slot memory; a record built by record() points into it
// and into the version text, both of which must outlive the call. One thread.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tabmend/tabmend_api.h"

namespace talvex::host {

class TokenTable {
 public:
  static constexpr int kKeyWidth = 64;
  static constexpr int kValueWidth = 512;
  static constexpr int kCapacity = 32;

  TokenTable();
  // Adds an entry the way the host's own code would (before the call).
  void add(const std::string& key, const std::string& value);

  TabmendCallRecord* record(const char* versionText);
  std::vector<std::pair<std::string, std::string>> entries() const;

 private:
  std::vector<char> keys_, values_;
  TabmendCallRecord record_{};
};

}  // namespace talvex::host
