#include "table.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "handles.h"
#include "lock_ranges.h"
#include "memo_file.h"

namespace talvex::engine {

using platform::LockResult;

namespace {
bool isMemoType(char t) { return t == 'M' || t == 'B' || t == 'G'; }
}  // namespace

Table* Table::open(Context* ctx, std::string_view path, int* code) {
  EngineError e;
  std::shared_ptr<SharedTable> st = SharedTable::acquire(path, ctx->accessMode, &e);
  if (!st) {
    *code = ctx->fail(e.code, e.detail);
    return nullptr;
  }
  std::unique_ptr<Table> t(new Table());
  if (t->init(ctx, std::move(st), code) != 0) return nullptr;
  return t.release();
}

Table* Table::clone(Table& source, int* code) {
  std::unique_ptr<Table> t(new Table());
  if (t->init(source.ctx, source.st, code) != 0) return nullptr;
  return t.release();
}

int Table::init(Context* c, std::shared_ptr<SharedTable> shared, int* code) {
  ctx = c;
  st = std::move(shared);
  std::string why;
  lockFile_ = platform::File::open(st->path(), platform::OpenMode::ReadWrite, &why);
  if (!lockFile_) lockFile_ = platform::File::open(st->path(), platform::OpenMode::ReadOnly, &why);
  if (!lockFile_) {
    *code = fail(e4open, st->path() + ": " + why);
    return *code;
  }
  size_t rl = st->header().recordLen;
  rec_.assign(rl, ' ');
  orig_.assign(rl, ' ');
  memos_.resize(fieldCount());
  strBuf_.resize(fieldCount());
  fieldHandles_.assign(fieldCount(), 0);
  handle = HandleTable::instance().add(HandleKind::Table, this);
  if (handle == 0) {
    *code = fail(e4memory, "too many open handles");
    return *code;
  }
  st->tables().push_back(this);
  ctx->tables.push_back(this);
  *code = 0;
  return 0;
}

Table::~Table() {
  dropCursor();
  for (uint32_t h : fieldHandles_) {
    if (h) {
      delete HandleTable::instance().get<FieldRef>(h, HandleKind::Field);
      HandleTable::instance().remove(h);
    }
  }
  if (handle) HandleTable::instance().remove(handle);
  if (st) {
    auto& v = st->tables();
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
  }
  if (ctx) {
    auto& v = ctx->tables;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
  }
}

int Table::close() {
  int rc = flushRecord();
  EngineError e;
  if (indexSettleAll(*st, &e) != 0 && rc == 0) rc = failWith(e);
  int rc2 = releaseLocks();
  if (rc == 0) rc = rc2;
  // Indexes opened through this handle go with it.
  for (uint32_t h : indexHandles_) {
    if (IndexRef* ref = HandleTable::instance().get<IndexRef>(h, HandleKind::Index)) {
      indexRelease(*st, ref->index);
      HandleTable::instance().remove(h);
      delete ref;
    }
  }
  indexHandles_.clear();
  dropCursor();
  if (st.use_count() == 1) {
    if (st->flush(&e) != 0 && rc == 0) rc = failWith(e);
  }
  return rc;
}

uint32_t Table::fieldHandle(size_t i) {
  if (fieldHandles_[i] == 0) {
    FieldRef* ref = new FieldRef{this, i};
    fieldHandles_[i] = HandleTable::instance().add(HandleKind::Field, ref);
    if (fieldHandles_[i] == 0) delete ref;
  }
  return fieldHandles_[i];
}

void Table::blankBuffer() {
  std::fill(rec_.begin(), rec_.end(), ' ');
  for (MemoSlot& m : memos_) m = MemoSlot{};
}

void Table::setEof(uint32_t count) {
  blankBuffer();
  origValid_ = false;
  recNo_ = count + 1;
  eof_ = true;
  changed_ = false;
  appending_ = false;
}

int Table::readInto(uint32_t recno, bool walk) {
  EngineError e;
  if (st->readRecord(recno, rec_.data(), &e, walk) != 0) return failWith(e);
  settleOn(recno);
  return 0;
}

void Table::settleOn(uint32_t recno) {
  orig_ = rec_;
  origValid_ = true;
  for (MemoSlot& m : memos_) m = MemoSlot{};
  recNo_ = recno;
  changed_ = false;
  appending_ = false;
  eof_ = bof_ = false;
}

int Table::recCount(uint32_t* n) {
  EngineError e;
  if (st->recCount(n, &e) != 0) return failWith(e);
  return 0;
}

int Table::positionFromTag(int rc, uint32_t recno) {
  if (rc < 0) return rc;
  uint32_t count = 0;
  if (int r = recCount(&count)) return r;
  if (recno == 0 || recno > count) {
    if (rc == r4bof) {
      if (count == 0) {
        setEof(0);
        bof_ = true;
        return r4eof;
      }
      eof_ = false;
      bof_ = true;
      return r4bof;
    }
    setEof(count);
    return r4eof;
  }
  if (int r = readInto(recno)) return r;
  if (rc == r4bof) bof_ = true;
  return rc;
}

int Table::top() { return toEnd(false); }

int Table::bottom() { return toEnd(true); }

int Table::toEnd(bool last) {
  if (int rc = flushRecord()) return rc;
  uint32_t count = 0;
  if (int rc = recCount(&count)) return rc;
  bof_ = false;
  if (cursor_) {
    EngineError e;
    uint32_t recno = 0;
    int rc = tagFirst(*cursor_, last, &recno, &e);
    if (rc < 0) return failWith(e);
    rc = positionFromTag(rc, recno);
    if (rc == r4eof) bof_ = true;
    return rc;
  }
  if (count == 0) {
    setEof(0);
    bof_ = true;
    return r4eof;
  }
  return readInto(last ? count : 1, !last);
}

int Table::skip(int32_t n) {
  if (int rc = flushRecord()) return rc;
  if (!cursor_ && n == 1 && !eof_ && recNo_ >= 1 && !appending_ && st->nextReadAhead(recNo_ + 1, rec_.data())) {
    settleOn(recNo_ + 1);
    return 0;
  }
  uint32_t count = 0;
  if (int rc = recCount(&count)) return rc;
  if (cursor_) {
    EngineError e;
    uint32_t recno = 0;
    uint32_t current = eof_ ? 0 : recNo_;
    int rc = tagSkip(*cursor_, current, rec_.data(), n, &recno, &e);
    if (rc < 0) return failWith(e);
    return positionFromTag(rc, recno);
  }
  int64_t from = recNo_ == 0 ? 1 : static_cast<int64_t>(recNo_);
  if (eof_ && n < 0) from = static_cast<int64_t>(count) + 1;
  int64_t target = from + n;
  if (count == 0) {
    setEof(0);
    bof_ = true;
    return r4eof;
  }
  if (target > static_cast<int64_t>(count)) {
    setEof(count);
    return r4eof;
  }
  if (target < 1) {
    if (int rc = readInto(1)) return rc;
    bof_ = true;
    return r4bof;
  }
  return readInto(static_cast<uint32_t>(target), !cursor_ && n == 1);
}

int Table::go(int32_t recno, bool reread) {
  if (int rc = flushRecord()) return rc;
  uint32_t count = 0;
  if (int rc = recCount(&count)) return rc;
  if (recno < 1 || static_cast<uint32_t>(recno) > count)
    return fail(e4record, st->alias() + ": record " + std::to_string(recno) + " does not exist (" +
                              std::to_string(count) + " records)");
  if (!reread && origValid_ && recNo_ == static_cast<uint32_t>(recno) && !appending_) return 0;
  return readInto(static_cast<uint32_t>(recno));
}

int Table::memoText(size_t i, const std::string** text) {
  MemoSlot& m = memos_[i];
  if (!m.loaded) {
    uint32_t block = 0;
    const FieldDesc& f = field(i);
    if (!parseMemoPointer(std::string_view(fieldBytes(i), f.len), &block))
      return fail(e4memo, st->alias() + ": field " + f.name + " holds no memo block number");
    if (block != 0) {
      if (!st->memo()) return fail(e4memo, st->alias() + ": the memo file is not open");
      std::string err;
      if (!st->memo()->read(block, &m.text, &err))
        return fail(e4memo, st->alias() + "." + f.name + ": " + err);
    } else {
      m.text.clear();
    }
    m.loaded = true;
  }
  *text = &m.text;
  return 0;
}

int Table::setMemo(size_t i, std::string_view text) {
  if (!st->memo()) return fail(e4memo, st->alias() + ": the memo file is not open");
  MemoSlot& m = memos_[i];
  m.text.assign(text.data(), text.size());
  m.loaded = true;
  m.changed = true;
  changed_ = true;
  return 0;
}

int Table::writeMemos(bool newRecord) {
  freedMemo_.clear();
  for (size_t i = 0; i < memos_.size(); ++i) {
    MemoSlot& m = memos_[i];
    if (!m.changed) continue;
    const FieldDesc& f = field(i);
    uint32_t block = 0;
    // Only blocks the record itself owned (as in the file) may be reused.
    if (!newRecord && origValid_ && !parseMemoPointer(std::string_view(orig_.data() + f.offset, f.len), &block))
      block = 0;
    if (newRecord || !origValid_) block = 0;
    std::string err;
    if (!st->memo()->write(m.text, &block, !othersKeptOut(), &freedMemo_, &err))
      return fail(e4memo, st->alias() + "." + f.name + ": " + err);
    formatMemoPointer(block, st->memoIV(), fieldBytes(i));
    m.changed = false;
  }
  return 0;
}

void Table::releaseFreedMemo() {
  if (freedMemo_.empty() || !st->memo()) return;
  // A run that cannot go back on the chain only stays unreferenced: the record
  // is written, so this is no reason to fail the call.
  std::string err;
  (void)st->memo()->release(freedMemo_, !othersKeptOut(), &err);
  freedMemo_.clear();
}

int Table::writeRecordLocked(uint32_t recno, const char* data, const char* oldRec, bool doLock) {
  bool temp = false;
  if (doLock && !othersKeptOut() && recLocks_.count(recno) == 0) {
    LockResult r = lockWithRetry(*lockFile_, recordLockOffset(recno), 1, true, kShortLockWaitMs);
    if (r == LockResult::HeldElsewhere)
      return fail(r4locked, st->alias() + ": record " + std::to_string(recno) + " is locked by another user");
    if (r == LockResult::Failed) return fail(e4lock, st->alias() + ": " + lockFile_->lastError());
    temp = true;
  }
  EngineError e;
  int rc = st->writeRecord(recno, data, &e);
  if (rc == 0) {
    rc = indexRecordWritten(*st, recno, oldRec, data, &e);
    // The tags kept the old keys: so must the file, or a seek misses the record.
    if (rc) {
      EngineError back;
      if (st->writeRecord(recno, oldRec, &back) == 0)
        e.detail += " (the record was left as it was)";
      else
        e.detail += " (and the record could not be put back: " + back.detail + ")";
    }
  }
  if (temp) lockFile_->unlockRange(recordLockOffset(recno), 1);
  if (rc) return failWith(e);
  return 0;
}

int Table::beginChange() {
  EngineError e;
  if (st->beginChange(&e) != 0) return failWith(e);
  return 0;
}

int Table::flushRecord() {
  if (!changed_) return 0;
  if (appending_) {
    // An append that was started but not finished is dropped by a move.
    changed_ = false;
    appending_ = false;
    return 0;
  }
  if (recNo_ == 0 || eof_ || !origValid_) {
    changed_ = false;
    return 0;
  }
  if (st->readOnly())
    return fail(e4exclusive, st->alias() + ": the table is open read-only (another user keeps writers out)");
  if (int rc = beginChange()) return rc;
  if (int rc = writeMemos(false)) return rc;
  if (int rc = writeRecordLocked(recNo_, rec_.data(), orig_.data(), true)) return rc;
  releaseFreedMemo();
  orig_ = rec_;
  changed_ = false;
  return 0;
}

int Table::appendBlank() {
  if (int rc = flushRecord()) return rc;
  blankBuffer();
  appending_ = true;
  changed_ = true;
  return append();
}

int Table::appendStart(bool useMemoEntries) {
  if (int rc = flushRecord()) return rc;
  for (size_t i = 0; i < fieldCount(); ++i) {
    if (!isMemoType(field(i).type)) continue;
    if (useMemoEntries && origValid_ && !eof_) {
      const std::string* text = nullptr;
      if (int rc = memoText(i, &text)) return rc;
      memos_[i].changed = !text->empty();  // a copy in blocks of its own
    } else {
      memos_[i] = MemoSlot{};
      memos_[i].loaded = true;
    }
    std::memset(fieldBytes(i), ' ', field(i).len);
  }
  rec_[0] = ' ';
  appending_ = true;
  changed_ = true;
  return 0;
}

int Table::blank() {
  // Fields that lie back to back are blanked in one go (a record copy
  // blanks every record it makes).
  size_t runStart = 0, runEnd = 0;
  for (size_t i = 0; i < fieldCount(); ++i) {
    const FieldDesc& f = field(i);
    if (f.offset != runEnd) {
      std::memset(rec_.data() + runStart, ' ', runEnd - runStart);
      runStart = f.offset;
    }
    runEnd = f.offset + f.len;
    if (isMemoType(f.type)) {
      memos_[i] = MemoSlot{};
      memos_[i].loaded = true;
    }
  }
  std::memset(rec_.data() + runStart, ' ', runEnd - runStart);
  rec_[0] = ' ';
  changed_ = true;
  return 0;
}

int Table::append() {
  if (!appending_) {
    if (int rc = appendStart(true)) return rc;
  }
  if (st->readOnly())
    return fail(e4exclusive, st->alias() + ": the table is open read-only (another user keeps writers out)");
  if (int rc = beginChange()) return rc;
  if (int rc = writeMemos(true)) return rc;
  EngineError e;
  uint32_t recno = 0;
  bool keptOut = othersKeptOut();
  bool writeBehind = keptOut && ctx->optimizeWrite != 0;
  // The keys go in under the append lock, and a failure takes the record back.
  auto addKeys = [this](uint32_t n, EngineError* err) {
    return indexRecordAppended(*st, n, rec_.data(), err);
  };
  if (st->appendRecord(rec_.data(), *lockFile_, !keptOut, appendLocked_, writeBehind, addKeys,
                       &recno, &e) != 0)
    return failWith(e);
  appending_ = false;
  changed_ = false;
  recNo_ = recno;
  orig_ = rec_;
  origValid_ = true;
  eof_ = bof_ = false;
  return 0;
}

int Table::markDeleted(bool del) {
  if (recNo_ == 0 || eof_) return fail(e4record, st->alias() + ": no current record");
  rec_[0] = del ? '*' : ' ';
  changed_ = true;
  return 0;
}

int Table::flush() {
  if (int rc = flushRecord()) return rc;
  EngineError e;
  if (indexSettleAll(*st, &e) != 0) return failWith(e);
  if (st->flush(&e) != 0) return failWith(e);
  return 0;
}

int Table::writeLow(int32_t recno, bool unlockAfter, bool doLock) {
  uint32_t count = 0;
  if (int rc = recCount(&count)) return rc;
  if (recno < 1 || static_cast<uint32_t>(recno) > count)
    return fail(e4record, st->alias() + ": record " + std::to_string(recno) + " does not exist");
  if (st->readOnly())
    return fail(e4exclusive, st->alias() + ": the table is open read-only (another user keeps writers out)");
  if (int rc = beginChange()) return rc;
  uint32_t target = static_cast<uint32_t>(recno);
  if (target == recNo_ && origValid_ && !appending_) {
    if (int rc = writeMemos(false)) return rc;
    if (int rc = writeRecordLocked(target, rec_.data(), orig_.data(), doLock)) return rc;
    releaseFreedMemo();
    orig_ = rec_;
    changed_ = false;
  } else {
    // The buffer goes to another record: its memos get blocks of their own.
    std::vector<char> old(rec_.size());
    EngineError e;
    if (st->readRecord(target, old.data(), &e) != 0) return failWith(e);
    if (int rc = writeMemos(true)) return rc;
    if (int rc = writeRecordLocked(target, rec_.data(), old.data(), doLock)) return rc;
    recNo_ = target;
    orig_ = rec_;
    origValid_ = true;
    changed_ = false;
    appending_ = false;
    eof_ = bof_ = false;
  }
  if (unlockAfter) return unlock();
  return 0;
}

int Table::check() {
  if (int rc = flushRecord()) return rc;
  EngineError found;
  if (indexCheckAll(*st, &found) == 0) return 0;
  if (othersKeptOut()) return failWith(found);
  // Another process's append or write in progress looks like damage to a
  // check that reads beside it: confirm under the table lock. Taken only
  // now, so a sound table never keeps others' locks out (theirs do not wait).
  ErrorState before = ctx->error;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kShortLockWaitMs);
  for (int pause = 1;; pause = std::min(pause * 2, 20)) {
    if (lockAll(false) == 0) break;
    if (ctx->error.code != r4locked || std::chrono::steady_clock::now() >= deadline) {
      ctx->error = before;
      found.detail += " (not confirmed: another user kept the table locked)";
      return failWith(found);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(pause));
  }
  ctx->error = before;
  EngineError again;
  int rc = indexCheckAll(*st, &again) != 0 ? failWith(again) : 0;
  ErrorState kept = ctx->error;
  int u = unlock();
  if (rc == 0) return u;
  ctx->error = kept;
  return rc;
}

