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
  Close();
  context_ = context;
  const std::string alias(name);
  C4Table held = cloneFromHost ? code4data(context, alias.c_str()) : 0;
  if (held != 0 && hostHandle != 0) {
    table_ = hostHandle;
    hostOwned_ = true;
  } else if (held != 0) {
    table_ = d4openClone(held);
  } else {
    const std::string base = std::string(dataDirectory) + alias;
    table_ = d4open(context, (base + ".DBF").c_str());
    if (table_ != 0) {
      ownIndex_ = i4open(table_, (base + ".MDX").c_str());
      if (ownIndex_ == 0) {
        Close();
        clearEngineError(context);
        return false;
      }
    }
  }
  bool ok = table_ != 0;
  if (ok) {
    const std::string t(tag);
    C4Tag handle = d4tag(table_, t.c_str());
    ok = handle != 0 && d4tagSelectP(table_, handle) == r4success;
    if (ok) {
      int rc = d4top(table_);
      ok = rc == r4success || rc == r4eof;
    }
  }
  if (!ok) Close();
  clearEngineError(context);
  return ok;
}

bool RunTable::Close() {
  bool ok = true;
  if (ownIndex_ != 0) {
    ok = i4close(ownIndex_) == r4success && ok;
    ownIndex_ = 0;
  }
  if (table_ != 0 && !hostOwned_) {
    ok = d4unlock(table_) == r4success && ok;
    ok = d4close(table_) == r4success && ok;
  }
  if (context_ != 0 && (table_ != 0 || !ok)) clearEngineError(context_);
  table_ = 0;
  hostOwned_ = false;
  fields_.clear();
  return ok;
}

C4Field RunTable::Field(std::string_view name) {
  if (table_ == 0) return 0;
  auto it = fields_.find(name);
  if (it != fields_.end()) return it->second;
  const std::string n(name);
  C4Field f = d4field(table_, n.c_str());
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
      submit.Close();
    }
  }
  if (!ok) {
    Close();
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
