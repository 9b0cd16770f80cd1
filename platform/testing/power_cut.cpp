// The pre-image log behind power_cut.h. Writes go through to the real file;
// the log keeps what each one replaced, so a cut can put it back.
#include "platform/testing/power_cut.h"

#ifndef _WIN32

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace talvex::platform {
namespace {

constexpr uint64_t kSector = 512;

// What one write or truncate replaced: the range it covered, the bytes that
// stood there (only those below the old end) and the file's size before it.
struct PreImage {
  uint64_t offset;
  uint64_t length;
  std::string old;
  uint64_t oldSize;
};

struct State {
  std::mutex lock;
  bool tracking = false;
  uint32_t seed = 0;
  int32_t cutAt = 0;  // sync number that cuts; 0: none
  uint64_t held = 0;
  std::map<std::string, std::vector<PreImage>> files;  // unsynced writes by path, oldest first
};

State& Get() {
  static State* state = new State;  // never destroyed: a cut may come during exit
  return *state;
}

uint64_t Mix(uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// Of the name only, so that a seed loses the same sectors of the same file
// in any folder (tests run in fresh temporary ones).
uint64_t HashPath(const std::string& path) {
  uint64_t h = 0xCBF29CE484222325ull;
  for (size_t i = path.find_last_of('/') + 1; i < path.size(); ++i) {
    h = (h ^ static_cast<unsigned char>(path[i])) * 0x100000001B3ull;
  }
  return h;
}

// Whether the cut loses this sector of this file (sector ~0: the size change).
bool Lost(uint32_t seed, uint64_t pathHash, uint64_t sector) {
  if (seed == 0) return true;
  return (Mix(Mix(pathHash ^ seed) + sector) & 1) != 0;
}

bool SizeOf(int fd, uint64_t* size) {
  struct stat st;
  if (fstat(fd, &st) != 0) return false;
  *size = static_cast<uint64_t>(st.st_size);
  return true;
}

bool ReadAt(int fd, uint64_t offset, char* buf, size_t len) {
  size_t done = 0;
  while (done < len) {
    ssize_t n = ::pread(fd, buf + done, len - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool WriteAt(int fd, uint64_t offset, const char* buf, size_t len) {
  size_t done = 0;
  while (done < len) {
    ssize_t n = ::pwrite(fd, buf + done, len - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Records what [offset, offset + length) holds now, before it changes. A
// file that cannot be opened does not exist yet: it has nothing to lose.
void Remember(State& s, const std::string& path, uint64_t offset, uint64_t length) {
  PreImage p{offset, length, std::string(), 0};
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    if (SizeOf(fd, &p.oldSize) && offset < p.oldSize) {
      p.old.resize(static_cast<size_t>(std::min(length, p.oldSize - offset)));
      if (!ReadAt(fd, offset, p.old.data(), p.old.size())) p.old.clear();
    }
    ::close(fd);
  }
  s.held += p.old.size();
  s.files[path].push_back(std::move(p));
}

void Forget(State& s, std::map<std::string, std::vector<PreImage>>::iterator it) {
  for (const PreImage& p : it->second) s.held -= p.old.size();
  s.files.erase(it);
}

// Puts the lost sectors of one file back as they stood at its last sync.
bool Undo(const std::string& path, const std::vector<PreImage>& log, uint32_t seed) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return false;
  const uint64_t pathHash = HashPath(path);
  uint64_t size = 0;
  SizeOf(fd, &size);
  // A lost size change takes back a truncate as a whole: what it cut off
  // comes back with the old length (a file system never keeps the old
  // length with the bytes past the new one gone).
  const bool sizeLost = Lost(seed, pathHash, ~uint64_t{0});
  // Each lost sector as it stands now, then walked back write by write.
  std::map<uint64_t, std::string> sectors;
  for (const PreImage& p : log) {
    if (p.length == 0) continue;
    for (uint64_t s = p.offset / kSector; s <= (p.offset + p.length - 1) / kSector; ++s) {
      const bool cutOff = sizeLost && (s + 1) * kSector > size;
      if (!(cutOff || Lost(seed, pathHash, s)) || sectors.count(s)) continue;
      std::string bytes(kSector, '\0');
      const uint64_t start = s * kSector;
      if (start < size) {
        ReadAt(fd, start, bytes.data(), static_cast<size_t>(std::min(kSector, size - start)));
      }
      sectors.emplace(s, std::move(bytes));
    }
  }
  for (auto p = log.rbegin(); p != log.rend(); ++p) {
    const uint64_t end = p->offset + p->length;
    for (auto it = sectors.lower_bound(p->offset / kSector);
         it != sectors.end() && it->first * kSector < end; ++it) {
      const uint64_t start = it->first * kSector;
      const uint64_t from = std::max(start, p->offset), to = std::min(start + kSector, end);
      for (uint64_t at = from; at < to; ++at) {
        const uint64_t i = at - p->offset;
        it->second[static_cast<size_t>(at - start)] = i < p->old.size() ? p->old[static_cast<size_t>(i)] : '\0';
      }
    }
  }
  bool ok = true;
  for (const auto& [s, bytes] : sectors) ok = WriteAt(fd, s * kSector, bytes.data(), kSector) && ok;
  const uint64_t finalSize = sizeLost ? log.front().oldSize : size;
  ok = ::ftruncate(fd, static_cast<off_t>(finalSize)) == 0 && ok;
  ::close(fd);
  return ok;
}

int32_t DropLocked(State& s) {
  int32_t changed = 0;
  for (const auto& [path, log] : s.files) {
    if (!log.empty() && Undo(path, log, s.seed)) ++changed;
  }
  s.files.clear();
  s.held = 0;
  s.tracking = false;
  s.cutAt = 0;
  return changed;
}

// The cut of "powercut:end": the process has ended its work normally, and
// the power goes before the system wrote back what was not synced.
void CutAtExit() {
  State& s = Get();
  std::lock_guard<std::mutex> guard(s.lock);
  if (s.tracking) DropLocked(s);
}

// "powercut:N", "powercut:N:seed", "powercut:end" or "powercut:end:seed"
// among the comma-separated entries.
void ArmFromEnvironment() {
  const char* text = std::getenv("TALVEX_FAULT_INJECT");
  if (text == nullptr) return;
  static const char kEntry[] = "powercut:";
  for (const char* at = text; (at = std::strstr(at, kEntry)) != nullptr; at += sizeof kEntry - 1) {
    if (at != text && at[-1] != ',') continue;
    const char* number = at + sizeof kEntry - 1;
    char* stop = nullptr;
    long nth = 0;
    const bool atEnd = std::strncmp(number, "end", 3) == 0;
    if (atEnd) {
      stop = const_cast<char*>(number + 3);
    } else {
      nth = std::strtol(number, &stop, 10);
      if (nth <= 0 || nth >= INT32_MAX) return;
    }
    unsigned long seed = 0;
    if (*stop == ':') seed = std::strtoul(stop + 1, &stop, 10);
    if (*stop != '\0' && *stop != ',') return;
    State& s = Get();
    s.tracking = true;
    s.seed = static_cast<uint32_t>(seed);
    s.cutAt = static_cast<int32_t>(nth);
    if (atEnd) std::atexit(CutAtExit);
    return;
  }
}

[[maybe_unused]] const bool g_armedFromEnvironment = (ArmFromEnvironment(), true);

}  // namespace

void PowerCutBeforeSync(int32_t syncNumber) {
  State& s = Get();
  std::lock_guard<std::mutex> guard(s.lock);
  if (!s.tracking || s.cutAt != syncNumber) return;
  DropLocked(s);
  _exit(86);  // the lock is never released: no other thread writes after the cut
}

}  // namespace talvex::platform

using talvex::platform::Get;
using talvex::platform::State;

extern "C" {

void TALVEX_FAULT_API c4faultPowerTrack(uint32_t seed) {
  State& s = Get();
  std::lock_guard<std::mutex> guard(s.lock);
  s.files.clear();
  s.held = 0;
  s.seed = seed;
  s.cutAt = 0;
  s.tracking = true;
}

void TALVEX_FAULT_API c4faultPowerCutAt(int32_t nth) {
  State& s = Get();
  std::lock_guard<std::mutex> guard(s.lock);
  s.cutAt = nth > 0 ? c4faultCount(TALVEX_FAULT_SYNC) + nth : 0;
}

int32_t TALVEX_FAULT_API c4faultPowerDrop(void) {
  State& s = Get();
  std::lock_guard<std::mutex> guard(s.lock);
  return talvex::platform::DropLocked(s);
}

void TALVEX_FAULT_API c4faultPowerStop(void) {
  State& s = Get();
  std::lock_guard<std::mutex> guard(s.lock);
  s.files.clear();
  s.held = 0;
  s.tracking = false;
  s.cutAt = 0;
}

uint64_t TALVEX_FAULT_API c4faultPowerHeld(void) {
  State& s = Get();
  std::lock_guard<std::mutex> guard(s.lock);
  return s.held;
}

void TALVEX_FAULT_API c4faultPowerWrite(const char* path, uint64_t offset, uint64_t length) {
  State& s = Get();
  std::lock_guard<std::mutex> guard(s.lock);
  if (!s.tracking || length == 0) return;
  talvex::platform::Remember(s, path, offset, length);
}

void TALVEX_FAULT_API c4faultPowerTruncate(const char* path, uint64_t length) {
  State& s = Get();
  std::lock_guard<std::mutex> guard(s.lock);
  if (!s.tracking) return;
  struct stat st;
  if (::stat(path, &st) != 0) return;
  const uint64_t size = static_cast<uint64_t>(st.st_size);
  if (size == length) return;
  // Shrinking replaces the tail; growing adds zeros where nothing was.
  const uint64_t from = std::min(size, length), to = std::max(size, length);
  talvex::platform::Remember(s, path, from, to - from);
}

void TALVEX_FAULT_API c4faultPowerSynced(const char* path) {
  State& s = Get();
  std::lock_guard<std::mutex> guard(s.lock);
  auto it = s.files.find(path);
  if (it != s.files.end()) talvex::platform::Forget(s, it);
}

void TALVEX_FAULT_API c4faultPowerMoved(const char* from, const char* to) {
  State& s = Get();
  std::lock_guard<std::mutex> guard(s.lock);
  if (!s.tracking || std::strcmp(from, to) == 0) return;
  auto target = s.files.find(to);
  if (target != s.files.end()) talvex::platform::Forget(s, target);
  auto source = s.files.find(from);
  if (source == s.files.end()) return;
  std::vector<talvex::platform::PreImage> log = std::move(source->second);
  s.files.erase(source);
  s.files.emplace(to, std::move(log));
}

void TALVEX_FAULT_API c4faultPowerRemoved(const char* path) {
  State& s = Get();
  std::lock_guard<std::mutex> guard(s.lock);
  auto it = s.files.find(path);
  if (it != s.files.end()) talvex::platform::Forget(s, it);
}

}  // extern "C"

#else  // _WIN32: nothing is tracked.

namespace talvex::platform {
void PowerCutBeforeSync(int32_t) {}
}  // namespace talvex::platform

extern "C" {
void TALVEX_FAULT_API c4faultPowerTrack(uint32_t) {}
void TALVEX_FAULT_API c4faultPowerCutAt(int32_t) {}
int32_t TALVEX_FAULT_API c4faultPowerDrop(void) { return 0; }
void TALVEX_FAULT_API c4faultPowerStop(void) {}
uint64_t TALVEX_FAULT_API c4faultPowerHeld(void) { return 0; }
void TALVEX_FAULT_API c4faultPowerWrite(const char*, uint64_t, uint64_t) {}
void TALVEX_FAULT_API c4faultPowerTruncate(const char*, uint64_t) {}
void TALVEX_FAULT_API c4faultPowerSynced(const char*) {}
void TALVEX_FAULT_API c4faultPowerMoved(const char*, const char*) {}
void TALVEX_FAULT_API c4faultPowerRemoved(const char*) {}
}  // extern "C"

#endif
