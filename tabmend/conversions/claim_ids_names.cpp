// Provider identifiers, names, paperwork, line narratives, line references and
// line adjustments of the claim tables move from fixed columns into row tables.
#include <algorithm>
#include <string>
#include <vector>

#include "conversions/conversion_frame.h"
#include "platform/ascii_text.h"
#include "conversions/conversions.h"
#include "driver/run_state.h"

namespace talvex::tabmend::conversions {
namespace {

bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }
using talvex::ascii::isDigit;

// The fields of one provider pattern; any of them may be 0 (absent).
struct ProviderFields {
  C4Field taxId = 0, qualifier = 0, providerId = 0, taxType = 0;
};

bool AppendProviderIds(const ConversionTable& ids, const IdRowFields& f, C4Field claimField,
                       std::string_view code, const ProviderFields& p) {
  const long claim = IntegerField(claimField, "claim number");
  const std::string taxId = Text(p.taxId);
  const std::string taxType = Text(p.taxType);
  const std::string qualifier = Text(p.qualifier);
  const std::string providerId = Text(p.providerId);
  long seq = 1;
  if (!taxId.empty() && !taxType.empty()) {
    if (AppendIdRow(ids, f, claim, code, 0, seq, taxId, taxType == "S" ? "34" : "24") !=
        AppendResult::Written) {
      return false;
    }
    seq = 2;
  }
  if (!providerId.empty() &&
      AppendIdRow(ids, f, claim, code, 0, seq, providerId, qualifier) != AppendResult::Written) {
    return false;
  }
  return true;
}

std::string LineQualifier(const std::string& type) {
  if (type.size() != 1) return type;
  return type == "S" ? "34" : "24";
}

bool AppendLineIds(const ConversionTable& ids, const IdRowFields& f, long claim, long line,
                   std::string_view code, C4Field id1f, C4Field tp1f, C4Field id2f,
                   C4Field tp2f) {
  const std::string id[2] = {Text(id1f), Text(id2f)};
  std::string type[2] = {Text(tp1f), Text(tp2f)};
  if (!id[0].empty() && !id[1].empty() && type[0].empty() && type[1].empty()) {
    if (IsUpinForm(id[0])) type[0] = "1G";
    if (IsUpinForm(id[1])) type[1] = "1G";
  }
  long seq = 1;
  for (int k = 0; k < 2; ++k) {
    if (id[k].empty()) continue;
    if (AppendIdRow(ids, f, claim, code, line, seq, id[k], LineQualifier(type[k])) !=
        AppendResult::Written) {
      return false;
    }
    seq = 2;
  }
  return true;
}

// Rows of one claim and type in a row table keyed by ClaimKey + type.
struct RowWalk {
  const ConversionTable& table;
  C4Field typeField;
  std::string code;
  template <typename Visit>
  void run(long claim, Visit visit) const {
    table.forEachWithKey(ClaimKey(claim) + code, [&] {
      if (Text(typeField) != code) return true;  // a longer code sharing the prefix
      return visit();
    });
  }
};

struct NameRowFields {
  C4Field claim = 0, type = 0, seqa = 0, seqb = 0, seqc = 0, qual = 0, entcd = 0, lname = 0,
          fname = 0, mi = 0, sufx = 0;
  bool load(const ConversionTable& t) {
    claim = t.field("NM_CLAIM");
    type = t.field("NM_TYPE");
    seqa = t.field("NM_SEQA");
    seqb = t.field("NM_SEQB");
    seqc = t.field("NM_SEQC");
    qual = t.field("NM_QUAL");
    entcd = t.field("NM_ENTCD");
    lname = t.field("NM_LNAME");
    fname = t.field("NM_FNAME");
    mi = t.field("NM_MI");
    sufx = t.field("NM_SUFX");
    return claim && type && seqa && seqb && seqc && qual && entcd && lname && fname && mi && sufx;
  }
  void keys(long claim_, std::string_view code, long seqb_) const {
    f4assignInt(claim, claim_);
    f4assign(type, std::string(code).c_str());
    f4assignInt(seqa, 0);
    f4assignInt(seqb, seqb_);
    f4assignInt(seqc, 0);
  }
};

struct RefRowFields {
  C4Field claim = 0, type = 0, seqa = 0, seqb = 0, seqc = 0, segid = 0, pwrtc = 0, pwatc = 0,
          nttyp = 0, nrtva = 0;
  bool load(const ConversionTable& t) {
    claim = t.field("RE_CLAIM");
    type = t.field("RE_TYPE");
    seqa = t.field("RE_SEQA");
    seqb = t.field("RE_SEQB");
    seqc = t.field("RE_SEQC");
    segid = t.field("RE_SEGID");
    pwrtc = t.field("RE_PWRTC");
    pwatc = t.field("RE_PWATC");
    nttyp = t.field("RE_NTTYP");
    nrtva = t.field("RE_NRTVA");
    return claim && type && seqa && seqb && seqc && segid && pwrtc && pwatc && nttyp && nrtva;
  }
};

struct CobRowFields {
  C4Field claim = 0, type = 0, seqa = 0, seqb = 0, seqc = 0, grpcd = 0, rsncd = 0, amtcd = 0,
          amount = 0;
  bool load(const ConversionTable& t) {
    claim = t.field("CO_CLAIM");
    type = t.field("CO_TYPE");
    seqa = t.field("CO_LNSEQA");
    seqb = t.field("CO_LNSEQB");
    seqc = t.field("CO_LNSEQC");
    grpcd = t.field("CO_GRPCD");
    rsncd = t.field("CO_RSNCD");
    amtcd = t.field("CO_AMTCD");
    amount = t.field("CO_AMOUNT");
    return claim && type && seqa && seqb && seqc && grpcd && rsncd && amtcd && amount;
  }
};

// The purging conversions share one shape: open the source and the
// identifier table, purge the conversion's codes, walk, pack and reindex.
template <typename Visit>
bool RunPurgingConversion(const std::string& oldFolder, const std::string& newFolder,
                          std::string_view sourceBase, std::string_view sourceTag,
                          std::string_view idBase, std::initializer_list<std::string_view> codes,
                          Visit visit) {
  const C4Context c = RunContext();
  ErrorStateScope scope(c);
  ConversionTable source(c, oldFolder, sourceBase, sourceTag);
  if (!source.ok()) return false;
  ConversionTable ids(c, newFolder, idBase, "ID_CLAIM");
  if (!ids.ok()) return false;
  IdRowFields f;
  if (!f.load(ids)) return false;
  if (!PurgeIdRows(ids, f, codes)) return false;
  code4errorCode(c, 0);
  if (!source.forEachLive([&] { return visit(source, ids, f); })) return false;
  return ids.pack() && ids.reindex();
}

}  // namespace