int Table::pack() {
  if (int rc = flushRecord()) return rc;
  bool tempLock = false;
  if (!othersKeptOut()) {
    if (int rc = lockAll(false)) return rc;
    tempLock = true;
  }
  uint32_t count = 0;
  int rc = beginChange();
  if (rc == 0) rc = recCount(&count);
  std::vector<bool> keep;
  if (rc == 0) {
    keep.assign(count, true);
    std::vector<char> r(rec_.size());
    EngineError e;
    for (uint32_t i = 1; i <= count && rc == 0; ++i) {
      if (st->readRecord(i, r.data(), &e) != 0) {
        rc = failWith(e);
        break;
      }
      keep[i - 1] = r[0] != '*';
    }
    if (rc == 0 && st->pack(keep, &e) != 0) rc = failWith(e);
    if (rc == 0 && indexRebuildAll(*st, &e) != 0) rc = failWith(e);
  }
  // Every handle's position is gone with the old record numbers.
  for (Table* t : st->tables()) {
    t->origValid_ = false;
    t->changed_ = false;
    t->recNo_ = 0;
  }
  if (tempLock) {
    int u = unlock();
    if (rc == 0) rc = u;
  }
  if (rc == 0) {
    uint32_t n = 0;
    if (recCount(&n) == 0 && n > 0) (void)readInto(1);  // a failed read leaves the table at eof
    else setEof(0);
  }
  return rc;
}

