#include "qmrbsrst/generation/roster_generation.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "platform/file_system.h"
#include "platform/message_box.h"
#include "common/tableengine/table.h"
#include "common/text/claim_key.h"
#include "common/text/host_date.h"
#include "common/updatelock/update_lock.h"
#include "qmrbsrst/frame/module_state.h"
#include "qmrbsrst/generation/claim_builder.h"
#include "qmrbsrst/generation/claim_tables.h"
#include "qmrbsrst/generation/claim_validation.h"
#include "qmrbsrst/generation/claim_writer.h"
#include "qmrbsrst/generation/progress_callback.h"
#include "qmrbsrst/generation/run_record.h"
#include "qmrbsrst/settings/control_counter.h"
#include "qmrbsrst/settings/npi_check.h"
#include "qmrbsrst/settings/text_fit.h"
#include "qmrbsrst/status/status_messages.h"

namespace talvex::qmrbsrst {

void FixedTotal::Add(double amount) {
  if (!std::isfinite(amount)) throw std::runtime_error("amount out of range");
  units_ += std::llround(amount * 10000.0);
}

namespace {

using talvex::common::clearEngineError;

constexpr int kMaxLineSlots = 10000;

// Makes every table a run writes reach the disk. The run record that could
// undo a run is emptied only after this: emptied first, a power cut could
// keep the empty record and lose part of the claims (or of their deletion).
bool SyncRunTables(const std::string& dataDirectory) {
  bool ok = true;
  for (const char* table : {"BSCLAIM", "BSCPAYER", "BSLINES", "BSLINESA", "BSRECNM", "BSRECID",
                            "BSROSTLN", "BSROSTER", "UTILMAST"}) {
    for (const char* ext : {".DBF", ".MDX", ".DBT"}) {
      const std::string path = dataDirectory + table + ext;
      if (talvex::platform::isFile(path) && !talvex::platform::syncFile(path)) ok = false;
    }
  }
  return ok;
}

std::string Digits(const char* format, int32_t value) {
  char buf[32];
  std::snprintf(buf, sizeof buf, format, static_cast<int>(value));
  return buf;
}

class RosterRun {
 public:
  RosterRun(TGenerateRosterClaimsCall* call, void* callback, void* callbackContext)
      : call_(call), progress_(callback, callbackContext) {}

  int32_t Run();

 private:
  // BSROSTER with R_ROSTER selected, on the roster's header record. When
  // that fails, or the roster is not on file, nothing stays open and the
  // error state is cleared.
  enum class HeaderAt { Found, Missing, Failed };
  HeaderAt OpenRosterHeader(RunTable& t, int32_t roster);
  // Reads roster_ and headerBefore_ in one visit of the header.
  bool ReadRosterHeader();
  // The header fields a run changes as they stand now; empty when the
  // roster cannot be read.
  std::vector<std::pair<std::string, std::string>> CurrentHeaderFields();
  bool BuildValidationList();  // takes headerAtBuild_ from headerBefore_
  bool RebuildValidationList();
  void DecideCentralFluBiller();
  bool LookUpProvider();
  bool LookUpPayer();
  int RunLines();
  int MakeLineClaim();
  void ReadLine();
  int GenerateClaims();
  int WriteClaims(bool recorded);
  int SettleOutcome(int code);
  bool UpdateRosterHeader();
  // The claim's records in every table of the set, its header last.
  bool DeleteClaim(const std::string& key);
  bool Reverse();
  bool UndoRecordedRun(const RunRecordContent& run);
  bool RestoreRosterHeader(int32_t roster,
                           const std::vector<std::pair<std::string, std::string>>& fields);
  int Finish(int code);
  void WriteOutFields(int code);