bool IsUpinForm(std::string_view text) {
  if (text.size() != 6 || !IsUpper(text[0])) return false;
  size_t letters = 0;
  while (1 + letters < text.size() && IsUpper(text[1 + letters])) ++letters;
  if (letters > 2) return false;
  return std::all_of(text.begin() + 1 + static_cast<long>(letters), text.end(), ascii::isDigit);
}

// ---- 0107 -------------------------------------------------------------------

bool Convert0107(const std::string& oldFolder, const std::string& newFolder) {
  const C4Context c = RunContext();
  ErrorStateScope scope(c);
  ConversionTable oldClaims(c, oldFolder, "bcclaim", "CLM_ALL");
  if (!oldClaims.ok()) return false;
  ConversionTable newClaims(c, newFolder, "bcclaim", "CLM_ALL");
  if (!newClaims.ok()) return false;
  ConversionTable ids(c, newFolder, "bcrecid", "ID_CLAIM");
  if (!ids.ok()) return false;
  IdRowFields f;
  if (!f.load(ids)) return false;

  struct Slot {
    C4Field last, first, middle;
    ProviderFields ids;
  };
  auto slot = [&](const char* ln, const char* fn, const char* mi, const char* id, const char* q,
                  const char* tax, const char* tp) {
    return Slot{oldClaims.field(ln), oldClaims.field(fn), oldClaims.field(mi),
                ProviderFields{oldClaims.field(tax), oldClaims.field(q), oldClaims.field(id),
                               oldClaims.field(tp)}};
  };
  const Slot attending = slot("C_ATTENDLN", "C_ATTENDFN", "C_ATTENDMI", "C_ATTEND", "C_ATTENDQ",
                              "C_ATTENDID", "C_ATTENDTP");
  const Slot operating = slot("C_OPERPLN", "C_OPERPFN", "C_OPERPMI", "C_OPERPHYS", "C_OPERQ",
                              "C_OPERPID", "C_OPERPTP");
  const Slot other1 = slot("C_OTHER1LN", "C_OTHER1FN", "C_OTHER1MI", "C_OTHER1", "C_OTHER1Q",
                           "C_OTHER1ID", "C_OTHER1TP");
  const Slot other2 = slot("C_OTHER2LN", "C_OTHER2FN", "C_OTHER2MI", "C_OTHER2", "C_OTHER2Q",
                           "C_OTHER2ID", "C_OTHER2TP");
  const C4Field claimField = oldClaims.field("CLAIM");
  const C4Field newOper[3] = {newClaims.field("C_OPERPLN"), newClaims.field("C_OPERPFN"),
                              newClaims.field("C_OPERPMI")};
  const C4Field newOther1[3] = {newClaims.field("C_OTHER1LN"), newClaims.field("C_OTHER1FN"),
                                newClaims.field("C_OTHER1MI")};
  if (claimField == 0) return false;

  if (!PurgeIdRows(ids, f, {"ATTC", "OPRC", "OTHC"})) return false;
  code4errorCode(c, 0);

  auto filled = [](const Slot& s) { return !Text(s.last).empty() || !Text(s.ids.providerId).empty(); };
  const bool walked = oldClaims.forEachLive([&] {
    const std::string claimText = RawText(claimField);
    if (d4seek(newClaims.get(), claimText.c_str()) != 0) return false;
    const bool moveUp = !filled(operating) && filled(other1) && filled(other2);
    const bool moveOther = filled(other2) && (!filled(operating) || !filled(other1));
    if (moveUp) {
      f4assignField(newOper[0], other1.last);
      f4assignField(newOper[1], other1.first);
      f4assignField(newOper[2], other1.middle);
    }
    if (moveOther) {
      f4assignField(newOther1[0], other2.last);
      f4assignField(newOther1[1], other2.first);
      f4assignField(newOther1[2], other2.middle);
    }
    if ((moveUp || moveOther) && !newClaims.writeCurrent()) return false;
    return AppendProviderIds(ids, f, claimField, "ATTC", attending.ids) &&
           AppendProviderIds(ids, f, claimField, "OPRC", moveUp ? other1.ids : operating.ids) &&
           AppendProviderIds(ids, f, claimField, "OTHC", moveOther ? other2.ids : other1.ids);
  });
  if (!walked) return false;
  return newClaims.reindex() && ids.pack() && ids.reindex();
}

