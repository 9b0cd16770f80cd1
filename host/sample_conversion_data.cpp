#include "sample_conversion_data.h"

#include <cstdlib>
#include <string>

namespace talvex::host {
namespace {

class Record {
 public:
  explicit Record(C4Table t) : t_(t) {}
  // Assigns when the table has the field.
  void set(const char* name, const std::string& value) const {
    const C4Field f = d4field(t_, name);
    if (f == 0) return;
    if (f4type(f) == 'M') {
      f4memoAssign(f, value.c_str());
    } else {
      f4assign(f, value.c_str());
    }
  }
  bool has(const char* name) const { return d4field(t_, name) != 0; }

 private:
  C4Table t_;
};

std::string LongNarrative(int lines) {
  std::string text;
  for (int i = 1; i <= lines; ++i) text += "NOTE LINE " + std::to_string(i) + (i < lines ? "\r\n" : "");
  return text;
}

void UbClaim(const Record& r, long k) {
  // Provider slots: all filled, operating empty, other-1 empty, attending only.
  const bool operating = k % 5 != 1, other1 = k % 5 != 2, other2 = k % 5 <= 2;
  auto slot = [&](const char* ln, const char* fn, const char* id, bool filled, const char* name,
                  const char* number) {
    r.set(ln, filled ? name : "");
    r.set(fn, filled ? "PAT" : "");
    r.set(id, filled ? number : "");
  };
  slot("C_OPERPLN", "C_OPERPFN", "C_OPERPHYS", operating || k % 5 == 4, "OPERA", "OP1001");
  slot("C_OTHER1LN", "C_OTHER1FN", "C_OTHER1", other1 || k % 5 == 4, "OTHERONE", "OT1001");
  slot("C_OTHER2LN", "C_OTHER2FN", "C_OTHER2", other2, "OTHERTWO", "OT2002");
  if (k % 5 == 3) {
    slot("C_OPERPLN", "C_OPERPFN", "C_OPERPHYS", false, "", "");
    slot("C_OTHER1LN", "C_OTHER1FN", "C_OTHER1", false, "", "");
  }
  r.set("C_ATTEND", k % 7 == 6 ? "" : "AT" + std::to_string(1000 + k));
  r.set("C_ATTENDQ", k % 2 ? "1G" : "");
  r.set("C_ATTENDID", k % 4 == 3 ? "" : "31" + std::to_string(1000000 + k));
  r.set("C_ATTENDTP", k % 3 == 0 ? "" : k % 3 == 1 ? "S" : "E");
  r.set("C_OTHER2TP", "S");
  // Day counts: none, some, and all four.
  r.set("C_COVDAYS", k % 4 == 0 ? "0" : std::to_string(k % 9 + 1));
  r.set("C_NCOVDAY", k % 4 == 2 ? "2" : "0");
  r.set("C_CODAYS", k % 4 == 3 ? "1" : "0");
  r.set("C_LTRDAYS", k % 4 == 0 ? "0" : k % 4 == 1 ? "3" : "0");
}

void ProClaim(const Record& r, long k) {
  static const char* const kDocTypes[] = {"A", "K", "X", "", "B", "3", "L", "Z"};
  static const char* const kDocInd[] = {"", "1", "2", "3", "L", "M", "9"};
  static const char* const kPayers[] = {"01", "02", "03", "04"};
  r.set("C_REFLNAME", k % 6 == 0 ? "" : k % 3 == 1 ? "REFERER" : "REF GROUP");
  r.set("C_REFFNAME", k % 3 == 1 ? "ROSA" : "");
  r.set("C_REFUPIN", k % 2 ? "R" + std::to_string(10000 + k) : "");
  r.set("C_REFIDTP", k % 4 == 1 ? "1G" : "");
  r.set("C_REFTAXTP", k % 3 == 2 ? "S" : k % 3 == 1 ? "" : "E");
  r.set("C_DOCTYPE", kDocTypes[k % 8]);
  r.set("C_DOCIND", kDocInd[k % 7]);
  r.set("C_DOCACN", k % 5 == 4 ? "" : "ACN" + std::to_string(k));
  r.set("C_FACNAME", k % 2 ? "CLINIC" : "");
  r.set("C_CPPROV", k % 6 == 5 ? "" : "CP" + std::to_string(k));
  // Claims without a facility name see every payer value, "04" included.
  r.set("C_PAYER_S", kPayers[(k / 2 + 2) % 4]);
  // Facility ids: blank, and "LU" already there (no second facility row).
  r.set("C_FACID", k % 4 == 2 ? "" : "F" + std::to_string(20000 + k));
  r.set("C_FACIDTP", k % 4 == 1 ? "LU" : k % 4 == 3 ? "" : "XX");
  r.set("C_FACTAXTP", k % 3 == 0 ? "S" : k % 3 == 1 ? "" : "E");
}

void ProServiceLine(const Record& r, long v) {
  r.set("L_PURSVCID", v % 3 == 2 ? "" : "PS" + std::to_string(300 + v));
  r.set("L_PURSVCTP", v % 2 ? "" : "1G");
}

void ProLine(const Record& r, long k, int lineInClaim) {
  static const char* const kIds[] = {"B12345", "AB1234", "b12345", "ABC123", "ZZ"};
  static const char* const kTypes[] = {"", "", "E", "XX", "S"};
  const long v = k + lineInClaim;
  r.set("LA_SUPR", kIds[v % 5]);
  r.set("LA_SUPRUPN", kIds[(v + 1) % 5]);
  r.set("LA_SUPRTP", kTypes[v % 5]);
  r.set("LA_SUPRUTP", v % 5 < 2 ? "" : "1G");
  r.set("LA_ORDRTP", kTypes[(v + 2) % 5]);
  r.set("LA_PURSVNM", v % 3 == 0 ? "SMITH, JOHN Q" : v % 3 == 1 ? "ACME LAB" : "");
  r.set("LA_ORDRLN", v % 2 ? "ORDERER" : "");
  r.set("LA_ORDRFN", v % 4 == 1 ? "OLGA" : "");
  std::string narrative;
  switch (v % 5) {
    case 0: narrative = "FIRST\r\nSECOND\r\nTHIRD"; break;
    case 1: narrative = std::string(100, 'W') + " TAIL"; break;
    case 2: narrative = LongNarrative(55); break;
    case 3: narrative = ""; break;
    default: narrative = "ONE LINE\tWITH TAB"; break;
  }
  r.set("LA_NRTV", narrative);
  r.set("LA_NRTVTP", v % 4 == 0 ? "K3" : v % 4 == 1 ? "" : "ADD");
  r.set("LA_REFNO1", v % 3 == 0 ? "" : "RN" + std::to_string(v));
  r.set("LA_REFNO2", v % 2 ? "RM" + std::to_string(v) : "");
  r.set("LA_DEDUCT", v % 3 == 0 ? "0" : "10.25");
  r.set("LA_COINS", v % 2 ? "12.5" : "0");
}

void Payer(const Record& r, long k, int payerInClaim) {
  // A second payer is mostly "02", sometimes a third ("03") or a repeated "01".
  const char* second = k % 6 == 5 ? "03" : k % 10 == 7 ? "01" : "02";
  r.set("CP_PAYSEQ", payerInClaim == 0 ? "01" : second);
  r.set("CP_MSPTYP", payerInClaim == 0 && k % 2 ? "12" : "");
  // Medicare B on a first payer too: its own secondary-payer type moves on.
  const bool mcb = payerInClaim == 1 ? k % 4 != 2 : k % 8 == 3;
  r.set("CP_PAYLOB", mcb ? "MCB" : "COM");
  r.set("CP_PRIAUT", k % 3 == 0 ? "" : "PA" + std::to_string(k));
  // Claim 11 (k 10) is one the sample marks deleted: a blank type there
  // looks up a deleted claim record.
  r.set("CP_PRIATP", k % 2 || k % 5 == 0 ? "" : "G1");
  r.set("CP_PRIAUT2", "");
  r.set("CP_PRIAUT3", k % 5 == 1 ? "PC" + std::to_string(k) : "");
  r.set("CP_PRIATP3", "");
  r.set("CP_ALLOW", k % 4 == 0 ? "0" : "100");
  r.set("CP_PAID", "80");
  r.set("CP_DEDUCT", k % 3 == 0 ? "5" : "0");
  r.set("CP_COINS", k % 5 == 2 ? "7.5" : "0");
}

// Rows already in the row tables before the migrations run (on every third
// claim, the ones the sample gives a row): an "MP" amount equal or not to the
// payer's, a line adjustment with the same reason as the line's or another,
// a referring name, a paperwork row that differs, a payer identifier row.
void ExistingRow(const Record& r, const std::string& base, long k) {
  if (base == "bscob") {
    const bool amount = k % 6 == 3;
    r.set("CO_TYPE", amount ? "MP" : "CL");
    r.set("CO_LNSEQA", amount ? "0" : "2");
    r.set("CO_LNSEQB", amount ? "0" : "1");
    r.set("CO_LNSEQC", "1");
    r.set("CO_GRPCD", amount ? "" : "PR");
    r.set("CO_RSNCD", amount ? "" : k % 4 == 0 ? "1" : "2");
    r.set("CO_AMTCD", amount ? "B6" : "");
    r.set("CO_AMOUNT", amount ? (k % 4 == 1 ? "100" : "90") : "10.25");
  } else if (base == "bsrecnm" && k % 6 == 3) {
    r.set("NM_TYPE", "REFC");
    for (const char* f : {"NM_SEQA", "NM_SEQB", "NM_SEQC"}) r.set(f, "0");
  } else if (base == "bsrecrn" && k % 6 == 0) {
    r.set("RE_TYPE", "PWC");
    r.set("RE_SEQA", "0");
    r.set("RE_SEQB", "0");
    r.set("RE_SEQC", "4");
    r.set("RE_PWRTC", "ZZ");
    r.set("RE_PWATC", "ZZ");
  } else if (base == "bsrecid" && k % 6 == 0) {
    r.set("ID_TYPE", "MSCP");
    r.set("ID_SEQA", "0");
    r.set("ID_SEQB", "1");
    r.set("ID_SEQC", "2");
  }
}

long ClaimOf(C4Table t) {
  for (const char* name : {"CLAIM", "CP_CLAIM", "CO_CLAIM", "NM_CLAIM", "RE_CLAIM", "ID_CLAIM"}) {
    if (C4Field f = d4field(t, name)) return std::atol(f4str(f));
  }
  return 0;
}

}  // namespace

bool AddConversionSampleValues(C4Context c, C4Table t, const releases::TableLayout& layout,
                               long firstClaim) {
  const std::string& base = layout.base;
  const bool ub = base == "bcclaim", pro = base == "bsclaim", lines = base == "bslinesa",
             payers = base == "bscpayer", attach = base == "bsattach", prov = base == "bcprov",
             serviceLines = base == "bslines", patients = base == "patient",
             rowTable = base == "bscob" || base == "bsrecnm" || base == "bsrecrn" ||
                        base == "bsrecid";
  if (!ub && !pro && !lines && !payers && !attach && !prov && !serviceLines && !patients &&
      !rowTable) {
    return true;
  }
  const Record r(t);
  long previous = -1;
  int within = 0;
  int record = 0;
  bool ok = true;
  for (int rc = d4top(t); rc == 0 && ok; rc = d4skip(t, 1)) {
    ++record;
    const long claim = ClaimOf(t);
    within = claim == previous ? within + 1 : 0;
    previous = claim;
    const long k = claim - firstClaim;
    if (ub) UbClaim(r, k);
    if (pro) ProClaim(r, k);
    if (lines) ProLine(r, k, within);
    if (serviceLines) ProServiceLine(r, k + within);
    if (rowTable) ExistingRow(r, base, k);
    if (payers) Payer(r, k, within);
    if (attach) {
      r.set("A_TRIPNAR", k % 2 ? "PICK UP\r\nAT HOME\tDOOR" : "");
      r.set("A_STRCNAR", k % 3 == 0 ? "STRETCHER\r\n" : "");
      // Haemoglobin in g/dL, as a clinic records it: a value of a thousand
      // or more fits no release's field once it gains its decimal.
      r.set("A_HGBRSLT", std::to_string(8 + k % 10));
    }
    if (prov) {
      r.set("P_ID_LOB", record % 2 ? "MCA" : "BCB");
      r.set("P_ID", record % 3 ? "140010" : "141010");
      r.set("P_IDTP", record % 4 == 3 ? "1D" : "");
      // The two further identifier pairs count only with type exactly "1C".
      r.set("P_ANSIID1", record % 2 ? "220045" : "22X045");
      r.set("P_ANSITP1", record % 3 == 0 ? "1C" : "1D");
      r.set("P_ANSIID2", "990123");
      r.set("P_ANSITP2", record % 4 == 3 ? "1C" : "");
    }
    if (patients) r.set("PT_MSA", record % 4 == 0 ? "" : "M" + std::to_string(100 + record % 50));
    ok = d4writeLow(t, d4recNoLow(t), 0, 1) == 0;
  }
  code4errorCode(c, 0);
  return ok;
}

}  // namespace talvex::host