  TGenerateRosterClaimsCall* call_;
  ProgressNotifier progress_;
  C4Context context_ = 0;
  std::string dataDir_;
  double runDate_ = 0;
  RosterSettings settings_;
  ClaimTableSet set_;
  ClaimValidationList validation_;
  TRosterClaimRecord roster_;
  TProviderInfo provider_;
  TPayerInfo payer_;
  std::vector<std::string> generated_;
  int32_t acceptedCount_ = 0;
  FixedTotal acceptedTotal_;
  int32_t rejectedCount_ = 0;
  FixedTotal rejectedTotal_;
  bool anyRejected_ = false;
  RunRecord record_;
  // The header fields a clean run changes, as stored before it.
  std::vector<std::pair<std::string, std::string>> headerBefore_;
  bool headerUpdateNoted_ = false;
  bool headerWritten_ = false;  // the header's write was tried: it may have changed
  // Those fields as they stood before the validation list was built: when
  // they differ once the run record is begun, a run of this roster on
  // another workstation ended in between, and its claims are not in the list.
  std::vector<std::pair<std::string, std::string>> headerAtBuild_;
};

// Checked again after 10, 20, 40 and 80 ms: a change in progress elsewhere
// is over by then, damage is not.
bool KeepsFailingItsCheck(C4Context context, C4Table h) {
  for (int wait = 10;; wait *= 2) {
    const bool sound = d4check(h) == r4success;
    clearEngineError(context);
    if (sound) return false;
    if (wait > 80) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(wait));
  }
}

constexpr const char* kHeaderFieldsChanged[] = {"R_LOCATION", "R_PROCESS", "R_TOTCNT",
                                                "R_TOTCHG"};

// The fields of kHeaderFieldsChanged the table has, as stored in the
// current record.
std::vector<std::pair<std::string, std::string>> HeaderFieldsChanged(RunTable& t) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const char* name : kHeaderFieldsChanged) {
    C4Field f = t.Field(name);
    if (f != 0) out.emplace_back(name, f4str(f));
  }
  return out;
}

// The header record's fields as the claims use them; a field every layout
// has and that is missing or unreadable throws.
void ReadRosterFields(RunTable& t, TRosterClaimRecord& r) {
  auto integer = [&](const char* name) -> int32_t {
    C4Field f = t.Field(name);
    if (f == 0) throw std::runtime_error("roster field missing");
    return static_cast<int32_t>(f4int(f));
  };
  auto amount = [&](const char* name) -> double {
    double v = 0;
    C4Field f = t.Field(name);
    if (f == 0 || f4double2(f, &v) < 0) throw std::runtime_error("roster amount unreadable");
    return v;
  };
  auto text = [&](const char* name) { return t.Text(name); };
  r.R_ROSTER = integer("R_ROSTER");
  r.R_PROVSEQ = integer("R_PROVSEQ");
  r.R_PROVGSQ = integer("R_PROVGSQ");
  r.R_ENTERED = DateFromYmd(text("R_ENTERED"));
  r.R_UPDATED = DateFromYmd(text("R_UPDATED"));
  r.R_SERVDATE = DateFromYmd(text("R_SERVDATE"));
  r.R_VACCINE = amount("R_VACCINE");
  r.R_ADMIN = amount("R_ADMIN");
  r.R_SEQNO = text("R_SEQNO");
  r.R_CLERK = text("R_CLERK");
  r.R_CLINIC = text("R_CLINIC");
  r.R_PAYERID = text("R_PAYERID");
  r.R_PAYERLOB = text("R_PAYERLOB");
  r.R_PROVID = text("R_PROVID");
  r.R_PROVTYPE = text("R_PROVTYPE");
  r.R_PROVPAYR = text("R_PROVPAYR");
  r.R_PROVGRP = text("R_PROVGRP");
  r.R_POS = text("R_POS");
  r.R_TYPE = text("R_TYPE");
  r.R_HCPCS = text("R_HCPCS");
  r.R_UPIN = text("R_UPIN");
  // Fields of later layouts read as empty where the table lacks them.
  r.R_IDTP = text("R_IDTP");
  r.R_REFNPI = text("R_REFNPI");
  r.R_FACNPI = text("R_FACNPI");
  r.R_PROCDSC = text("R_PROCDSC");
  if (t.Has("R_REFLNAME")) {
    r.R_REFLNAME = text("R_REFLNAME");
    r.R_REFFNAME = text("R_REFFNAME");
    r.R_REFMI = text("R_REFMI");
    r.R_REFSX = text("R_REFSX");
    r.R_REFSTATE = text("R_REFSTATE");
    r.R_REFTAXID = text("R_REFTAXID");
    r.R_REFTAXTP = text("R_REFTAXTP");
  }
  if (t.Has("R_FACNAME")) {
    r.R_FACID = text("R_FACID");
    r.R_FACNAME = text("R_FACNAME");
    r.R_FACADD1 = text("R_FACADD1");
    r.R_FACADD2 = text("R_FACADD2");
    r.R_FACCITY = text("R_FACCITY");
  }
  r.R_FACST = text("R_FACST");
  r.R_FACZIP = text("R_FACZIP");
  if (t.Has("R_FACIDTP")) {
    r.R_FACIDTP = text("R_FACIDTP");
    r.R_FACTP = text("R_FACTP");
    r.R_FACTAXID = text("R_FACTAXID");
    r.R_FACTAXTP = text("R_FACTAXTP");
  }
}

