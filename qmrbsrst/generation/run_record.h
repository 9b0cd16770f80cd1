// The durable record of a roster run in progress, so that a run ended by a
// killed process or a lost workstation is undone by the next run in the same
// data folder.
//
// Each run in progress owns one slot file in the data folder, ROSTRUN.000 to
// ROSTRUN.999, and holds an exclusive byte-range lock on it for the whole
// run. The lock is the OS's: it goes with the process, so a slot that is not
// empty and can be locked belongs to a run whose process has ended, while a
// slot whose lock is held elsewhere belongs to a run still going. Slot files
// are emptied, never deleted, so no process can lock a file another has just
// removed.
//
// The file is text in CR LF lines: a version line, the roster and run date,
// the header fields the run may change as they stood before it (hex of the
// stored text), "BEGUN", then "CLAIM n" before claim n is written and
// "HEADER" before the roster header is updated. Each addition is written and
// synced before the step it announces. A last line without its line end is a
// write the process did not finish, so the step after it never began; any
// other text that does not read as this layout is refused, never guessed at.
// Single-threaded; one RunRecord per run.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace talvex::platform {
class File;
}

namespace talvex::qmrbsrst {

struct RunRecordContent {
  bool begun = false;  // the head was complete: claims may have been written
  int32_t roster = 0;
  std::string runDate;  // yyyymmdd
  // The roster header's fields as stored before the run (untrimmed text).
  std::vector<std::pair<std::string, std::string>> headerBefore;
  std::vector<int32_t> claims;   // in the order they were announced
  bool headerUpdateBegun = false;
};

class RunRecord {
 public:
  RunRecord();
  ~RunRecord();  // the lock is released; the file stays as it stands
  RunRecord(const RunRecord&) = delete;
  RunRecord& operator=(const RunRecord&) = delete;

  // Takes a free slot in dataDirectory and writes and syncs the head. False
  // (with *error) when no slot could be had or the head not written; then no
  // slot is held and any text written is emptied again where possible.
  [[nodiscard]] bool Begin(const std::string& dataDirectory, const RunRecordContent& head, std::string* error);
  // Each written and synced before it returns true.
  [[nodiscard]] bool NoteClaim(int32_t number);
  [[nodiscard]] bool NoteHeaderUpdate();
  // Empties the slot (synced) and releases it. False when it could not be
  // emptied; the lock is released all the same.
  [[nodiscard]] bool Clear();
  // Releases the slot with its text kept, for the next run to undo.
  void Release();
  // True when another run still going in this data folder (its slot locked
  // by a live process) has recorded the same roster. Every run writes its
  // head before it asks, so of two runs of one roster started at once the
  // later asker always sees the other. A slot whose head is not complete yet
  // belongs to a run that will ask after it, and is passed over.
  [[nodiscard]] bool AnotherLiveRunOf(int32_t roster) const;
  [[nodiscard]] bool active() const { return file_ != nullptr; }
  const std::string& path() const;

 private:
  [[nodiscard]] bool Append(const std::string& text);
  std::unique_ptr<platform::File> file_;
  uint64_t end_ = 0;
};

// Undoes the runs recorded in dataDirectory whose processes have ended:
// every such record is read first, and only when all of them read cleanly is
// undo called for each, then its slot emptied. A record that cannot be read
// stops everything before anything is undone; *problem names its file. A
// failed undo keeps its record for the next run. Records held by live runs
// are left alone. True when nothing is left to undo.
[[nodiscard]] bool RecoverInterruptedRuns(const std::string& dataDirectory,
                            const std::function<bool(const RunRecordContent&)>& undo,
                            std::string* problem);

// Reads the text of a record; false (with *problem) when it does not read as
// a record of this version. An empty text, or a head never completed, reads
// as a record not begun.
[[nodiscard]] bool ParseRunRecord(const std::string& text, RunRecordContent* out, std::string* problem);

}  // namespace talvex::qmrbsrst
