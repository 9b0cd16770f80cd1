// Building one claim from a roster's header and its current patient line.
//
// BuildClaim writes nothing to any table and never gives a status code: it
// leaves the claim accepted, or (after anything unexpected inside it)
// rejected with the generation-exception text. It may switch the run's
// "skip zero-amount administration lines" setting on, which then holds for
// the rest of the run, as every line of a roster shares its type and amounts.
// Single-threaded, like the run that owns the inputs.
#pragma once

#include <string>

#include "qmrbsrst/generation/claim_record.h"
#include "qmrbsrst/settings/icd_rules.h"
#include "qmrbsrst/settings/icd_settings.h"
#include "qmrbsrst/settings/roster_settings.h"

namespace talvex::qmrbsrst {

struct ClaimBuildContext {
  const TRosterClaimRecord* roster = nullptr;  // header plus the current line
  const TProviderInfo* provider = nullptr;
  const TPayerInfo* payer = nullptr;
  std::string submitterCode;
  RosterSettings* settings = nullptr;  // the run's, changed as said above
  const IcdSettings* icd = nullptr;
  const IcdRuleList* icdRules = nullptr;
  bool nameRecordsInUse = false;
  bool idRecordsInUse = false;
  // Layout of BSCPAYER, which steers the prior-authorization fields.
  bool payerTableHasPriAut = false;
  bool payerTableHasPriAtp = false;
};

void BuildClaim(const ClaimBuildContext& in, TClaim1500Record* claim);

// The parts of building that have rules of their own, for the builder and
// its tests.
struct DefaultDiagnosis {
  std::string code;
  std::string version;  // "0" ICD-10, "9" ICD-9 with support on, "" without
};
DefaultDiagnosis ChooseDefaultDiagnosis(const ClaimBuildContext& in);
std::string AdministrationCode(std::string_view rosterType, std::string_view hcpcs,
                               std::string_view lob, std::string_view submitterCode);

}  // namespace talvex::qmrbsrst
