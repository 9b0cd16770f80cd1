#include "sample_data.h"
#include "sample_conversion_data.h"

#include <cmath>
#include <cstdio>
#include <utility>

#include "platform/file_system.h"
#include "releases/clone_writer.h"

namespace talvex::host {
namespace {

using releases::ClaimFamily;
using releases::FieldLayout;
using releases::TableLayout;

// splitmix64: small, fast and the same everywhere.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  int below(int n) { return n <= 0 ? 0 : static_cast<int>(next() % static_cast<uint64_t>(n)); }

 private:
  uint64_t state_;
};

uint64_t Mix(uint64_t seed, const std::string& text) {
  uint64_t h = seed ^ 0xCBF29CE484222325ull;
  for (unsigned char c : text) h = (h ^ c) * 0x100000001B3ull;
  return h;
}

const char* const kLastNames[] = {"SMITH", "JOHNSON", "WILLIAMS", "BROWN", "JONES", "GARCIA",
                                  "MILLER", "DAVIS", "RODRIGUEZ", "MARTINEZ", "HERNANDEZ",
                                  "LOPEZ", "GONZALEZ", "WILSON", "ANDERSON", "THOMAS"};
const char* const kFirstNames[] = {"MARY", "JAMES", "PATRICIA", "JOHN", "JENNIFER", "ROBERT",
                                   "LINDA", "MICHAEL", "ELIZABETH", "WILLIAM", "SUSAN", "DAVID"};
const char* const kCities[] = {"SPRINGFIELD", "RIVERSIDE", "FAIRVIEW", "MADISON", "GEORGETOWN",
                               "CLINTON", "ARLINGTON", "SALEM"};
const char* const kStates[] = {"OH", "PA", "NY", "TX", "IL", "WI", "IN", "MI"};
const char* const kStreets[] = {"MAIN ST", "OAK AVE", "PINE RD", "MAPLE DR", "CEDAR LN",
                                "ELM ST", "LAKE VIEW BLVD"};

template <size_t N>
const char* Pick(Random& r, const char* const (&list)[N]) {
  return list[r.below(static_cast<int>(N))];
}

bool Contains(const std::string& name, const char* part) {
  return name.find(part) != std::string::npos;
}

std::string Digits(Random& r, int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += static_cast<char>('0' + r.below(10));
  return out;
}

std::string DateText(Random& r) {
  char text[40];
  std::snprintf(text, sizeof text, "%04d%02d%02d", 2001 + r.below(8), 1 + r.below(12),
                1 + r.below(28));
  return text;
}

std::string CharValue(const FieldLayout& field, Random& r, int record) {
  const std::string& n = field.name;
  const int len = field.len;
  std::string value;
  if (Contains(n, "LNAME") || Contains(n, "L_NAME") || Contains(n, "LASTNAME")) {
    value = Pick(r, kLastNames);
  } else if (Contains(n, "FNAME") || Contains(n, "F_NAME") || Contains(n, "FIRSTNAME")) {
    value = Pick(r, kFirstNames);
  } else if (Contains(n, "NAME") || Contains(n, "DESC")) {
    value = std::string(Pick(r, kLastNames)) + " " + Pick(r, kFirstNames);
  } else if (Contains(n, "CITY")) {
    value = Pick(r, kCities);
  } else if (len == 2 && (Contains(n, "ST") || Contains(n, "STATE"))) {
    value = Pick(r, kStates);
  } else if (Contains(n, "ADDR") || Contains(n, "STREET")) {
    value = std::to_string(100 + r.below(9900)) + " " + Pick(r, kStreets);
  } else if (Contains(n, "ZIP")) {
    value = Digits(r, std::min(len, 9));
  } else if (Contains(n, "NPI")) {
    value = Digits(r, std::min(len, 10));
  } else if (Contains(n, "PHONE") || Contains(n, "FAX")) {
    value = Digits(r, std::min(len, 10));
  } else if (len == 8 && (Contains(n, "DATE") || Contains(n, "DT"))) {
    value = DateText(r);
  } else if (len <= 2) {
    value = std::string(1, static_cast<char>('A' + r.below(6)));
  } else {
    // A readable code: the field's own name part and a number.
    std::string stem = n.substr(n.find('_') == std::string::npos ? 0 : n.find('_') + 1);
    value = stem.substr(0, 4) + std::to_string(record % 1000 + r.below(100));
  }
  if (static_cast<int>(value.size()) > len) value.resize(static_cast<size_t>(len));
  return value;
}

std::string MemoValue(Random& r, int record) {
  if (record % 7 == 3) return "";
  std::string text = "Note " + std::to_string(record) + ": patient seen, claim prepared.";
  if (record % 5 == 0) {
    // Longer than any character field, so a record copy must carry it whole.
    while (text.size() < 600) text += " Follow-up requested by payer " + Digits(r, 5) + ".";
  }
  return text;
}

void AssignNumber(C4Field f, const FieldLayout& field, Random& r) {
  int intDigits = field.len - (field.dec > 0 ? field.dec + 1 : 0);
  if (intDigits < 1) intDigits = 1;
  const int usable = std::min(intDigits - (intDigits > 1 ? 1 : 0), 6);
  const long limit = static_cast<long>(std::pow(10.0, usable));
  const long whole = r.below(static_cast<int>(limit));
  if (field.dec > 0) {
    f4assignDouble(f, static_cast<double>(whole) + r.below(100) / 100.0);
  } else {
    f4assignInt(f, whole);
  }
}

bool IsClaimField(const std::string& n) {
  return n == "CLAIM" || (n.size() > 6 && n.compare(n.size() - 6, 6, "_CLAIM") == 0);
}
bool IsLineField(const std::string& n) {
  return n == "LINE" || (n.size() > 5 && n.compare(n.size() - 5, 5, "_LINE") == 0);
}

void AssignKey(C4Field f, const FieldLayout& field, long value) {
  if (field.type == 'N' || field.type == 'F') {
    f4assignInt(f, value);
  } else {
    char text[32];
    std::snprintf(text, sizeof text, "%*ld", field.len, value);  // right-aligned, as ClaimKey
    f4assign(f, text);
  }
}

enum class TableRole { ClaimHeader, ClaimLines, ClaimPayers, ClaimRows, Standing };

TableRole RoleOf(const TableLayout& layout) {
  if (layout.base == "bcclaim" || layout.base == "bsclaim") return TableRole::ClaimHeader;
  bool claim = false, line = false;
  for (const FieldLayout& f : layout.fields) {
    claim = claim || IsClaimField(f.name);
    line = line || IsLineField(f.name);
  }
  if (!claim) return TableRole::Standing;
  if (line) return TableRole::ClaimLines;
  if (layout.base.find("cpayer") != std::string::npos) return TableRole::ClaimPayers;
  return TableRole::ClaimRows;
}

int StandingCount(const std::string& base, int claims) {
  if (base == "submit") return 1;
  if (base == "patient") return std::max(12, claims / 3);
  if (base == "bsroster") return std::max(3, claims / 25);
  if (base == "bsrostln") return std::max(12, claims / 5);
  if (base == "bcprov" || base == "bsprov") return 8;
  if (base == "payer") return 15;
  if (base == "isec") return 6;
  return 6;
}


// ---- Rosters ready for generation ---------------------------------------

using Row = std::vector<std::pair<std::string, std::string>>;

// Appends rows to folder/base.dbf, keys included; a field the layout lacks is
// left out, so older layouts take what they can hold.
bool AppendRows(C4Context c, const std::string& folder, const std::string& base,
                const std::vector<Row>& rows, std::string* error) {
  const std::string path = folder + base + ".dbf";
  C4Table t = d4open(c, path.c_str());
  if (t == 0) {
    if (error) *error = "cannot open " + path;
    code4errorCode(c, 0);
    return false;
  }
  C4Index index = 0;
  if (platform::isFile(folder + base + ".mdx")) index = i4open(t, (folder + base + ".mdx").c_str());
  bool ok = true;
  for (const Row& row : rows) {
    ok = d4appendStart(t, 0) == 0 && d4blank(t) == 0;
    for (const auto& [name, value] : row) {
      if (!ok) break;
      C4Field f = d4field(t, name.c_str());
      if (f == 0) {
        code4errorCode(c, 0);
        continue;
      }
      ok = f4assign(f, value.c_str()) >= 0;
    }
    ok = ok && d4append(t) == 0 && d4unlock(t) == 0;
    if (!ok) break;
  }
  if (!ok && error) *error = "cannot append to " + path + ": " + error4text(c, code4errorCode(c, 0));
  if (index != 0) i4close(index);
  d4close(t);
  code4errorCode(c, 0);
  return ok;
}

constexpr int32_t kFirstSampleRoster = 2000001;  // above every number the filler draws

struct RosterPlan {
  std::string what;
  int32_t expected;
  std::string type, hcpcs, vaccine, admin;
  std::string lob = "MCB";
  std::string serviceDate = "20240202";
  int lines = 2;
  Row header = {};  // extra or replaced header fields
  Row line = {};    // extra fields of every line
  bool duplicateLine = false;
  bool gapInLines = false;
};

struct RosterFolder {
  std::string relative;  // "" = the data folder itself
  std::string submitter; // "" = keep the data folder's own SUBMIT
  std::vector<std::string> settings;  // BSRSTER.CTL; empty = the installation's
  std::vector<std::string> ini;       // TALVEX32.INI beside the tables
  std::vector<RosterPlan> rosters;
};

Row Referring() {
  return {{"R_REFNPI", "1234567893"}, {"R_UPIN", "1234567893"}, {"R_IDTP", "XX"},
          {"R_REFLNAME", "WELBY"},    {"R_REFFNAME", "MARCUS"}, {"R_REFMI", "A"},
          {"R_REFSX", "JR"},          {"R_REFSTATE", "OH"},     {"R_REFTAXID", "311234567"},
          {"R_REFTAXTP", "E"},        {"R_FACNPI", "1245319599"}, {"R_FACID", "FAC001"},
          {"R_FACIDTP", "G2"},        {"R_FACNAME", "COUNTY HEALTH CLINIC"},
          {"R_FACADD1", "10 CLINIC WAY"}, {"R_FACCITY", "SALEM"}, {"R_FACST", "OH"},
          {"R_FACZIP", "44460"},      {"R_FACTP", "FA"},        {"R_FACTAXID", "319876543"},
          {"R_FACTAXTP", "S"}};
}

Row InsuredSpouse() {
  return {{"RL_AOB", "N"},         {"RL_SRC", "P"},          {"RL_PREL", "01"},
          {"RL_ILNAME", "ROE"},    {"RL_IFNAME", "RICHARD"}, {"RL_IINIT", "B"},
          {"RL_IADDR1", "5 OAK AVE"}, {"RL_ICITY", "SALEM"}, {"RL_ISTATE", "OH"},
          {"RL_IZIP", "44460"},    {"RL_DIAG", "Z23"},       {"RL_DIAGVS", "0"}};
}

std::vector<RosterFolder> RosterFolders() {
  const Row individual = {{"R_PROVTYPE", "I"}, {"R_PROVID", "RSTDOC3"}, {"R_PROVSEQ", "90000003"},
                          {"R_PROVGSQ", "90000002"}, {"R_PROVGRP", "RSTGRP2"}};
  std::vector<RosterFolder> folders;
  folders.push_back({"", "", {}, {}, {
      {"influenza", 0, "I", "90658", "20.00", "15.00", "MCB", "20240202", 3},
      {"influenza G9142, individual in a group", 0, "I", "G9142", "20.00", "15.00", "MCB",
       "20240202", 2, individual},
      {"influenza, code outside the vaccine ranges", 0, "I", "J3490", "0.00", "18.00"},
      {"pneumonia, zero vaccine amount", 0, "P", "90732", "0.00", "25.00"},
      {"hepatitis", 0, "H", "90746", "45.00", "15.00"},
      {"Tdap", 0, "T", "90715", "38.00", "15.00"},
      {"meningococcal", 0, "M", "90734", "110.00", "15.00"},
      {"COVID-19", 0, "V", "91300", "0.00", "40.00"},
      {"diabetes", 0, "D", "99211", "0.00", "40.00"},
      {"cardiac", 0, "B", "99211", "0.00", "40.00"},
      {"heart failure", 0, "C", "99211", "0.00", "40.00"},
      {"asthma", 0, "A", "99211", "0.00", "40.00"},
      {"attention deficit", 0, "E", "99211", "0.00", "40.00"},
      {"type R: the administration amount bills", 0, "R", "99211", "10.00", "25.00"},
      {"a type without defaults", 0, "X", "99499", "12.00", "8.00"},
      {"pneumonia before ICD-10", 0, "P", "90732", "30.00", "25.00", "MCB", "20150930"},
      {"influenza with referring, facility, insured and diagnosis", 0, "I", "90658", "20.00",
       "15.00", "MCB", "20240202", 2, Referring(), InsuredSpouse()},
      {"lines 1, 2 and 4: line 4 is never reached", 0, "P", "90732", "30.00", "25.00", "MCB",
       "20240202", 3, {}, {}, false, true},
      {"a duplicate line rejects the roster", 13, "P", "90732", "30.00", "25.00", "MCB",
       "20240202", 3, {}, {}, true},
  }});
  folders.push_back({"rosters\\sub00820\\", "00820", {}, {"[General]", "EnableIcd10CodeSupport=1"}, {
      {"00820 diabetes", 0, "D", "99211", "0.00", "40.00"},
      {"00820 hypertension", 0, "H", "99211", "0.00", "40.00"},
      {"00820 COVID-19", 0, "V", "0001A", "0.00", "40.00"},
      {"00820 influenza G9142 on BS", 0, "I", "G9142", "20.00", "15.00", "BS", "20240202", 2,
       {{"R_PROVID", "RSTPROV5"}, {"R_PROVSEQ", "90000005"}}},
  }});
  for (const char* code : {"00150", "00650"}) {
    const std::string sub = code;
    folders.push_back({"rosters\\sub" + sub + "\\", sub, {}, {"[General]", "EnableIcd10CodeSupport=1"}, {
        {sub + " influenza on MCB", 0, "I", "90658", "20.00", "15.00"},
        {sub + " influenza on MCD", 0, "I", "90658", "20.00", "15.00", "MCD", "20240202", 2,
         {{"R_PROVID", "RSTPROV4"}, {"R_PROVSEQ", "90000004"}}},
    }});
  }
  folders.push_back({"rosters\\settings\\", "", {
      "Max_Lines_Per_Roster_Billing=12", "Auto_Generate_Patient_Control_Numbers=NO",
      "Save_Claims_With_Clean_Status=YES", "Allow_Non_Medicare_Roster_Billing=YES",
      "Skip_Zero_Amount_Vaccine_Service_Lines=YES", "Skip_Zero_Amount_Admin_Service_Lines=YES",
      "Central_Flu_Biller_Default=YES", "Needs_Central_Flu_Biller_Prompt=NO",
      "Influenza_Hcpcs_Override=90658,90662", "Pneumonia_Hcpcs_Override=90732",
      "Influenza_Diagnosis_Override=V0482", "Influenza_Diagnosis_ICD10_Override=Z23",
      "Pneumonia_Diagnosis_Override=V0382", "Pneumonia_Diagnosis_ICD10_Override=Z230",
      "Hepatitis_Diagnosis_Override=V0530", "Hepatitis_Diagnosis_ICD10_Override=Z231",
      "Tdap_Diagnosis_Override=V0610", "Tdap_Diagnosis_ICD10_Override=Z232",
      "Meningococcal_Diagnosis_Override=V0390", "Meningococcal_Diagnosis_ICD10_Override=Z233",
      "Covid19_Diagnosis_Override=Z2311"},
      // MCB claims of 2024 on: ICD-9 by rule; other lines of business ICD-10.
      {"[General]", "EnableIcd10CodeSupport=1", "", "[Claim]",
       "Master1500IcdVersionControlSettings=MCB::20240101::9:0"}, {
      {"central flu biller by default", 0, "I", "90658", "20.00", "15.00"},
      {"zero vaccine line skipped", 0, "P", "90732", "0.00", "25.00"},
      {"zero administration line skipped", 0, "H", "90746", "45.00", "0.00"},
      {"ICD-10 overrides off the rule", 0, "P", "90732", "30.00", "25.00", "MCD", "20240202", 2,
       {{"R_PROVID", "RSTPROV4"}, {"R_PROVSEQ", "90000004"}}},
      {"Tdap and meningococcal overrides", 0, "T", "90715", "38.00", "15.00"},
      {"meningococcal override", 0, "M", "90734", "110.00", "15.00"},
  }});
  folders.push_back({"rosters\\icd9\\", "", {}, {"[General]", "EnableIcd10CodeSupport=0"}, {
      {"influenza without ICD-10 support", 0, "I", "90658", "20.00", "15.00"},
      {"Tdap without ICD-10 support", 0, "T", "90715", "38.00", "15.00"},
  }});
  // Asks the question; without a terminal the default (No) answers it.
  folders.push_back({"rosters\\fluprompt\\", "",
                     {"Needs_Central_Flu_Biller_Prompt=YES", "Central_Flu_Biller_Default=NO"},
                     {"[General]", "EnableIcd10CodeSupport=1"}, {
      {"influenza, central flu biller asked", 0, "I", "90658", "20.00", "15.00"},
  }});
  return folders;
}

std::vector<Row> StandingRosterRows(const std::string& base) {
  if (base == "bsprov") {
    auto prov = [](const char* seq, const char* type, const char* id, const char* lob) {
      return Row{{"P_RECSEQ", seq},     {"P_TYPE", type},        {"P_ID", id},
                 {"P_IDTP", "XX"},      {"P_ID_LOB", lob},       {"P_NPI", "1234567893"},
                 {"P_FEDTAXID", "311111111"}, {"P_FEDTAXTP", "E"}, {"P_ASSIGNED", "Y"},
                 {"P_SIGIND", "Y"},     {"P_SIGDATE", "20230101"}, {"P_LNAME", id}};
    };
    return {prov("90000001", "S", "RSTPROV1", "MCB"), prov("90000002", "G", "RSTGRP2", "MCB"),
            prov("90000003", "I", "RSTDOC3", "MCB"), prov("90000004", "S", "RSTPROV4", "MCD"),
            prov("90000005", "S", "RSTPROV5", "BS")};
  }
  if (base == "payer") {
    auto payer = [](const char* lob, const char* usage, const char* desc) {
      return Row{{"PAYID", "RSTPAY01"}, {"PAYLOB", lob}, {"PAYUSAGE", usage},
                 {"PAYDESC", desc}, {"PAYFULDESC", desc}, {"PAYADDR1", "PO BOX 100"},
                 {"PAYCITY", "COLUMBUS"}, {"PAYSTATE", "OH"}, {"PAYZIP", "43215"},
                 {"PAYSOURCE", "MB"}, {"PAYCLMEDIT", "MCR"}};
    };
    // The first MCB record is used up: generation passes it over.
    return {payer("MCB", "U", "MEDICARE (OLD ADDRESS)"), payer("MCB", "", "MEDICARE PART B"),
            payer("MCD", "", "STATE MEDICAID"), payer("BS", "", "BLUE SHIELD")};
  }
  return {};
}

bool WriteRosters(C4Context c, const std::string& folder, const std::vector<RosterPlan>& rosters,
                  int32_t* number, std::string* error) {
  std::vector<Row> headers, lines;
  for (const RosterPlan& plan : rosters) {
    const int32_t n = (*number)++;
    Row header = {{"R_ROSTER", std::to_string(n)}, {"R_SEQNO", "0001"},
                  {"R_ENTERED", "20240203"},        {"R_CLERK", "DEMO"},
                  {"R_CLINIC", "FLU CLINIC"},       {"R_PAYERID", "RSTPAY01"},
                  {"R_PAYERLOB", plan.lob},         {"R_PROVID", "rstprov1"},
                  {"R_PROVSEQ", "90000001"},        {"R_PROVTYPE", "S"},
                  {"R_POS", "60"},                  {"R_SERVDATE", plan.serviceDate},
                  {"R_TYPE", plan.type},            {"R_HCPCS", plan.hcpcs},
                  {"R_PROCDSC", plan.what},         {"R_VACCINE", plan.vaccine},
                  {"R_ADMIN", plan.admin},          {"R_LOCATION", "RE"}};
    for (const auto& [field, value] : plan.header) {
      bool replaced = false;
      for (auto& entry : header) {
        if (entry.first == field) {
          entry.second = value;
          replaced = true;
        }
      }
      if (!replaced) header.emplace_back(field, value);
    }
    headers.push_back(header);
    char key[16];
    std::snprintf(key, sizeof key, "%010d", static_cast<int>(n));
    for (int i = 1; i <= plan.lines; ++i) {
      const int line = plan.gapInLines && i == plan.lines ? i + 1 : i;
      const int patient = plan.duplicateLine && i == plan.lines ? 1 : i;
      char pcn[24];
      std::snprintf(pcn, sizeof pcn, "R%07d-%02d", static_cast<int>(n % 10000000), patient);
      Row row = {{"RL_ROSTER", key},         {"RL_LINE", std::to_string(line)},
                 {"RL_PCN", pcn},            {"RL_HIC", std::string(pcn) + "A"},
                 {"RL_LNAME", kLastNames[(n + patient) % 16]},
                 {"RL_FNAME", kFirstNames[(n + patient) % 12]},
                 {"RL_SEX", patient % 2 ? "F" : "M"}, {"RL_DOB", "19450312"},
                 {"RL_ADDR1", "12 MAPLE DR"}, {"RL_CITY", "SALEM"}, {"RL_STATE", "OH"},
                 {"RL_ZIP", "44460"}};
      row.insert(row.end(), plan.line.begin(), plan.line.end());
      lines.push_back(row);
    }
  }
  return AppendRows(c, folder, "bsroster", headers, error) &&
         AppendRows(c, folder, "bsrostln", lines, error);
}

const TableLayout* FindLayout(const std::vector<TableLayout>& tables, const char* base) {
  for (const TableLayout& t : tables) {
    if (t.base == base) return &t;
  }
  return nullptr;
}

// The claim counter of the first UTILMAST record, set above every sample
// claim number, so that new claims never share a number with old ones.
bool RaiseClaimCounter(C4Context c, const std::string& folder, std::string* error) {
  const std::string path = folder + "utilmast.dbf";
  C4Table t = d4open(c, path.c_str());
  bool ok = t != 0;
  if (ok && d4recCount(t) == 0) {
    d4close(t);
    return AppendRows(c, folder, "utilmast", {{{"ID_7", "900000"}}}, error);
  }
  C4Field id = ok ? d4field(t, "ID_7") : 0;
  ok = ok && id != 0 && d4goLow(t, 1, 1) == 0 && f4assignInt(id, 900000) >= 0 &&
       d4writeLow(t, 1, 0, 1) == 0;
  if (!ok && error) *error = "cannot set the claim counter in " + path;
  if (t != 0) d4close(t);
  code4errorCode(c, 0);
  return ok;
}

bool WriteSampleRosters(C4Context c, const std::string& dataFolder,
                        const std::vector<TableLayout>& tables, std::string* error) {
  static const char* const kNeeded[] = {"bsclaim", "bscpayer", "bslines", "bslinesa",
                                        "bsroster", "bsrostln", "bsprov", "payer",
                                        "submit", "utilmast"};
  static const char* const kOptional[] = {"bsrecnm", "bsrecid"};
  for (const char* base : kNeeded) {
    if (FindLayout(tables, base) == nullptr) return true;  // a release without rosters
  }
  int32_t number = kFirstSampleRoster;
  for (const RosterFolder& f : RosterFolders()) {
    const std::string folder = dataFolder + f.relative;
    if (!f.relative.empty()) {
      (void)platform::createDirectoryPath(folder);  // else the first table fails
      for (const char* base : kNeeded) {
        if (!releases::CreateTable(c, folder, *FindLayout(tables, base), error)) return false;
      }
      for (const char* base : kOptional) {
        const TableLayout* layout = FindLayout(tables, base);
        if (layout != nullptr && !releases::CreateTable(c, folder, *layout, error)) return false;
      }
      std::vector<std::string> settings = f.settings;
      if (settings.empty()) (void)platform::readTextLines(dataFolder + "BSRSTER.CTL", &settings);  // none: empty
      if (!platform::writeTextLines(folder + "BSRSTER.CTL", settings) ||
          !platform::writeTextLines(folder + "TALVEX32.INI", f.ini)) {
        *error = "cannot write the settings of " + folder;
        return false;
      }
    }
    if (!f.submitter.empty() &&
        !AppendRows(c, folder, "submit", {{{"S_TYPE", "1"}, {"S_INTER", f.submitter},
                                           {"S_NAME", "DEMO CARRIER " + f.submitter}}}, error)) {
      return false;
    }
    if (!AppendRows(c, folder, "bsprov", StandingRosterRows("bsprov"), error) ||
        !AppendRows(c, folder, "payer", StandingRosterRows("payer"), error) ||
        !RaiseClaimCounter(c, folder, error) || !WriteRosters(c, folder, f.rosters, &number, error)) {
      return false;
    }
  }
  return true;
}
}  // namespace

