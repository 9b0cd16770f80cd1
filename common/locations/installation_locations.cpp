#include "common/locations/installation_locations.h"

#include "platform/file_system.h"
#include "platform/native_path.h"
#include "platform/registry.h"

namespace talvex::common {
namespace {

using platform::isPathSeparator;
using platform::RegistryRead;

// A missing value reads as empty; anything but a string is an error.
bool readLocation(const platform::RegistryKey* general, const char* name, std::string* out) {
  out->clear();
  if (!general) return true;
  std::string value;
  switch (general->readString(name, &value)) {
    case RegistryRead::Ok: *out = withTrailingSeparator(value); return true;
    case RegistryRead::Missing: return true;
    case RegistryRead::NotString:
    case RegistryRead::Failed: break;
  }
  return false;
}

}  // namespace

std::string withTrailingSeparator(std::string_view path) {
  if (path.empty() || isPathSeparator(path.back())) return std::string(path);
  return std::string(path) + "\\";
}

std::string parentFolder(std::string_view folder) {
  if (!folder.empty() && isPathSeparator(folder.back())) folder.remove_suffix(1);
  while (!folder.empty() && !isPathSeparator(folder.back())) folder.remove_suffix(1);
  return std::string(folder);
}

bool readInstallationLocations(InstallationLocations* out, WorkDirectories work) {
  *out = InstallationLocations{};
  auto key = platform::RegistryKey::createCurrentUser(kRegistryKey);
  if (!key) return false;
  auto general = key->openSubKey(kRegistrySubkey);
  if (!readLocation(general.get(), "ServerDirectory", &out->ServerDirectory) ||
      !readLocation(general.get(), "InstallDirectory", &out->InstallDirectory) ||
      !readLocation(general.get(), "DataDirectory", &out->DataDirectory))
    return false;
  if (out->InstallDirectory.empty() || out->DataDirectory.empty()) return false;
  if (out->ServerDirectory.empty()) {
    out->ServerDirectory = parentFolder(out->DataDirectory);
    if (out->ServerDirectory.empty()) return false;
  }

  bool ok = platform::isDirectory(out->ServerDirectory) &&
            platform::isDirectory(out->InstallDirectory) &&
            platform::isDirectory(out->DataDirectory);
  if (work == WorkDirectories::Create) {
    out->PrivateDirectory = out->InstallDirectory + "private\\";
    out->UpdateDirectory = out->InstallDirectory + "update\\";
    out->BackupDirectory = out->InstallDirectory + "update\\backup\\";
    for (const std::string* dir :
         {&out->PrivateDirectory, &out->UpdateDirectory, &out->BackupDirectory}) {
      // A failure here shows in the existence test that follows.
      if (!platform::isDirectory(*dir)) (void)platform::createDirectoryPath(*dir);
      ok = ok && platform::isDirectory(*dir);
    }
  }
  return ok;
}

}  // namespace talvex::common