RosterRun::HeaderAt RosterRun::OpenRosterHeader(RunTable& t, int32_t roster) {
  if (!t.Open(context_, dataDir_, "BSROSTER", "R_ROSTER", call_->rosterTable)) {
    return HeaderAt::Failed;
  }
  C4Table h = t.handle();
  HeaderAt at = HeaderAt::Found;
  if (d4top(h) < 0) {
    at = HeaderAt::Failed;
  } else if (d4seek(h, talvex::common::ClaimKey(roster).c_str()) != r4success) {
    at = HeaderAt::Missing;
  }
  if (at != HeaderAt::Found) {
    (void)t.Close();  // only read
    clearEngineError(context_);
  }
  return at;
}

bool RosterRun::ReadRosterHeader() {
  RunTable t;
  if (OpenRosterHeader(t, call_->rosterNumber) != HeaderAt::Found) return false;
  ReadRosterFields(t, roster_);
  roster_.runDate = runDate_;
  headerBefore_ = HeaderFieldsChanged(t);
  (void)t.Close();  // only read
  clearEngineError(context_);
  return true;
}

void RosterRun::DecideCentralFluBiller() {
  roster_.centralFluBiller = false;
  if (roster_.R_TYPE != "I") return;
  if (settings_.needsCentralFluBillerPrompt) {
    roster_.centralFluBiller =
        talvex::platform::askYesNo("Central Flu Biller Designation",
                                   "Is this a Central Flu Biller roster?",
                                   settings_.centralFluBillerDefault);
  } else {
    roster_.centralFluBiller = settings_.centralFluBillerDefault;
  }
}

bool RosterRun::LookUpProvider() {
  RunTable t;
  if (!t.Open(context_, dataDir_, "BSPROV", "P_RECSEQ", 0, false)) return false;
  C4Table h = t.handle();
  const bool individual = roster_.R_PROVTYPE == "I";
  const int32_t first = individual ? roster_.R_PROVGSQ : roster_.R_PROVSEQ;
  bool valid = false;
  if (d4seek(h, Digits("%-8.8d", first).c_str()) == r4success) {
    TProviderInfo& p = provider_;
    (void)ParseWholeNumber(t.Text("P_RECSEQ"), &p.billRecSeq);  // blank or bad: left as it was
    p.billType = t.Text("P_TYPE");
    p.billId = t.Text("P_ID");
    p.billIdType = t.Text("P_IDTP");
    p.billLob = t.Text("P_ID_LOB");
    p.billPayer = t.Text("P_ID_PAYER");
    p.billGroupNumber = t.Text("P_GRPNUM");
    p.billNpi = t.Text("P_NPI");
    if (!IsValidNpi(p.billNpi)) p.billNpi.clear();
    p.billFedTaxId = t.Text("P_FEDTAXID");
    p.billFedTaxType = t.Text("P_FEDTAXTP");
    p.billAssigned = t.Text("P_ASSIGNED");
    p.billSignatureIndicator = t.Text("P_SIGIND");
    p.billSignatureDate = DateFromYmd(t.Text("P_SIGDATE"));
    const std::string& lob = roster_.R_PAYERLOB;
    const std::string& payr = roster_.R_PROVPAYR;
    if (!individual) {
      valid = SameText(p.billId, roster_.R_PROVID) && p.billLob == lob &&
              (p.billPayer.empty() || p.billPayer == payr);
    } else if (d4seek(h, Digits("%-8.8d", roster_.R_PROVSEQ).c_str()) == r4success) {
      (void)ParseWholeNumber(t.Text("P_RECSEQ"), &p.rendRecSeq);  // blank or bad: left as it was
      p.rendType = t.Text("P_TYPE");
      p.rendId = t.Text("P_ID");
      p.rendLob = t.Text("P_ID_LOB");
      p.rendPayer = t.Text("P_ID_PAYER");
      valid = SameText(p.rendId, roster_.R_PROVID) && p.billLob == lob && p.rendLob == lob &&
              (p.billPayer.empty() || p.billPayer == payr) &&
              (p.rendPayer.empty() || p.rendPayer == payr);
    }
  }
  (void)t.Close();  // only read
  clearEngineError(context_);
  return valid;
}

