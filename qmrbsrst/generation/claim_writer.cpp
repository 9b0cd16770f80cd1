#include "qmrbsrst/generation/claim_writer.h"

#include <cstdio>
#include <stdexcept>

#include "common/tableengine/table.h"
#include "common/text/claim_key.h"
#include "common/text/host_date.h"
#include "qmrbsrst/settings/control_counter.h"
#include "qmrbsrst/settings/text_fit.h"

namespace talvex::qmrbsrst {

namespace {

using talvex::common::clearEngineError;

struct WriteFailed : std::runtime_error {
  WriteFailed() : std::runtime_error("claim write failed") {}
};

// Assignments into the new record of one table. A field the table lacks is
// skipped only where the caller says it is optional.
class RecordWriter {
 public:
  explicit RecordWriter(RunTable& table) : table_(table) {}
  void Text(std::string_view name, std::string_view value, bool optional = false) {
    C4Field f = Get(name, optional);
    if (f != 0 && f4assignN(f, value.data(), static_cast<uint32_t>(value.size())) < 0) Fail();
  }
  void Int(std::string_view name, long value) {
    C4Field f = Get(name, false);
    if (f4assignInt(f, value) < 0) Fail();
  }
  void Number(std::string_view name, double value) {
    C4Field f = Get(name, false);
    if (f4assignDouble(f, value) < 0) Fail();
  }
  // Dates go in as yyyymmdd text, and only when there is one.
  void Date(std::string_view name, double value) {
    C4Field f = Get(name, false);
    if (value == 0) return;
    std::string ymd = talvex::common::hostDateToYmd(value);
    if (f4assign(f, ymd.c_str()) < 0) Fail();
  }
  bool Has(std::string_view name) { return table_.Has(name); }