// ---- 0115, 0116, 0117 -------------------------------------------------------

bool Convert0115(const std::string& oldFolder, const std::string& newFolder) {
  C4Field claim = 0;
  ProviderFields ref, fac;
  bool looked = false;
  return RunPurgingConversion(
      oldFolder, newFolder, "bsclaim", "CLM_ALL", "bsrecid", {"REFC", "FACC"},
      [&](ConversionTable& source, ConversionTable& ids, const IdRowFields& f) {
        if (!looked) {
          claim = source.field("CLAIM");
          ref = {source.field("C_REFTAXID"), source.field("C_REFIDTP"), source.field("C_REFUPIN"),
                 source.field("C_REFTAXTP")};
          fac = {source.field("C_FACTAXID"), source.field("C_FACIDTP"), source.field("C_FACID"),
                 source.field("C_FACTAXTP")};
          looked = true;
        }
        if (claim == 0) return false;
        return AppendProviderIds(ids, f, claim, "REFC", ref) &&
               AppendProviderIds(ids, f, claim, "FACC", fac);
      });
}

bool Convert0116(const std::string& oldFolder, const std::string& newFolder) {
  C4Field claim = 0, line = 0, id = 0, type = 0;
  bool looked = false;
  return RunPurgingConversion(
      oldFolder, newFolder, "bslines", "L_CLAIM", "bsrecid", {"PSSL"},
      [&](ConversionTable& source, ConversionTable& ids, const IdRowFields& f) {
        if (!looked) {
          claim = source.field("CLAIM");
          line = source.field("LINE");
          id = source.field("L_PURSVCID");
          type = source.field("L_PURSVCTP");
          looked = true;
        }
        if (claim == 0 || line == 0) return false;
        const std::string value = Text(id);
        if (value.empty()) return true;
        return AppendIdRow(ids, f, IntegerField(claim, "claim number"),
                           "PSSL", IntegerField(line, "line number"), 1, value, Text(type)) ==
               AppendResult::Written;
      });
}

