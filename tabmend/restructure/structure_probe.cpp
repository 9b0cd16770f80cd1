#include "restructure/structure_probe.h"

#include "driver/run_state.h"
#include "restructure/table_files.h"

namespace talvex::tabmend {

bool NeedsUpdateProbe(const RestructureSpec& row, const std::string& folder) {
  const C4Context c = RunContext();
  const std::string base = WithBackslash(folder) + row.probedTable().base;
  ProbeFindings found;
  C4Table table = d4open(c, (base + ".dbf").c_str());
  if (table != 0) {
    found.tableOpened = true;
    const Probe& probe = row.probe;
    if (probe.kind == ProbeKind::TagAbsent) {
      C4Index index = i4open(table, (base + ".mdx").c_str());
      if (index != 0) {
        found.indexHasTag = i4tag(index, probe.name) != 0;
        i4close(index);
      }
    } else if (probe.kind != ProbeKind::None) {
      C4Field field = d4field(table, probe.name);
      if (field != 0) {
        found.fieldExists = true;
        found.fieldWidth = f4len(field);
        found.fieldDecimals = f4decimals(field);
      }
    }
    d4close(table);
  }
  code4errorCode(c, 0);
  return ProbeNeedsUpdate(row.probe, found);
}

}  // namespace talvex::tabmend
