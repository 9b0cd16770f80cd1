#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <cstring>

#include "platform/file_seam.h"
#include "platform/file_io.h"
#include "platform/file_system.h"
#include "platform/file_system_internal.h"
#include "platform/native_path.h"

namespace talvex::platform {
namespace {

using internal::noteFailure;
using internal::prefixFailure;
using internal::succeeded;

// Notes errno's text for lastFileError(); returns false for the caller.
bool noteError() {
  noteFailure(std::strerror(errno), errno == ENOSPC || errno == EDQUOT);
  return false;
}

// A failure the fault seam asked for: a full volume, or one without a reason.
bool noteInjected(int hit) {
  if (hit == TALVEX_FAULT_NO_SPACE) {
    errno = ENOSPC;
    return noteError();
  }
  noteFailure("injected fault", false);
  return false;
}


bool statPath(std::string_view path, struct stat* st) {
  if (path.empty()) return false;
  return ::stat(nativePath(path).c_str(), st) == 0;
}

// A name beside target that no one else uses, for write-then-rename.
std::string tempBeside(const std::string& target) {
  static std::atomic<unsigned> counter{0};
  return target + ".~" + std::to_string(getpid()) + "_" + std::to_string(++counter);
}

// Copies the bytes of an open source to a new file at dest.
bool copyBytes(int in, const std::string& dest, mode_t mode) {
  int out = ::open(dest.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode & 0777);
  if (out < 0) return noteError();
  char buf[1 << 16];
  bool ok = true;
  uint64_t written = 0;
  for (;;) {
    ssize_t n = ::read(in, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ok = noteError();
      break;
    }
    if (n == 0) break;
    seam::powerWrite(dest.c_str(), written, static_cast<uint64_t>(n));
    written += static_cast<uint64_t>(n);
    for (ssize_t done = 0; done < n;) {
      ssize_t w = ::write(out, buf + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        ok = w < 0 ? noteError() : false;
        break;
      }
      done += w;
    }
    if (!ok) break;
  }
  if (::close(out) != 0 && ok) ok = noteError();
  if (!ok) {
    ::unlink(dest.c_str());
    seam::powerRemoved(dest.c_str());
  }
  return ok;
}

bool copyNative(const std::string& from, const std::string& to) {
  int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return noteError();
  struct stat st;
  if (fstat(in, &st) != 0 || S_ISDIR(st.st_mode)) {
    if (S_ISDIR(st.st_mode)) errno = EISDIR;
    noteError();
    ::close(in);
    return false;
  }
  std::string temp = tempBeside(to);
  bool ok = copyBytes(in, temp, st.st_mode);
  ::close(in);
  if (ok && ::rename(temp.c_str(), to.c_str()) != 0) {
    noteError();
    ::unlink(temp.c_str());
    seam::powerRemoved(temp.c_str());
    ok = false;
  }
  if (ok) seam::powerMoved(temp.c_str(), to.c_str());
  return ok;
}

// The last component of a host text as given (for a rename that changes
// only the case of a name).
std::string lastComponent(std::string_view p) {
  while (!p.empty() && isPathSeparator(p.back())) p.remove_suffix(1);
  size_t i = p.size();
  while (i > 0 && !isPathSeparator(p[i - 1])) --i;
  return std::string(p.substr(i));
}

std::string folderOf(const std::string& native) {
  size_t slash = native.rfind('/');
  return slash == std::string::npos ? std::string() : native.substr(0, slash + 1);
}

template <class Keep>
std::vector<std::string> listEntries(std::string_view folder, std::string_view pattern,
                                     Keep keep) {
  std::vector<std::string> names;
  std::string native = nativePath(folder);
  if (native.empty()) native = ".";
  DIR* dir = opendir(native.c_str());
  if (!dir) return names;
  if (native.back() != '/') native += '/';
  while (dirent* e = readdir(dir)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    if (!wildcardMatch(pattern, name)) continue;
    bool isDir;
    if (e->d_type == DT_DIR) {
      isDir = true;
    } else if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
      struct stat st;
      isDir = ::stat((native + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    } else {
      isDir = false;
    }
    if (keep(isDir)) names.push_back(std::move(name));
  }
  closedir(dir);
  return names;
}

}  // namespace

bool pathExists(std::string_view path) {
  struct stat st;
  return statPath(path, &st);
}

bool isDirectory(std::string_view path) {
  struct stat st;
  return statPath(path, &st) && S_ISDIR(st.st_mode);
}

bool isFile(std::string_view path) {
  struct stat st;
  return statPath(path, &st) && !S_ISDIR(st.st_mode);
}

bool createDirectory(std::string_view path) {
  if (seam::hit(TALVEX_FAULT_CREATE)) return false;
  std::string native = nativePath(path);
  return !native.empty() && ::mkdir(native.c_str(), 0777) == 0;
}

bool removeDirectory(std::string_view path) {
  if (seam::hit(TALVEX_FAULT_DELETE)) return false;
  std::string native = nativePath(path);
  return !native.empty() && ::rmdir(native.c_str()) == 0;
}

bool internal::copyFileAs(std::string_view from, std::string_view to) {
  if (int hit = seam::hit(TALVEX_FAULT_COPY)) return noteInjected(hit);
  std::string src = nativePath(from), dst = nativePath(to);
  if (src.empty() || dst.empty()) {
    errno = ENOENT;
    return noteError();
  }
  struct stat a, b;
  // Copying a file onto itself keeps it as it is.
  if (::stat(src.c_str(), &a) == 0 && ::stat(dst.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
      a.st_ino == b.st_ino) {
    if (!S_ISDIR(a.st_mode)) return succeeded();
    errno = EISDIR;
    return noteError();
  }
  return copyNative(src, dst) && succeeded();
}

bool internal::moveFileAs(std::string_view from, std::string_view to) {
  if (int hit = seam::hit(TALVEX_FAULT_MOVE)) return noteInjected(hit);
  std::string src = nativePath(from), dst = nativePath(to);
  if (src.empty() || dst.empty()) {
    errno = ENOENT;
    return noteError();
  }
  struct stat a, b;
  if (::lstat(src.c_str(), &a) != 0) return noteError();
  if (::lstat(dst.c_str(), &b) == 0) {
    if (a.st_dev != b.st_dev || a.st_ino != b.st_ino) {
      errno = EEXIST;
      return noteError();
    }
    // Same file under another case: rename to the case asked for.
    dst = folderOf(dst) + lastComponent(to);
    if (::rename(src.c_str(), dst.c_str()) != 0) return noteError();
    seam::powerMoved(src.c_str(), dst.c_str());
    return succeeded();
  }
  if (::rename(src.c_str(), dst.c_str()) == 0) {
    seam::powerMoved(src.c_str(), dst.c_str());
    return succeeded();
  }
  if (errno != EXDEV || !S_ISREG(a.st_mode)) return noteError();
  if (!copyNative(src, dst)) return false;
  if (::unlink(src.c_str()) != 0) {
    noteError();
    ::unlink(dst.c_str());
    seam::powerRemoved(dst.c_str());
    return false;
  }
  seam::powerRemoved(src.c_str());
  return succeeded();
}

bool internal::deleteFileAs(std::string_view path) {
  if (int hit = seam::hit(TALVEX_FAULT_DELETE)) return noteInjected(hit);
  std::string native = nativePath(path);
  struct stat st;
  if (native.empty()) {
    errno = ENOENT;
    return noteError();
  }
  if (::lstat(native.c_str(), &st) != 0) return noteError();
  if (S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    return noteError();
  }
  if (::unlink(native.c_str()) != 0) return noteError();
  seam::powerRemoved(native.c_str());
  return succeeded();
}

bool linkFile(std::string_view existing, std::string_view name) {
  if (int hit = seam::hit(TALVEX_FAULT_MOVE)) {
    noteInjected(hit);
  } else {
    std::string src = nativePath(existing), dst = nativePath(name);
    if (src.empty() || dst.empty()) errno = ENOENT;
    // The power cut layer need not know: a link adds no unsynced bytes.
    if (!src.empty() && !dst.empty() && ::link(src.c_str(), dst.c_str()) == 0) return succeeded();
    noteError();
  }
  prefixFailure("link " + std::string(existing) + " to " + std::string(name) + ": ");
  return false;
}

std::string workstationName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return std::string();
  return name;
}

std::vector<std::string> listDirectories(std::string_view folder, std::string_view pattern) {
  return listEntries(folder, pattern, [](bool isDir) { return isDir; });
}

std::vector<std::string> listFiles(std::string_view folder, std::string_view pattern) {
  return listEntries(folder, pattern, [](bool isDir) { return !isDir; });
}

std::string shortPath(std::string_view path) { return std::string(path); }

bool writeWholeFile(std::string_view path, std::string_view content, bool synced) {
  std::string target = nativePath(path);
  if (target.empty()) return false;
  std::string temp = tempBeside(target);
  {
    auto f = File::open(temp, OpenMode::CreateTruncate);
    if (!f) return false;
    if (!f->writeAt(0, content.data(), content.size()) || (synced && !f->sync())) {
      f.reset();
      ::unlink(temp.c_str());
      seam::powerRemoved(temp.c_str());
      return false;
    }
  }
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    ::unlink(temp.c_str());
    seam::powerRemoved(temp.c_str());
    return false;
  }
  seam::powerMoved(temp.c_str(), target.c_str());
  return !synced || syncDirectory(folderOf(target));
}

bool syncFile(std::string_view path) {
  if (seam::hit(TALVEX_FAULT_SYNC)) return false;
  std::string native = nativePath(path);
  if (native.empty()) return false;
  seam::powerSynced(native.c_str());
  if (!seam::syncOn()) return isFile(path);
  int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

bool syncDirectory(std::string_view path) {
  if (seam::hit(TALVEX_FAULT_SYNC)) return false;
  if (!seam::syncOn()) return true;
  std::string native = nativePath(path);
  while (native.size() > 1 && native.back() == '/') native.pop_back();
  if (native.empty()) native = ".";
  int fd = ::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

}  // namespace talvex::platform