int Table::reindex() {
  if (int rc = flushRecord()) return rc;
  // A rebuild replaces every tag wholesale: a writer in another process would
  // lose its keys in the middle of it, so keep writers out as pack does.
  bool tempLock = false;
  if (!othersKeptOut()) {
    if (int rc = lockAll(false)) return rc;
    tempLock = true;
  }
  EngineError e;
  int rc = beginChange();
  if (rc == 0 && st->flush(&e) != 0) rc = failWith(e);
  if (rc == 0 && indexRebuildAll(*st, &e) != 0) rc = failWith(e);
  if (tempLock) {
    int u = unlock();
    if (rc == 0) rc = u;
  }
  return rc;
}

int Table::lockRecord(int32_t recno, bool unlockOthers) {
  uint32_t count = 0;
  if (int rc = recCount(&count)) return rc;
  if (recno < 1 || static_cast<uint32_t>(recno) > count)
    return fail(e4record, st->alias() + ": record " + std::to_string(recno) + " does not exist");
  uint32_t r = static_cast<uint32_t>(recno);
  if (unlockOthers) {
    if (int rc = flushRecord()) return rc;
    if (fileLocked_ || appendLocked_ || !recLocks_.empty()) {
      std::set<uint32_t> keepRec;
      if (recLocks_.count(r)) keepRec.insert(r);
      for (uint32_t x : recLocks_)
        if (x != r) lockFile_->unlockRange(recordLockOffset(x), 1);
      recLocks_ = keepRec;
      if (appendLocked_) {
        lockFile_->unlockRange(kAppendLockOffset, 1);
        appendLocked_ = false;
      }
      if (fileLocked_) {
        EngineError e;
        if (st->flush(&e) != 0) return failWith(e);
        lockFile_->unlockRange(kFileLockOffset, kFileLockLength);
        fileLocked_ = false;
        st->fileLockReleased();
        indexSetTrusted(*st, st->trusted());
      }
    }
  }
  if (fileLocked_ || recLocks_.count(r)) return 0;
  LockResult lr = lockFile_->lockRange(recordLockOffset(r), 1, true);
  if (lr == LockResult::HeldElsewhere)
    return fail(r4locked, st->alias() + ": record " + std::to_string(r) + " is locked by another user");
  if (lr == LockResult::Failed) return fail(e4lock, st->alias() + ": " + lockFile_->lastError());
  recLocks_.insert(r);
  st->forgetSharedReadAhead();
  // The locked record is read again: another user may have changed it.
  if (r == recNo_ && !changed_ && origValid_) return readInto(r);
  return 0;
}

