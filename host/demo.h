// "talvexhost demo DIR": installs at the oldest release, shows a few tables,
// runs the update with a progress line per update, shows the tables again in
// their new layout and sums up what changed. Exit code as for update.
#pragma once

#include <string>

#include "installation.h"

namespace talvex::host {

[[nodiscard]] int RunDemo(const InstallOptions& options);

}  // namespace talvex::host
