#include "index_check.h"

namespace talvex::host {

bool CheckTableIndex(C4Context c, const std::string& folder, const std::string& table,
                     std::FILE* out, std::string* error) {
  C4Table t = d4open(c, (folder + table).c_str());
  if (!t) {
    *error = "cannot open " + folder + table + ": " + error4text(c, code4errorCode(c, 0));
    return false;
  }
  bool ok = false;
  C4Index i = i4open(t, nullptr);
  if (!i) {
    *error = "cannot open the index of " + table + ": " + error4text(c, code4errorCode(c, 0));
  } else if (int rc = d4check(t); rc != 0) {
    *error = table + ": " + error4text(c, code4errorCode(c, 0));
  } else {
    std::fprintf(out, "%s: index agrees with the table (%ld records)\n", table.c_str(),
                 static_cast<long>(d4recCount(t)));
    ok = true;
  }
  d4close(t);
  code4errorCode(c, 0);
  return ok;
}

}  // namespace talvex::host
