// A numbered update of the run list, found by number in the catalogue and run
// by the restructure procedure. An unknown number fails with the update's
// "Unexpected exception." message; restoring one does nothing.
#pragma once

#include "restructure/restructure.h"

namespace talvex::tabmend {

UpdateOutcome RunNumberedUpdate(int number, bool& applied);
// False when its restore stopped at a table in use elsewhere (RestoreFromBackup).
[[nodiscard]] bool RestoreNumberedUpdate(int number);

}  // namespace talvex::tabmend
