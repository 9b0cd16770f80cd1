#include "qmrbsrst/lists/override_split.h"

#include "qmrbsrst/settings/text_fit.h"

namespace talvex::qmrbsrst {

std::vector<std::string> SplitOverride(std::string_view text, size_t maxEntries,
                                       size_t entryWidth) {
  std::vector<std::string> entries;
  std::string_view rest = Trim(text);
  while (!rest.empty() && entries.size() < maxEntries) {
    if (rest.front() == '|') {
      rest = Trim(rest.substr(1));
      continue;
    }
    size_t bar = rest.find('|');
    entries.push_back(TrimAndCut(rest.substr(0, bar), entryWidth));
    rest = bar == std::string_view::npos ? std::string_view() : Trim(rest.substr(bar + 1));
  }
  return entries;
}

}  // namespace talvex::qmrbsrst
