// Conversions that fill fields a new layout introduces from values the old
// layout held elsewhere, or set them to fixed values.
#include <algorithm>
#include <cstdio>
#include <map>
#include <stdexcept>
#include <string>

#include "conversions/conversion_frame.h"
#include "platform/ascii_text.h"
#include "conversions/conversions.h"
#include "driver/run_state.h"
#include "platform/exception_text.h"

namespace talvex::tabmend::conversions {
namespace {

using talvex::ascii::isDigit;

bool HospitalForm(const std::string& id) {
  return id.size() == 6 && id[2] == '0' && ascii::isDigit(id[3]) && ascii::isDigit(id[4]) && ascii::isDigit(id[5]);
}

}  // namespace

std::string CleanNarrativeText(std::string_view text) {
  std::string s(text);
  for (size_t at; (at = s.find("\r\n")) != std::string::npos;) {
    s = TrimControl(s.substr(0, at) + " " + s.substr(at + 2));
  }
  for (char& ch : s) {
    const auto u = static_cast<unsigned char>(ch);
    if (u < 32 || u >= 127) ch = ' ';
  }
  return TrimControl(s);
}

bool Convert0121(const std::string& dataFolder, const std::string& workFolder) {
  const C4Context c = RunContext();
  ErrorStateScope scope(c);
  ConversionTable patients(c, workFolder, "patient", "");
  if (!patients.ok()) return false;
  ConversionTable old(c, dataFolder, "patient", "BY_PCN");
  if (!old.ok()) return false;
  const C4Field pcn = patients.field("PT_PCN"), cbsa = patients.field("PT_CBSA");
  const C4Field msa = old.field("PT_MSA");
  if (pcn == 0 || cbsa == 0 || msa == 0) return false;
  code4errorCode(c, 0);
  return patients.forEachLive([&] {
    if (!Text(cbsa).empty()) return true;
    if (d4seek(old.get(), RawText(pcn).c_str()) != 0) return true;
    const std::string value = Text(msa);
    if (value.empty()) return true;
    f4assign(cbsa, value.c_str());
    return patients.writeCurrent();
  });
}

bool Convert0147(const std::string& workFolder, const std::string& base) {
  const C4Context c = RunContext();
  ErrorStateScope scope(c);
  ConversionTable providers(c, workFolder, base.empty() ? "bcprov" : base, "");
  if (!providers.ok()) return false;
  const C4Field lob = providers.field("P_ID_LOB"), flag = providers.field("P_POAREQD"),
                id = providers.field("P_ID"), idtp = providers.field("P_IDTP"),
                id1 = providers.field("P_ANSIID1"), tp1 = providers.field("P_ANSITP1"),
                id2 = providers.field("P_ANSIID2"), tp2 = providers.field("P_ANSITP2");
  if (!lob || !flag || !id || !idtp || !id1 || !tp1 || !id2 || !tp2) return false;
  code4errorCode(c, 0);
  return providers.forEachLive([&] {
    if (Text(lob) != "MCA") return true;
    const std::string type = Text(idtp);
    const bool needs = ((type.empty() || type == "1C") && HospitalForm(Text(id))) ||
                       (Text(tp1) == "1C" && HospitalForm(Text(id1))) ||
                       (Text(tp2) == "1C" && HospitalForm(Text(id2)));
    if (!needs) return true;
    f4assign(flag, "Y");
    return providers.writeCurrent();
  });
}

bool Convert0153(const std::string& oldFolder, const std::string& newFolder) {
  const C4Context c = RunContext();
  ErrorStateScope scope(c);
  ConversionTable claims(c, oldFolder, "bcclaim", "CLM_ALL");
  if (!claims.ok()) return false;
  ConversionTable codes(c, newFolder, "bcccodes", "BY_TYPESEQ");
  if (!codes.ok()) return false;
  const C4Field claimField = claims.field("CLAIM");
  const C4Field days[4] = {claims.field("C_COVDAYS"), claims.field("C_NCOVDAY"),
                           claims.field("C_CODAYS"), claims.field("C_LTRDAYS")};
  if (!days[0] || !days[1] || !days[2] || !days[3]) return true;
  const C4Field cdClaim = codes.field("CD_CLAIM"), cdType = codes.field("CD_TYPE"),
                cdSeq = codes.field("CD_SEQ"), cdCode = codes.field("CD_CODE"),
                cdAmount = codes.field("CD_AMOUNT");
  if (!claimField || !cdClaim || !cdType || !cdSeq || !cdCode || !cdAmount) return false;
  code4errorCode(c, 0);
  static const char* const kCodes[4] = {"80", "81", "82", "83"};

  const bool walked = claims.forEachLive([&] {
    const long claim = IntegerField(claimField, "claim number");
    long count[4];
    for (int k = 0; k < 4; ++k) count[k] = CountField(days[k], "day count");
    if (count[0] == 0 && count[1] == 0 && count[2] == 0 && count[3] == 0) return true;
    bool present[4] = {};
    long largest = 0;
    bool failed = false;
    codes.forEachWithKey(ClaimKey(claim) + "V", [&] {
      if (d4deleted(codes.get()) != 0 || Text(cdType) != "V") return true;
      const std::string code = Text(cdCode);
      for (int k = 0; k < 4; ++k) {
        if (code != kCodes[k]) continue;
        f4assignInt(cdAmount, count[k]);
        if (!codes.writeCurrent()) {
          code4errorCode(c, 0);
          failed = true;
          return false;
        }
        present[k] = true;
      }
      const std::string seq = Text(cdSeq);
      // A sequence that is no number counts as 0, as the host reads it.
      long number = 0;
      try {
        if (!seq.empty()) number = ParseInteger(seq, "value code sequence");
      } catch (const std::runtime_error&) {
        number = 0;
      }
      largest = std::max(largest, number);
      return true;
    });
    if (failed) return false;
    for (int k = 0; k < 4; ++k) {
      if (count[k] == 0 || present[k]) continue;
      ++largest;
      char seq[24];  // room for any long; the field keeps what fits
      std::snprintf(seq, sizeof seq, "%.2ld", largest);
      if (!codes.appendBlank()) return false;
      f4assignInt(cdClaim, claim);
      f4assign(cdType, "V");
      f4assign(cdSeq, seq);
      f4assign(cdCode, kCodes[k]);
      f4assignInt(cdAmount, count[k]);
      if (!codes.writeCurrent()) return false;
    }
    return true;
  });
  if (!walked) return false;
  return codes.pack() && codes.reindex();
}

bool Convert0163(const std::string& workFolder, const std::string&) {
  const C4Context c = RunContext();
  ErrorStateScope scope(c);
  ConversionTable submit(c, workFolder, "submit", "");
  if (!submit.ok()) return false;
  const C4Field type = submit.field("S_TYPE"), ver = submit.field("S_ANSIVER"),
                vdn = submit.field("S_ANSIVDN"), v270 = submit.field("S_ANSIV270"),
                v276 = submit.field("S_ANSIV276"), output = submit.field("S_OUTPUT");
  if (!type || !ver || !vdn || !v270 || !v276 || !output) return false;
  code4errorCode(c, 0);
  return submit.forEachLive([&] {
    f4assign(ver, "004010A1");
    f4assign(vdn, Text(type) == "1" ? "004010A1" : "");
    f4assign(v270, "004010A1");
    f4assign(v276, "004010A1");
    f4assign(output, "A");
    return submit.writeCurrent();
  });
}

namespace {

struct NarrativeItem {
  std::string text[3];
};

// The items of one claim by line number text; the first item of a line counts.
using NarrativeItems = std::multimap<std::string, NarrativeItem>;

bool FlushNarrativeItems(ConversionTable& attach, C4Field line, const C4Field memo[3],
                         long claim, const NarrativeItems& items) {
  try {
    bool ok = true;
    const std::string key = ClaimKey(claim);
    for (int rc = d4seek(attach.get(), key.c_str()); rc == 0;
         rc = d4seekNext(attach.get(), key.c_str())) {
      if (d4deleted(attach.get()) != 0) continue;
      const std::string lineKey = std::to_string(IntegerField(line, "line number"));
      const auto found = items.lower_bound(lineKey);
      if (found == items.end() || found->first != lineKey) continue;
      if (d4lockInternal(attach.get(), d4recNoLow(attach.get()), 0, 0) != 0) {
        ok = false;
        break;
      }
      for (int k = 0; k < 3; ++k) {
        if (!found->second.text[k].empty()) f4memoAssign(memo[k], found->second.text[k].c_str());
      }
    }
    return ok;
  } catch (...) {
    NoteFailureDetail("narrative conversion: " + platform::CurrentExceptionText());
    return false;
  }
}

}  // namespace

bool Convert0165(const std::string& oldFolder, const std::string& newFolder) {
  const C4Context c = RunContext();
  ErrorStateScope scope(c);
  ConversionTable old(c, oldFolder, "bsattach", "L_CLAIM");
  if (!old.ok()) return false;
  ConversionTable attach(c, newFolder, "bsattach", "L_CLAIM");
  if (!attach.ok()) return false;
  const C4Field oldMemo[3] = {old.field("A_TRIPNAR"), old.field("A_STRCNAR"),
                              old.field("A_CHIDESC")};
  if (!oldMemo[0] || !oldMemo[1] || !oldMemo[2]) return true;
  const C4Field claimField = old.field("CLAIM"), oldLine = old.field("LINE");
  const C4Field newLine = attach.field("LINE");
  const C4Field newMemo[3] = {attach.field("A_TRIPDSC"), attach.field("A_STRCDSC"),
                              attach.field("A_CHIRDSC")};
  if (!claimField || !oldLine || !newLine || !newMemo[0] || !newMemo[1] || !newMemo[2]) {
    return false;
  }
  code4errorCode(c, 0);
  NarrativeItems items;
  bool havePrevious = false;
  long previous = 0;
  const bool walked = old.forEachLive([&] {
    const long claim = IntegerField(claimField, "claim number");
    if (!havePrevious || claim != previous) {
      if (!items.empty() && !FlushNarrativeItems(attach, newLine, newMemo, previous, items)) {
        return false;
      }
      previous = claim;
      havePrevious = true;
      items.clear();
    }
    NarrativeItem item;
    for (int k = 0; k < 3; ++k) item.text[k] = CleanNarrativeText(MemoText(oldMemo[k]));
    if (!item.text[0].empty() || !item.text[1].empty() || !item.text[2].empty()) {
      items.emplace(std::to_string(IntegerField(oldLine, "line number")), item);
    }
    return true;
  });
  if (!walked) return false;
  if (!items.empty() && !FlushNarrativeItems(attach, newLine, newMemo, previous, items)) {
    return false;
  }
  return attach.pack() && attach.reindex();
}

}  // namespace talvex::tabmend::conversions
