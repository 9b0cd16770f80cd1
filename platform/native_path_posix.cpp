#include "platform/native_path.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <vector>

namespace talvex::platform {
namespace {

// The entry of folder whose name equals name without regard to ASCII case:
// exact first, else the byte-wise smallest; "" when there is none.
std::string findIgnoringCase(const std::string& folder, const std::string& name) {
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return {};
  std::string best;
  while (dirent* e = readdir(dir)) {
    if (strcasecmp(e->d_name, name.c_str()) != 0) continue;
    if (name == e->d_name) {
      best = name;
      break;
    }
    if (best.empty() || best > e->d_name) best = e->d_name;
  }
  closedir(dir);
  return best;
}

}  // namespace

std::string nativePath(std::string_view hostPath) {
  if (hostPath.empty()) return {};
  std::vector<std::string> parts;
  std::string part;
  for (char c : hostPath) {
    if (isPathSeparator(c)) {
      if (!part.empty()) parts.push_back(std::move(part));
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) parts.push_back(std::move(part));

  std::string out = isPathSeparator(hostPath.front()) ? "/" : "";
  bool resolving = true;
  struct stat st;
  for (const std::string& p : parts) {
    std::string folder = out;
    if (!out.empty() && out.back() != '/') out += '/';
    if (!resolving || p == "." || p == "..") {
      out += p;
      continue;
    }
    if (lstat((out + p).c_str(), &st) == 0) {
      out += p;
      continue;
    }
    std::string found = findIgnoringCase(folder, p);
    if (found.empty()) {
      // Nothing to match below a missing component: keep the rest as given.
      resolving = false;
      out += p;
    } else {
      out += found;
    }
  }
  if (isPathSeparator(hostPath.back()) && !out.empty() && out.back() != '/') out += '/';
  return out;
}

}  // namespace talvex::platform
