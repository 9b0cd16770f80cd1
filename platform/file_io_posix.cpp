// POSIX files. Locks are open-file-description locks where the system has
// them (Linux), so two File objects on one path in one process exclude each
// other; classic process-wide fcntl locks would not.
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>

#include "platform/file_seam.h"
#include "platform/file_io.h"
#include "platform/native_path.h"

static_assert(sizeof(off_t) == 8, "build with _FILE_OFFSET_BITS=64");

namespace talvex::platform {
namespace {

#ifdef F_OFD_SETLK
constexpr int kSetLock = F_OFD_SETLK;
#else
constexpr int kSetLock = F_SETLK;
#endif

constexpr uint64_t kMaxOffset = static_cast<uint64_t>(INT64_MAX);

std::string describe(const char* what, const std::string& path) {
  return std::string(what) + " " + path + ": " + strerror(errno);
}

}  // namespace

std::unique_ptr<File> File::open(std::string_view path, OpenMode mode, std::string* error) {
  std::string native = nativePath(path);
  int flags = O_CLOEXEC;
  switch (mode) {
    case OpenMode::ReadOnly: flags |= O_RDONLY; break;
    case OpenMode::ReadWrite: flags |= O_RDWR; break;
    case OpenMode::CreateTruncate:
      flags |= O_RDWR | O_CREAT | O_TRUNC;
      if (seam::hit(TALVEX_FAULT_CREATE)) {
        if (error) *error = "cannot create " + native + ": injected fault";
        return nullptr;
      }
      break;
    case OpenMode::OpenOrCreate:
      flags |= O_RDWR | O_CREAT;
      if (seam::hit(TALVEX_FAULT_CREATE)) {
        if (error) *error = "cannot create " + native + ": injected fault";
        return nullptr;
      }
      break;
  }
  if (mode == OpenMode::CreateTruncate) seam::powerTruncate(native.c_str(), 0);
  int fd;
  do {
    fd = ::open(native.c_str(), flags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    if (error) *error = describe("cannot open", native);
    return nullptr;
  }
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    if (error) *error = "cannot open " + native + ": is a folder";
    return nullptr;
  }
  return std::unique_ptr<File>(new File(fd, std::move(native)));
}

File::~File() { ::close(static_cast<int>(handle_)); }

bool File::readAt(uint64_t offset, void* buf, size_t len, size_t* got) {
  size_t done = 0;
  if (got) *got = 0;
  if (offset > kMaxOffset) {
    error_ = "read offset out of range";
    return false;
  }
  while (done < len) {
    ssize_t n = ::pread(static_cast<int>(handle_), static_cast<char*>(buf) + done, len - done,
                        static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      error_ = describe("cannot read", path_);
      if (got) *got = done;
      return false;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  if (got) *got = done;
  return true;
}

bool File::writeAt(uint64_t offset, const void* buf, size_t len) {
  if (int hit = seam::hit(TALVEX_FAULT_WRITE)) {
    if (hit == TALVEX_FAULT_NO_SPACE) errno = ENOSPC;
    error_ = hit == TALVEX_FAULT_NO_SPACE ? describe("cannot write", path_)
                                          : "cannot write " + path_ + ": injected fault";
    return false;
  }
  if (offset > kMaxOffset || len > kMaxOffset - offset) {
    error_ = "write offset out of range";
    return false;
  }
  seam::powerWrite(path_.c_str(), offset, len);
  size_t done = 0;
  while (done < len) {
    ssize_t n = ::pwrite(static_cast<int>(handle_), static_cast<const char*>(buf) + done,
                         len - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      error_ = describe("cannot write", path_);
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

bool File::size(uint64_t* out) {
  struct stat st;
  if (fstat(static_cast<int>(handle_), &st) != 0) {
    error_ = describe("cannot stat", path_);
    return false;
  }
  *out = static_cast<uint64_t>(st.st_size);
  return true;
}

bool File::truncate(uint64_t length) {
  if (int hit = seam::hit(TALVEX_FAULT_WRITE)) {
    if (hit == TALVEX_FAULT_NO_SPACE) errno = ENOSPC;
    error_ = hit == TALVEX_FAULT_NO_SPACE ? describe("cannot truncate", path_)
                                          : "cannot truncate " + path_ + ": injected fault";
    return false;
  }
  if (length > kMaxOffset) {
    error_ = "length out of range";
    return false;
  }
  seam::powerTruncate(path_.c_str(), length);
  if (::ftruncate(static_cast<int>(handle_), static_cast<off_t>(length)) != 0) {
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
  seam::powerSynced(path_.c_str());
  if (!seam::syncOn()) return true;
  if (::fsync(static_cast<int>(handle_)) != 0) {
    error_ = describe("cannot sync", path_);
    return false;
  }
  return true;
}

LockResult File::lockRange(uint64_t offset, uint64_t length, bool exclusive) {
  if (seam::hit(TALVEX_FAULT_LOCK)) {
    error_ = "lock of " + path_ + ": injected fault";
    return LockResult::HeldElsewhere;
  }
  // A zero length would mean "to the end and beyond" to fcntl but nothing to
  // Windows; refuse it rather than guess.
  if (length == 0 || offset > kMaxOffset || length > kMaxOffset - offset) {
    error_ = "lock range out of range";
    return LockResult::Failed;
  }
  struct flock fl;
  memset(&fl, 0, sizeof fl);
  fl.l_type = exclusive ? F_WRLCK : F_RDLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(offset);
  fl.l_len = static_cast<off_t>(length);
  if (fcntl(static_cast<int>(handle_), kSetLock, &fl) == 0) return LockResult::Locked;
  if (errno == EAGAIN || errno == EACCES) {
    error_ = "range of " + path_ + " is locked by someone else";
    return LockResult::HeldElsewhere;
  }
  error_ = describe("cannot lock", path_);
  return LockResult::Failed;
}

bool File::unlockRange(uint64_t offset, uint64_t length) {
  if (length == 0 || offset > kMaxOffset || length > kMaxOffset - offset) {
    error_ = "unlock range out of range";
    return false;
  }
  struct flock fl;
  memset(&fl, 0, sizeof fl);
  fl.l_type = F_UNLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(offset);
  fl.l_len = static_cast<off_t>(length);
  if (fcntl(static_cast<int>(handle_), kSetLock, &fl) != 0) {
    error_ = describe("cannot unlock", path_);
    return false;
  }
  return true;
}

uint64_t File::modifiedTime() {
  struct stat st;
  if (fstat(static_cast<int>(handle_), &st) != 0) return 0;
  return static_cast<uint64_t>(st.st_mtim.tv_sec) * 1000000000ull +
         static_cast<uint64_t>(st.st_mtim.tv_nsec);
}

}  // namespace talvex::platform
