// Win32 files: positioned I/O through OVERLAPPED offsets on a synchronous
// handle, and LockFileEx locks that never wait.
#include <windows.h>

#include "platform/file_seam.h"
#include "platform/file_io.h"
#include "platform/native_path.h"

namespace talvex::platform {
namespace {

HANDLE h(intptr_t v) { return reinterpret_cast<HANDLE>(v); }

std::string describe(const char* what, const std::string& path) {
  return std::string(what) + " " + path + ": Windows error " + std::to_string(GetLastError());
}

OVERLAPPED at(uint64_t offset) {
  OVERLAPPED ov;
  ZeroMemory(&ov, sizeof ov);
  ov.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
  ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return ov;
}

constexpr size_t kChunk = 1u << 30;

}  // namespace

std::unique_ptr<File> File::open(std::string_view path, OpenMode mode, std::string* error) {
  std::string native = nativePath(path);
  DWORD access = GENERIC_READ;
  DWORD disposition = OPEN_EXISTING;
  if (mode != OpenMode::ReadOnly) access |= GENERIC_WRITE;
  if (mode == OpenMode::CreateTruncate) {
    if (seam::hit(TALVEX_FAULT_CREATE)) {
      if (error) *error = "cannot create " + native + ": injected fault";
      return nullptr;
    }
    disposition = CREATE_ALWAYS;
  } else if (mode == OpenMode::OpenOrCreate) {
    if (seam::hit(TALVEX_FAULT_CREATE)) {
      if (error) *error = "cannot create " + native + ": injected fault";
      return nullptr;
    }
    disposition = OPEN_ALWAYS;
  }
  HANDLE f = CreateFileA(native.c_str(), access,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) {
    if (error) *error = describe("cannot open", native);
    return nullptr;
  }
  return std::unique_ptr<File>(new File(reinterpret_cast<intptr_t>(f), std::move(native)));
}

File::~File() { CloseHandle(h(handle_)); }

bool File::readAt(uint64_t offset, void* buf, size_t len, size_t* got) {
  size_t done = 0;
  if (got) *got = 0;
  while (done < len) {
    DWORD want = static_cast<DWORD>(len - done > kChunk ? kChunk : len - done);
    DWORD n = 0;
    OVERLAPPED ov = at(offset + done);
    if (!ReadFile(h(handle_), static_cast<char*>(buf) + done, want, &n, &ov)) {
      if (GetLastError() == ERROR_HANDLE_EOF) break;
      error_ = describe("cannot read", path_);
      if (got) *got = done;
      return false;
    }
    if (n == 0) break;
    done += n;
  }
  if (got) *got = done;
  return true;
}

bool File::writeAt(uint64_t offset, const void* buf, size_t len) {
  if (int hit = seam::hit(TALVEX_FAULT_WRITE)) {
    if (hit == TALVEX_FAULT_NO_SPACE) SetLastError(ERROR_DISK_FULL);
    error_ = hit == TALVEX_FAULT_NO_SPACE ? describe("cannot write", path_)
                                          : "cannot write " + path_ + ": injected fault";
    return false;
  }
  size_t done = 0;
  while (done < len) {
    DWORD want = static_cast<DWORD>(len - done > kChunk ? kChunk : len - done);
    DWORD n = 0;
    OVERLAPPED ov = at(offset + done);
    if (!WriteFile(h(handle_), static_cast<const char*>(buf) + done, want, &n, &ov) || n == 0) {
      error_ = describe("cannot write", path_);
      return false;
    }
    done += n;
  }
  return true;
}

bool File::size(uint64_t* out) {
  LARGE_INTEGER s;
  if (!GetFileSizeEx(h(handle_), &s)) {
    error_ = describe("cannot get size of", path_);
    return false;
  }
  *out = static_cast<uint64_t>(s.QuadPart);
  return true;
}

bool File::truncate(uint64_t length) {
  if (int hit = seam::hit(TALVEX_FAULT_WRITE)) {
    if (hit == TALVEX_FAULT_NO_SPACE) SetLastError(ERROR_DISK_FULL);
    error_ = hit == TALVEX_FAULT_NO_SPACE ? describe("cannot truncate", path_)
                                          : "cannot truncate " + path_ + ": injected fault";
    return false;
  }
  LARGE_INTEGER pos;
  pos.QuadPart = static_cast<LONGLONG>(length);
  if (!SetFilePointerEx(h(handle_), pos, nullptr, FILE_BEGIN) || !SetEndOfFile(h(handle_))) {
    error_ = describe("cannot truncate", path_);
    return false;
  }
  return true;
}

bool File::sync() {
  if (seam::hit(TALVEX_FAULT_SYNC)) {
    error_ = "sync of " + path_ + ": injected fault";
    return false;
  }
  if (!seam::syncOn()) return true;
  if (!FlushFileBuffers(h(handle_))) {
    error_ = describe("cannot flush", path_);
    return false;
  }
  return true;
}

LockResult File::lockRange(uint64_t offset, uint64_t length, bool exclusive) {
  if (seam::hit(TALVEX_FAULT_LOCK)) {
    error_ = "lock of " + path_ + ": injected fault";
    return LockResult::HeldElsewhere;
  }
  if (length == 0) {
    error_ = "lock range out of range";
    return LockResult::Failed;
  }
  OVERLAPPED ov = at(offset);
  DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
  if (LockFileEx(h(handle_), flags, 0, static_cast<DWORD>(length & 0xFFFFFFFFu),
                 static_cast<DWORD>(length >> 32), &ov))
    return LockResult::Locked;
  DWORD e = GetLastError();
  if (e == ERROR_LOCK_VIOLATION || e == ERROR_IO_PENDING || e == ERROR_SHARING_VIOLATION) {
    error_ = "range of " + path_ + " is locked by someone else";
    return LockResult::HeldElsewhere;
  }
  error_ = describe("cannot lock", path_);
  return LockResult::Failed;
}

bool File::unlockRange(uint64_t offset, uint64_t length) {
  OVERLAPPED ov = at(offset);
  if (!UnlockFileEx(h(handle_), 0, static_cast<DWORD>(length & 0xFFFFFFFFu),
                    static_cast<DWORD>(length >> 32), &ov)) {
    error_ = describe("cannot unlock", path_);
    return false;
  }
  return true;
}

uint64_t File::modifiedTime() {
  FILETIME ft;
  if (!GetFileTime(h(handle_), nullptr, nullptr, &ft)) return 0;
  uint64_t t = (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  constexpr uint64_t kEpochDiff = 116444736000000000ull;  // 1601 to 1970 in 100 ns
  return t < kEpochDiff ? 0 : (t - kEpochDiff) * 100;
}

}  // namespace talvex::platform
