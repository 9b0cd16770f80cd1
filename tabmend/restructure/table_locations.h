// The folders a location-form update works in: the data folder itself and
// every claim archive folder below it that holds the update's basis file.
//
// Entry 0 is "" (the data folder); the others are "archub92\NAME\" and then
// "arch1500\NAME\", in the order the file system lists them. Reads the data
// folder of the run; never changes anything.
#pragma once

#include <string>
#include <vector>

namespace talvex::tabmend {

struct TableLocation {
  std::string relative;  // "" or "archub92\2003\"
  bool needsUpdate = false;  // flagged form only
};

using TableLocationList = std::vector<TableLocation>;

TableLocationList BuildTableLocationList(const std::string& dataDirectory,
                                         const std::string& basisFile);

}  // namespace talvex::tabmend
