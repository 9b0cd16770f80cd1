// Whether a table still has the layout an update replaces: opens the update's
// probed table in a folder (without its index, except for the tag probe),
// gathers what the probe asks about and lets the catalogue's rule decide.
//
// Never fails: a table that cannot be opened needs the update. Every table
// and index it opens is closed again and the engine error state is cleared
// on every path. Uses the run's engine context.
#pragma once

#include <string>

#include "catalogue/catalogue_row.h"

namespace talvex::tabmend {

[[nodiscard]] bool NeedsUpdateProbe(const RestructureSpec& row, const std::string& folder);

}  // namespace talvex::tabmend
