// A small but complete 32-bit Windows program image whose version resource
// names a release: what an installation's "TALVEX32.EXE" must be for the
// updater to read the host release from it.
//
// The image has a code section (an entry point that returns 0) and a resource
// section with one RT_VERSION resource: VS_VERSIONINFO with its fixed file
// information (file and product version = the release) and a StringFileInfo
// and VarFileInfo for US English. Pure function; safe from any thread.
#pragma once

#include <cstdint>
#include <string>

namespace talvex::host {

struct ReleaseNumber {
  uint16_t major = 0, minor = 0, release = 0, build = 0;
};

// withVersionResource false gives the same program without a resource section
// (a host file whose version cannot be read).
std::string BuildProgramImage(const ReleaseNumber& version, bool withVersionResource = true);

}  // namespace talvex::host
