// "talvexhost history [--limit N]": the run log of the installation the
// registry names (install folder + "update\tabmend.log") as a table a person
// reads, the last N calls (all without --limit), oldest first:
//
//   when                 workstation  result  duration  updates               records
//   2026-12-11 07:40:01  FRONTDESK    ok      38 s      86 applied of 88      12,345
//   2026-12-11 08:02:10  FRONTDESK    FAILED  2 s       0 applied of 2        476
//       failed: update 0203; rolled back: 0202
//       error: <the host's text>
//       detail: <what lay behind it>
//
// The log is read by tabmend's own reader (run_log_format.h). A damaged block
// is named on standard error with its lines and skipped; a file with no
// readable block is named as no run log and nothing of it is shown.
#pragma once

namespace talvex::host {

// argv[0] is "history". Exit status: 0 when the log was read (or there is
// none yet), 1 when it is no run log or cannot be read, 2 for bad options.
[[nodiscard]] int RunHistoryCommand(int argc, char** argv);

}  // namespace talvex::host