int Table::lockAll(bool unlockOthers) {
  if (fileLocked_) return 0;
  if (int rc = flushRecord()) return rc;
  // Our own record and append bytes lie inside the table range: free them
  // first (a Win32 handle cannot lock over its own locks).
  for (uint32_t x : recLocks_) lockFile_->unlockRange(recordLockOffset(x), 1);
  std::set<uint32_t> had = recLocks_;
  recLocks_.clear();
  bool hadAppend = appendLocked_;
  if (appendLocked_) {
    lockFile_->unlockRange(kAppendLockOffset, 1);
    appendLocked_ = false;
  }
  LockResult lr = lockFile_->lockRange(kFileLockOffset, kFileLockLength, true);
  if (lr != LockResult::Locked) {
    if (!unlockOthers) {
      for (uint32_t x : had)
        if (lockFile_->lockRange(recordLockOffset(x), 1, true) == LockResult::Locked) recLocks_.insert(x);
      if (hadAppend && lockFile_->lockRange(kAppendLockOffset, 1, true) == LockResult::Locked)
        appendLocked_ = true;
    }
    if (lr == LockResult::HeldElsewhere)
      return fail(r4locked, st->alias() + ": the table or one of its records is locked by another user");
    return fail(e4lock, st->alias() + ": " + lockFile_->lastError());
  }
  fileLocked_ = true;
  st->fileLockTaken();
  indexSetTrusted(*st, true);
  // Count and current record as they are now.
  uint32_t n = 0;
  if (int rc = recCount(&n)) return rc;
  if (origValid_ && recNo_ >= 1 && recNo_ <= n) return readInto(recNo_);
  return 0;
}