std::vector<SampleRoster> SampleRosters() {
  std::vector<SampleRoster> out;
  int32_t number = kFirstSampleRoster;
  for (const RosterFolder& f : RosterFolders()) {
    for (const RosterPlan& plan : f.rosters) out.push_back({f.relative, number++, plan.expected, plan.what});
  }
  return out;
}

std::vector<ArchiveFolder> SampleArchiveFolders(const SampleOptions& options) {
  const int archived = std::max(3, options.claims / 10);
  return {
      {"archub92\\2003\\", ClaimFamily::Ub, archived},
      {"archub92\\2004\\", ClaimFamily::Ub, archived},
      {"archub92\\notes\\", ClaimFamily::None, 0},
      {"arch1500\\2003\\", ClaimFamily::Professional, archived},
      {"arch1500\\2004\\", ClaimFamily::Professional, archived},
  };
}

bool FillTable(C4Context c, const std::string& folder, const TableLayout& layout, int claims,
               int firstClaim, uint64_t seed, std::string* error) {
  const std::string path = folder + layout.base + ".dbf";
  C4Table t = d4open(c, path.c_str());
  if (t == 0) {
    if (error) *error = "cannot open " + path + ": " + error4text(c, code4errorCode(c, 0));
    return false;
  }
  std::vector<C4Field> fields;
  for (const FieldLayout& f : layout.fields) fields.push_back(d4field(t, f.name.c_str()));
  code4errorCode(c, 0);

  // Seeded by table and claim range, not by folder: the same options give
  // the same records wherever the installation lives.
  Random r(Mix(seed, layout.base + ":" + std::to_string(firstClaim)));
  const TableRole role = RoleOf(layout);
  int record = 0;
  bool ok = true;
  auto append = [&](long claim, long line) {
    if (!ok) return;
    if (d4appendBlank(t) != 0) {
      ok = false;
      return;
    }
    ++record;
    for (size_t i = 0; i < fields.size(); ++i) {
      const FieldLayout& f = layout.fields[i];
      if (fields[i] == 0) continue;
      if (IsClaimField(f.name) && claim > 0) {
        AssignKey(fields[i], f, claim);
      } else if (IsLineField(f.name) && line > 0) {
        AssignKey(fields[i], f, line);
      } else if (f.type == 'C') {
        f4assign(fields[i], CharValue(f, r, record).c_str());
      } else if (f.type == 'N' || f.type == 'F') {
        AssignNumber(fields[i], f, r);
      } else if (f.type == 'D') {
        f4assign(fields[i], DateText(r).c_str());
      } else if (f.type == 'L') {
        f4assign(fields[i], r.below(2) ? "T" : "F");
      } else if (f.type == 'M') {
        f4memoAssign(fields[i], MemoValue(r, record).c_str());
      }
    }
    if (d4writeLow(t, d4recNoLow(t), 0, 1) != 0) ok = false;
    // Every 23rd record is a deleted one: an update must leave it behind.
    if (ok && record % 23 == 11 && d4delete(t) != 0) ok = false;
  };

  if (role == TableRole::Standing) {
    const int count = StandingCount(layout.base, claims);
    for (int i = 0; i < count; ++i) append(0, 0);
  } else {
    for (int k = 0; k < claims; ++k) {
      const long claim = firstClaim + k;
      switch (role) {
        case TableRole::ClaimHeader: append(claim, 0); break;
        case TableRole::ClaimLines: {
          const int lines = 1 + r.below(3);
          for (int l = 1; l <= lines; ++l) append(claim, l);
          break;
        }
        case TableRole::ClaimPayers: {
          const int payers = 1 + r.below(2);
          for (int p = 0; p < payers; ++p) append(claim, 0);
          break;
        }
        default:
          if (k % 3 == 0) append(claim, 0);
          break;
      }
    }
  }
  if (ok) ok = AddConversionSampleValues(c, t, layout, firstClaim);
  if (ok && layout.hasIndex()) {
    C4Index index = i4open(t, (folder + layout.base + ".mdx").c_str());
    ok = index != 0 && d4reindex(t) == 0;
    if (index != 0) i4close(index);
  }
  if (!ok && error) *error = "cannot fill " + path + ": " + error4text(c, code4errorCode(c, 0));
  d4close(t);
  code4errorCode(c, 0);
  return ok;
}

