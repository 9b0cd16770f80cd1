// talvexhost --version: this build's version, and the version each shipped
// file beside the program really carries, so that a support person can tell
// which build a workstation runs and whether its files belong together.
//
// Windows: talvexhost.exe, C4DLL.DLL, tabmend.dll, qmrbsrst.dll and
// qmrsec01.exe in the program's folder, each read from its version resource.
// Linux: the engine library this process loaded (its file and the version
// its versioned file name carries).
#pragma once

#include <cstdio>

namespace talvex::host {

// One line per file on out ("NAME VERSION PATH", or what is wrong with it);
// 0 when every file is there with this build's version, else 1.
[[nodiscard]] int PrintVersions(std::FILE* out);

}  // namespace talvex::host