bool Convert0117(const std::string& oldFolder, const std::string& newFolder) {
  static const char* const kSets[4][5] = {
      {"SUPL", "LA_SUPR", "LA_SUPRTP", "LA_SUPRUPN", "LA_SUPRUTP"},
      {"ORDL", "LA_ORDR", "LA_ORDRTP", "LA_ORDRUPN", "LA_ORDRUTP"},
      {"REFL", "LA_REFR", "LA_REFRTP", "LA_REFRUPN", "LA_REFRUTP"},
      {"FACL", "LA_FACID", "LA_FACIDTP", "LA_FACTXID", "LA_FACTXTP"}};
  C4Field claim = 0, line = 0;
  C4Field sets[4][4] = {};
  bool looked = false;
  return RunPurgingConversion(
      oldFolder, newFolder, "bslinesa", "L_CLAIM", "bsrecid", {"SUPL", "ORDL", "REFL", "FACL"},
      [&](ConversionTable& source, ConversionTable& ids, const IdRowFields& f) {
        if (!looked) {
          claim = source.field("CLAIM");
          line = source.field("LINE");
          for (int k = 0; k < 4; ++k) {
            for (int j = 0; j < 4; ++j) sets[k][j] = source.field(kSets[k][j + 1]);
          }
          looked = true;
        }
        if (claim == 0 || line == 0) return false;
        const long claimNo = IntegerField(claim, "claim number");
        const long lineNo = IntegerField(line, "line number");
        for (int k = 0; k < 4; ++k) {
          if (!AppendLineIds(ids, f, claimNo, lineNo, kSets[k][0], sets[k][0], sets[k][1],
                             sets[k][2], sets[k][3])) {
            return false;
          }
        }
        return true;
      });
}

// ---- 0167 -------------------------------------------------------------------

