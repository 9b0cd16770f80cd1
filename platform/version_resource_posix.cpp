#include "platform/file_system.h"
#include "platform/version_resource.h"

namespace talvex::platform {

bool readFileVersion(std::string_view path, FileVersion* out, std::string* error) {
  std::string image;
  if (!readWholeFile(path, &image)) {
    if (error) *error = "cannot read " + std::string(path);
    return false;
  }
  return parseFileVersion(reinterpret_cast<const unsigned char*>(image.data()), image.size(),
                          out, error);
}

}  // namespace talvex::platform