bool WriteSampleData(C4Context c, const std::string& dataFolder,
                     const std::vector<TableLayout>& tables, const SampleOptions& options,
                     std::string* error) {
  const int ubClaims = (options.claims + 1) / 2;
  const int proClaims = options.claims / 2;
  for (const TableLayout& layout : tables) {
    if (!releases::CreateTable(c, dataFolder, layout, error)) return false;
    const int claims = layout.family == ClaimFamily::Professional ? proClaims : ubClaims;
    if (!FillTable(c, dataFolder, layout, claims, 1, options.seed, error)) return false;
  }
  int archiveBase = 100000;
  for (const ArchiveFolder& archive : SampleArchiveFolders(options)) {
    const std::string folder = dataFolder + archive.relative;
    (void)platform::createDirectoryPath(folder);  // else the first table fails
    for (const TableLayout& layout : tables) {
      if (archive.family == ClaimFamily::None || layout.family != archive.family) continue;
      if (!releases::CreateTable(c, folder, layout, error)) return false;
      if (!FillTable(c, folder, layout, archive.claims, archiveBase, options.seed, error)) {
        return false;
      }
    }
    archiveBase += 100000;
  }
  // A folder without claim tables: an update must never touch it.
  if (!platform::writeWholeFile(dataFolder + "archub92\\notes\\readme.txt",
                               "Scanned remittance notes; no claim tables here.\r\n")) {
    *error = "cannot write " + dataFolder + "archub92\\notes\\readme.txt: " + platform::lastFileError();
    return false;
  }
  return WriteSampleRosters(c, dataFolder, tables, error);
}

}  // namespace talvex::host
