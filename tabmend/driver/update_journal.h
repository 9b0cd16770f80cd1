// The journal of an update call: a small file in the work folder that lets the
// next call undo a call that was cut short (process killed, machine off).
//
// A call writes it before its first update and rewrites it, each time synced
// (file and folder), when an update has backed up (and synced) its tables and
// is about to replace data-folder files. It names the
// call, the data folder, every update that had begun replacing files with the
// locations it worked in and where each table's backup is. The call removes it
// when it ends cleanly or when its rollback has put every table back.
//
// A call that finds a journal first rolls that call back from its backups,
// exactly as the in-call rollback would, and only then runs. A journal that
// does not decode (damaged, another version, another data folder) is never
// acted on: the call ends with a message naming the file, and nothing is
// deleted. All routines need the run folders of run_state.h; failures store
// their message in LastErrorText() and answer false. Nothing throws.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace talvex::tabmend {

struct JournalBackup {
  std::string relative;  // location below the data folder, "" for the folder itself
  std::string base;      // table base name
  bool original = false;  // the pre-call copy is in "original\", not in the backup folder
};

// What a table's files held right after an update swapped them in: the
// rollback puts a table back only while it still holds this (or what an
// earlier swap or its backup held), so that nothing another workstation wrote
// after the swap is overwritten.
struct JournalSwap {
  std::string relative;
  std::string base;
  std::string fingerprint;  // TableFingerprint
};

struct JournalUpdate {
  int number = 0;
  std::vector<std::string> relatives;  // locations whose files it may replace
  std::vector<JournalBackup> backups;
  std::vector<JournalSwap> swaps;      // recorded once its swap is done
};

struct Journal {
  std::string call;  // when and by which process the call started
  std::string data;  // the data folder
  std::vector<JournalUpdate> updates;
  bool finished = false;  // the call ended; only left because removing failed
};

// The file's bytes and back; Decode gives nothing for any text that is not
// exactly what Encode makes (checksum, version, every line).
std::string EncodeJournal(const Journal& journal);
std::optional<Journal> DecodeJournal(const std::string& bytes);

// Folders().work + "tabmend.jnl".
std::string JournalPath();

// Starts this call's journal (no update begun); false when it cannot be
// written, before anything is changed.
[[nodiscard]] bool BeginJournal();
// Size and content hash of a table's ".dbf" and ".dbt" in the folder
// ("dbfsize:crc/dbtsize:crc", "-" for a missing file).
std::string TableFingerprint(const std::string& folder, const std::string& base);

// After update `number` swapped its tables in: notes their fingerprints in
// the running call's journal. They are written to disk with the next
// journal write (the next update's, or none at the end), right after these
// tables are synced, so a fingerprint on disk always describes synced files;
// the end of the call then need not sync those tables again.
[[nodiscard]] bool JournalUpdateSwapped(int number);

// Writes the running call's journal with every fingerprint noted so far (the
// tables synced first), for a call that stops and leaves it to the next.
[[nodiscard]] bool SaveJournal();

// Before a rollback of the journal's updates: true when every table they
// swapped still holds what a swap of this call (or its backup) left there.
// Otherwise nothing may be restored: the message names the first table that
// changed, and each such table goes to the failure detail.
[[nodiscard]] bool UnchangedSinceSwaps(const Journal& journal);

// Records that the update is about to replace files in these locations, its
// backups being where `backups` says (already synced by the caller).
[[nodiscard]] bool JournalUpdateBegun(int number, const std::vector<std::string>& relatives,
                        const std::vector<JournalBackup>& backups);
// At the end of a clean call: syncs every table the call swapped in (each
// file once, however many updates replaced it), then removes the journal.
// When it cannot be removed it is rewritten as finished, which the next call
// only removes. False when that fails too (the next call would then roll this
// one back and run it again).
[[nodiscard]] bool EndJournal();
// After the in-call rollback has put every table back (VerifyRestored).
[[nodiscard]] bool DropJournal();

// At the start of a call: when a journal is there, rolls its call back,
// syncs what was restored and removes the journal. False (message stored,
// nothing deleted) when the journal is unreadable or a table cannot be
// restored.
[[nodiscard]] bool FinishInterruptedCall();

// After the in-call rollback: true when every table of every applied update
// is back in the data folder as its backup holds it (files synced); message
// stored otherwise, and in `failed` (when given) "table PATH" or "the tables
// of FOLDER" for a shorter text.
[[nodiscard]] bool VerifyRestored(const Journal& journal, std::string* failed = nullptr);

// The journal of the running call as written so far.
const Journal& CurrentJournal();

}  // namespace talvex::tabmend
