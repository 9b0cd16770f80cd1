// Old-layout values for the sample data that give every data migration of
// the updater something to do: provider slot patterns, identifiers with and
// without the UPIN form, one- and two-letter qualifiers, names with and
// without commas, paperwork codes in and out of the code table, narratives
// with CR LF, long lines and more than fifty lines, payer sequences with and
// without Medicare B, blank authorisation types, day counts and attachment
// narratives with tabs, purchased-service ids, MSA values, provider id pairs,
// and rows already in the row tables that the migrations must find.
//
// Contract: called by the sample-data writer on a freshly filled table `t`
// (open in context c, no index open yet); overwrites fields of the layout
// that exist, chosen by each record's claim number (relative to firstClaim)
// so the values are deterministic. Tables without such fields are left as
// they are. Returns false when a record cannot be written.
#pragma once

#include "c4dll.h"
#include "releases/table_layout.h"

namespace talvex::host {

[[nodiscard]] bool AddConversionSampleValues(C4Context c, C4Table t, const releases::TableLayout& layout,
                               long firstClaim);

}  // namespace talvex::host
