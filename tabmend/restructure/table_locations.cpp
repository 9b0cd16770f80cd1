#include "restructure/table_locations.h"

#include <cstddef>

#include "platform/file_system.h"

namespace talvex::tabmend {

TableLocationList BuildTableLocationList(const std::string& dataDirectory,
                                         const std::string& basisFile) {
  TableLocationList list;
  for (const char* archive : {"archub92", "arch1500"}) {
    for (const std::string& name : platform::listDirectories(dataDirectory + archive, "*.*")) {
      list.push_back({std::string(archive) + "\\" + name + "\\"});
    }
  }
  for (size_t i = list.size(); i-- > 0;) {
    if (!platform::pathExists(dataDirectory + list[i].relative + basisFile)) {
      list.erase(list.begin() + static_cast<ptrdiff_t>(i));
    }
  }
  list.insert(list.begin(), TableLocation{""});
  return list;
}

}  // namespace talvex::tabmend
