// What the three roster list exports answer, as C++ over their call records:
// the roster options in force, the service code entries of a roster type and
// the diagnosis choices.
//
// Each reads only the "in" fields and writes only the "out" fields of the
// record; every string is written within its width. Settings are read anew
// at each call (module state is not kept). Exceptions may leave these
// functions; the exports catch them.
#pragma once

#include <string>
#include <vector>

#include "qmrbsrst/frame/call_records.h"
#include "qmrbsrst/settings/roster_settings.h"

namespace talvex::qmrbsrst {

void FillRosterInfo(TRosterInfoCall* call);
void FillRosterHcpcs(TRosterHcpcsCall* call);
void FillRosterDiagnosis(TRosterDiagnosisCall* call);

// The service code entries of a roster type under the given settings: the
// split override when it yields any entry, else the built-in list.
std::vector<std::string> ServiceCodeEntries(const RosterSettings& settings,
                                            std::string_view rosterType);

}  // namespace talvex::qmrbsrst
