// One table handle: a position, a record buffer and the locks this handle
// holds, over a SharedTable that it shares with the other handles on the file.
//
// Record buffer: assignments change `rec` and set `changed`; the record (with
// its changed memos, and every tag of every open index) is written when the
// handle moves, is unlocked, flushed or closed, or by writeLow. `orig` is the
// record as it is in the file, so index maintenance knows the old keys and a
// memo is rewritten in place only in the blocks this record owns.
//
// Locks belong to this handle's own File on the .dbf (an open file
// description of its own), so two handles exclude each other as two
// processes do. Methods return 0 or an engine code, recording failures in the
// context. Callers hold the API lock.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/file_io.h"
#include "context.h"
#include "index_binding.h"
#include "shared_table.h"

namespace talvex::engine {

class Table {
 public:
  // Opens (or clones, when source is given) a handle; 0 and the context's
  // error on failure.
  static Table* open(Context* ctx, std::string_view path, int* code);
  static Table* clone(Table& source, int* code);
  // Writes what is pending, frees locks, indexes opened through it, handles.
  [[nodiscard]] int close();
  ~Table();

  Context* ctx = nullptr;
  uint32_t handle = 0;
  std::shared_ptr<SharedTable> st;

  const DbfHeader& header() const { return st->header(); }
  size_t fieldCount() const { return st->header().fields.size(); }
  const FieldDesc& field(size_t i) const { return st->header().fields[i]; }

  // Moves.
  [[nodiscard]] int top();
  [[nodiscard]] int bottom();
  [[nodiscard]] int skip(int32_t n);
  [[nodiscard]] int go(int32_t recno, bool reread);
  [[nodiscard]] int recCount(uint32_t* n);
  [[nodiscard]] bool eof() const { return eof_; }
  [[nodiscard]] bool bof() const { return bof_; }
  uint32_t recNo() const { return recNo_; }
  [[nodiscard]] bool deleted() const { return rec_[0] == '*'; }

  // Changes.
  [[nodiscard]] int appendBlank();
  [[nodiscard]] int appendStart(bool useMemoEntries);
  [[nodiscard]] int blank();
  [[nodiscard]] int append();
  [[nodiscard]] int markDeleted(bool deleted);
  [[nodiscard]] int pack();
  // Every tag against every record (d4check), with other writers kept out.
  [[nodiscard]] int check();
  [[nodiscard]] int reindex();
  [[nodiscard]] int flush();
  [[nodiscard]] int writeLow(int32_t recno, bool unlockAfter, bool doLock);
  [[nodiscard]] int flushRecord();
  // Marks the table as being changed by this open (see SharedTable::beginChange).
  [[nodiscard]] int beginChange();

  // Locks (never waiting).
  [[nodiscard]] int lockRecord(int32_t recno, bool unlockOthers);
  [[nodiscard]] int lockAll(bool unlockOthers);
  [[nodiscard]] int lockAppend();
  [[nodiscard]] int unlock();

  // Fields: the buffer and the memo texts.
  char* fieldBytes(size_t i) { return rec_.data() + field(i).offset; }
  const char* fieldBytes(size_t i) const { return rec_.data() + field(i).offset; }
  void markChanged() { changed_ = true; }
  // The memo text of field i (loaded on first use).
  [[nodiscard]] int memoText(size_t i, const std::string** text);
  [[nodiscard]] int setMemo(size_t i, std::string_view text);
  std::string& textBuffer(size_t i) { return strBuf_[i]; }
  uint32_t fieldHandle(size_t i);

  // Indexes.
  [[nodiscard]] int selectTag(TagRef* tag);
  TagRef* selectedTag() const { return selected_; }
  void dropCursor();  // the selected tag's index is closing
  [[nodiscard]] int seek(SeekInput kind, std::string_view key, double number);
  [[nodiscard]] int seekNext(std::string_view key);
  std::vector<uint32_t>& indexHandles() { return indexHandles_; }

  [[nodiscard]] bool fileLocked() const { return fileLocked_; }
  platform::File& lockFile() { return *lockFile_; }

 private:
  Table() = default;
  [[nodiscard]] int init(Context* c, std::shared_ptr<SharedTable> shared, int* code);
  // walk: a step of a walk in record order, which may read ahead.
  [[nodiscard]] int readInto(uint32_t recno, bool walk = false);
  // The record just read into rec_ becomes the current one.
  void settleOn(uint32_t recno);
  void setEof(uint32_t count);
  void blankBuffer();
  [[nodiscard]] bool othersKeptOut() const { return st->heldMode() >= 1 || fileLocked_; }
  // Writes the changed memos; blocks they give up wait in freedMemo_ until
  // the record that pointed at them is written (releaseFreedMemo).
  [[nodiscard]] int writeMemos(bool newRecord);
  void releaseFreedMemo();
  // Writes the record and its keys under one record lock; when the keys fail
  // the old record is written back, so file and tags still agree.
  [[nodiscard]] int writeRecordLocked(uint32_t recno, const char* data, const char* oldRec, bool doLock);
  [[nodiscard]] int releaseLocks();
  [[nodiscard]] int positionFromTag(int rc, uint32_t recno);
  // The first (last = false) or last record, in tag order when a tag is selected.
  [[nodiscard]] int toEnd(bool last);
  int fail(int code, std::string detail) { return ctx->fail(code, std::move(detail)); }
  int failWith(const EngineError& e) { return ctx->fail(e.code, e.detail); }

  std::unique_ptr<platform::File> lockFile_;
  std::vector<char> rec_, orig_;
  bool origValid_ = false;  // orig_ is record recNo_ as in the file
  uint32_t recNo_ = 0;
  bool changed_ = false;
  bool eof_ = false, bof_ = false;
  bool appending_ = false;

  struct MemoSlot {
    bool loaded = false;
    bool changed = false;
    std::string text;
  };
  std::vector<MemoSlot> memos_;
  std::vector<MemoRun> freedMemo_;
  std::vector<std::string> strBuf_;
  std::vector<uint32_t> fieldHandles_;

  std::set<uint32_t> recLocks_;
  bool fileLocked_ = false;
  bool appendLocked_ = false;

  TagRef* selected_ = nullptr;
  TagCursorPtr cursor_;
  std::vector<uint32_t> indexHandles_;
};

struct FieldRef {
  Table* table = nullptr;
  size_t index = 0;
};

}  // namespace talvex::engine
