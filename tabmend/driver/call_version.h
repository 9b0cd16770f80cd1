// The host release an update call is made for: the caller's version text, or
// when it is empty the version resource of the host program in the server
// folder. Shared by the update and its plan, so both see the same release.
// Needs the run folders (run_state.h).
#pragma once

#include <optional>

#include "driver/host_version.h"
#include "tabmend_api.h"

namespace talvex::tabmend {

// nullopt when the text (or the program file) gives no valid version.
std::optional<HostVersion> DetermineHostVersion(const TabmendCallRecord* record);

}  // namespace talvex::tabmend
