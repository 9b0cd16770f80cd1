// "talvexhost show" and "talvexhost layout": how a person looks at a table.
//
// show prints the records as an aligned text table: the record number, a "*"
// for a record marked deleted, then one column per chosen field (memo texts
// cut to a preview). layout prints the fields and the tags of the production
// index. Both open the table read-only in the caller's engine context and
// close it again. Tags are found by the names any release layout of the table
// has used, since the engine looks tags up by name.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "c4dll.h"

namespace talvex::host {

struct ShowOptions {
  std::string tag;                  // order; "" = physical order
  std::vector<std::string> fields;  // "" = all
  int limit = 20;                   // records shown; 0 = all
};

// folder: host text ending in "\". False with *error when the table or tag
// cannot be opened.
[[nodiscard]] bool ShowTable(C4Context c, const std::string& folder, const std::string& table,
               const ShowOptions& options, std::FILE* out, std::string* error);

[[nodiscard]] bool ShowLayout(C4Context c, const std::string& folder, const std::string& table, std::FILE* out,
                std::string* error);

// The fields of a table file as "NAME T len.dec", for comparisons.
std::vector<std::string> FieldSignatures(C4Context c, const std::string& path);

}  // namespace talvex::host
