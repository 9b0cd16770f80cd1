// The claim table set of one roster run: BSCLAIM, BSCPAYER, BSLINES,
// BSLINESA, the optional BSRECNM and BSRECID, and BSROSTLN, each opened with
// its claim tag selected, plus the submitter code read from SUBMIT.
//
// A table the host already holds open in the context is used through a clone
// (its own position and buffer, no index file of its own); otherwise the
// .DBF and .MDX are opened from the data directory. The set owns every handle
// it opened and closes them in Close() or its destructor; failures clear the
// context's error state. Single-threaded, like the engine context.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "c4dll.h"
#include "common/tableengine/table.h"

namespace talvex::qmrbsrst {

// One table of the set (or one opened on its own, such as BSPROV or PAYER):
// the handle it opened itself is a common::Table; the host's is only borrowed.
class RunTable {
 public:
  RunTable() = default;
  ~RunTable() { (void)Close(); }  // one who cares calls Close() first
  RunTable(const RunTable&) = delete;
  RunTable& operator=(const RunTable&) = delete;

  // Opens `name` as described above and selects `tag`; with a non-zero
  // hostHandle that handle is used as it stands and never closed.
  [[nodiscard]] bool Open(C4Context context, std::string_view dataDirectory, std::string_view name,
            std::string_view tag, C4Table hostHandle = 0, bool cloneFromHost = true);
  // Own index closed, table unlocked and closed (the host's handle only has
  // its own index, if any, closed). True when every step returned 0.
  [[nodiscard]] bool Close();

  explicit operator bool() const { return handle() != 0; }
  C4Table handle() const { return hostHandle_ != 0 ? hostHandle_ : own_.handle(); }
  C4Context context() const { return context_; }
  bool isHostHandle() const { return hostHandle_ != 0; }
  // The field handle, or 0 when the table lacks it (the error state cleared).
  C4Field Field(std::string_view name);
  bool Has(std::string_view name) { return Field(name) != 0; }
  std::string Text(std::string_view name);  // trimmed; "" when absent

 private:
  C4Context context_ = 0;
  talvex::common::Table own_;
  C4Table hostHandle_ = 0;
  std::map<std::string, C4Field, std::less<>> fields_;
};

struct ClaimTableSet {
  RunTable claims;    // BSCLAIM, "CL_ONLY"
  RunTable payers;    // BSCPAYER, "CP_CLAIM"
  RunTable lines;     // BSLINES, "L_CLAIM"
  RunTable linesA;    // BSLINESA, "L_CLAIM"
  RunTable names;     // BSRECNM, "NM_CLAIM", when nameRecordsInUse
  RunTable ids;       // BSRECID, "ID_CLAIM", when idRecordsInUse
  RunTable rosterLines;  // BSROSTLN, "RL_ROSTER"
  bool nameRecordsInUse = false;
  bool idRecordsInUse = false;
  std::string submitterCode;

  // False when any table, index or tag could not be had; then nothing of the
  // set stays open.
  [[nodiscard]] bool Open(C4Context context, std::string_view dataDirectory);
  [[nodiscard]] bool Close();
};

// A yyyymmdd text as a host day number; 0 when it is no valid date.
double DateFromYmd(std::string_view text);

}  // namespace talvex::qmrbsrst