bool RosterRun::LookUpPayer() {
  RunTable t;
  if (!t.Open(context_, dataDir_, "PAYER", "BY_IDLOB", 0, false)) return false;
  C4Table h = t.handle();
  char key[64];
  std::snprintf(key, sizeof key, "%-9s%-3s", roster_.R_PAYERID.c_str(),
                roster_.R_PAYERLOB.c_str());
  bool found = false;
  int rc = d4seek(h, key);
  while (rc == r4success) {
    if (d4deleted(h) == 0 && t.Text("PAYUSAGE") != "U") {
      payer_.PAYFULDESC = t.Text("PAYFULDESC");
      payer_.PAYADDR1 = t.Text("PAYADDR1");
      payer_.PAYADDR2 = t.Text("PAYADDR2");
      payer_.PAYCITY = t.Text("PAYCITY");
      payer_.PAYSTATE = t.Text("PAYSTATE");
      payer_.PAYZIP = t.Text("PAYZIP");
      payer_.PAYSOURCE = t.Text("PAYSOURCE");
      payer_.PAYCLMEDIT = t.Text("PAYCLMEDIT");
      found = true;
      break;
    }
    rc = d4seekNext(h, key);
  }
  (void)t.Close();  // only read
  clearEngineError(context_);
  return found;
}

void RosterRun::ReadLine() {
  RunTable& t = set_.rosterLines;
  TRosterLineInfoRecord& l = roster_.line;
  l = TRosterLineInfoRecord{};
  l.RL_PCN = t.Text("RL_PCN");
  l.RL_HIC = t.Text("RL_HIC");
  l.RL_LNAME = t.Text("RL_LNAME");
  l.RL_FNAME = t.Text("RL_FNAME");
  l.RL_INIT = t.Text("RL_INIT");
  l.RL_GEN = t.Text("RL_GEN");
  l.RL_SEX = t.Text("RL_SEX");
  l.RL_DOB = DateFromYmd(t.Text("RL_DOB"));
  l.RL_ADDR1 = t.Text("RL_ADDR1");
  l.RL_ADDR2 = t.Text("RL_ADDR2");
  l.RL_CITY = t.Text("RL_CITY");
  l.RL_STATE = t.Text("RL_STATE");
  l.RL_ZIP = t.Text("RL_ZIP");
  if (t.Has("RL_AOB")) {
    l.RL_AOB = t.Text("RL_AOB");
    l.RL_SRC = t.Text("RL_SRC");
    l.RL_PREL = t.Text("RL_PREL");
    l.RL_ILNAME = t.Text("RL_ILNAME");
    l.RL_IFNAME = t.Text("RL_IFNAME");
    l.RL_IINIT = t.Text("RL_IINIT");
    l.RL_IGEN = t.Text("RL_IGEN");
    l.RL_IADDR1 = t.Text("RL_IADDR1");
    l.RL_IADDR2 = t.Text("RL_IADDR2");
    l.RL_ICITY = t.Text("RL_ICITY");
    l.RL_ISTATE = t.Text("RL_ISTATE");
    l.RL_IZIP = t.Text("RL_IZIP");
    l.RL_DIAG = t.Text("RL_DIAG");
    l.RL_DIAGVS = t.Text("RL_DIAGVS");
  }
}

int RosterRun::MakeLineClaim() {
  auto claim = std::make_unique<TClaim1500Record>();
  ClaimBuildContext in;
  in.roster = &roster_;
  in.provider = &provider_;
  in.payer = &payer_;
  in.submitterCode = set_.submitterCode;
  in.settings = &settings_;
  in.icd = &ModuleState().icd;
  in.icdRules = &ModuleState().icdRules;
  in.nameRecordsInUse = set_.nameRecordsInUse;
  in.idRecordsInUse = set_.idRecordsInUse;
  in.payerTableHasPriAut = set_.payers.Has("CP_PRIAUT");
  in.payerTableHasPriAtp = set_.payers.Has("CP_PRIATP");
  BuildClaim(in, claim.get());
  roster_.line.accepted = claim->accepted;
  roster_.line.message = claim->message;
  int code = 0;
  if (claim->accepted) {
    CheckDuplicateClaim(validation_, claim.get());
    roster_.line.accepted = claim->accepted;
    roster_.line.message = claim->message;
    if (claim->accepted) {
      SaveOptions options{dataDir_, runDate_, settings_.saveClaimsWithCleanStatus,
                          [this](int32_t number) { return record_.NoteClaim(number); }};
      code = SaveClaim(set_, options, claim.get(), &generated_);
    }
  }
  if (code == 0) {
    if (claim->accepted) {
      ++acceptedCount_;
      acceptedTotal_.Add(claim->C_TOTCHGS);
    } else {
      ++rejectedCount_;
      rejectedTotal_.Add(claim->C_TOTCHGS);
    }
  }
  return code;
}