namespace {

std::string Transmission(const std::string& indicator) {
  if (indicator == "1") return "BM";
  if (indicator == "2") return "FX";
  if (indicator == "3") return "AA";
  if (indicator == "L") return "EL";
  if (indicator == "M") return "EM";
  return "AA";
}

std::string ReportTypeCode(const std::string& type) {
  static const char* const kMap[][2] = {
      {"A", "B2"}, {"B", "EB"}, {"C", "DG"}, {"D", "OB"}, {"E", "CT"}, {"F", "CT"}, {"G", "PZ"},
      {"H", "OZ"}, {"I", "PO"}, {"J", "B2"}, {"L", "77"}, {"M", "AS"}, {"N", "B2"}, {"O", "B3"},
      {"P", "B4"}, {"Q", "CT"}, {"R", "DA"}, {"S", "DS"}, {"T", "MT"}, {"U", "NN"}, {"V", "OZ"},
      {"W", "PN"}, {"Y", "OZ"}, {"Z", "OZ"}, {"1", "RB"}, {"2", "RR"}, {"3", "RT"}};
  for (const auto& entry : kMap) {
    if (type == entry[0]) return entry[1];
  }
  return {};
}

long LargestSeq(const RowWalk& walk, long claim, C4Field seqField) {
  long largest = 0;
  walk.run(claim, [&] {
    largest = std::max(largest, CountField(seqField, "sequence number"));
    return true;
  });
  return largest;
}

// The referring provider of the old claim header.
struct ReferringFields {
  C4Field last = 0, first = 0, mi = 0, sufx = 0;
};

// A REFC name row for a claim with a referring provider and none yet: a
// person (entity 1) when a first name is given, else an organisation.
bool AddReferringName(const ConversionTable& names, const NameRowFields& nm, const RowWalk& walk,
                      long claim, const ReferringFields& ref) {
  if (Text(ref.last).empty()) return true;
  bool exists = false;
  walk.run(claim, [&] { exists = true; return false; });
  if (exists) return true;
  if (!names.appendBlank()) return false;
  nm.keys(claim, "REFC", 0);
  f4assign(nm.qual, "DN");
  f4assignField(nm.lname, ref.last);
  if (!Text(ref.first).empty()) {
    f4assign(nm.entcd, "1");
    f4assignField(nm.fname, ref.first);
    if (ref.mi) f4assignField(nm.mi, ref.mi);
    if (ref.sufx) f4assignField(nm.sufx, ref.sufx);
  } else {
    f4assign(nm.entcd, "2");
  }
  return names.writeCurrent();
}

// The paperwork (attachment) fields of the old claim header.
struct PaperworkFields {
  C4Field indicator = 0, type = 0, control = 0;
};

// A PWC reference row for the claim's paperwork unless the same report is
// already there; its sequence number follows the largest one present.
bool AddPaperwork(const ConversionTable& refs, const RefRowFields& re, const RowWalk& walk,
                  long claim, const PaperworkFields& pw) {
  const std::string reportType = Text(pw.type), control = Text(pw.control);
  if (reportType.empty() && control.empty()) return true;
  const std::string transmission = Transmission(Text(pw.indicator));
  const std::string code = ReportTypeCode(reportType);
  if (code.empty()) return true;
  bool present = false;
  long largest = 0;
  walk.run(claim, [&] {
    if (Text(re.pwatc) == transmission && Text(re.pwrtc) == code && Text(re.nrtva) == control) {
      present = true;
      return false;
    }
    largest = std::max(largest, CountField(re.seqc, "sequence number"));
    return true;
  });
  if (present) return true;
  if (!refs.appendBlank()) return false;
  f4assignInt(re.claim, claim);
  f4assign(re.type, "PWC");
  f4assignInt(re.seqa, 0);
  f4assignInt(re.seqb, 0);
  f4assignInt(re.seqc, largest + 1);
  f4assign(re.segid, "PWK");
  f4assign(re.pwrtc, code.c_str());
  f4assign(re.pwatc, transmission.c_str());
  f4assign(re.nrtva, control.c_str());
  return refs.writeCurrent();
}

// The claim's provider number and where it goes.
struct ProviderIdFields {
  C4Field provider = 0, facilityName = 0, payerSeq = 0;
};

// The provider number as a facility id (FACC, type LU) when the claim names
// a facility, else as the id of its payer 1 to 3 (MSCP, type 1J).
bool AddProviderId(const ConversionTable& ids, const IdRowFields& id, const RowWalk& facility,
                   const RowWalk& payerIds, long claim, const ProviderIdFields& p) {
  const std::string provider = Text(p.provider);
  if (provider.empty()) return true;
  if (!Text(p.facilityName).empty()) {
    bool hasLu = false;
    long largest = 0;
    facility.run(claim, [&] {
      if (Text(id.idtp) == "LU") {
        hasLu = true;
        return false;
      }
      largest = std::max(largest, CountField(id.seqc, "sequence number"));
      return true;
    });
    return hasLu || AppendIdRow(ids, id, claim, "FACC", 0, largest + 1, provider, "LU") ==
                        AppendResult::Written;
  }
  const std::string seq = Text(p.payerSeq);
  const long payerNo = seq == "01" ? 1 : seq == "02" ? 2 : seq == "03" ? 3 : 0;
  if (payerNo == 0) return true;
  const long largest = LargestSeq(payerIds, claim, id.seqc);
  return AppendIdRow(ids, id, claim, "MSCP", payerNo, largest + 1, provider, "1J") ==
         AppendResult::Written;
}

}  // namespace

