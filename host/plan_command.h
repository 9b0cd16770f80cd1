// "talvexhost update --plan [--version TEXT]": what an update call would do on
// the installation the registry names, as tabmend's plan export reports it,
// formatted for a person on standard output; nothing is changed.
//
// The lines (each row of the plan one line, in the order tabmend gives them):
//   release 2.49.0.100: updates from 0202
//   note: <something the call would meet first>
//   update 0202
//     table bcclaim: 476 records (data folder)
//     new table bcrecid (archub92\2003\)
//     cannot read bsclaim (data folder): <why>
//   in use: BCCLAIM (data folder): <why>
//   space: 12.5 MB needed on the disk of C:\TALVEX\INSTALL\UPDATE\BACKUP\, 1,024.0 MB free
//   estimate: about 40 s (2 updates, 1,234 records)
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace talvex::host {

// argv[0] is "update"; the options are --plan, --version TEXT and --registry
// FILE. Exit status: 0 when the plan was made, 1 when not (the reason on
// standard error), 2 for bad options.
[[nodiscard]] int RunPlanCommand(int argc, char** argv);

// True when the arguments of "update" ask for the plan.
[[nodiscard]] bool WantsPlan(int argc, char** argv);

}  // namespace talvex::host
