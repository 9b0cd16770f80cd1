// The roster settings of "BSRSTER.CTL" in the data directory.
//
// ReadRosterSettings always gives a complete set: every key missing, empty or
// unreadable keeps its default, and a file that is missing, cannot be read or
// is not text behaves as a missing file. Values are upper case. Pure result
// value; nothing is cached between calls. Safe from any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace talvex::qmrbsrst {

inline constexpr const char* kRosterSettingsFile = "BSRSTER.CTL";
inline constexpr int kDefaultMaxLinesPerRoster = 99;

struct RosterSettings {
  int maxLinesPerRoster = kDefaultMaxLinesPerRoster;
  bool autoGeneratePcn = true;
  bool saveClaimsWithCleanStatus = false;
  bool allowNonMedicareRosterBilling = false;
  bool skipZeroAmountVaccineLines = false;
  bool skipZeroAmountAdminLines = false;
  bool centralFluBillerDefault = false;
  bool needsCentralFluBillerPrompt = false;

  std::string influenzaHcpcsOverride;
  std::string pneumoniaHcpcsOverride;
  std::string covid19HcpcsOverride;
  std::string hepatitisHcpcsOverride;
  std::string tdapHcpcsOverride;
  std::string meningococcalHcpcsOverride;

  std::string influenzaDiagnosisOverride;
  std::string influenzaDiagnosisIcd10Override;
  std::string pneumoniaDiagnosisOverride;
  std::string pneumoniaDiagnosisIcd10Override;
  std::string covid19DiagnosisOverride;  // no ICD-10 twin exists
  std::string hepatitisDiagnosisOverride;
  std::string hepatitisDiagnosisIcd10Override;
  std::string tdapDiagnosisOverride;
  std::string tdapDiagnosisIcd10Override;
  std::string meningococcalDiagnosisOverride;
  std::string meningococcalDiagnosisIcd10Override;
};

// Reads dataDirectory + "BSRSTER.CTL" (the directory text ends in "\").
RosterSettings ReadRosterSettings(std::string_view dataDirectory);

// The settings from lines already read (one KEY=VALUE per line).
RosterSettings ParseRosterSettings(const std::vector<std::string>& lines);

}  // namespace talvex::qmrbsrst
