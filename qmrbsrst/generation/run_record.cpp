#include "qmrbsrst/generation/run_record.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/ascii_text.h"
#include "platform/file_io.h"
#include "platform/file_system.h"

namespace talvex::qmrbsrst {

namespace {

using talvex::platform::File;
using talvex::platform::LockResult;
using talvex::platform::OpenMode;

constexpr char kVersionLine[] = "TALVEX ROSTER RUN 1";
constexpr char kVersionPrefix[] = "TALVEX ROSTER RUN ";
constexpr int kSlots = 1000;
// Far past any text the file holds: on Windows a locked range also blocks
// reads and writes of it, the owner's included.
constexpr uint64_t kLockOffset = uint64_t{1} << 40;

std::string SlotName(int slot) {
  char name[16];
  std::snprintf(name, sizeof name, "ROSTRUN.%03d", slot);
  return name;
}

bool IsSlotName(const std::string& name) {
  if (name.size() != 11) return false;
  if (talvex::ascii::upper(name.substr(0, 8)) != "ROSTRUN.") return false;
  for (size_t i = 8; i < 11; ++i) {
    if (name[i] < '0' || name[i] > '9') return false;
  }
  return true;
}

std::string Hex(const std::string& text) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

bool Unhex(const std::string& hex, std::string* out) {
  if (hex.size() % 2 != 0) return false;
  out->clear();
  for (size_t i = 0; i < hex.size(); i += 2) {
    int v = 0;
    for (size_t j = i; j < i + 2; ++j) {
      const char c = hex[j];
      int d;
      if (c >= '0' && c <= '9') d = c - '0';
      else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
      else return false;
      v = v * 16 + d;
    }
    *out += static_cast<char>(v);
  }
  return true;
}

// Digits only, at most 10 of them, within int32.
bool WholeNumber(const std::string& text, int32_t* out) {
  if (text.empty() || text.size() > 10) return false;
  long long v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  if (v > 2147483647) return false;
  *out = static_cast<int32_t>(v);
  return true;
}

bool IsFieldName(const std::string& s) {
  if (s.empty() || s.size() > 10) return false;
  for (char c : s) {
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) return false;
  }
  return true;
}

std::string HeadText(const RunRecordContent& head) {
  std::string text = std::string(kVersionLine) + "\r\n";
  text += "ROSTER " + std::to_string(head.roster) + " DATE " + head.runDate + "\r\n";
  for (const auto& [name, value] : head.headerBefore) {
    text += "BEFORE " + name + " " + Hex(value) + "\r\n";
  }
  return text + "BEGUN\r\n";
}

bool ReadAll(File& f, std::string* text) {
  uint64_t size = 0;
  if (!f.size(&size) || size > (uint64_t{64} << 20)) return false;
  text->assign(static_cast<size_t>(size), '\0');
  size_t got = 0;
  return size == 0 || (f.readAt(0, text->data(), text->size(), &got) && got == text->size());
}

bool EmptyAndSync(File& f) { return f.truncate(0) && f.sync(); }

}  // namespace

