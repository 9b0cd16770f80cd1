// The text of the run log (update\tabmend.log): how a call's block is written
// and read back. Writer (run_log.cpp) and readers (talvexhost history) share
// this file so that the format is known in one place. No state: plain
// functions of their arguments; never throws beyond std::bad_alloc.
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
//   finished 2026-12-10 16:58:41       (blocks written before it was added lack it)
//   result -1                          (0 or -1)
//   error <the text the host got>      (one line per line of it)
//   detail <operation, file, system text, ...>   (oldest first)
//   end
//
// Lines of the call's own notes ("waiting for ...", "holding 12 tables") may
// appear between "call" and "result"; they start with other words.
#pragma once

#include <cstddef>
#include <ctime>
#include <string>
#include <vector>

namespace talvex::common::runlog {

// "YYYY-MM-DD HH:MM:SS" in local time.
std::string Timestamp(std::time_t when);

// The whole block of one call, CR LF after every line: the noted lines
// (starting with the "call" line), "finished", "result", the host's text as
// "error" lines (failures only), the detail, "end".
std::string ComposeBlock(const std::vector<std::string>& noted, const std::string& finished,
                         int result, const std::string& error,
                         const std::vector<std::string>& detail);

struct LoggedUpdate {
  int number = 0;
  std::string outcome;  // applied, not-needed, failed
};

struct LoggedTable {
  int update = 0;
  std::string base;
  long long records = 0;
  std::string location;  // the folder the records were read from
};

struct LoggedCall {
  std::size_t line = 0;  // 1-based line of its "call" line
  std::string started, finished;  // finished is empty in older blocks
  std::string name, workstation, data, version;
  int result = 0;
  std::vector<LoggedUpdate> updates;
  std::vector<LoggedTable> tables;
  std::vector<int> rollbacks;
  std::vector<std::string> error, detail, notes;
};

// A stretch of the file that is not a whole, well-formed block.
struct SkippedLines {
  std::size_t first = 0, last = 0;  // 1-based, inclusive
  std::string why;
};

struct RunLogReading {
  std::vector<LoggedCall> calls;  // in file order
  std::vector<SkippedLines> skipped;
  // Nothing in it reads as a block: another program's file, or one damaged
  // throughout. Its calls are empty; skipped names the first fault.
  bool foreign = false;
};

// Reads every block; a block that is cut short, holds an unknown keyword, a
// field that does not parse, or bytes no text holds is skipped whole (never
// half read) and named in `skipped`.
RunLogReading ReadRunLog(const std::string& text);

// The lines of the last block, from its "call" line to its "end" line;
// empty when there is none or it is cut short.
std::vector<std::string> LastBlockLines(const std::string& text);

// Seconds from started to finished, or -1 when either is missing or unreadable.
long long DurationSeconds(const LoggedCall& call);

}  // namespace talvex::common::runlog
