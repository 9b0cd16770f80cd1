// The run log of the update call: install folder + "update\tabmend.log",
// plain text, one block appended per call, so that the cause of a failure
// can be read after the host has shown its short message.
//
// A block is one line per item, each starting with a keyword; a location or
// text comes last on its line and may hold blanks:
//
//   call 2026-12-10 16:58:03 UpdateDatabaseStructures
//   workstation FRONTDESK
//   data C:\TALVEX\DATA\  (the data folder)
//   version 1.65.0.100
//   update 0092 applied                (applied, not-needed, failed)
//   table 0092 bcclaim 476 C:\TALVEX\UPDATE\BACKUP\  (records read, and where from)
//   rollback 0092
//   result -1                          (0 or -1)
//   error <the text the host got>      (one line per line of it)
//   detail <operation, file, system text, ...>   (oldest first)
//   end
//
// The updates record into the call's module state through the progress
// reports (progress.h); AppendRunLog writes the block. Writing the log never
// changes the call's outcome: a log that cannot be written is left out.
#pragma once

#include <string>

namespace talvex::tabmend {

// Begins the block of this call (clears what an earlier call noted).
void BeginRunLog(const std::string& callName);
void NoteRunLogLine(const std::string& line);

// Appends the block with the result, the host's text and the failure
// detail of CurrentRun(); needs the run folders (does nothing without).
void AppendRunLog(int result);

// Folders().work + "tabmend.log".
std::string RunLogPath();

}  // namespace talvex::tabmend