bool ParseRunRecord(const std::string& whole, RunRecordContent* out, std::string* problem) {
  *out = RunRecordContent{};
  if (whole.empty()) return true;
  // Each addition is synced before the next is written, so zero bytes can
  // only be sectors of the last one that a power cut lost while the file kept
  // its new length: that addition was never completed. After the head every
  // addition is one line, so a zero with complete lines after its own is
  // damage, not a cut.
  std::string text = whole;
  const size_t zero = text.find('\0');
  if (zero != std::string::npos) {
    const bool headDone = text.rfind("\r\nBEGUN\r\n", zero) != std::string::npos;
    const size_t lineEnd = text.find("\r\n", zero);
    if (headDone && lineEnd != std::string::npos && lineEnd + 2 < text.size()) {
      *problem = "it holds zero bytes before its last line";
      return false;
    }
    text.resize(zero);
    if (text.empty()) return true;
  }
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2) {
    lines.push_back(text.substr(start, at - start));
  }
  const std::string torn = text.substr(start);
  // A line the process did not finish writing may only be the start of one
  // this layout writes.
  for (char c : torn) {
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ' || c == '_' ||
          c == '\r')) {
      *problem = "its last line is not one this program writes";
      return false;
    }
  }
  if (lines.empty()) {
    const size_t n = std::min(torn.size(), std::strlen(kVersionPrefix));
    if (torn.compare(0, n, kVersionPrefix, n) != 0) {
      *problem = "it does not start as a roster run record";
      return false;
    }
    return true;  // the head was never completed: nothing was written after it
  }
  if (lines[0] != kVersionLine) {
    *problem = lines[0].rfind(kVersionPrefix, 0) == 0
                   ? "it was written by another version (" + lines[0] + ")"
                   : "it does not start as a roster run record";
    return false;
  }
  size_t i = 1;
  bool begun = false;
  RunRecordContent r;
  if (i < lines.size()) {
    char roster[16] = {0}, date[16] = {0};
    const std::string& l = lines[i];
    int used = 0;
    if (std::sscanf(l.c_str(), "ROSTER %11[0-9] DATE %8[0-9]%n", roster, date, &used) != 2 ||
        static_cast<size_t>(used) != l.size() || std::strlen(date) != 8 ||
        !WholeNumber(roster, &r.roster)) {
      *problem = "line 2 is not the roster and run date";
      return false;
    }
    r.runDate = date;
    ++i;
  }
  for (; i < lines.size(); ++i) {
    const std::string& l = lines[i];
    if (!begun) {
      if (l == "BEGUN") {
        begun = true;
        continue;
      }
      const size_t space = l.find(' ', 7);
      std::string value;
      if (l.rfind("BEFORE ", 0) != 0 || space == std::string::npos ||
          !IsFieldName(l.substr(7, space - 7)) || !Unhex(l.substr(space + 1), &value)) {
        *problem = "line " + std::to_string(i + 1) + " is not a header field";
        return false;
      }
      r.headerBefore.emplace_back(l.substr(7, space - 7), value);
      continue;
    }
    int32_t number = 0;
    if (l.rfind("CLAIM ", 0) == 0 && WholeNumber(l.substr(6), &number) && !r.headerUpdateBegun) {
      r.claims.push_back(number);
    } else if (l == "HEADER" && !r.headerUpdateBegun) {
      r.headerUpdateBegun = true;
    } else {
      *problem = "line " + std::to_string(i + 1) + " is not a step of the run";
      return false;
    }
  }
  // Without "BEGUN" the head was not complete, and the run wrote nothing.
  if (begun) {
    r.begun = true;
    *out = std::move(r);
  }
  return true;
}

RunRecord::RunRecord() = default;

RunRecord::~RunRecord() { Release(); }

const std::string& RunRecord::path() const {
  static const std::string kNone;
  return file_ ? file_->path() : kNone;
}

bool RunRecord::Begin(const std::string& dataDirectory, const RunRecordContent& head,
                      std::string* error) {
  Release();
  for (int slot = 0; slot < kSlots; ++slot) {
    const std::string path = dataDirectory + SlotName(slot);
    std::string why;
    std::unique_ptr<File> f = File::open(path, OpenMode::OpenOrCreate, &why);
    if (!f) {
      *error = why;
      return false;
    }
    const LockResult lock = f->lockRange(kLockOffset, 1);
    if (lock == LockResult::Failed) {
      *error = f->lastError();
      return false;
    }
    if (lock != LockResult::Locked) continue;
    uint64_t size = 0;
    if (!f->size(&size)) {
      *error = f->lastError();
      f->unlockRange(kLockOffset, 1);
      return false;
    }
    if (size != 0) {
      // A run that ended after this call looked for interrupted ones; the
      // next call undoes it.
      f->unlockRange(kLockOffset, 1);
      continue;
    }
    const std::string text = HeadText(head);
    if (!f->writeAt(0, text.data(), text.size()) || !f->sync()) {
      *error = f->lastError();
      EmptyAndSync(*f);
      f->unlockRange(kLockOffset, 1);
      return false;
    }
    file_ = std::move(f);
    end_ = text.size();
    return true;
  }
  *error = "every run record slot of " + dataDirectory + " is in use";
  return false;
}

