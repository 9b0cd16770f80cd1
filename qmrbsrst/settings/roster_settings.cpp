#include "qmrbsrst/settings/roster_settings.h"

#include <optional>

#include "platform/file_system.h"
#include "qmrbsrst/settings/text_fit.h"

namespace talvex::qmrbsrst {

namespace {

// The value of the first line whose name part (before the first "=", not
// trimmed) equals the key without regard to case; nullopt when none.
std::optional<std::string> FindValue(const std::vector<std::string>& lines,
                                     std::string_view key) {
  for (const std::string& line : lines) {
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    if (SameText(std::string_view(line).substr(0, eq), key)) {
      return UpperCase(std::string_view(line).substr(eq + 1));
    }
  }
  return std::nullopt;
}

void ReadFlag(const std::vector<std::string>& lines, std::string_view key, bool* flag) {
  std::optional<std::string> value = FindValue(lines, key);
  if (value && !value->empty()) *flag = (*value == "YES");
}

void ReadText(const std::vector<std::string>& lines, std::string_view key, std::string* text) {
  std::optional<std::string> value = FindValue(lines, key);
  if (value && !value->empty()) *text = *value;
}

}  // namespace

RosterSettings ParseRosterSettings(const std::vector<std::string>& lines) {
  RosterSettings s;

  if (std::optional<std::string> v = FindValue(lines, "Max_Lines_Per_Roster_Billing");
      v && !v->empty()) {
    int32_t n = 0;
    s.maxLinesPerRoster = (ParseWholeNumber(*v, &n) && n > 0) ? n : kDefaultMaxLinesPerRoster;
  }
  ReadFlag(lines, "Auto_Generate_Patient_Control_Numbers", &s.autoGeneratePcn);
  ReadFlag(lines, "Save_Claims_With_Clean_Status", &s.saveClaimsWithCleanStatus);
  ReadFlag(lines, "Allow_Non_Medicare_Roster_Billing", &s.allowNonMedicareRosterBilling);
  ReadFlag(lines, "Skip_Zero_Amount_Vaccine_Service_Lines", &s.skipZeroAmountVaccineLines);
  ReadFlag(lines, "Skip_Zero_Amount_Admin_Service_Lines", &s.skipZeroAmountAdminLines);
  ReadFlag(lines, "Central_Flu_Biller_Default", &s.centralFluBillerDefault);
  ReadFlag(lines, "Needs_Central_Flu_Biller_Prompt", &s.needsCentralFluBillerPrompt);

  ReadText(lines, "Influenza_Hcpcs_Override", &s.influenzaHcpcsOverride);
  ReadText(lines, "Pneumonia_Hcpcs_Override", &s.pneumoniaHcpcsOverride);
  ReadText(lines, "Covid19_Hcpcs_Override", &s.covid19HcpcsOverride);
  ReadText(lines, "Hepatitis_Hcpcs_Override", &s.hepatitisHcpcsOverride);
  ReadText(lines, "Tdap_Hcpcs_Override", &s.tdapHcpcsOverride);
  ReadText(lines, "Meningococcal_Hcpcs_Override", &s.meningococcalHcpcsOverride);

  ReadText(lines, "Influenza_Diagnosis_Override", &s.influenzaDiagnosisOverride);
  ReadText(lines, "Influenza_Diagnosis_ICD10_Override", &s.influenzaDiagnosisIcd10Override);
  ReadText(lines, "Pneumonia_Diagnosis_Override", &s.pneumoniaDiagnosisOverride);
  ReadText(lines, "Pneumonia_Diagnosis_ICD10_Override", &s.pneumoniaDiagnosisIcd10Override);
  ReadText(lines, "Covid19_Diagnosis_Override", &s.covid19DiagnosisOverride);
  ReadText(lines, "Hepatitis_Diagnosis_Override", &s.hepatitisDiagnosisOverride);
  ReadText(lines, "Hepatitis_Diagnosis_ICD10_Override", &s.hepatitisDiagnosisIcd10Override);
  ReadText(lines, "Tdap_Diagnosis_Override", &s.tdapDiagnosisOverride);
  ReadText(lines, "Tdap_Diagnosis_ICD10_Override", &s.tdapDiagnosisIcd10Override);
  ReadText(lines, "Meningococcal_Diagnosis_Override", &s.meningococcalDiagnosisOverride);
  ReadText(lines, "Meningococcal_Diagnosis_ICD10_Override",
           &s.meningococcalDiagnosisIcd10Override);
  return s;
}

RosterSettings ReadRosterSettings(std::string_view dataDirectory) {
  std::string path(dataDirectory);
  path += kRosterSettingsFile;
  std::vector<std::string> lines;
  // A file that exists but cannot be read is taken as missing: the defaults
  // stand, as for a workstation without roster settings.
  if (!talvex::platform::isFile(path) || !talvex::platform::readTextLines(path, &lines)) {
    return RosterSettings{};
  }
  return ParseRosterSettings(lines);
}

}  // namespace talvex::qmrbsrst
