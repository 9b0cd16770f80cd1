// The registry file a command was told to use (--registry FILE). It is set
// for this process, where every later read of the installation looks.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/registry.h"

namespace talvex::host {

inline void UseRegistryFile(const std::string& file) {
#ifdef _WIN32
  _putenv_s("TALVEX_REGISTRY", file.c_str());
#else
  setenv("TALVEX_REGISTRY", file.c_str(), 1);
#endif
}

// The message of a command that found no installation in the registry.
inline void ReportNoInstallation() {
  std::fprintf(stderr, "talvexhost: no installation in the registry (%s); run install first\n",
               platform::registryFilePath().c_str());
}

}  // namespace talvex::host