bool Convert0167(const std::string& oldFolder, const std::string& newFolder) {
  const C4Context c = RunContext();
  ErrorStateScope scope(c);
  ConversionTable claims(c, oldFolder, "bsclaim", "C_CLAIM");
  if (!claims.ok()) return false;
  ConversionTable names(c, newFolder, "bsrecnm", "BY_TYPE");
  if (!names.ok()) return false;
  ConversionTable refs(c, newFolder, "bsrecrn", "BY_CLMTYP");
  if (!refs.ok()) return false;
  ConversionTable ids(c, newFolder, "bsrecid", "BY_TYPE");
  if (!ids.ok()) return false;
  NameRowFields nm;
  RefRowFields re;
  IdRowFields id;
  if (!nm.load(names) || !re.load(refs) || !id.load(ids)) return false;
  const C4Field claimField = claims.field("CLAIM");
  if (claimField == 0) return false;
  const ReferringFields referring{claims.field("C_REFLNAME"), claims.field("C_REFFNAME"),
                                  claims.field("C_REFMI"), claims.field("C_REFSUFX")};
  const PaperworkFields paperwork{claims.field("C_DOCIND"), claims.field("C_DOCTYPE"),
                                  claims.field("C_DOCACN")};
  const ProviderIdFields provider{claims.field("C_CPPROV"), claims.field("C_FACNAME"),
                                  claims.field("C_PAYER_S")};
  code4errorCode(c, 0);

  const RowWalk refcNames{names, nm.type, "REFC"};
  const RowWalk paperworkRows{refs, re.type, "PWC"};
  const RowWalk facility{ids, id.type, "FACC"};
  const RowWalk payerIds{ids, id.type, "MSCP"};

  const bool walked = claims.forEachLive([&] {
    const long claim = IntegerField(claimField, "claim number");
    return AddReferringName(names, nm, refcNames, claim, referring) &&
           AddPaperwork(refs, re, paperworkRows, claim, paperwork) &&
           AddProviderId(ids, id, facility, payerIds, claim, provider);
  });
  if (!walked) return false;
  return names.reindex() && refs.reindex() && ids.reindex();
}

// ---- 0169 -------------------------------------------------------------------

std::string CleanPieceText(std::string_view text) {
  std::string kept;
  kept.reserve(text.size());
  for (char ch : text) {
    const auto u = static_cast<unsigned char>(ch);
    if (u >= 32 && u <= 126) kept += ch;
  }
  return TrimControl(kept);
}

// Past fifty lines the remaining text still counts for the wrap test; it is
// also carried into the wrapped rows (each of its lines cleaned and joined by
// a blank) instead of being dropped, so no narrative text is lost.
std::vector<std::string> SplitNarrativeLines(std::string_view text) {
  constexpr size_t kPieces = 50;
  constexpr size_t kWidth = 80;
  std::vector<std::string> pieces(kPieces + 1);  // 1-based
  std::string rest(text);
  size_t i = 1;
  for (size_t at; i <= kPieces && (at = rest.find("\r\n")) != std::string::npos; ++i) {
    pieces[i] = CleanPieceText(std::string_view(rest).substr(0, at));
    rest = TrimControl(std::string_view(rest).substr(at + 2));
  }
  if (i < kPieces) {
    pieces[i] = CleanPieceText(rest);
    rest.clear();
  }
  std::string carried;
  for (size_t from = 0; from <= rest.size();) {
    size_t at = rest.find("\r\n", from);
    if (at == std::string::npos) at = rest.size();
    const std::string line = CleanPieceText(std::string_view(rest).substr(from, at - from));
    if (!line.empty()) carried += (carried.empty() ? "" : " ") + line;
    from = at + 2;
  }
  bool wrap = !carried.empty();
  for (const std::string& p : pieces) wrap = wrap || p.size() > kWidth;

  std::vector<std::string> out;
  if (!wrap) {
    for (const std::string& p : pieces) {
      if (!p.empty()) out.push_back(p);
    }
    return out;
  }
  std::string joined;
  for (const std::string& p : pieces) {
    if (!p.empty()) joined += (joined.empty() ? "" : " ") + p;
  }
  if (!carried.empty()) joined += (joined.empty() ? "" : " ") + carried;
  joined = TrimControl(joined);
  while (!joined.empty()) {
    out.push_back(TrimControl(std::string_view(joined).substr(0, kWidth)));
    joined = joined.size() > kWidth ? TrimControl(std::string_view(joined).substr(kWidth)) : "";
  }
  return out;
}