int Table::lockAppend() {
  if (fileLocked_ || appendLocked_) return 0;
  LockResult lr = lockFile_->lockRange(kAppendLockOffset, 1, true);
  if (lr == LockResult::HeldElsewhere)
    return fail(r4locked, st->alias() + ": appending is locked by another user");
  if (lr == LockResult::Failed) return fail(e4lock, st->alias() + ": " + lockFile_->lastError());
  appendLocked_ = true;
  st->forgetSharedReadAhead();
  return 0;
}

int Table::releaseLocks() {
  EngineError e;
  int rc = 0;
  if (fileLocked_ && st->flush(&e) != 0) rc = failWith(e);
  for (uint32_t x : recLocks_) lockFile_->unlockRange(recordLockOffset(x), 1);
  recLocks_.clear();
  if (appendLocked_) {
    lockFile_->unlockRange(kAppendLockOffset, 1);
    appendLocked_ = false;
  }
  if (fileLocked_) {
    lockFile_->unlockRange(kFileLockOffset, kFileLockLength);
    fileLocked_ = false;
    st->fileLockReleased();
    indexSetTrusted(*st, st->trusted());
  }
  return rc;
}

int Table::unlock() {
  int rc = flushRecord();
  EngineError e;
  if (indexSettleAll(*st, &e) != 0 && rc == 0) rc = failWith(e);
  int rc2 = releaseLocks();
  return rc ? rc : rc2;
}