int RosterRun::RunLines() {
  // Each claim number is drawn by opening and closing the counter table.
  // While this handle holds it open those opens share its open state, so a
  // draw costs no file open, open-mode locks and synced writer mark of its
  // own. A draw without it works as well, only slower.
  talvex::common::Table counterKept = talvex::common::Table::open(context_, dataDir_ + kControlTableFile);
  if (!counterKept) talvex::common::clearEngineError(context_);
  RunTable& t = set_.rosterLines;
  C4Table h = t.handle();
  std::vector<int32_t> slots(kMaxLineSlots + 1, 0);
  int32_t live = 0;
  const std::string key = Digits("%-10.10d", call_->rosterNumber);
  C4Field lineField = t.Field("RL_LINE");
  C4Field message = t.Field("RL_ERRMSG");
  if (lineField == 0 || message == 0) throw std::runtime_error("roster line layout");
  if (d4top(h) < 0) throw std::runtime_error("roster lines unreadable");
  int rc = d4seek(h, key.c_str());
  while (rc == r4success) {
    if (d4deleted(h) == 0) {
      ++live;
      const long line = f4int(lineField);
      if (line >= 1 && line <= kMaxLineSlots) slots[static_cast<size_t>(line)] = d4recNoLow(h);
    }
    rc = d4seekNext(h, key.c_str());
  }
  if (rc < 0) throw std::runtime_error("roster line walk failed");

  int32_t handled = 0;
  for (int slot = 1; slot <= kMaxLineSlots && slots[static_cast<size_t>(slot)] != 0; ++slot) {
    const int32_t rec = slots[static_cast<size_t>(slot)];
    if (d4goLow(h, rec, 0) != r4success) throw std::runtime_error("roster line lost");
    ReadLine();
    const int code = MakeLineClaim();
    if (code != 0) return code;
    std::string text;
    if (!roster_.line.accepted) {
      text = roster_.line.message;
      anyRejected_ = true;
    }
    if (d4lockInternal(h, rec, 0, 1) != r4success) {
      clearEngineError(context_);
      return kStatusLineUpdateFailed;
    }
    if (d4goLow(h, rec, 1) != r4success) throw std::runtime_error("roster line lost");
    if (f4assignN(message, text.data(), static_cast<uint32_t>(text.size())) < 0 ||
        d4unlock(h) != r4success) {
      throw std::runtime_error("roster line not written");
    }
    ++handled;
    progress_.Send("Generating roster claims (" + std::to_string(handled) + " of " +
                   std::to_string(live) + " completed)");
  }
  return 0;
}

bool RosterRun::UpdateRosterHeader() {
  RunTable t;
  if (OpenRosterHeader(t, call_->rosterNumber) != HeaderAt::Found) return false;
  C4Table h = t.handle();
  bool ok = true;
  {
    const int32_t rec = d4recNoLow(h);
    ok = d4lockInternal(h, rec, 0, 1) == r4success && d4goLow(h, rec, 1) == r4success;
    if (ok) {
      C4Field location = t.Field("R_LOCATION"), process = t.Field("R_PROCESS");
      C4Field count = t.Field("R_TOTCNT"), charges = t.Field("R_TOTCHG");
      const std::string ymd = talvex::common::hostDateToYmd(runDate_);
      ok = location && process && count && charges && f4assign(location, "GR") >= 0 &&
           f4assign(process, ymd.c_str()) >= 0 && f4assignInt(count, acceptedCount_) >= 0 &&
           f4assignDouble(charges, acceptedTotal_.value()) >= 0;
      if (ok) {
        // From here the header may have changed, whatever the write returns.
        headerWritten_ = true;
        ok = d4writeLow(h, rec, 0, 0) == r4success;
      }
      if (!t.isHostHandle() && d4unlock(h) != r4success) ok = false;
    }
  }
  if (!t.Close()) ok = false;  // the close writes the changed header out
  clearEngineError(context_);
  return ok;
}

