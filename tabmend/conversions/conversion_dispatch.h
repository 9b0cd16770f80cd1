// The data migrations that twelve updates run after their record copy.
//
// Contract: FindConversion(number) gives the routine of the update with that
// four-digit number and the folders it receives, or nullptr when the update
// has none. A routine works in the run's engine context, opens and closes its
// own tables, and returns true on success. false makes the calling update fail
// with its "Unable to translate special field values." message; an exception
// makes it fail with "Unexpected exception.". Either way the update's applied
// flag is already set, so the rollback restores its tables.
//
// Every listed update has its migration; ConversionUnavailableReason() stays
// empty and is kept for callers that print it. Single-threaded, like the
// whole update run.
#pragma once

#include <string>

namespace talvex::tabmend {

// Which folders a conversion receives (the restructure procedure supplies them).
enum class ConversionFolders {
  BackupAndWorkLocation,  // flagged form: old = B + location, new = U + location
  DataAndWork,            // old table still in D, new table in U
  WorkAndBaseName,        // new table in U, plus the base name it rewrites
  WorkOnly,               // rewrites the new table in U alone
};

// first/second: the two folders (or, for WorkAndBaseName, folder and base
// name; for WorkOnly the second is empty). Folders end in "\".
using ConversionRoutine = bool (*)(const std::string& first, const std::string& second);

struct ConversionEntry {
  int number;
  ConversionFolders folders;
  ConversionRoutine routine;
};

const ConversionEntry* FindConversion(int number);

// Why the last conversion that failed for lack of an implementation did so;
// empty when none did in this process.
const std::string& ConversionUnavailableReason();

}  // namespace talvex::tabmend
