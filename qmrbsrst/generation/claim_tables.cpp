#include "qmrbsrst/generation/claim_tables.h"

#include "platform/file_system.h"
#include "common/tableengine/table.h"
#include "common/text/host_date.h"
#include "qmrbsrst/settings/text_fit.h"

namespace talvex::qmrbsrst {

using talvex::common::clearEngineError;

double DateFromYmd(std::string_view text) {
  double value = 0;
  if (!talvex::common::ymdToHostDate(Trim(text), &value)) return 0;
  return value;
}

bool RunTable::Open(C4Context context, std::string_view dataDirectory, std::string_view name,
                    std::string_view tag, C4Table hostHandle, bool cloneFromHost) {
  (void)Close();  // what this held before; a new open follows
  context_ = context;
  const std::string alias(name);
  C4Table held = cloneFromHost ? code4data(context, alias.c_str()) : 0;
  if (held != 0 && hostHandle != 0) {
    hostHandle_ = hostHandle;
  } else if (held != 0) {
    own_ = talvex::common::Table(context, d4openClone(held));
  } else {
    const std::string base = std::string(dataDirectory) + alias;
    own_ = talvex::common::Table(context, d4open(context, (base + ".DBF").c_str()));
    if (own_ && !own_.openIndex(base + ".MDX")) {
      (void)Close();  // the failed index open is what counts
      clearEngineError(context);
      return false;
    }
  }
  const C4Table table = handle();
  bool ok = table != 0;
  if (ok) {
    const std::string t(tag);
    C4Tag selected = d4tag(table, t.c_str());
    ok = selected != 0 && d4tagSelectP(table, selected) == r4success;
    if (ok) {
      int rc = d4top(table);
      ok = rc == r4success || rc == r4eof;
    }
  }
  if (!ok) (void)Close();  // the failed open is what counts
  clearEngineError(context);
  return ok;
}

bool RunTable::Close() {
  bool ok = true;
  if (own_) ok = own_.close() == r4success;
  if (hostHandle_ != 0 && context_ != 0) clearEngineError(context_);
  hostHandle_ = 0;
  fields_.clear();
  return ok;
}

C4Field RunTable::Field(std::string_view name) {
  const C4Table table = handle();
  if (table == 0) return 0;
  auto it = fields_.find(name);
  if (it != fields_.end()) return it->second;
  const std::string n(name);
  C4Field f = d4field(table, n.c_str());
  if (f == 0) clearEngineError(context_);
  fields_.emplace(n, f);
  return f;
}

std::string RunTable::Text(std::string_view name) {
  C4Field f = Field(name);
  if (f == 0) return {};
  const char* s = f4str(f);
  return s ? std::string(Trim(s)) : std::string();
}

bool ClaimTableSet::Open(C4Context context, std::string_view dataDirectory) {
  bool ok = claims.Open(context, dataDirectory, "BSCLAIM", "CL_ONLY") &&
            payers.Open(context, dataDirectory, "BSCPAYER", "CP_CLAIM") &&
            lines.Open(context, dataDirectory, "BSLINES", "L_CLAIM") &&
            linesA.Open(context, dataDirectory, "BSLINESA", "L_CLAIM");
  const std::string dir(dataDirectory);
  if (ok) {
    nameRecordsInUse = talvex::platform::isFile(dir + "BSRECNM.DBF") && !claims.Has("C_REFLNAME");
    if (nameRecordsInUse) ok = names.Open(context, dataDirectory, "BSRECNM", "NM_CLAIM");
  }
  if (ok) {
    idRecordsInUse = talvex::platform::isFile(dir + "BSRECID.DBF");
    if (idRecordsInUse) ok = ids.Open(context, dataDirectory, "BSRECID", "ID_CLAIM");
  }
  if (ok) ok = rosterLines.Open(context, dataDirectory, "BSROSTLN", "RL_ROSTER");
  if (ok) {
    submitterCode.clear();
    RunTable submit;
    ok = submit.Open(context, dataDirectory, "SUBMIT", "BY_TYLOBPY");
    if (ok) {
      const std::string key = "1" + std::string(12, ' ');
      if (d4seek(submit.handle(), key.c_str()) == r4success) {
        submitterCode = TrimAndCut(submit.Text("S_INTER"), 5);
      }
      (void)submit.Close();  // only read
    }
  }
  if (!ok) {
    (void)Close();  // the failed open is what counts
    nameRecordsInUse = idRecordsInUse = false;
  }
  clearEngineError(context);
  return ok;
}

bool ClaimTableSet::Close() {
  bool ok = claims.Close();
  ok = payers.Close() && ok;
  ok = lines.Close() && ok;
  ok = linesA.Close() && ok;
  ok = ids.Close() && ok;
  ok = names.Close() && ok;
  ok = rosterLines.Close() && ok;
  return ok;
}

}  // namespace talvex::qmrbsrst
