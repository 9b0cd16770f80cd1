// The in-process state of one open .dbf file, shared by every handle on it
// (a table and its clones, and tables of other contexts opened on the same
// file): header, record count, read-ahead and write-behind buffers, the memo
// file and the open indexes. Because all handles of the process read and
// write through this one object, they see each other's appends and changes at
// once; other processes are seen by re-reading from the file whenever nothing
// keeps them out.
//
// Trust: records and count may be cached only while no other process can
// change the file: this process opened it deny-write or exclusive (open mode
// 1 or 2) or one of its handles holds the table lock. Otherwise the count is
// re-read before it is relied on and every record read goes to the file,
// except in a walk in record order: it reads ahead, and its next steps are
// served from that read for at most a few milliseconds (engine/README.md,
// "Reading beside other writers").
//
// Ownership: Table handles hold it through shared_ptr; the last release
// flushes buffers, writes the header and frees the OS locks of the open mode.
// Callers hold the API lock (api_guard.h); nothing here is thread-safe alone.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_io.h"
#include "dbf_header.h"
#include "memo_file.h"

namespace talvex::engine {

class Table;
class OpenIndex;

// Defined with OpenIndex (index_binding.cpp), so this header needs no index types.
struct OpenIndexDeleter {
  void operator()(OpenIndex* index) const;
};
using OpenIndexPtr = std::unique_ptr<OpenIndex, OpenIndexDeleter>;

struct EngineError {
  int code = 0;
  std::string detail;
};

class SharedTable {
 public:
  // Opens (or joins) the table at path with open mode 0, 1 or 2.
  static std::shared_ptr<SharedTable> acquire(std::string_view path, int accessMode,
                                              EngineError* error);
  // The already open table at this native path, if any.
  static std::shared_ptr<SharedTable> findOpen(std::string_view nativePath);
  ~SharedTable();
  SharedTable(const SharedTable&) = delete;
  SharedTable& operator=(const SharedTable&) = delete;

  const DbfHeader& header() const { return header_; }
  const std::string& path() const { return path_; }  // native path of the .dbf
  const std::string& alias() const { return alias_; }
  [[nodiscard]] bool readOnly() const { return readOnly_; }
  [[nodiscard]] int heldMode() const { return heldMode_; }
  MemoFile* memo() { return memo_.get(); }
  [[nodiscard]] bool memoIV() const { return header_.memoIV() || !header_.hasMemoFile(); }

  // Nobody outside this process can change the file right now.
  [[nodiscard]] bool trusted() const { return heldMode_ >= 1 || fileLockHolders_ > 0; }
  void fileLockTaken();
  void fileLockReleased();

  // Record count; re-read from the file unless trusted.
  [[nodiscard]] int recCount(uint32_t* count, EngineError* error);
  uint32_t cachedCount() const { return count_; }

  // walk: a step of a walk in record order (top, or a skip by one), which
  // may read ahead even beside other writers.
  [[nodiscard]] int readRecord(uint32_t recno, char* out, EngineError* error, bool walk = false);
  // Beside other writers: the next step of a walk, from the read-ahead while
  // it is young enough; false when the file must be read.
  [[nodiscard]] bool nextReadAhead(uint32_t recno, char* out);
  // A lock was taken: whatever is read from now on must come from the file.
  void forgetSharedReadAhead();
  [[nodiscard]] int writeRecord(uint32_t recno, const char* rec, EngineError* error);
  // lockFile: the appending handle's File, for the append and header locks;
  // needLocks false when this handle's table lock or the open mode already
  // keeps other writers out. writeBehind: buffer the record (trusted only).
  // appendLockHeld: the handle holds the append lock itself (d4lockAppend).
  // addKeys runs while the append and header locks are still held, once the
  // record is counted; when it fails the record is taken back (count and
  // file end as before), so no other user ever sees it live without its keys.
  // When even the take-back fails, the record is left marked deleted.
  using AddKeys = std::function<int(uint32_t recno, EngineError* error)>;
  [[nodiscard]] int appendRecord(const char* rec, platform::File& lockFile, bool needLocks,
                   bool appendLockHeld, bool writeBehind, const AddKeys& addKeys,
                   uint32_t* recno, EngineError* error);
  // Writes buffered appends and the header.
  [[nodiscard]] int flush(EngineError* error);
  // Removes records for which keep[recno-1] is false; only when trusted.
  [[nodiscard]] int pack(const std::vector<bool>& keep, EngineError* error);