 private:
  C4Field Get(std::string_view name, bool optional) {
    C4Field f = table_.Field(name);
    if (f == 0 && !optional) Fail();
    return f;
  }
  [[noreturn]] static void Fail() { throw WriteFailed(); }
  RunTable& table_;
};

// A failed append can leave its record in the data file without its key in
// the tag, where no seek by claim key finds it again; such a record is marked
// deleted here by its number.
void DeleteRecordsAfter(C4Table t, int32_t before) {
  const int32_t after = d4recCount(t);
  for (int32_t rec = before + 1; rec <= after; ++rec) {
    if (d4goLow(t, rec, 1) != r4success) continue;
    if (d4deleted(t) != 0) continue;
    if (d4lockInternal(t, rec, 0, 1) != r4success) continue;
    d4delete(t);
    d4writeLow(t, rec, 1, 0);
    d4unlock(t);
  }
}

// Start, blank, fill, append, unlock: the step under every write.
template <typename Fill>
void AppendRecord(RunTable& table, Fill fill) {
  C4Table t = table.handle();
  const int32_t before = d4recCount(t);
  try {
    if (d4appendStart(t, 0) != r4success) throw WriteFailed();
    if (d4blank(t) != r4success) throw WriteFailed();
    RecordWriter w(table);
    fill(w);
    if (d4append(t) != r4success) throw WriteFailed();
    if (d4unlock(t) != r4success) throw WriteFailed();
  } catch (...) {
    d4unlock(t);
    if (before >= 0) DeleteRecordsAfter(t, before);
    clearEngineError(table.context());
    throw;
  }
}

void WriteLines(ClaimTableSet& set, const TClaim1500Record& c, bool descriptions) {
  const bool haveDescription = set.linesA.Has("LA_PROCDSC");
  for (int slot = 0; slot < kServiceLineSlots; ++slot) {
    const TServiceLine& l = c.lines[slot];
    if (!l.present) break;
    if (!descriptions) {
      AppendRecord(set.lines, [&](RecordWriter& w) {
        w.Int("CLAIM", c.claimNumber);
        w.Int("LINE", slot + 1);
        w.Date("L_FROM", l.L_FROM);
        w.Date("L_TO", l.L_TO);
        w.Text("L_POS", l.L_POS);
        w.Text("L_HCPCS", l.L_HCPCS);
        w.Text("L_DIAG", l.L_DIAG);
        w.Number("L_CHARGES", l.L_CHARGES);
        w.Number("L_UNITS", l.L_UNITS);
      });
    } else if (haveDescription && !Trim(l.LA_PROCDSC).empty()) {
      AppendRecord(set.linesA, [&](RecordWriter& w) {
        w.Int("CLAIM", c.claimNumber);
        w.Int("LINE", slot + 1);
        w.Text("LA_PROCDSC", l.LA_PROCDSC);
      });
    }
  }
}

void WritePayer(ClaimTableSet& set, const TClaim1500Record& c) {
  const TClaimPayer& p = c.payer;
  AppendRecord(set.payers, [&](RecordWriter& w) {
    w.Int("CP_CLAIM", c.claimNumber);
    w.Text("CP_PAYSEQ", "01");
    w.Text("CP_PAYID", p.CP_PAYID);
    w.Text("CP_PAYLOB", p.CP_PAYLOB);
    w.Text("CP_PAYSRC", p.CP_PAYSRC);
    w.Text("CP_PAYNAME", p.CP_PAYNAME);
    w.Text("CP_EDITIND", p.CP_EDITIND, true);
    w.Text("CP_PRIAUT", p.CP_PRIAUT, true);
    w.Text("CP_PRIATP", p.CP_PRIATP, true);
    w.Text("CP_ASNBEN", p.CP_ASNBEN);
    w.Text("CP_SIGSRC", p.CP_SIGSRC);
    w.Text("CP_RELINS", p.CP_RELINS);
    w.Text("CP_INSID", p.CP_INSID);
    w.Text("CP_LNAME", p.CP_LNAME);
    w.Text("CP_FNAME", p.CP_FNAME);
    w.Text("CP_MI", p.CP_MI);
    w.Text("CP_GEN", p.CP_GEN);
    w.Text("CP_SEX", p.CP_SEX);
    w.Date("CP_DOB", p.CP_DOB);
    w.Text("CP_ESTAT", p.CP_ESTAT);
    w.Text("CP_PADDR1", p.CP_PADDR1);
    w.Text("CP_PADDR2", p.CP_PADDR2);
    w.Text("CP_PCITY", p.CP_PCITY);
    w.Text("CP_PSTATE", p.CP_PSTATE);
    w.Text("CP_PZIP", p.CP_PZIP);
    w.Text("CP_IADDR1", p.CP_IADDR1);
    w.Text("CP_IADDR2", p.CP_IADDR2);
    w.Text("CP_ICITY", p.CP_ICITY);
    w.Text("CP_ISTATE", p.CP_ISTATE);
    w.Text("CP_IZIP", p.CP_IZIP);
  });
}

void WriteNames(ClaimTableSet& set, const TClaim1500Record& c) {
  for (const TNameRecord& n : c.names) {
    AppendRecord(set.names, [&](RecordWriter& w) {
      w.Int("NM_CLAIM", c.claimNumber);
      w.Text("NM_TYPE", n.nameType);
      w.Int("NM_SEQA", 0);
      w.Int("NM_SEQB", 0);
      w.Int("NM_SEQC", 0);
      w.Text("NM_ENTCD", n.entityCode);
      w.Text("NM_LNAME", n.lastName);
      w.Text("NM_FNAME", n.firstName);
      w.Text("NM_MI", n.middleName);
      w.Text("NM_SUFX", n.suffix);
    });
  }
}

void WriteIds(ClaimTableSet& set, const TClaim1500Record& c) {
  struct ListRow {
    const RefIdList* list;
    const char* type;
    int seqB;
  };
  const ListRow rows[] = {{&c.referringIds, "REFC", 0},
                          {&c.facilityIds, "FACC", 0},
                          {&c.payer.referenceIds, "MSCP", 1}};
  for (const ListRow& row : rows) {
    int seq = 0;
    for (const TRefIDRecord& id : *row.list) {
      ++seq;
      AppendRecord(set.ids, [&](RecordWriter& w) {
        w.Int("ID_CLAIM", c.claimNumber);
        w.Text("ID_TYPE", row.type);
        w.Int("ID_SEQA", 0);
        w.Int("ID_SEQB", row.seqB);
        w.Int("ID_SEQC", seq);
        w.Text("ID_ID", id.id);
        w.Text("ID_IDTP", id.qualifier);
        w.Text("ID_PAYID", id.payerId, true);
      });
    }
  }
}

void WriteHeader(ClaimTableSet& set, const SaveOptions& o, const TClaim1500Record& c) {
  AppendRecord(set.claims, [&](RecordWriter& w) {
    const bool refNames = w.Has("C_REFLNAME");
    w.Int("CLAIM", c.claimNumber);
    w.Date("DT_ENTERED", o.runDate);
    w.Text("CLERK", c.CLERK);
    w.Text("LOCATION", "CL");
    w.Text("STATUS", o.cleanStatus ? "CLN" : "UNP");
    w.Text("SOURCE", "R");
    w.Text("MEDIA", c.MEDIA);
    w.Text("C_LOB", c.C_LOB);
    w.Text("C_PAYER_D", c.C_PAYER_D);
    w.Text("C_PAYER_I", c.C_PAYER_I);
    w.Text("C_BILLPROV", c.C_BILLPROV);
    w.Int("C_BILLSEQ", c.C_BILLSEQ);
    w.Text("C_BILLTYPE", c.C_BILLTYPE);
    w.Text("C_BILLPAY", c.C_BILLPAY);
    w.Text("C_BILLGPNO", c.C_BILLGPNO);
    w.Text("C_BILLNPI", c.C_BILLNPI, true);
    w.Date("C_SERVFROM", c.C_SERVFROM);
    w.Date("C_SERVTHRU", c.C_SERVTHRU);
    w.Text("C_EDITIND", c.C_EDITIND, true);
    w.Text("C_PCN", c.C_PCN);
    w.Text("C_PATLNAME", c.C_PATLNAME);
    w.Text("C_PATFNAME", c.C_PATFNAME);
    w.Text("C_PATINIT", c.C_PATINIT);
    w.Text("C_PATGEN", c.C_PATGEN);
    w.Date("C_PATDOB", c.C_PATDOB);
    w.Text("C_PATSEX", c.C_PATSEX);
    w.Text("C_PATADDR1", c.C_PATADDR1);
    w.Text("C_PATADDR2", c.C_PATADDR2);
    w.Text("C_PATCITY", c.C_PATCITY);
    w.Text("C_PATSTATE", c.C_PATSTATE);
    w.Text("C_PATZIP", c.C_PATZIP);
    w.Text("C_PATOINS", c.C_PATOINS);
    w.Text("C_EMPLREL", c.C_EMPLREL);
    w.Text("C_ACCIREL", c.C_ACCIREL);
    w.Text("C_PATSIG", c.C_PATSIG);
    w.Text("C_RELINFO", c.C_RELINFO);
    w.Date("C_ROIDATE", c.C_ROIDATE);
    w.Text("C_REFUPIN", c.C_REFUPIN, true);
    w.Text("C_REFIDTP", c.C_REFIDTP, true);
    w.Text("C_REFTAXTP", c.C_REFTAXTP, true);
    w.Text("C_REFTAXID", c.C_REFTAXID, true);
    if (refNames) {
      w.Text("C_REFLNAME", c.C_REFLNAME);
      w.Text("C_REFFNAME", c.C_REFFNAME);
      w.Text("C_REFMI", c.C_REFMI);
      w.Text("C_REFSUFX", c.C_REFSUFX, true);
      w.Text("C_REFSTATE", c.C_REFSTATE, true);
    }
    w.Text("C_LABIND", c.C_LABIND);
    w.Text("C_DIAG1", c.C_DIAG1);
    w.Text("C_DIAGVS", c.C_DIAGVS, true);
    w.Text("C_PRVASSN", c.C_PRVASSN);
    w.Text("C_PRVSIGI", c.C_PRVSIGI);
    w.Date("C_PRVSIGD", c.C_PRVSIGD);
    w.Text("C_FEDTAXID", c.C_FEDTAXID);
    w.Text("C_FEDTAXTP", c.C_FEDTAXTP);
    w.Text("C_FACIND", c.C_FACIND);
    w.Text("C_FACID", c.C_FACID, true);
    w.Text("C_FACIDTP", c.C_FACIDTP, true);
    w.Text("C_FACNAME", c.C_FACNAME);
    w.Text("C_FACADD1", c.C_FACADD1);
    w.Text("C_FACADD2", c.C_FACADD2);
    w.Text("C_FACCITY", c.C_FACCITY);
    w.Text("C_FACST", c.C_FACST);
    w.Text("C_FACZIP", c.C_FACZIP);
    w.Text("C_FACTP", c.C_FACTP, true);
    w.Text("C_FACTAXID", c.C_FACTAXID, true);
    w.Text("C_FACTAXTP", c.C_FACTAXTP, true);
    w.Number("C_TOTUNITS", c.C_TOTUNITS);
    w.Number("C_TOTCHGS", c.C_TOTCHGS);
    w.Number("C_BALDUE", c.C_BALDUE);
    w.Number("C_AMTPAID", c.C_AMTPAID);
    w.Text("C_PIN_PROV", c.C_PIN_PROV);
    w.Int("C_PINPRSEQ", c.C_PINPRSEQ);
    w.Text("C_PINTYPE", c.C_PINTYPE);
    w.Text("C_GRP_PROV", c.C_GRP_PROV);
  });
}

}  // namespace

bool DeleteClaimRecords(RunTable& table, std::string_view claimKey) {
  C4Table t = table.handle();
  if (t == 0) return false;
  const std::string key(claimKey);
  int rc = d4seek(t, key.c_str());
  // Walk every record with the key; the tag may list records already
  // marked, which are passed over.
  while (rc == r4success) {
    if (d4deleted(t) == 0) {
      const int32_t rec = d4recNoLow(t);
      if (d4lockInternal(t, rec, 0, 1) != r4success) return false;
      if (d4delete(t) != r4success) return false;
      if (d4writeLow(t, rec, 1, 0) != r4success) return false;
      if (d4unlock(t) != r4success) return false;
    }
    rc = d4seekNext(t, key.c_str());
  }
  return rc == r4after || rc == r4eof;
}

int SaveClaim(ClaimTableSet& set, const SaveOptions& options, TClaim1500Record* claim,
              std::vector<std::string>* generated) {
  C4Context context = set.claims.context();
  const int32_t number = NextControlCounter(context, options.dataDirectory, kClaimNumberCounter);
  if (number == -1) {
    clearEngineError(context);
    return 10;
  }
  claim->claimNumber = number;
  generated->push_back(std::to_string(number));
  if (options.announce && !options.announce(number)) {
    clearEngineError(context);
    return 11;
  }

  int stage = 0;
  try {
    stage = 1;
    WriteLines(set, *claim, false);
    stage = 2;
    WriteLines(set, *claim, true);
    stage = 3;
    if (claim->payer.present) WritePayer(set, *claim);
    if (set.nameRecordsInUse) {
      stage = 4;
      WriteNames(set, *claim);
    }
    if (set.idRecordsInUse) {
      stage = 5;
      WriteIds(set, *claim);
    }
    stage = 6;
    WriteHeader(set, options, *claim);
    return 0;
  } catch (...) {
  }
  clearEngineError(context);
  try {
    const std::string key = talvex::common::ClaimKey(number);
    // The failed append may still hold its lock; release it before deleting.
    for (RunTable* t : {&set.claims, &set.ids, &set.names, &set.payers, &set.linesA, &set.lines}) {
      if (*t) d4unlock(t->handle());
    }
    clearEngineError(context);
    // What cannot be deleted here goes with the run's reversal, which the
    // failure starts and which deletes every claim of the run by number.
    if (stage >= 6) (void)DeleteClaimRecords(set.claims, key);
    if (set.idRecordsInUse && stage >= 5) (void)DeleteClaimRecords(set.ids, key);
    if (set.nameRecordsInUse && stage >= 4) (void)DeleteClaimRecords(set.names, key);
    if (stage >= 3) (void)DeleteClaimRecords(set.payers, key);
    if (stage >= 2) (void)DeleteClaimRecords(set.linesA, key);
    (void)DeleteClaimRecords(set.lines, key);
  } catch (...) {
  }
  clearEngineError(context);
  return 11;
}

}  // namespace talvex::qmrbsrst
