// The rows of the 1500 claim migrations, of the CBSA and of the
// presence-on-admission flag, derived from the rules over the old rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "c4dll.h"
#include "rederivation.h"

namespace talvex::tabmend::testing {

std::string Trim(std::string s) {
  const size_t a = s.find_first_not_of(' '), b = s.find_last_not_of(' ');
  return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

long Int(const std::string& s) { return s.empty() ? 0 : std::stol(s); }

std::vector<Row> ReadRows(const std::string& base, std::vector<std::string>* fields,
                          bool withDeleted) {
  std::vector<Row> out;
  C4Context c = code4initP();
  code4autoOpen(c, 0);
  C4Table t = d4open(c, (base + ".dbf").c_str());
  if (t == 0) {
    code4initUndo(c);
    return out;
  }
  if (fields) {
    fields->clear();
    for (int j = 1; j <= d4numFields(t); ++j) fields->push_back(f4name(d4fieldJ(t, j)));
  }
  for (int rc = d4top(t); rc == 0; rc = d4skip(t, 1)) {
    if (d4deleted(t) && !withDeleted) continue;
    Row row;
    for (int j = 1; j <= d4numFields(t); ++j) {
      C4Field f = d4fieldJ(t, j);
      row[f4name(f)] = f4type(f) == 'M' ? std::string(f4memoStr(f), f4memoLen(f)) : Trim(f4str(f));
    }
    if (d4deleted(t)) row["*DELETED"] = "1";
    out.push_back(std::move(row));
  }
  code4initUndo(c);
  return out;
}

namespace {

std::string Get(const Row& r, const std::string& field) {
  auto it = r.find(field);
  return it == r.end() ? std::string() : it->second;
}

}  // namespace

RowSet Keys(const std::vector<Row>& rows, const std::vector<std::string>& fields,
            const std::string& typeField, const std::set<std::string>& types) {
  RowSet out;
  for (const Row& r : rows) {
    if (!types.empty() && !types.count(Get(r, typeField))) continue;
    std::string key;
    for (const std::string& f : fields) key += Get(r, f) + "|";
    out.insert(key);
  }
  return out;
}

void ExpectSameRows(const RowSet& now, const RowSet& want, const std::string& where) {
  std::vector<std::string> missing, extra;
  std::set_difference(want.begin(), want.end(), now.begin(), now.end(),
                      std::back_inserter(missing));
  std::set_difference(now.begin(), now.end(), want.begin(), want.end(), std::back_inserter(extra));
  if (missing.empty() && extra.empty()) return;
  std::string text;
  for (size_t k = 0; k < missing.size() && k < 5; ++k) text += "\n  missing " + missing[k];
  for (size_t k = 0; k < extra.size() && k < 5; ++k) text += "\n  not derived " + extra[k];
  ADD_FAILURE() << where << ": " << missing.size() << " rows missing, " << extra.size()
                << " not derived" << text;
}

OldProfessional OldProfessional::Read(const std::string& folder) {
  OldProfessional old;
  old.claims = ReadRows(folder + "bsclaim");
  old.claimsWithDeleted = ReadRows(folder + "bsclaim", nullptr, true);
  old.lines = ReadRows(folder + "bslines");
  old.linesa = ReadRows(folder + "bslinesa");
  old.payers = ReadRows(folder + "bscpayer");
  old.ids = ReadRows(folder + "bsrecid");
  old.names = ReadRows(folder + "bsrecnm");
  old.refs = ReadRows(folder + "bsrecrn");
  old.cob = ReadRows(folder + "bscob");
  return old;
}

namespace {

std::string S(long n) { return std::to_string(n); }

std::string Amount(double v) {
  char text[40];
  std::snprintf(text, sizeof text, "%.2f", v);
  return text;
}
double Number(const std::string& s) { return s.empty() ? 0.0 : std::stod(s); }

const std::vector<std::string> kIdFields = {"ID_CLAIM", "ID_TYPE", "ID_SEQA", "ID_SEQB",
                                            "ID_SEQC",  "ID_ID",   "ID_IDTP"};
const std::vector<std::string> kNameFields = {"NM_CLAIM", "NM_TYPE", "NM_SEQA",  "NM_SEQB",
                                              "NM_SEQC",  "NM_QUAL", "NM_ENTCD", "NM_LNAME",
                                              "NM_FNAME", "NM_MI",   "NM_SUFX"};
const std::vector<std::string> kRefFields = {"RE_CLAIM", "RE_TYPE",  "RE_SEQA",  "RE_SEQB",
                                             "RE_SEQC",  "RE_SEGID", "RE_PWRTC", "RE_PWATC",
                                             "RE_NTTYP", "RE_NRTVA"};
const std::vector<std::string> kCobFields = {"CO_CLAIM",  "CO_TYPE",  "CO_LNSEQA", "CO_LNSEQB",
                                             "CO_LNSEQC", "CO_GRPCD", "CO_RSNCD",  "CO_AMTCD",
                                             "CO_AMOUNT", "CO_UNITS"};

// The rows of one row table as the run builds them up, grouped by claim and
// type so that a claim's rows of one type are found at once.
class RowTable {
 public:
  RowTable(std::string prefix, const std::vector<Row>& existing, const std::set<std::string>& types)
      : claim_(prefix + "_CLAIM"), type_(prefix + "_TYPE"), types_(types) {
    for (const Row& r : existing) {
      if (types_.count(Get(r, type_))) Add(r);
    }
  }
  void Add(Row r) {
    std::string key = Key(Int(r.at(claim_)), r.at(type_));
    groups_[key].push_back(std::move(r));
    ++added_;
  }
  const std::vector<Row>& Of(long claim, const std::string& type) const {
    static const std::vector<Row> none;
    auto it = groups_.find(Key(claim, type));
    return it == groups_.end() ? none : it->second;
  }
  void Drop(const std::set<std::string>& types) {
    std::erase_if(groups_, [&](const auto& g) { return types.count(g.second.front().at(type_)); });
  }
  long Largest(long claim, const std::string& type, const std::string& seq) const {
    long largest = 0;
    for (const Row& r : Of(claim, type)) largest = std::max(largest, Int(Get(r, seq)));
    return largest;
  }
  bool HasSeq(long claim, const std::string& type, const std::string& seq, long value) const {
    const auto& rows = Of(claim, type);
    return std::any_of(rows.begin(), rows.end(),
                       [&](const Row& r) { return Int(Get(r, seq)) == value; });
  }
  // Compares with what the table holds now, over the types it follows.
  void Expect(const std::vector<Row>& now, const std::vector<std::string>& fields,
              const std::string& where) const {
    std::vector<Row> all;
    for (const auto& g : groups_) all.insert(all.end(), g.second.begin(), g.second.end());
    ExpectSameRows(Keys(now, fields, type_, types_), Keys(all, fields, type_, types_), where);
  }
  int added() const { return added_; }

 private:
  static std::string Key(long claim, const std::string& type) { return S(claim) + "/" + type; }
  std::string claim_, type_;
  std::set<std::string> types_;
  std::map<std::string, std::vector<Row>> groups_;
  int added_ = 0;
};

Row IdRow(long claim, const std::string& type, long seqb, long seqc, const std::string& id,
          const std::string& idtp) {
  return {{"ID_CLAIM", S(claim)}, {"ID_TYPE", type}, {"ID_SEQA", "0"}, {"ID_SEQB", S(seqb)},
          {"ID_SEQC", S(seqc)},   {"ID_ID", id},     {"ID_IDTP", idtp}};
}

// A person (with a first name) or another entity.
Row NameRow(long claim, const std::string& type, long seqb, const std::string& qual,
            const std::string& last, const std::string& first, const std::string& mi,
            const std::string& sufx) {
  Row r = {{"NM_CLAIM", S(claim)}, {"NM_TYPE", type},
           {"NM_SEQA", "0"},       {"NM_SEQB", S(seqb)},
           {"NM_SEQC", "0"},       {"NM_QUAL", qual},
           {"NM_LNAME", last},     {"NM_ENTCD", first.empty() ? "2" : "1"}};
  if (!first.empty()) {
    r["NM_FNAME"] = first;
    r["NM_MI"] = mi;
    r["NM_SUFX"] = sufx;
  }
  return r;
}

Row RefRow(long claim, const std::string& type, long seqb, long seqc, const std::string& segid,
           const std::string& pwrtc, const std::string& pwatc, const std::string& nttyp,
           const std::string& text) {
  return {{"RE_CLAIM", S(claim)}, {"RE_TYPE", type},   {"RE_SEQA", "0"},    {"RE_SEQB", S(seqb)},
          {"RE_SEQC", S(seqc)},   {"RE_SEGID", segid}, {"RE_PWRTC", pwrtc}, {"RE_PWATC", pwatc},
          {"RE_NTTYP", nttyp},    {"RE_NRTVA", text}};
}

Row CobRow(long claim, const std::string& type, long lnseqa, long lnseqb, long lnseqc,
           const std::string& grp, const std::string& rsn, const std::string& amtcd,
           double amount) {
  return {{"CO_CLAIM", S(claim)},   {"CO_TYPE", type},        {"CO_LNSEQA", S(lnseqa)},
          {"CO_LNSEQB", S(lnseqb)}, {"CO_LNSEQC", S(lnseqc)}, {"CO_GRPCD", grp},
          {"CO_RSNCD", rsn},        {"CO_AMTCD", amtcd},      {"CO_AMOUNT", Amount(amount)}};
}

// Tax id row first (qualifier by tax type), then the provider id row.
void ProviderIds(RowTable& ids, long claim, const std::string& code, const std::string& taxId,
                 const std::string& taxType, const std::string& id, const std::string& qualifier) {
  long seq = 1;
  if (!taxId.empty() && !taxType.empty()) {
    ids.Add(IdRow(claim, code, 0, seq++, taxId, taxType == "S" ? "34" : "24"));
  }
  if (!id.empty()) ids.Add(IdRow(claim, code, 0, seq, id, qualifier));
}

std::string ReportTypeCode(const std::string& type) {
  static const std::string kFrom = "ABCDEFGHIJLMNOPQRSTUVWYZ123";
  static const char* const kTo[] = {"B2", "EB", "DG", "OB", "CT", "CT", "PZ", "OZ", "PO",
                                    "B2", "77", "AS", "B2", "B3", "B4", "CT", "DA", "DS",
                                    "MT", "NN", "OZ", "PN", "OZ", "OZ", "RB", "RR", "RT"};
  const size_t at = type.size() == 1 ? kFrom.find(type[0]) : std::string::npos;
  return at == std::string::npos ? "" : kTo[at];
}

std::string TransmissionCode(const std::string& indicator) {
  static const std::map<std::string, std::string> kCodes = {
      {"1", "BM"}, {"2", "FX"}, {"3", "AA"}, {"L", "EL"}, {"M", "EM"}};
  auto it = kCodes.find(indicator);
  return it == kCodes.end() ? "AA" : it->second;
}

// Claim names, paperwork and facility or payer provider ids.
void ClaimRows0167(const Row& c, RowTable& names, RowTable& refs, RowTable& ids) {
  const long claim = Int(c.at("CLAIM"));
  const std::string last = Get(c, "C_REFLNAME");
  if (!last.empty() && names.Of(claim, "REFC").empty()) {
    names.Add(NameRow(claim, "REFC", 0, "DN", last, Get(c, "C_REFFNAME"), Get(c, "C_REFMI"),
                      Get(c, "C_REFSUFX")));
  }
  const std::string type = Get(c, "C_DOCTYPE"), control = Get(c, "C_DOCACN");
  const std::string code = ReportTypeCode(type), sent = TransmissionCode(Get(c, "C_DOCIND"));
  if ((!type.empty() || !control.empty()) && !code.empty()) {
    const auto& had = refs.Of(claim, "PWC");
    const bool there = std::any_of(had.begin(), had.end(), [&](const Row& r) {
      return Get(r, "RE_PWATC") == sent && Get(r, "RE_PWRTC") == code &&
             Get(r, "RE_NRTVA") == control;
    });
    if (!there) {
      refs.Add(RefRow(claim, "PWC", 0, refs.Largest(claim, "PWC", "RE_SEQC") + 1, "PWK", code, sent,
                      "", control));
    }
  }
  const std::string provider = Get(c, "C_CPPROV");
  if (provider.empty()) return;
  if (!Get(c, "C_FACNAME").empty()) {
    const auto& fac = ids.Of(claim, "FACC");
    if (std::none_of(fac.begin(), fac.end(),
                     [](const Row& r) { return Get(r, "ID_IDTP") == "LU"; })) {
      ids.Add(IdRow(claim, "FACC", 0, ids.Largest(claim, "FACC", "ID_SEQC") + 1, provider, "LU"));
    }
    return;
  }
  const std::string payer = Get(c, "C_PAYER_S");
  if (payer == "01" || payer == "02" || payer == "03") {
    ids.Add(IdRow(claim, "MSCP", Int(payer), ids.Largest(claim, "MSCP", "ID_SEQC") + 1, provider,
                  "1J"));
  }
}

// Payer authorisations, the first two payers' amounts and the insurance
// types, claim by claim; `instyp` receives the type of each old payer record.
void PayerRows0168(const std::vector<Row>& payers, const std::vector<Row>& claimsSeen,
                   RowTable& ids, RowTable& cob, std::map<const Row*, std::string>& instyp) {
  std::map<long, const Row*> claimOf;
  for (const Row& c : claimsSeen) claimOf.emplace(Int(c.at("CLAIM")), &c);
  std::map<long, std::vector<const Row*>> byClaim;  // in the payer tag's order
  for (const Row& p : payers) byClaim[Int(p.at("CP_CLAIM"))].push_back(&p);
  for (auto& [claim, records] : byClaim) {
    std::stable_sort(records.begin(), records.end(), [](const Row* a, const Row* b) {
      return a->at("CP_PAYSEQ") < b->at("CP_PAYSEQ");
    });
    const Row* slot[3] = {};
    for (const Row* p : records) {
      const std::string& seq = p->at("CP_PAYSEQ");
      slot[seq == "01" ? 0 : seq == "02" ? 1 : 2] = p;
    }
    // The secondary-payer type belongs to the next payer.
    const std::string msp[3] = {"", slot[0] ? Get(*slot[0], "CP_MSPTYP") : "",
                                slot[1] ? Get(*slot[1], "CP_MSPTYP") : ""};
    const bool hadIds = !ids.Of(claim, "MSCP").empty();
    for (int i = 0; i < 3; ++i) {
      if (slot[i] == nullptr) continue;
      const Row& p = *slot[i];
      const std::string seq = p.at("CP_PAYSEQ");
      const bool mcb = !msp[i].empty() && Get(p, "CP_PAYLOB") == "MCB";
      std::string aut[3] = {Get(p, "CP_PRIAUT"), Get(p, "CP_PRIAUT2"), Get(p, "CP_PRIAUT3")};
      std::string autType[3] = {Get(p, "CP_PRIATP"), Get(p, "CP_PRIATP2"), Get(p, "CP_PRIATP3")};
      if (hadIds) {
        for (int k = 0; k < 3; ++k) aut[k] = autType[k] = "";
      }
      if (mcb) {
        for (const Row* r : records) {
          if (r->at("CP_PAYSEQ") != seq) continue;
          instyp[r] = msp[i];
          break;
        }
      }
      long counter = 1;
      for (int k = 0; k < 3; ++k) {
        if (aut[k].empty()) continue;
        std::string type = autType[k];
        auto c = claimOf.find(claim);
        if (type.empty() && c != claimOf.end())
          type = Get(*c->second, "C_REFLNAME").empty() ? "G1" : "9F";
        ids.Add(IdRow(claim, "MSCP", Int(seq), counter++, aut[k], type));
      }
      if (seq != "01" && seq != "02") continue;
      struct Money {
        bool amountKind;
        const char *reason, *code, *field;
      };
      static const Money kMoney[] = {{true, "", "B6", "CP_ALLOW"},
                                     {true, "", "D", "CP_PAID"},
                                     {false, "1", "PR", "CP_DEDUCT"},
                                     {false, "2", "PR", "CP_COINS"}};
      for (const Money& m : kMoney) {
        const double amount = Number(Get(p, m.field));
        if (amount == 0) continue;
        const std::string type = std::string(m.amountKind ? "M" : "C") + (seq == "01" ? "P" : "S");
        const auto& had = cob.Of(claim, type);
        const bool equal = std::any_of(had.begin(), had.end(), [&](const Row& r) {
          const bool sameCode =
              m.amountKind ? Get(r, "CO_AMTCD") == m.code
                           : Get(r, "CO_GRPCD") == m.code && Get(r, "CO_RSNCD") == m.reason;
          return sameCode && Amount(Number(Get(r, "CO_AMOUNT"))) == Amount(amount);
        });
        if (equal) continue;
        cob.Add(CobRow(claim, type, 0, 0, cob.Largest(claim, type, "CO_LNSEQC") + 1,
                       m.amountKind ? "" : m.code, m.reason, m.amountKind ? m.code : "", amount));
      }
    }
  }
}

// Narrative rows: its non-empty lines (characters outside 32..126 dropped)
// one a row, unless a line is over 80 characters or there are fifty lines or
// more; then all the text runs on in rows of 80.
std::vector<std::string> NarrativeRows(const std::string& text) {
  std::vector<std::string> lines;
  bool wrap = false;
  for (size_t from = 0; from <= text.size();) {
    size_t at = text.find("\r\n", from);
    if (at == std::string::npos) at = text.size();
    std::string kept;
    for (size_t k = from; k < at; ++k) {
      if (static_cast<unsigned char>(text[k]) >= 32 && static_cast<unsigned char>(text[k]) <= 126)
        kept += text[k];
    }
    kept = Trim(kept);
    if (!kept.empty()) lines.push_back(kept);
    wrap = wrap || kept.size() > 80;
    from = at + 2;
  }
  if (!wrap && lines.size() < 50) return lines;
  std::string joined;
  for (const std::string& l : lines) joined += (joined.empty() ? "" : " ") + l;
  std::vector<std::string> out;
  while (!joined.empty()) {
    out.push_back(Trim(joined.substr(0, 80)));
    joined = joined.size() > 80 ? Trim(joined.substr(80)) : "";
  }
  return out;
}

// Line names, narrative, reference numbers and adjustments.
void LineRows0169(const Row& l, RowTable& names, RowTable& refs, RowTable& ids, RowTable& cob) {
  const long claim = Int(l.at("CLAIM")), line = Int(l.at("LINE"));
  auto name = [&](const char* code, const char* qual, std::string last, std::string first,
                  std::string mi, std::string sufx) {
    if (last.empty() || names.HasSeq(claim, code, "NM_SEQB", line)) return;
    names.Add(NameRow(claim, code, line, qual, last, first, mi, sufx));
  };
  const std::string service = Get(l, "LA_PURSVNM");
  const size_t comma = service.find(',');
  if (comma == std::string::npos) {
    name("PSSL", "QB", service, "", "", "");
  } else {
    const std::string rest = Trim(service.substr(comma + 1));
    const size_t blank = rest.find(' ');
    name("PSSL", "QB", Trim(service.substr(0, comma)), Trim(rest.substr(0, blank)),
         blank == std::string::npos ? "" : Trim(rest.substr(blank)), "");
  }
  static const char* const kPeople[3][3] = {
      {"ORDL", "DK", "LA_ORDR"}, {"REFL", "DN", "LA_REFR"}, {"SUPL", "DQ", "LA_SUPR"}};
  for (const auto& p : kPeople) {
    const std::string f = p[2];
    name(p[0], p[1], Get(l, f + "LN"), Get(l, f + "FN"), Get(l, f + "MI"), Get(l, f + "SX"));
  }

  const std::string text = Get(l, "LA_NRTV");
  const bool hasText = std::any_of(text.begin(), text.end(),
                                   [](char ch) { return static_cast<unsigned char>(ch) > 32; });
  if (hasText && !refs.HasSeq(claim, "NKL", "RE_SEQB", line)) {
    std::string type = Get(l, "LA_NRTVTP");
    if (type.empty()) type = "ADD";
    long seq = 0;
    for (const std::string& piece : NarrativeRows(text)) {
      refs.Add(RefRow(claim, "NKL", line, ++seq, type == "K3" ? "K3" : "NTE", "", "", type, piece));
    }
  }

  const std::string number[2] = {Get(l, "LA_REFNO1"), Get(l, "LA_REFNO2")};
  if ((!number[0].empty() || !number[1].empty()) && !ids.HasSeq(claim, "MSCL", "ID_SEQB", line)) {
    long count = 0;
    for (int k = 0; k < 2; ++k) {
      if (!number[k].empty())
        ids.Add(IdRow(claim, "MSCL", line, ++count, number[k], Get(l, "LA_REFTP" + S(k + 1))));
    }
  }

  const std::pair<const char*, const char*> kAdjust[] = {{"1", "LA_DEDUCT"}, {"2", "LA_COINS"}};
  for (const auto& [reason, field] : kAdjust) {
    const double amount = Number(Get(l, field));
    if (amount == 0) continue;
    bool there = false;
    long largest = 0;
    for (const Row& r : cob.Of(claim, "CL")) {
      if (Int(Get(r, "CO_LNSEQA")) != line || Int(Get(r, "CO_LNSEQB")) != 1) continue;
      there = there || (Get(r, "CO_GRPCD") == "PR" && Get(r, "CO_RSNCD") == reason);
      largest = std::max(largest, Int(Get(r, "CO_LNSEQC")));
    }
    if (!there) cob.Add(CobRow(claim, "CL", line, 1, largest + 1, "PR", reason, "", amount));
  }
}

bool HospitalForm(const std::string& id) {
  auto digit = [&](size_t k) { return id[k] >= '0' && id[k] <= '9'; };
  return id.size() == 6 && id[2] == '0' && digit(3) && digit(4) && digit(5);
}

}  // namespace

void ExpectProfessionalRows(int first, const OldProfessional& old, const std::string& folder,
                            bool deletedClaimsSeen) {
  RowTable ids("ID", old.ids, {"REFC", "FACC", "PSSL", "MSCP", "MSCL"});
  RowTable names("NM", old.names, {"REFC", "PSSL", "ORDL", "REFL", "SUPL"});
  RowTable refs("RE", old.refs, {"PWC", "NKL"});
  RowTable cob("CO", old.cob, {"CL", "MP", "MS", "CP", "CS"});
  const int before = ids.added() + names.added() + refs.added() + cob.added();
  if (first <= 115) {
    ids.Drop({"REFC", "FACC"});
    for (const Row& c : old.claims) {
      const long claim = Int(c.at("CLAIM"));
      ProviderIds(ids, claim, "REFC", Get(c, "C_REFTAXID"), Get(c, "C_REFTAXTP"),
                  Get(c, "C_REFUPIN"), Get(c, "C_REFIDTP"));
      ProviderIds(ids, claim, "FACC", Get(c, "C_FACTAXID"), Get(c, "C_FACTAXTP"), Get(c, "C_FACID"),
                  Get(c, "C_FACIDTP"));
    }
  }
  if (first <= 116) {
    ids.Drop({"PSSL"});
    for (const Row& l : old.lines) {
      if (Get(l, "L_PURSVCID").empty()) continue;
      ids.Add(IdRow(Int(l.at("CLAIM")), "PSSL", Int(l.at("LINE")), 1, Get(l, "L_PURSVCID"),
                    Get(l, "L_PURSVCTP")));
    }
  }
  std::map<const Row*, std::string> instyp;
  if (first <= 167) {
    for (const Row& c : old.claims) ClaimRows0167(c, names, refs, ids);
  }
  if (first <= 168) {
    PayerRows0168(old.payers, deletedClaimsSeen ? old.claimsWithDeleted : old.claims, ids, cob,
                  instyp);
  }
  if (first <= 169) {
    for (const Row& l : old.linesa) LineRows0169(l, names, refs, ids, cob);
  }
  if (old.claims.size() >= 10) {
    EXPECT_GT(ids.added() + names.added() + refs.added() + cob.added(), before + 10) << folder;
  }
  ids.Expect(ReadRows(folder + "bsrecid"), kIdFields, folder + "bsrecid");
  names.Expect(ReadRows(folder + "bsrecnm"), kNameFields, folder + "bsrecnm");
  refs.Expect(ReadRows(folder + "bsrecrn"), kRefFields, folder + "bsrecrn");
  cob.Expect(ReadRows(folder + "bscob"), kCobFields, folder + "bscob");
  if (first <= 168) {
    std::vector<Row> want;
    for (const Row& p : old.payers) {
      want.push_back({{"CP_CLAIM", p.at("CP_CLAIM")},
                      {"CP_PAYSEQ", p.at("CP_PAYSEQ")},
                      {"CP_INSTYP", instyp.count(&p) ? instyp[&p] : ""}});
    }
    const std::vector<std::string> fields = {"CP_CLAIM", "CP_PAYSEQ", "CP_INSTYP"};
    ExpectSameRows(Keys(ReadRows(folder + "bscpayer"), fields), Keys(want, fields),
                   folder + "bscpayer");
  }
}

void ExpectCbsa(const std::vector<Row>& oldPatientsWithDeleted, const std::vector<Row>& now) {
  // The seek on the control number lands on its first record, deleted or not.
  std::map<std::string, std::string> msa;
  for (const Row& r : oldPatientsWithDeleted) msa.emplace(r.at("PT_PCN"), r.at("PT_MSA"));
  std::vector<std::string> want, got;
  int filled = 0;
  for (const Row& r : oldPatientsWithDeleted) {
    if (r.count("*DELETED")) continue;
    want.push_back(r.at("PT_PCN") + "/" + msa[r.at("PT_PCN")]);
    filled += !msa[r.at("PT_PCN")].empty();
  }
  for (const Row& r : now) got.push_back(r.at("PT_PCN") + "/" + r.at("PT_CBSA"));
  EXPECT_EQ(got, want);
  EXPECT_GT(filled, 0);
  EXPECT_LT(filled, static_cast<int>(want.size()));
}

void ExpectPoaFlags(const std::vector<Row>& oldProviders, const std::vector<Row>& now) {
  std::vector<std::string> want, got;
  for (const Row& r : oldProviders) {
    const std::string type = Get(r, "P_IDTP");
    const bool needs = Get(r, "P_ID_LOB") == "MCA" &&
                       (((type.empty() || type == "1C") && HospitalForm(Get(r, "P_ID"))) ||
                        (Get(r, "P_ANSITP1") == "1C" && HospitalForm(Get(r, "P_ANSIID1"))) ||
                        (Get(r, "P_ANSITP2") == "1C" && HospitalForm(Get(r, "P_ANSIID2"))));
    want.push_back(Get(r, "P_RECSEQ") + "/" + (needs ? "Y" : ""));
  }
  for (const Row& r : now) got.push_back(Get(r, "P_RECSEQ") + "/" + Get(r, "P_POAREQD"));
  EXPECT_EQ(got, want);
  EXPECT_NE(
      std::count_if(want.begin(), want.end(), [](const std::string& w) { return w.back() == 'Y'; }),
      0);
}

}  // namespace talvex::tabmend::testing