  // Before the first change of this open: counts this writer in header byte
  // 14, which a clean close counts out again. A count left there with no
  // other writer alive means a writer was killed during a change.
  [[nodiscard]] int beginChange(EngineError* error);
  // At the first open in this process: when a killed writer left its mark
  // and no other writer has the table open, finishes a pack that had
  // completed its new files, rebuilds the production index, cuts the file
  // after the last counted record and clears the mark. Otherwise nothing.
  [[nodiscard]] int repairAfterCrash(EngineError* error);
  // Leaves this writer's mark in byte 14 at close: the production index may
  // lack changes, and the next lone opener rebuilds it.
  void keepWriterMark() { keepMark_ = true; }

  // Indexes opened on this table (production index and i4open'ed ones).
  std::vector<OpenIndexPtr>& indexes() { return indexes_; }
  std::vector<Table*>& tables() { return tables_; }

 private:
  SharedTable() = default;
  [[nodiscard]] int open(std::string_view path, int accessMode, EngineError* error);
  [[nodiscard]] int takeModeLocks(int mode, EngineError* error);
  [[nodiscard]] int takeOpenAndWriterBytes(int mode, EngineError* error);
  // Repair: the count cut to the whole, written records at the end of the file.
  [[nodiscard]] int dropTornAppends(EngineError* error);
  [[nodiscard]] int upgradeMode(int mode, EngineError* error);
  [[nodiscard]] int writeHeaderCount(EngineError* error);
  [[nodiscard]] int touchDate(EngineError* error);
  [[nodiscard]] int flushAppends(EngineError* error);
  void takeBackAppend(uint32_t oldCount);
  [[nodiscard]] int ioError(int code, const std::string& what, EngineError* error);
  [[nodiscard]] int packMemoFile(const std::vector<bool>& keep, const std::vector<size_t>& fields,
                   std::vector<uint32_t>* blocks, EngineError* error);
  [[nodiscard]] int writePackedTable(const std::vector<bool>& keep, const std::vector<size_t>& memoFields,
                       const std::vector<uint32_t>& memoBlocks, uint32_t* written,
                       EngineError* error);
  [[nodiscard]] int installPack(EngineError* error);
  [[nodiscard]] int rereadCount(EngineError* error);

  std::unique_ptr<platform::File> io_;
  std::unique_ptr<MemoFile> memo_;
  DbfHeader header_;
  std::string path_;
  std::string key_;
  std::string alias_;
  bool readOnly_ = false;
  int heldMode_ = 0;
  int fileLockHolders_ = 0;
  uint32_t count_ = 0;
  // Others may have appended before we came to keep them out: the first
  // count asked once trusted is read from the file.
  bool countStale_ = false;
  bool modified_ = false;
  bool dateWritten_ = false;
  bool counted_ = false;       // this open is counted in byte 14
  bool keepMark_ = false;      // a change was left half done: the mark stays
  bool repairPending_ = false; // byte 14 was set when this process opened

  // Read-ahead: records cacheFirst_ .. cacheFirst_ + cacheCount_ - 1, read at
  // cacheReadAtUs_. While not trusted it serves only the walk that read it.
  std::vector<char> cache_;
  uint32_t cacheFirst_ = 0;
  uint32_t cacheCount_ = 0;
  int64_t cacheReadAtUs_ = 0;
  uint32_t walkLast_ = 0;  // last record of a walk in record order while not trusted
  uint32_t walkRun_ = 0;   // its steps so far, which size the next read-ahead
  // Write-behind: appended records not yet in the file, from appendFirst_.
  std::vector<char> appendBuf_;
  uint32_t appendFirst_ = 0;
  uint32_t appendCount_ = 0;

  std::vector<OpenIndexPtr> indexes_;
  std::vector<Table*> tables_;
};

// "x.dbf" for "x"; other extensions are kept.
std::string withDbfExtension(std::string_view path);
// Same path with another extension (".dbt", ".mdx").
std::string replaceExtension(std::string_view path, std::string_view ext);
// Base name without folder and extension.
std::string baseName(std::string_view path);

}  // namespace talvex::engine
