// The 88 rows of the update catalogue. One row per update, in run order; the
// procedure that a row drives lives in tabmend/restructure.
#include "catalogue/catalogue.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <initializer_list>

namespace talvex::tabmend {
namespace {

constexpr UpdatedTable T(const char* base) { return {base, false}; }
constexpr UpdatedTable Memo(const char* base) { return {base, true}; }

constexpr Probe Absent(const char* field) { return {ProbeKind::FieldAbsent, field, 0}; }
constexpr Probe Present(const char* field) { return {ProbeKind::FieldPresent, field, 0}; }
constexpr Probe WidthBelow(const char* field, int n) { return {ProbeKind::WidthBelow, field, n}; }
constexpr Probe WidthAtMost(const char* field, int n) { return {ProbeKind::WidthAtMost, field, n}; }
constexpr Probe DecimalsBelow(const char* field, int n) {
  return {ProbeKind::DecimalsBelow, field, n};
}
constexpr Probe PresentNoDecimals(const char* field) {
  return {ProbeKind::PresentWithoutDecimals, field, 0};
}
constexpr Probe TagAbsent(const char* tag) { return {ProbeKind::TagAbsent, tag, 0}; }
constexpr Probe NoProbe() { return {ProbeKind::None, "", 0}; }

constexpr bool kLocate = true;
constexpr bool kNoLocate = false;

constexpr RestructureSpec Row(int number, const char* clone, RestructureForm form,
                              std::initializer_list<UpdatedTable> tables, const char* basis,
                              Probe probe, bool locate,
                              ConversionInput conversion = ConversionInput::None,
                              const char* summary = "") {
  RestructureSpec row{number, clone, form, {}, 0, basis, probe, locate, conversion, summary};
  for (const UpdatedTable& t : tables) row.tableSlots[row.tableCount++] = t;
  return row;
}

using enum RestructureForm;
constexpr ConversionInput kFlaggedConv = ConversionInput::BackupAndWork;

constexpr std::array<RestructureSpec, kCatalogueSize> kCatalogue{{
    Row(92, "updt0036", Single, {T("submit")}, "", Absent("S_SPLT837"), kNoLocate),
    Row(94, "updt0037", Single, {Memo("bcprov")}, "", Absent("P_PLMATCH"), kNoLocate),
    Row(95, "updt0037", Single, {Memo("bsprov")}, "", Absent("P_PLMATCH"), kNoLocate),
    Row(100, "updt0039", AllLocations, {T("bccpayer")}, "bccpayer.dbf", Absent("CP_ICNTRY"),
        kNoLocate),
    Row(102, "updt0039", AllLocations, {T("bscpayer")}, "bscpayer.dbf", Absent("CP_ICNTRY"),
        kNoLocate),
    Row(104, "updt0039", Single, {T("submit")}, "", Absent("S_PROVBRK"), kNoLocate),
    Row(105, "updt0040", Single, {Memo("bcprov")}, "", Absent("P_NPI"), kNoLocate),
    Row(106, "updt0040", AddMissing, {T("bcrecid"), T("bcrecnm")}, "bcclaim.dbf", NoProbe(),
        kNoLocate),
    Row(107, "updt0040", Flagged, {T("bcclaim"), T("bcrecid")}, "bcclaim.dbf",
        Present("C_ATTEND"), kNoLocate, kFlaggedConv,
        "claim provider identifiers into the identifier table"),
    Row(110, "updt0041", Single, {T("upin")}, "", WidthBelow("UPIN", 30), kNoLocate),
    Row(111, "updt0041", Single, {T("facility")}, "", WidthBelow("FAC_ID", 30), kNoLocate),
    Row(112, "updt0041", Single, {Memo("bsprov")}, "", Absent("P_NPI"), kNoLocate),
    Row(113, "updt0041", AddMissing, {T("bsrecid"), T("bsrecnm")}, "bsclaim.dbf", NoProbe(),
        kNoLocate),
    Row(114, "updt0041", Single, {T("bsroster")}, "", Absent("R_REFNPI"), kNoLocate),
    Row(115, "updt0041", Flagged, {T("bsclaim"), T("bsrecid")}, "bsclaim.dbf",
        Present("C_REFUPIN"), kNoLocate, kFlaggedConv,
        "referring-provider and facility identifiers into the identifier table"),
    Row(116, "updt0041", Flagged, {T("bslines"), T("bsrecid")}, "bsclaim.dbf",
        Present("L_PURSVCID"), kNoLocate, kFlaggedConv,
        "purchased-service identifiers of lines into the identifier table"),
    Row(117, "updt0041", Flagged, {T("bslinesa"), T("bsrecid")}, "bsclaim.dbf",
        Absent("LA_SUPLSZ"), kNoLocate, kFlaggedConv,
        "line provider and facility identifiers into the identifier table"),
    Row(119, "updt0043", Single, {T("submit")}, "", Absent("S_270ISA05"), kNoLocate),
    Row(120, "updt0043", Flagged, {T("bsattach")}, "bsattach.dbf", PresentNoDecimals("A_HGBRSLT"),
        kNoLocate),
    Row(121, "updt0044", Single, {Memo("patient")}, "", Present("PT_MSA"), kNoLocate,
        ConversionInput::DataAndWork, "new CBSA field from the old MSA field (old table read from D)"),
    Row(123, "updt0045", Flagged, {T("bscpymnt")}, "bscpymnt.dbf", WidthBelow("CY_DISUNIT", 9),
        kNoLocate),
    Row(126, "updt0045", Flagged, {T("bclines")}, "bclines.dbf", DecimalsBelow("L_NDCCOST", 3),
        kNoLocate),
    Row(127, "updt0046", Single, {T("submit")}, "", Absent("S_NOLEGBP"), kNoLocate),
    Row(131, "updt0047", Flagged, {T("bsattchd")}, "bsclaim.dbf", Absent("D_RAL20N02"),
        kNoLocate),
    Row(132, "updt0047", Single, {Memo("patient")}, "", WidthBelow("PT_L_NAME", 35), kNoLocate),
    Row(133, "updt0048", Single, {T("upin")}, "", TagAbsent("BYNPI"), kNoLocate),
    Row(134, "updt0049", Single, {T("bcelgrq")}, "", Absent("E_SVTYPE"), kNoLocate),
    Row(135, "updt0049", Single, {T("bselgrq")}, "", Absent("E_SVTYPE"), kNoLocate),
    Row(136, "updt0050", Flagged, {T("bcclaim")}, "bcclaim.dbf", Absent("C_BILLNPI"), kNoLocate),
    Row(137, "updt0050", Flagged, {T("bccpayer")}, "bcclaim.dbf", Absent("CP_PROVNPI"),
        kNoLocate),
    Row(138, "updt0050", Flagged, {T("bsclaim")}, "bsclaim.dbf", Absent("C_BILLNPI"), kNoLocate),
    Row(139, "updt0051", Single, {Memo("bcprov")}, "", Absent("P_FORCLEG"), kNoLocate),
    Row(140, "updt0051", Single, {Memo("bsprov")}, "", Absent("P_FORCLEG"), kNoLocate),
    Row(141, "updt0052", Single, {T("careason")}, "", Absent("CARC_EFFDT"), kNoLocate),
    Row(142, "updt0052", Single, {T("respcode")}, "", Absent("SRC_EFFDT"), kNoLocate),
    Row(143, "updt0053", Single, {T("bcelgrq")}, "", Absent("E_FACTYPE"), kNoLocate),
    Row(144, "updt0053", Single, {T("bselgrq")}, "", Absent("E_FACTYPE"), kNoLocate),
    Row(145, "updt0054", Flagged, {T("bcclaim")}, "bcclaim.dbf", Absent("C_POATYPE"), kNoLocate),
    Row(146, "updt0055", Single, {T("submit")}, "", Absent("S_ORDPRIM"), kNoLocate),
    Row(147, "updt0056", Single, {Memo("bcprov")}, "", Absent("P_POAREQD"), kNoLocate,
        ConversionInput::WorkAndBaseName,
        "presence-on-admission flag from provider identifiers (new table only)"),
    Row(148, "updt0057", Flagged, {T("bcclaim")}, "bcclaim.dbf", Absent("C_NPIEXPT"), kNoLocate),
    Row(150, "updt0058", Single, {T("taxonomy")}, "", Absent("TX_EFFDT"), kNoLocate),
    Row(151, "updt0058", Single, {Memo("remitrem")}, "", Absent("RARC_EFFDT"), kNoLocate),
    Row(153, "updt0060", Flagged, {T("bcclaim"), T("bcccodes")}, "bcclaim.dbf",
        Absent("C_ODIAG18"), kLocate, kFlaggedConv, "claim day counts into value-code rows"),
    Row(154, "updt0060", Flagged, {T("bccpayer")}, "bcclaim.dbf", Present("CP_EADDR"), kLocate),
    Row(155, "updt0060", Flagged, {T("bclines")}, "bclines.dbf", Absent("L_PROCDSC"), kLocate),
    Row(156, "updt0060", Flagged, {T("bclinesc")}, "bclinesc.dbf", Absent("LC_PATOWED"), kLocate),
    Row(157, "updt0060", Flagged, {T("bcrecid")}, "bcrecid.dbf", Absent("ID_PAYID"), kLocate),
    Row(158, "updt0060", Flagged, {T("bcrecnm")}, "bcrecnm.dbf", WidthBelow("NM_LNAME", 60),
        kLocate),
    Row(159, "updt0060", Single, {Memo("bcprov")}, "", Absent("P_EMAIL"), kLocate),
    Row(160, "updt0060", Single, {T("facility")}, "", WidthBelow("FAC_ID", 50), kLocate),
    Row(161, "updt0060", Single, {Memo("patient")}, "", WidthBelow("PT_L_NAME", 60), kLocate),
    Row(162, "updt0060", Single, {T("payer")}, "", WidthBelow("PAYFULDESC", 60), kLocate),
    Row(163, "updt0060", Single, {T("submit")}, "", Absent("S_DELREPIT"), kLocate,
        ConversionInput::WorkOnly, "electronic format version fields set (new table only)"),
    Row(164, "updt0060", Single, {T("upin")}, "", WidthBelow("LASTNAME", 60), kLocate),
    Row(165, "updt0061", Flagged, {T("bsattach")}, "bsattach.dbf", Absent("A_BEDDUR"), kLocate,
        kFlaggedConv, "attachment narratives into new memo fields"),
    Row(166, "updt0061", Flagged, {T("bsattchd")}, "bsclaim.dbf", Absent("D_ORDRSX"), kLocate),
    Row(167, "updt0061", Flagged,
        {T("bsclaim"), T("bsrecnm"), T("bsrecrn"), T("bsrecid")}, "bsclaim.dbf",
        Absent("C_HRVSDATE"), kLocate, kFlaggedConv,
        "claim names and references into the name, reference and identifier tables"),
    Row(168, "updt0061", Flagged, {T("bscpayer"), T("bsrecid"), T("bscob")}, "bsclaim.dbf",
        Absent("CP_ICNTACT"), kLocate, kFlaggedConv,
        "claim payer data into the other-payer and identifier tables"),
    Row(169, "updt0061", Flagged,
        {T("bslinesa"), T("bsrecnm"), T("bsrecrn"), T("bsrecid"), T("bscob")}, "bslinesa.dbf",
        Absent("LA_SCRPTYP"), kLocate, kFlaggedConv,
        "line names, references and identifiers into the name, reference, identifier and "
        "other-payer tables"),
    Row(170, "updt0061", Flagged, {T("bslines")}, "bslines.dbf", Absent("L_PSSLNS"), kLocate),
    Row(171, "updt0061", Flagged, {T("bslinesc")}, "bslinesc.dbf", Absent("LC_PATOWED"), kLocate),
    Row(172, "updt0061", Flagged, {T("bsrecid")}, "bsclaim.dbf", Absent("ID_PAYID"), kLocate),
    Row(173, "updt0061", Flagged, {T("bsrecnm")}, "bsclaim.dbf", WidthBelow("NM_LNAME", 60),
        kLocate),
    Row(174, "updt0061", Single, {Memo("bsprov")}, "", Absent("P_EMAIL"), kLocate),
    Row(175, "updt0061", Single, {T("bsroster")}, "", WidthAtMost("R_REFLNAME", 35), kLocate),
    Row(176, "updt0061", Single, {T("bsrostln")}, "", WidthAtMost("RL_HIC", 25), kLocate),
    Row(177, "updt0062", Flagged, {T("bcrspns")}, "bcrspns.dbf", Absent("CR_TOB"), kLocate),
    Row(178, "updt0062", Flagged, {T("bsrspns")}, "bsrspns.dbf", Absent("CR_TOB"), kLocate),
    Row(179, "updt0063", Flagged, {T("bsattach")}, "bsattach.dbf", Absent("A_AMBDOLOC"), kLocate),
    Row(181, "updt0065", Flagged, {T("bcclaim")}, "bcclaim.dbf", WidthAtMost("C_TOTUNITS", 7),
        kNoLocate),
    Row(182, "updt0065", Flagged, {T("bclines")}, "bclines.dbf", WidthAtMost("L_UNITS", 7),
        kNoLocate),
    Row(184, "updt0065", Flagged, {T("bslines")}, "bslines.dbf", DecimalsBelow("L_UNITS", 2),
        kNoLocate),
    Row(185, "updt0065", Flagged, {T("bscpymnt")}, "bscpymnt.dbf", WidthBelow("CY_DISUNIT", 10),
        kNoLocate),
    Row(187, "updt0066", Flagged, {T("bslinesa")}, "bslinesa.dbf", Absent("LA_NDCTP"), kNoLocate),
    Row(189, "updt0066", Single, {T("bcelgrql")}, "", Absent("EL_SPNDTB"), kNoLocate),
    Row(191, "updt0066", Single, {T("bselgrql")}, "", Absent("EL_SPNDTB"), kNoLocate),
    Row(192, "updt0067", Single, {T("submit")}, "", Absent("S_EMAIL"), kLocate),
    Row(194, "updt0068", Flagged, {T("bcclaim")}, "bcclaim.dbf", Absent("C_PDIAGVS"), kNoLocate),
    Row(195, "updt0068", Single, {T("bcelgrq")}, "", Absent("E_SBDIAGVS"), kNoLocate),
    Row(196, "updt0068", Flagged, {T("bsclaim")}, "bsclaim.dbf", Absent("C_DIAGVS"), kNoLocate),
    Row(197, "updt0068", Single, {T("bselgrq")}, "", Absent("E_SBDIAGVS"), kNoLocate),
    Row(198, "updt0068", Single, {T("bsrostln")}, "", Absent("RL_DIAGVS"), kLocate),
    Row(199, "updt0069", Single, {T("bsroster")}, "", Absent("R_PROCDSC"), kLocate),
    Row(200, "updt0070", Single, {T("upin")}, "", Absent("TAXONOMY"), kNoLocate),
    Row(201, "updt0071", Flagged, {T("bsclaim")}, "bsclaim.dbf", Absent("C_ACCDATE"), kNoLocate),
    Row(202, "updt0072", Single, {T("isec")}, "", Absent("SEC_EMAIL"), kNoLocate),
    Row(203, "updt0073", Single, {Memo("bcpoc")}, "", Absent("T_PDIAGVS"), kNoLocate),
}};

}  // namespace

std::span<const RestructureSpec> Catalogue() { return kCatalogue; }

const RestructureSpec* FindRestructureSpec(int number) {
  auto it = std::lower_bound(kCatalogue.begin(), kCatalogue.end(), number,
                             [](const RestructureSpec& s, int n) { return s.number < n; });
  if (it == kCatalogue.end() || it->number != number) return nullptr;
  return &*it;
}

std::string CloneDirectory(std::string_view serverDirectory, const RestructureSpec& row) {
  std::string dir(serverDirectory);
  if (!dir.empty() && dir.back() != '\\') dir += '\\';
  dir += "update\\clone\\";
  dir += row.cloneFolder;
  return dir;
}

std::string RestructureSpec::numberText() const {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d", number);
  return buf;
}

std::string RestructureSpec::messagePrefix() const { return "Update" + numberText() + "- "; }

bool ProbeNeedsUpdate(const Probe& probe, const ProbeFindings& found) {
  if (!found.tableOpened) return true;
  switch (probe.kind) {
    case ProbeKind::None:
      return true;
    case ProbeKind::FieldAbsent:
      return !found.fieldExists;
    case ProbeKind::FieldPresent:
      return found.fieldExists;
    case ProbeKind::WidthBelow:
      return found.fieldExists && found.fieldWidth < probe.operand;
    case ProbeKind::WidthAtMost:
      return found.fieldExists && found.fieldWidth <= probe.operand;
    case ProbeKind::DecimalsBelow:
      return found.fieldExists && found.fieldDecimals < probe.operand;
    case ProbeKind::PresentWithoutDecimals:
      return found.fieldExists && found.fieldDecimals == 0;
    case ProbeKind::TagAbsent:
      return !found.indexHasTag;
  }
  return true;
}

}  // namespace talvex::tabmend