// The set has BSRECNM and BSRECID open exactly when their records are in
// use (ClaimTableSet::Open); the flags say so, and a table that should be
// open but is not fails the deletion instead of being passed over.
bool RosterRun::DeleteClaim(const std::string& key) {
  bool ok = DeleteClaimRecords(set_.payers, key) && DeleteClaimRecords(set_.lines, key) &&
            DeleteClaimRecords(set_.linesA, key);
  if (ok && set_.nameRecordsInUse) ok = DeleteClaimRecords(set_.names, key);
  if (ok && set_.idRecordsInUse) ok = DeleteClaimRecords(set_.ids, key);
  return ok && DeleteClaimRecords(set_.claims, key);
}

bool RosterRun::Reverse() {
  try {
    RunTable& claims = set_.claims;
    C4Table h = claims.handle();
    const std::unordered_set<std::string> ours(generated_.begin(), generated_.end());
    C4Field number = claims.Field("CLAIM");
    if (number == 0) throw std::runtime_error("claim layout");
    std::vector<int32_t> taken;
    int rc = d4top(h);
    while (rc == r4success) {
      const long n = f4int(number);
      if (ours.count(std::to_string(n)) != 0 && d4deleted(h) == 0 &&
          DateFromYmd(claims.Text("DT_ENTERED")) == runDate_ && claims.Text("LOCATION") == "CL") {
        taken.push_back(static_cast<int32_t>(n));
      }
      rc = d4skip(h, 1);
    }
    if (rc != r4eof) throw std::runtime_error("claim walk failed");
    for (int32_t n : taken) {
      if (!DeleteClaim(talvex::common::ClaimKey(n))) throw std::runtime_error("claim not deleted");
    }
    return true;
  } catch (...) {
    clearEngineError(context_);
    return false;
  }
}

// The claims of a run whose process ended, taken as a reversal takes them;
// a claim whose header never got written still has its other records, which
// carry a number only that run drew.
bool RosterRun::UndoRecordedRun(const RunRecordContent& run) {
  try {
    // A killed process can leave an appended record counted but without all
    // its keys; such a table is rebuilt first, so the seeks below find every
    // record of the dead run. An append or record write going on at another
    // workstation also has its record on file before its keys for a moment,
    // and a rebuild under that workstation's open index loses the keys it
    // adds afterwards: only a table that keeps failing its check is rebuilt.
    for (RunTable* t : {&set_.claims, &set_.payers, &set_.lines, &set_.linesA, &set_.names,
                        &set_.ids, &set_.rosterLines}) {
      if (!*t || !KeepsFailingItsCheck(context_, t->handle())) continue;
      if (d4reindex(t->handle()) != r4success) throw std::runtime_error("table not rebuilt");
      clearEngineError(context_);
    }
    const double day = DateFromYmd(run.runDate);
    RunTable& claims = set_.claims;
    C4Table h = claims.handle();
    for (int32_t n : run.claims) {
      const std::string key = talvex::common::ClaimKey(n);
      bool header = false, ours = false;
      int rc = d4seek(h, key.c_str());
      while (rc == r4success) {
        if (d4deleted(h) == 0) {
          header = true;
          ours = ours || (DateFromYmd(claims.Text("DT_ENTERED")) == day &&
                          claims.Text("LOCATION") == "CL");
        }
        rc = d4seekNext(h, key.c_str());
      }
      if (rc < 0) throw std::runtime_error("claim seek failed");
      if (header && !ours) continue;
      if (!DeleteClaim(key)) throw std::runtime_error("claim not deleted");
    }
    const bool restored =
        !run.headerUpdateBegun || RestoreRosterHeader(run.roster, run.headerBefore);
    clearEngineError(context_);
    return restored && SyncRunTables(dataDir_);
  } catch (...) {
    clearEngineError(context_);
    return false;
  }
}

std::vector<std::pair<std::string, std::string>> RosterRun::CurrentHeaderFields() {
  RunTable t;
  if (OpenRosterHeader(t, call_->rosterNumber) != HeaderAt::Found) return {};
  std::vector<std::pair<std::string, std::string>> out = HeaderFieldsChanged(t);
  (void)t.Close();  // only read
  clearEngineError(context_);
  return out;
}