void Table::dropCursor() {
  cursor_.reset();
  selected_ = nullptr;
}

int Table::selectTag(TagRef* tag) {
  if (int rc = flushRecord()) return rc;
  cursor_.reset();
  selected_ = tag;
  if (tag) {
    cursor_ = makeTagCursor(*tag);
    if (!cursor_) {
      selected_ = nullptr;
      return fail(e4memory, "cannot make a tag cursor");
    }
  }
  return 0;
}

int Table::seek(SeekInput kind, std::string_view key, double number) {
  if (int rc = flushRecord()) return rc;
  if (!cursor_) return fail(e4tag, st->alias() + ": no tag is selected for the seek");
  EngineError e;
  uint32_t recno = 0;
  int rc = tagSeek(*cursor_, kind, key, number, &recno, &e);
  if (rc < 0) return failWith(e);
  return positionFromTag(rc, recno);
}

int Table::seekNext(std::string_view key) {
  if (int rc = flushRecord()) return rc;
  if (!cursor_) return fail(e4tag, st->alias() + ": no tag is selected for the seek");
  EngineError e;
  uint32_t recno = 0;
  uint32_t current = (eof_ || !origValid_) ? 0 : recNo_;
  int rc = tagSeekNext(*cursor_, current, rec_.data(), key, &recno, &e);
  if (rc < 0) return failWith(e);
  return positionFromTag(rc, recno);
}

}  // namespace talvex::engine
