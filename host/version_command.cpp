#include "version_command.h"

#include <string>

#include "c4dll.h"
#include "tabmend_library.h"
#include "talvex_version.h"

#ifdef _WIN32
#include "platform/file_system.h"
#include "platform/version_resource.h"
#else
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#endif

namespace talvex::host {

namespace {

#ifdef _WIN32

// The resource holds four parts; we number the fourth 0.
const char kFileVersion[] = TALVEX_VERSION ".0";

int PrintShippedFiles(std::FILE* out) {
  const std::string folder = ProgramFolder();
  int faults = 0;
  for (const char* name :
       {"talvexhost.exe", "C4DLL.DLL", "tabmend.dll", "qmrbsrst.dll", "qmrsec01.exe"}) {
    const std::string path = folder + name;
    if (!platform::isFile(path)) {
      std::fprintf(out, "%-14s missing %s\n", name, path.c_str());
      ++faults;
      continue;
    }
    platform::FileVersion v;
    std::string error;
    if (!platform::readFileVersion(path, &v, &error)) {
      std::fprintf(out, "%-14s unknown (%s)\n", name, error.c_str());
      ++faults;
      continue;
    }
    const std::string text = std::to_string(v.major) + "." + std::to_string(v.minor) + "." +
                             std::to_string(v.build) + "." + std::to_string(v.revision);
    const bool same = text == kFileVersion;
    std::fprintf(out, "%-14s %s%s %s\n", name, text.c_str(), same ? "" : " (differs)",
                 path.c_str());
    if (!same) ++faults;
  }
  return faults;
}

#else

// The engine's soname is libc4dll.so.MAJOR; its file, libc4dll.so.X.Y.Z,
// names the release it came from.
int PrintEngineLibrary(std::FILE* out) {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&code4initP), &info) == 0 || info.dli_fname == nullptr) {
    std::fprintf(out, "engine         unknown (the loaded library cannot be found)\n");
    return 1;
  }
  char resolved[PATH_MAX];
  const std::string file = realpath(info.dli_fname, resolved) ? resolved : info.dli_fname;
  const std::string base = file.substr(file.find_last_of('/') + 1);
  const std::string prefix = "libc4dll.so.";
  if (base.rfind(prefix, 0) != 0) {
    std::fprintf(out, "engine         unknown (no version in its file name) %s\n", file.c_str());
    return 1;
  }
  const std::string version = base.substr(prefix.size());
  const bool same = version == TALVEX_VERSION;
  std::fprintf(out, "engine         %s%s %s\n", version.c_str(), same ? "" : " (differs)",
               file.c_str());
  return same ? 0 : 1;
}

#endif

}  // namespace

int PrintVersions(std::FILE* out) {
  std::fprintf(out, "talvexhost %s\n", TALVEX_VERSION);
#ifdef _WIN32
  return PrintShippedFiles(out) == 0 ? 0 : 1;
#else
  return PrintEngineLibrary(out);
#endif
}

}  // namespace talvex::host
