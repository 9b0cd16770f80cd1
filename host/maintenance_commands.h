// "talvexhost reindex" and "talvexhost revcodes backup|restore": one call of
// ReindexAllDatabaseFiles, BackupRevenueCodeChargeData or
// RestoreRevenueCodeChargeData through the tabmend library loaded as the host
// loads it, with a host-shaped token table. Prints "result: N" and every
// token entry as KEY=VALUE to stdout, like "talvexhost update".
// Returns the program's exit code (0 success, 1 failure, 2 usage). One thread.
#pragma once

namespace talvex::host {

// args: the command's words after "talvexhost" (argv[1] onwards, options
// already taken out).
[[nodiscard]] int RunMaintenanceCommand(int argc, const char* const* argv);

}  // namespace talvex::host