namespace {

struct LineNameCall {
  const ConversionTable& names;
  const NameRowFields& nm;
  bool operator()(long claim, long line, std::string_view code, std::string_view qualifier,
                  const std::string& last, const std::string& first, const std::string& middle,
                  const std::string& suffix) const {
    if (last.empty()) return true;
    bool exists = false;
    RowWalk{names, nm.type, std::string(code)}.run(claim, [&] {
      if (CountField(nm.seqb, "sequence number") == line) {
        exists = true;
        return false;
      }
      return true;
    });
    if (exists) return true;
    if (!names.appendBlank()) return false;
    nm.keys(claim, code, line);
    f4assign(nm.qual, std::string(qualifier).c_str());
    f4assign(nm.lname, last.c_str());
    if (!first.empty()) {
      f4assign(nm.entcd, "1");
      f4assign(nm.fname, first.c_str());
      f4assign(nm.mi, middle.c_str());
      f4assign(nm.sufx, suffix.c_str());
    } else {
      f4assign(nm.entcd, "2");
    }
    return names.writeCurrent();
  }
};

bool AppendLineAdjustment(const ConversionTable& cob, const CobRowFields& co, long claim,
                          long line, std::string_view group, std::string_view reason,
                          double amount) {
  if (amount == 0.0) return true;
  bool exists = false;
  long largest = 0;
  RowWalk{cob, co.type, "CL"}.run(claim, [&] {
    if (CountField(co.seqa, "sequence number") != line ||
        CountField(co.seqb, "sequence number") != 1) {
      return true;
    }
    if (Text(co.grpcd) == group && Text(co.rsncd) == reason) {
      exists = true;
      return false;
    }
    largest = std::max(largest, CountField(co.seqc, "sequence number"));
    return true;
  });
  if (exists) return true;
  if (!cob.appendBlank()) return false;
  f4assignInt(co.claim, claim);
  f4assign(co.type, "CL");
  f4assignInt(co.seqa, line);
  f4assignInt(co.seqb, 1);
  f4assignInt(co.seqc, largest + 1);
  f4assign(co.grpcd, std::string(group).c_str());
  f4assign(co.rsncd, std::string(reason).c_str());
  f4assignDouble(co.amount, amount);
  return cob.writeCurrent();
}

// "Last, First Middle" as the three parts; a text without a comma is all
// last name.
void SplitPersonName(const std::string& name, std::string* last, std::string* first,
                     std::string* middle) {
  *last = name;
  const size_t comma = name.find(',');
  if (comma == std::string::npos) return;
  *last = TrimControl(std::string_view(name).substr(0, comma));
  const std::string rest = TrimControl(std::string_view(name).substr(comma + 1));
  const size_t blank = rest.find(' ');
  *first = TrimControl(std::string_view(rest).substr(0, blank));
  if (blank != std::string::npos) *middle = TrimControl(std::string_view(rest).substr(blank));
}

// The line's narrative memo as NKL reference rows, one per piece, unless the
// line has narrative rows already.
bool AddLineNarrative(const ConversionTable& refs, const RefRowFields& re, const RowWalk& walk,
                      long claim, long line, C4Field memo, C4Field memoType) {
  const std::string narrative = MemoText(memo);
  if (TrimControl(narrative).empty()) return true;
  std::string type = Text(memoType);
  if (type.empty()) type = "ADD";
  bool exists = false;
  walk.run(claim, [&] {
    if (CountField(re.seqb, "sequence number") == line) {
      exists = true;
      return false;
    }
    return true;
  });
  if (exists) return true;
  const std::vector<std::string> pieces = SplitNarrativeLines(narrative);
  for (size_t i = 0; i < pieces.size(); ++i) {
    if (!refs.appendBlank()) return false;
    f4assignInt(re.claim, claim);
    f4assign(re.type, "NKL");
    f4assignInt(re.seqa, 0);
    f4assignInt(re.seqb, line);
    f4assignInt(re.seqc, static_cast<long>(i) + 1);
    f4assign(re.segid, type == "K3" ? "K3" : "NTE");
    f4assign(re.nttyp, type.c_str());
    f4assign(re.nrtva, pieces[i].c_str());
    if (!refs.writeCurrent()) return false;
  }
  return true;
}

// The line's two reference numbers with their types.
struct LineRefFields {
  C4Field number[2] = {0, 0};
  C4Field type[2] = {0, 0};
};

// The line's reference numbers as MSCL id rows, numbered from 1 in the order
// given, unless the line has such rows already.
bool AddLineRefs(const ConversionTable& ids, const IdRowFields& id, const RowWalk& walk,
                 long claim, long line, const LineRefFields& f) {
  const std::string number[2] = {Text(f.number[0]), Text(f.number[1])};
  const std::string numberType[2] = {Text(f.type[0]), Text(f.type[1])};
  if (number[0].empty() && number[1].empty()) return true;
  bool exists = false;
  walk.run(claim, [&] {
    if (CountField(id.seqb, "sequence number") == line) {
      exists = true;
      return false;
    }
    return true;
  });
  long count = 0;
  for (int k = 0; k < 2 && !exists; ++k) {
    if (number[k].empty()) continue;
    if (AppendIdRow(ids, id, claim, "MSCL", line, count + 1, number[k], numberType[k]) !=
        AppendResult::Written) {
      return false;
    }
    ++count;
  }
  return true;
}

}  // namespace

