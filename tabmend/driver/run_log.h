// The run log of the update call: install folder + "update\tabmend.log",
// plain text, one block appended per call, so that the cause of a failure
// can be read after the host has shown its short message.
//
// The block's lines and how they read back: run_log_format.h.
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

// Forgets what was noted (a call that writes no block, such as the plan).
void DiscardRunLog();

// Appends the block with the result, the host's text and the failure
// detail of CurrentRun(); needs the run folders (does nothing without).
void AppendRunLog(int result);

// Folders().work + "tabmend.log".
std::string RunLogPath();

}  // namespace talvex::tabmend