// The header was read just before: a run of the roster that ends from here
// on changes it, and the check before the lines are written sees that.
bool RosterRun::BuildValidationList() {
  headerAtBuild_ = headerBefore_;
  return validation_.Build(set_.claims, set_.lines);
}

bool RosterRun::RebuildValidationList() {
  validation_.Clear();
  return validation_.Build(set_.claims, set_.lines);
}

// Puts back the fields a clean run changes; a roster no longer on file has
// nothing to put back.
bool RosterRun::RestoreRosterHeader(
    int32_t roster, const std::vector<std::pair<std::string, std::string>>& fields) {
  RunTable t;
  const HeaderAt at = OpenRosterHeader(t, roster);
  if (at != HeaderAt::Found) return at == HeaderAt::Missing;
  C4Table h = t.handle();
  bool ok = true;
  {
    const int32_t rec = d4recNoLow(h);
    ok = d4lockInternal(h, rec, 0, 1) == r4success && d4goLow(h, rec, 1) == r4success;
    for (const auto& [name, value] : fields) {
      C4Field f = ok ? t.Field(name) : 0;
      if (f != 0 && f4assignN(f, value.data(), static_cast<uint32_t>(value.size())) < 0) {
        ok = false;
      }
    }
    if (ok) ok = d4writeLow(h, rec, 0, 0) == r4success;
    if (!t.isHostHandle() && d4unlock(h) != r4success) ok = false;
  }
  if (!t.Close()) ok = false;  // the close writes the changed header out
  clearEngineError(context_);
  return ok;
}

// The end of a run that wrote (or may have written) claims: its record is
// emptied once the outcome stands, or kept for the next run when this run's
// own reversal failed.
int RosterRun::Finish(int code) {
  if (code == 0 && (!SyncRunTables(dataDir_) || !record_.Clear())) {
    // Not emptied, the record would have the next run undo a run reported
    // as clean: undo it now instead.
    code = kStatusRosterUpdateFailed;
    acceptedCount_ = 0;
    acceptedTotal_.Clear();
  } else if (code == 0) {
    return 0;
  }
  bool undone = Reverse();
  if (undone && headerWritten_) {
    undone = RestoreRosterHeader(call_->rosterNumber, headerBefore_);
  }
  if (!undone || !SyncRunTables(dataDir_)) {
    record_.Release();
    return kStatusReversalFailed;
  }
  // Left full, the record only has the next run undo this one again, and
  // every claim of it is gone already.
  (void)record_.Clear();
  return code;
}

void RosterRun::WriteOutFields(int code) {
  call_->acceptedCount = acceptedCount_;
  call_->acceptedTotal = acceptedTotal_.value();
  // The rejected figures describe the rejected lines only under code 13; a
  // failed reversal or close replacing it must not report them as if it did.
  const bool rejectedShown = code == kStatusClaimsRejected;
  call_->rejectedCount = rejectedShown ? rejectedCount_ : 0;
  call_->rejectedTotal = rejectedShown ? rejectedTotal_.value() : 0;
}

int32_t RosterRun::Run() {
  progress_.Clear();
  context_ = call_->context;
  dataDir_ = call_->dataDirectory.str();
  const std::string configDir = call_->configDirectory.str();
  runDate_ = std::isfinite(call_->runDate) ? std::floor(call_->runDate) : 0;

  RosterModuleState& state = ModuleState();
  state.LoadIcdSettings(configDir);
  state.LoadRosterSettings(dataDir_);
  settings_ = state.roster;
  generated_.clear();

  progress_.Send("Pre-processing roster billing file ...");
  // An update that did not finish puts its tables back from backups on its
  // next call: claims written now would vanish then.
  if (std::optional<talvex::common::PendingUpdate> update =
          talvex::common::ReadPendingUpdate(dataDir_)) {
    talvex::platform::showMessage("Roster Claim Generation",
                                  talvex::common::PendingUpdateRefusal(*update),
                                  talvex::platform::MessageIcon::Error);
    WriteOutFields(kStatusOpenFailed);
    return kStatusOpenFailed;
  }
  if (!set_.Open(context_, dataDir_)) {
    WriteOutFields(kStatusOpenFailed);
    return kStatusOpenFailed;
  }
  int code = 0;
  std::string interrupted;
  if (!RecoverInterruptedRuns(
          dataDir_, [this](const RunRecordContent& run) { return UndoRecordedRun(run); },
          &interrupted)) {
    talvex::platform::showMessage("Roster Claim Generation", interrupted,
                                  talvex::platform::MessageIcon::Error);
    code = kStatusReversalFailed;
  } else if (!ReadRosterHeader()) {
    code = kStatusRosterNotFound;
  } else if (!BuildValidationList()) {
    code = kStatusValidationListFailed;
  } else {
    DecideCentralFluBiller();
    if (!LookUpProvider()) {
      code = kStatusInvalidProvider;
    } else if (!LookUpPayer()) {
      code = kStatusInvalidPayer;
    } else {
      code = GenerateClaims();
    }
  }
  validation_.Clear();
  if (!set_.Close()) code = kStatusCloseFailed;
  clearEngineError(context_);
  WriteOutFields(code);
  generated_.clear();
  return code;
}