bool RunRecord::Append(const std::string& text) {
  if (!file_ || !file_->writeAt(end_, text.data(), text.size()) || !file_->sync()) return false;
  end_ += text.size();
  return true;
}

bool RunRecord::NoteClaim(int32_t number) {
  return Append("CLAIM " + std::to_string(number) + "\r\n");
}

bool RunRecord::NoteHeaderUpdate() { return Append("HEADER\r\n"); }

bool RunRecord::Clear() {
  if (!file_) return true;
  const bool ok = EmptyAndSync(*file_);
  Release();
  return ok;
}

void RunRecord::Release() {
  if (!file_) return;
  file_->unlockRange(kLockOffset, 1);
  file_.reset();
  end_ = 0;
}

bool RunRecord::AnotherLiveRunOf(int32_t roster) const {
  if (!file_) return false;
  const std::string own = file_->path();
  const std::string folder = own.substr(0, own.size() - SlotName(0).size());
  for (const std::string& name : platform::listFiles(folder, "ROSTRUN.*")) {
    // Our own slot would read as held elsewhere from a second handle.
    if (!IsSlotName(name) || folder + name == own) continue;
    std::unique_ptr<File> f = File::open(folder + name, OpenMode::ReadWrite, nullptr);
    if (!f) continue;
    const LockResult lock = f->lockRange(kLockOffset, 1);
    if (lock == LockResult::Locked) f->unlockRange(kLockOffset, 1);
    if (lock != LockResult::HeldElsewhere) continue;
    std::string text, unused;
    RunRecordContent content;
    if (ReadAll(*f, &text) && ParseRunRecord(text, &content, &unused) && content.begun &&
        content.roster == roster) {
      return true;
    }
  }
  return false;
}

bool RecoverInterruptedRuns(const std::string& dataDirectory,
                            const std::function<bool(const RunRecordContent&)>& undo,
                            std::string* problem) {
  struct Found {
    std::unique_ptr<File> file;
    RunRecordContent content;
  };
  std::vector<Found> found;
  auto releaseAll = [&found] {
    for (Found& f : found) f.file->unlockRange(kLockOffset, 1);
  };
  for (const std::string& name : platform::listFiles(dataDirectory, "ROSTRUN.*")) {
    if (!IsSlotName(name)) continue;
    const std::string path = dataDirectory + name;
    std::string why;
    std::unique_ptr<File> f = File::open(path, OpenMode::ReadWrite, &why);
    if (!f) {
      releaseAll();
      *problem = "The roster run record " + path + " cannot be opened (" + why + ").";
      return false;
    }
    const LockResult lock = f->lockRange(kLockOffset, 1);
    if (lock == LockResult::HeldElsewhere) continue;  // a run still going
    std::string text;
    RunRecordContent content;
    std::string why2;
    if (lock != LockResult::Locked || !ReadAll(*f, &text)) {
      if (lock == LockResult::Locked) f->unlockRange(kLockOffset, 1);
      releaseAll();
      *problem = "The roster run record " + path + " cannot be read (" + f->lastError() + ").";
      return false;
    }
    if (!ParseRunRecord(text, &content, &why2)) {
      f->unlockRange(kLockOffset, 1);
      releaseAll();
      *problem = "The roster run record " + path + " cannot be read: " + why2 +
                 ". No claim was generated or deleted; check the claim tables, then remove "
                 "the file.";
      return false;
    }
    if (text.empty()) {
      f->unlockRange(kLockOffset, 1);
      continue;
    }
    found.push_back({std::move(f), std::move(content)});
  }
  bool ok = true;
  for (Found& f : found) {
    // A record whose head was never completed has nothing to undo.
    const bool undone = !f.content.begun || undo(f.content);
    if (undone && EmptyAndSync(*f.file)) {
      f.file->unlockRange(kLockOffset, 1);
      continue;
    }
    f.file->unlockRange(kLockOffset, 1);
    if (ok) {
      *problem = "The interrupted roster run recorded in " + f.file->path() +
                 " could not be undone" + (undone ? " (its record not emptied)." : ".");
    }
    ok = false;
  }
  return ok;
}

}  // namespace talvex::qmrbsrst
