#include <windows.h>

#include <atomic>
#include <string>

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

// Notes the system's text of GetLastError() for lastFileError(); returns
// false for the caller.
bool noteError() {
  const DWORD code = GetLastError();
  char text[512] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           code, 0, text, sizeof text, nullptr);
  while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ')) --n;
  noteFailure(n > 0 ? std::string(text, n) : "Windows error " + std::to_string(code),
              code == ERROR_DISK_FULL || code == ERROR_HANDLE_DISK_FULL);
  return false;
}

// A failure the fault seam asked for: a full volume, or one without a reason.
bool noteInjected(int hit) {
  if (hit == TALVEX_FAULT_NO_SPACE) {
    SetLastError(ERROR_DISK_FULL);
    return noteError();
  }
  noteFailure("injected fault", false);
  return false;
}


DWORD attributes(std::string_view path) {
  if (path.empty()) return INVALID_FILE_ATTRIBUTES;
  return GetFileAttributesA(nativePath(path).c_str());
}

std::string tempBeside(const std::string& target) {
  static std::atomic<unsigned> counter{0};
  return target + ".~" + std::to_string(GetCurrentProcessId()) + "_" +
         std::to_string(++counter);
}

std::string withBackslash(std::string folder) {
  if (!folder.empty() && folder.back() != '\\' && folder.back() != ':') folder += '\\';
  return folder;
}

template <class Keep>
std::vector<std::string> listEntries(std::string_view folder, std::string_view pattern,
                                     Keep keep) {
  std::vector<std::string> names;
  std::string query = withBackslash(nativePath(folder)) + std::string(pattern);
  WIN32_FIND_DATAA fd;
  HANDLE find = FindFirstFileA(query.c_str(), &fd);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    std::string name = fd.cFileName;
    if (name == "." || name == "..") continue;
    if (keep((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)) names.push_back(name);
  } while (FindNextFileA(find, &fd));
  FindClose(find);
  return names;
}

}  // namespace

bool pathExists(std::string_view path) { return attributes(path) != INVALID_FILE_ATTRIBUTES; }

bool isDirectory(std::string_view path) {
  DWORD a = attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool isFile(std::string_view path) {
  DWORD a = attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool createDirectory(std::string_view path) {
  if (seam::hit(TALVEX_FAULT_CREATE)) return false;
  return !path.empty() && CreateDirectoryA(nativePath(path).c_str(), nullptr);
}

bool removeDirectory(std::string_view path) {
  if (seam::hit(TALVEX_FAULT_DELETE)) return false;
  return !path.empty() && RemoveDirectoryA(nativePath(path).c_str());
}

bool internal::copyFileAs(std::string_view from, std::string_view to) {
  if (int hit = seam::hit(TALVEX_FAULT_COPY)) return noteInjected(hit);
  std::string src = nativePath(from), dst = nativePath(to);
  if (src.empty() || dst.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return noteError();
  }
  std::string temp = tempBeside(dst);
  if (!CopyFileA(src.c_str(), temp.c_str(), TRUE)) return noteError();
  // A copied read-only attribute would make the rename (and later writes)
  // fail; table copies must stay writable.
  DWORD a = GetFileAttributesA(temp.c_str());
  if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY))
    SetFileAttributesA(temp.c_str(), a & ~FILE_ATTRIBUTE_READONLY);
  if (!MoveFileExA(temp.c_str(), dst.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    noteError();
    DeleteFileA(temp.c_str());
    return false;
  }
  return succeeded();
}

bool internal::moveFileAs(std::string_view from, std::string_view to) {
  if (int hit = seam::hit(TALVEX_FAULT_MOVE)) return noteInjected(hit);
  if (from.empty() || to.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return noteError();
  }
  if (!MoveFileA(nativePath(from).c_str(), nativePath(to).c_str())) return noteError();
  return succeeded();
}

bool internal::deleteFileAs(std::string_view path) {
  if (int hit = seam::hit(TALVEX_FAULT_DELETE)) return noteInjected(hit);
  if (path.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return noteError();
  }
  if (!DeleteFileA(nativePath(path).c_str())) return noteError();
  return succeeded();
}

bool linkFile(std::string_view existing, std::string_view name) {
  if (int hit = seam::hit(TALVEX_FAULT_MOVE)) {
    noteInjected(hit);
  } else if (existing.empty() || name.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    noteError();
  } else if (CreateHardLinkA(nativePath(name).c_str(), nativePath(existing).c_str(), nullptr)) {
    return succeeded();
  } else {
    noteError();
  }
  prefixFailure("link " + std::string(existing) + " to " + std::string(name) + ": ");
  return false;
}

std::string workstationName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof name;
  if (!GetComputerNameA(name, &size)) return std::string();
  return std::string(name, size);
}

std::vector<std::string> listDirectories(std::string_view folder, std::string_view pattern) {
  return listEntries(folder, pattern, [](bool isDir) { return isDir; });
}

std::vector<std::string> listFiles(std::string_view folder, std::string_view pattern) {
  return listEntries(folder, pattern, [](bool isDir) { return !isDir; });
}

std::string shortPath(std::string_view path) {
  std::string native = nativePath(path);
  DWORD n = GetShortPathNameA(native.c_str(), nullptr, 0);
  if (n == 0) return std::string(path);
  std::string out(n, '\0');
  DWORD got = GetShortPathNameA(native.c_str(), out.data(), n);
  if (got == 0 || got >= n) return std::string(path);
  out.resize(got);
  return out;
}

bool writeWholeFile(std::string_view path, std::string_view content, bool synced) {
  std::string target = nativePath(path);
  if (target.empty()) return false;
  std::string temp = tempBeside(target);
  {
    auto f = File::open(temp, OpenMode::CreateTruncate);
    if (!f) return false;
    if (!f->writeAt(0, content.data(), content.size()) || (synced && !f->sync())) {
      f.reset();
      DeleteFileA(temp.c_str());
      return false;
    }
  }
  const DWORD flags = MOVEFILE_REPLACE_EXISTING | (synced ? MOVEFILE_WRITE_THROUGH : 0);
  if (!MoveFileExA(temp.c_str(), target.c_str(), flags)) {
    DeleteFileA(temp.c_str());
    return false;
  }
  return true;
}

bool syncFile(std::string_view path) {
  if (seam::hit(TALVEX_FAULT_SYNC)) return false;
  if (!seam::syncOn()) return isFile(path);
  if (path.empty()) return false;
  // FlushFileBuffers needs a handle with write access.
  HANDLE h = CreateFileA(nativePath(path).c_str(), GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool ok = FlushFileBuffers(h) != 0;
  CloseHandle(h);
  return ok;
}

// Folder entries cannot be flushed through a handle on Windows; renames and
// deletes are logged by NTFS itself.
bool syncDirectory(std::string_view) { return seam::hit(TALVEX_FAULT_SYNC) == 0; }

}  // namespace talvex::platform