bool Convert0169(const std::string& oldFolder, const std::string& newFolder) {
  const C4Context c = RunContext();
  ErrorStateScope scope(c);
  ConversionTable lines(c, oldFolder, "bslinesa", "L_CLAIM");
  if (!lines.ok()) return false;
  ConversionTable names(c, newFolder, "bsrecnm", "BY_TYPE");
  if (!names.ok()) return false;
  ConversionTable refs(c, newFolder, "bsrecrn", "BY_CLMTYP");
  if (!refs.ok()) return false;
  ConversionTable ids(c, newFolder, "bsrecid", "BY_TYPE");
  if (!ids.ok()) return false;
  ConversionTable cob(c, newFolder, "bscob", "BY_CLMTYP");
  if (!cob.ok()) return false;
  NameRowFields nm;
  RefRowFields re;
  IdRowFields id;
  CobRowFields co;
  if (!nm.load(names) || !re.load(refs) || !id.load(ids) || !co.load(cob)) return false;
  const C4Field claimField = lines.field("CLAIM"), lineField = lines.field("LINE");
  if (claimField == 0 || lineField == 0) return false;
  auto fld = [&](const char* name) { return lines.field(name); };
  const C4Field pursvnm = fld("LA_PURSVNM");
  const C4Field people[3][5] = {
      {0, fld("LA_ORDRLN"), fld("LA_ORDRFN"), fld("LA_ORDRMI"), fld("LA_ORDRSX")},
      {0, fld("LA_REFRLN"), fld("LA_REFRFN"), fld("LA_REFRMI"), fld("LA_REFRSX")},
      {0, fld("LA_SUPRLN"), fld("LA_SUPRFN"), fld("LA_SUPRMI"), fld("LA_SUPRSX")}};
  static const char* const kPeople[3][2] = {{"ORDL", "DK"}, {"REFL", "DN"}, {"SUPL", "DQ"}};
  const C4Field nrtv = fld("LA_NRTV"), nrtvtp = fld("LA_NRTVTP");
  const LineRefFields lineRefFields{{fld("LA_REFNO1"), fld("LA_REFNO2")},
                                    {fld("LA_REFTP1"), fld("LA_REFTP2")}};
  const C4Field deduct = fld("LA_DEDUCT"), coins = fld("LA_COINS");
  code4errorCode(c, 0);
  const LineNameCall appendName{names, nm};
  const RowWalk narratives{refs, re.type, "NKL"};
  const RowWalk lineRefs{ids, id.type, "MSCL"};

  const bool walked = lines.forEachLive([&] {
    const long claim = IntegerField(claimField, "claim number");
    const long line = IntegerField(lineField, "line number");

    const std::string name = Text(pursvnm);
    if (!name.empty()) {
      std::string last, first, middle;
      SplitPersonName(name, &last, &first, &middle);
      if (!appendName(claim, line, "PSSL", "QB", last, first, middle, "")) return false;
    }
    for (int k = 0; k < 3; ++k) {
      if (!appendName(claim, line, kPeople[k][0], kPeople[k][1], Text(people[k][1]),
                      Text(people[k][2]), Text(people[k][3]), Text(people[k][4]))) {
        return false;
      }
    }
    if (!AddLineNarrative(refs, re, narratives, claim, line, nrtv, nrtvtp)) return false;
    if (!AddLineRefs(ids, id, lineRefs, claim, line, lineRefFields)) return false;
    return AppendLineAdjustment(cob, co, claim, line, "PR", "1", NumberField(deduct)) &&
           AppendLineAdjustment(cob, co, claim, line, "PR", "2", NumberField(coins));
  });
  if (!walked) return false;
  return names.reindex() && refs.reindex() && ids.reindex() && cob.reindex();
}

}  // namespace talvex::tabmend::conversions