// Begins the run record, writes the claims, updates the roster header on a
// clean run and undoes everything otherwise.
int RosterRun::GenerateClaims() {
  std::string unused;
  RunRecordContent head;
  head.roster = call_->rosterNumber;
  head.runDate = talvex::common::hostDateToYmd(runDate_);
  head.headerBefore = headerBefore_;
  // Without its record a run could not be undone after a crash; it
  // writes nothing then.
  const bool recorded = record_.Begin(dataDir_, head, &unused);
  int code = SettleOutcome(WriteClaims(recorded));
  if (recorded) {
    code = Finish(code);
  } else if (code != 0 && !Reverse()) {
    code = kStatusReversalFailed;
  }
  return code;
}

int RosterRun::WriteClaims(bool recorded) {
  int code = 0;
  try {
    if (!recorded) {
      code = kStatusSaveException;
    } else if (record_.AnotherLiveRunOf(call_->rosterNumber)) {
      // Its claims are not in our validation list yet: both runs would
      // write every patient's claim.
      talvex::platform::showMessage(
          "Roster Claim Generation",
          "Roster " + std::to_string(call_->rosterNumber) +
              " is being generated on another workstation. No claim was generated.",
          talvex::platform::MessageIcon::Error);
      code = kStatusSaveException;
    } else if ((headerAtBuild_.empty() || CurrentHeaderFields() != headerAtBuild_) &&
               !RebuildValidationList()) {
      code = kStatusValidationListFailed;
    } else {
      code = RunLines();
    }
  } catch (...) {
    code = kStatusGenerationException;
  }
  clearEngineError(context_);
  return code;
}

// The figures and the code once the lines are written: rejected lines turn
// a clean run into code 13, and a clean run updates the roster header.
int RosterRun::SettleOutcome(int code) {
  if (code == 0 && !anyRejected_) {
    progress_.Send("Roster claim generation complete");
  } else {
    acceptedCount_ = 0;
    acceptedTotal_.Clear();
    if (code != 0) {
      rejectedCount_ = 0;
      rejectedTotal_.Clear();
    }
    progress_.Send("Roster claim generation reversed");
  }
  if (anyRejected_) code = kStatusClaimsRejected;
  if (code == 0) {
    call_->acceptedCount = acceptedCount_;
    call_->acceptedTotal = acceptedTotal_.value();
    headerUpdateNoted_ = record_.NoteHeaderUpdate();
    if (!headerUpdateNoted_ || !UpdateRosterHeader()) {
      code = kStatusRosterUpdateFailed;
      // The claims are deleted again below, so none may be reported.
      acceptedCount_ = 0;
      acceptedTotal_.Clear();
    }
  }
  return code;
}

}  // namespace

int32_t GenerateRosterClaims(TGenerateRosterClaimsCall* call, void* callback,
                             void* callbackContext) {
  if (call == nullptr) return kStatusGenerationException;
  int32_t code = kStatusGenerationException;
  try {
    RosterRun run(call, callback, callbackContext);
    code = run.Run();
  } catch (...) {
    code = kStatusGenerationException;
    try {
      call->acceptedCount = 0;
      call->acceptedTotal = 0;
      call->rejectedCount = 0;
      call->rejectedTotal = 0;
    } catch (...) {
    }
  }
  talvex::common::clearEngineError(call->context);
  return code;
}

}  // namespace talvex::qmrbsrst
