// Splitting a roster setting that replaces a built-in service code list:
// entries separated by "|", each trimmed and cut to the slot width; runs of
// bars and blanks give no empty entries; at most maxEntries are taken and the
// rest of the text is ignored. No test of form is applied: any text is an
// entry. Pure function; safe from any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace talvex::qmrbsrst {

std::vector<std::string> SplitOverride(std::string_view text, size_t maxEntries,
                                       size_t entryWidth);

}  // namespace talvex::qmrbsrst
