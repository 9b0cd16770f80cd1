#include "qmrbsrst/generation/claim_builder.h"

#include <cmath>

#include "qmrbsrst/settings/text_fit.h"
#include "qmrbsrst/status/status_messages.h"

namespace talvex::qmrbsrst {

namespace {

std::string TC(std::string_view text, size_t n) { return TrimAndCut(text, n); }

bool InSet00820(std::string_view s) { return s == "00820"; }
bool InSet00150(std::string_view s) { return s == "00150" || s == "00650"; }
bool IsConditionRoster(std::string_view type) {
  return type == "D" || type == "B" || type == "C" || type == "A" || type == "E" || type == "H";
}

std::string Override(const std::string& value, const char* fallback) {
  return value.empty() ? std::string(fallback) : Cut(value, 7);
}

std::string FirstOr(std::string_view text, size_t n, const char* fallback) {
  std::string t = Cut(Trim(text), n);
  return t.empty() ? std::string(fallback) : t;
}

std::string StandardAdministrationCode(std::string_view type, std::string_view hcpcs) {
  if (type == "P") return "G0009";
  if (type == "H") return "G0010";
  if (type == "I") return hcpcs == "G9142" ? "G9141" : "G0008";
  if (type == "T" || type == "M") return "90471";
  return {};
}

void BuildReferringName(TClaim1500Record* c) {
  if (Trim(c->C_REFLNAME).empty()) return;
  TNameRecord n;
  n.nameType = "REFC";
  if (!Trim(c->C_REFFNAME).empty()) {
    n.entityCode = "1";
    n.lastName = Cut(c->C_REFLNAME, 60);
    n.firstName = Cut(c->C_REFFNAME, 35);
    n.middleName = Cut(c->C_REFMI, 25);
    n.suffix = Cut(c->C_REFSUFX, 10);
  } else {
    n.entityCode = "2";
    n.lastName = Cut(c->C_REFLNAME, 60);
  }
  c->names.push_back(std::move(n));
}

void BuildLines(const ClaimBuildContext& in, TClaim1500Record* c) {
  const TRosterClaimRecord& r = *in.roster;
  RosterSettings& settings = *in.settings;
  double vaccine = r.R_VACCINE;
  double admin = r.R_ADMIN;
  const std::string& type = r.R_TYPE;
  if (InSet00820(in.submitterCode) && IsConditionRoster(type)) {
    vaccine = admin;
    admin = 0;
    settings.skipZeroAmountAdminLines = true;
  }
  if (type == "R") {
    vaccine = admin;
    admin = 0;
    settings.skipZeroAmountAdminLines = true;
  }
  if (type == "I" || type == "P") {
    const std::string prefix = r.R_HCPCS.substr(0, 2);
    if (prefix != "90" && prefix != "G9" && prefix != "Q2" && prefix != "S0" && admin > 0) {
      if (vaccine == 0) vaccine = admin;
      admin = 0;
      settings.skipZeroAmountAdminLines = true;
    }
  }

  int slot = 0;
  auto makeLine = [&](std::string hcpcs, double amount, std::string description) {
    TServiceLine& l = c->lines[slot++];
    l.present = true;
    l.L_FROM = r.R_SERVDATE;
    l.L_TO = r.R_SERVDATE;
    l.L_POS = TC(r.R_POS, 2);
    l.L_HCPCS = Cut(hcpcs, 5);
    l.L_DIAG = "1";
    l.L_CHARGES = amount;
    l.L_UNITS = 1;
    l.LA_PROCDSC = Cut(description, 80);
    c->C_TOTUNITS += 1;
    c->serviceLineCount += 1;
  };
  if (vaccine > 0 || !settings.skipZeroAmountVaccineLines) {
    makeLine(TC(r.R_HCPCS, 5), vaccine, TC(r.R_PROCDSC, 80));
  }
  if (admin > 0 || !settings.skipZeroAmountAdminLines) {
    makeLine(AdministrationCode(type, r.R_HCPCS, c->C_LOB, in.submitterCode), admin, "");
  }
}

void BuildPayer(const ClaimBuildContext& in, TClaim1500Record* c) {
  const TRosterClaimRecord& r = *in.roster;
  const TRosterLineInfoRecord& line = r.line;
  const TPayerInfo& p = *in.payer;
  TClaimPayer& cp = c->payer;
  cp.CP_PAYID = TC(r.R_PAYERID, 9);
  cp.CP_PAYLOB = TC(r.R_PAYERLOB, 3);
  cp.CP_PAYNAME = TC(p.PAYFULDESC, 60);
  cp.CP_ASNBEN = FirstOr(line.RL_AOB, 1, "Y");
  cp.CP_SIGSRC = FirstOr(line.RL_SRC, 1, "C");
  cp.CP_INSID = TC(line.RL_HIC, 30);
  cp.CP_RELINS = FirstOr(line.RL_PREL, 2, "18");
  if (cp.CP_RELINS != "18") {
    cp.CP_LNAME = TC(line.RL_ILNAME, 60);
    cp.CP_FNAME = TC(line.RL_IFNAME, 35);
    cp.CP_MI = TC(line.RL_IINIT, 25);
    cp.CP_GEN = TC(line.RL_IGEN, 10);
    cp.CP_IADDR1 = TC(line.RL_IADDR1, 55);
    cp.CP_IADDR2 = TC(line.RL_IADDR2, 55);
    cp.CP_ICITY = TC(line.RL_ICITY, 30);
    cp.CP_ISTATE = TC(line.RL_ISTATE, 2);
    cp.CP_IZIP = TC(line.RL_IZIP, 9);
    cp.CP_SEX.clear();
    cp.CP_DOB = 0;
  } else {
    cp.CP_LNAME = c->C_PATLNAME;
    cp.CP_FNAME = c->C_PATFNAME;
    cp.CP_MI = c->C_PATINIT;
    cp.CP_GEN = c->C_PATGEN;
    cp.CP_IADDR1 = c->C_PATADDR1;
    cp.CP_IADDR2 = c->C_PATADDR2;
    cp.CP_ICITY = c->C_PATCITY;
    cp.CP_ISTATE = c->C_PATSTATE;
    cp.CP_IZIP = c->C_PATZIP;
    cp.CP_SEX = c->C_PATSEX;
    cp.CP_DOB = c->C_PATDOB;
  }
  cp.CP_PAYSRC = TC(p.PAYSOURCE, 3);
  cp.CP_EDITIND = TC(p.PAYCLMEDIT, 3);
  cp.CP_ESTAT = "9";
  cp.CP_PADDR1 = TC(p.PAYADDR1, 55);
  cp.CP_PADDR2 = TC(p.PAYADDR2, 55);
  cp.CP_PCITY = TC(p.PAYCITY, 30);
  cp.CP_PSTATE = TC(p.PAYSTATE, 2);
  cp.CP_PZIP = TC(p.PAYZIP, 9);
  if (!r.centralFluBiller || (in.payerTableHasPriAut && !in.payerTableHasPriAtp)) {
    cp.CP_PRIAUT.clear();
    cp.CP_PRIATP.clear();
  } else {
    cp.CP_PRIAUT = "39";
    cp.CP_PRIATP = "P4";
  }
  cp.present = true;
}

// The patient as the roster line gives it, with the fixed answers of a
// mass-immunisation claim.
void FillPatient(const TRosterClaimRecord& r, TClaim1500Record* c) {
  const TRosterLineInfoRecord& line = r.line;
  c->C_LOB = TC(r.R_PAYERLOB, 3);
  c->C_PCN = TC(line.RL_PCN, 20);
  c->C_PATLNAME = TC(line.RL_LNAME, 60);
  c->C_PATFNAME = TC(line.RL_FNAME, 35);
  c->C_PATINIT = TC(line.RL_INIT, 25);
  c->C_PATGEN = TC(line.RL_GEN, 10);
  c->C_PATDOB = line.RL_DOB;
  c->C_PATSEX = TC(line.RL_SEX, 1);
  c->C_PATADDR1 = TC(line.RL_ADDR1, 55);
  c->C_PATADDR2 = TC(line.RL_ADDR2, 55);
  c->C_PATCITY = TC(line.RL_CITY, 30);
  c->C_PATSTATE = TC(line.RL_STATE, 2);
  c->C_PATZIP = TC(line.RL_ZIP, 9);
  c->C_PATOINS = "3";
  c->C_EMPLREL = "N";
  c->C_ACCIREL = "N";
  c->C_PATSIG = "C";
  c->C_RELINFO = "Y";
  c->C_ROIDATE = r.R_SERVDATE;
}

void FillReferring(const TRosterClaimRecord& r, TClaim1500Record* c) {
  c->referringNpi = TC(r.R_REFNPI, 10);
  c->C_REFUPIN = TC(r.R_UPIN, 30);
  c->C_REFIDTP = TC(r.R_IDTP, 3);
  c->C_REFTAXTP = TC(r.R_REFTAXTP, 1);
  c->C_REFTAXID = TC(r.R_REFTAXID, 9);
  c->C_REFLNAME = TC(r.R_REFLNAME, 60);
  c->C_REFFNAME = TC(r.R_REFFNAME, 35);
  c->C_REFMI = TC(r.R_REFMI, 25);
  c->C_REFSUFX = TC(r.R_REFSX, 10);
  c->C_REFSTATE = TC(r.R_REFSTATE, 2);
}

// The line's diagnosis, or the default the settings choose when it has none.
void FillDiagnosis(const ClaimBuildContext& in, TClaim1500Record* c) {
  const TRosterLineInfoRecord& line = in.roster->line;
  c->C_LABIND = "N";
  c->C_DIAG1 = TC(line.RL_DIAG, 7);
  c->C_DIAGVS = FitText(line.RL_DIAGVS, 12);
  if (c->C_DIAG1.empty()) {
    DefaultDiagnosis d = ChooseDefaultDiagnosis(in);
    c->C_DIAG1 = Cut(d.code, 7);
    c->C_DIAGVS = d.version;
  }
}

// The billing provider's signature and tax id, and the service facility.
void FillSignatureAndFacility(const TRosterClaimRecord& r, const TProviderInfo& prov,
                              TClaim1500Record* c) {
  c->C_PRVASSN = TC(prov.billAssigned, 1);
  c->C_PRVSIGI = prov.billSignatureDate != 0 ? "Y" : TC(prov.billSignatureIndicator, 1);
  c->C_PRVSIGD = prov.billSignatureDate;
  c->C_FEDTAXID = TC(prov.billFedTaxId, 9);
  c->C_FEDTAXTP = TC(prov.billFedTaxType, 1);
  c->facilityNpi = TC(r.R_FACNPI, 10);
  c->C_FACID = TC(r.R_FACID, 30);
  c->C_FACIDTP = TC(r.R_FACIDTP, 3);
  c->C_FACNAME = TC(r.R_FACNAME, 60);
  c->C_FACADD1 = TC(r.R_FACADD1, 55);
  c->C_FACADD2 = TC(r.R_FACADD2, 55);
  c->C_FACCITY = TC(r.R_FACCITY, 30);
  c->C_FACST = TC(r.R_FACST, 2);
  c->C_FACZIP = TC(r.R_FACZIP, 9);
  c->C_FACTP = TC(r.R_FACTP, 3);
  c->C_FACTAXID = TC(r.R_FACTAXID, 15);
  c->C_FACTAXTP = TC(r.R_FACTAXTP, 1);
  const bool anyFacility = !c->facilityNpi.empty() || !c->C_FACID.empty() ||
                           !c->C_FACNAME.empty() || !c->C_FACADD1.empty() ||
                           !c->C_FACADD2.empty() || !c->C_FACCITY.empty() ||
                           !c->C_FACTAXID.empty();
  c->C_FACIND = anyFacility ? "Y" : "";
}

// Charges, and the billing and rendering providers: a group bills for the
// rendering provider, anyone else bills as themselves.
void FillChargesAndBilling(const TRosterClaimRecord& r, const TProviderInfo& prov,
                           TClaim1500Record* c) {
  c->C_TOTCHGS = r.R_VACCINE + r.R_ADMIN;
  c->C_AMTPAID = 0;
  c->C_BALDUE = c->C_TOTCHGS;

  c->C_BILLPROV = TC(prov.billId, 15);
  c->C_BILLSEQ = prov.billRecSeq;
  c->C_BILLPAY = TC(prov.billPayer, 9);
  c->C_BILLGPNO = TC(prov.billGroupNumber, 15);
  if (!Trim(prov.billNpi).empty()) {
    c->C_BILLNPI = TC(prov.billNpi, 10);
  } else if (Trim(prov.billIdType) == "XX") {
    c->C_BILLNPI = TC(prov.billId, 10);
  } else {
    c->C_BILLNPI.clear();
  }
  if (Trim(prov.billType) != "G") {
    c->C_BILLTYPE = "S";
    c->C_PIN_PROV = TC(prov.billId, 15);
    c->C_PINPRSEQ = prov.billRecSeq;
    c->C_PINTYPE = "S";
    c->C_GRP_PROV.clear();
  } else {
    c->C_BILLTYPE = "G";
    c->C_PIN_PROV = TC(prov.rendId, 15);
    c->C_PINPRSEQ = prov.rendRecSeq;
    c->C_PINTYPE = "I";
    c->C_GRP_PROV = TC(prov.billId, 15);
  }
}

void FillServiceAndPayer(const ClaimBuildContext& in, TClaim1500Record* c) {
  const TRosterClaimRecord& r = *in.roster;
  c->MEDIA = "E";
  c->CLERK = TC(r.R_CLERK, 10);
  c->C_SERVFROM = r.R_SERVDATE;
  c->C_SERVTHRU = r.R_SERVDATE;
  c->C_PAYER_D = TC(in.payer->PAYFULDESC, 60);
  c->C_PAYER_I = TC(r.R_PAYERID, 9);
  c->C_EDITIND = TC(in.payer->PAYCLMEDIT, 3);
  c->C_TOTUNITS = 0;
  c->serviceLineCount = 0;
}

// The identifier rows of the referring provider, the facility and the prior
// authorisation, when the installation keeps identifiers in rows.
void AddReferenceIds(const ClaimBuildContext& in, TClaim1500Record* c) {
  if (in.idRecordsInUse) {
    AddReferenceId(&c->referringIds, "XX", c->referringNpi, "");
    AddReferenceId(&c->referringIds, c->C_REFIDTP, c->C_REFUPIN, "");
    AddReferenceId(&c->referringIds, c->C_REFTAXTP, c->C_REFTAXID, "");
    AddReferenceId(&c->facilityIds, "XX", c->facilityNpi, "");
    AddReferenceId(&c->facilityIds, c->C_FACIDTP, c->C_FACID, "");
    AddReferenceId(&c->facilityIds, c->C_FACTAXTP, c->C_FACTAXID, "");
    if (!c->payer.CP_PRIAUT.empty() && !in.payerTableHasPriAut) {
      AddReferenceId(&c->payer.referenceIds, c->payer.CP_PRIATP, c->payer.CP_PRIAUT, "");
    }
  }
}

void BuildClaimSteps(const ClaimBuildContext& in, TClaim1500Record* c) {
  const TRosterClaimRecord& r = *in.roster;
  const TProviderInfo& prov = *in.provider;
  FillPatient(r, c);
  FillReferring(r, c);
  if (in.nameRecordsInUse) BuildReferringName(c);
  FillDiagnosis(in, c);
  FillSignatureAndFacility(r, prov, c);
  FillChargesAndBilling(r, prov, c);
  FillServiceAndPayer(in, c);
  BuildLines(in, c);
  BuildPayer(in, c);
  AddReferenceIds(in, c);
  c->accepted = true;
}

}  // namespace

DefaultDiagnosis ChooseDefaultDiagnosis(const ClaimBuildContext& in) {
  const TRosterClaimRecord& r = *in.roster;
  const RosterSettings& s = *in.settings;
  bool icd10 = false;
  if (in.icd->enableIcd10CodeSupport) {
    IcdDecision d = DecideIcdVersionForDate(*in.icdRules, r.R_PAYERLOB, r.R_PAYERID,
                                            std::floor(r.R_SERVDATE), false);
    icd10 = d.decided && !d.icd9;
  }
  DefaultDiagnosis out;
  out.version = icd10 ? "0" : (in.icd->enableIcd10CodeSupport ? "9" : "");
  const std::string& t = r.R_TYPE;
  const bool s820 = InSet00820(in.submitterCode);
  if (t == "P") {
    out.code = icd10 ? Override(s.pneumoniaDiagnosisIcd10Override, "Z23")
                     : Override(s.pneumoniaDiagnosisOverride, "V0382");
  } else if (t == "H" && !s820) {
    out.code = icd10 ? Override(s.hepatitisDiagnosisIcd10Override, "Z23")
                     : Override(s.hepatitisDiagnosisOverride, "V053");
  } else if (t == "I") {
    out.code = icd10 ? Override(s.influenzaDiagnosisIcd10Override, "Z23")
                     : Override(s.influenzaDiagnosisOverride, "V0481");
  } else if (t == "T") {
    out.code = icd10 ? Override(s.tdapDiagnosisIcd10Override, "Z23")
                     : Override(s.tdapDiagnosisOverride, "V061");
  } else if (t == "M") {
    out.code = icd10 ? Override(s.meningococcalDiagnosisIcd10Override, "Z23")
                     : Override(s.meningococcalDiagnosisOverride, "V0389");
  } else if (t == "D") {
    out.code = icd10 ? "E119" : "25000";
  } else if (t == "B") {
    out.code = icd10 ? "I259" : "4149";
  } else if (t == "C") {
    out.code = icd10 ? "I509" : "4280";
  } else if (t == "A") {
    out.code = icd10 ? "J45909" : "49390";
  } else if (t == "E") {
    out.code = icd10 ? "F909" : "31400";
  } else if (t == "H") {
    out.code = icd10 ? "I10" : "4019";
  }
  return out;
}

std::string AdministrationCode(std::string_view rosterType, std::string_view hcpcs,
                               std::string_view lob, std::string_view submitterCode) {
  if (InSet00150(submitterCode)) {
    return lob == "MCB" ? StandardAdministrationCode(rosterType, hcpcs) : "90471";
  }
  if (InSet00820(submitterCode)) {
    if (Trim(lob) == "BS") {
      return rosterType == "I" && hcpcs == "G9142" ? "G9141" : "90471";
    }
    std::string code;
    if (rosterType == "V") code = Cut(hcpcs, 5);
    std::string standard = StandardAdministrationCode(rosterType, hcpcs);
    return standard.empty() ? code : standard;
  }
  return StandardAdministrationCode(rosterType, hcpcs);
}

void BuildClaim(const ClaimBuildContext& in, TClaim1500Record* claim) {
  try {
    BuildClaimSteps(in, claim);
  } catch (...) {
    claim->accepted = false;
    claim->message = RosterStatusMessage(kStatusGenerationException);
  }
}

}  // namespace talvex::qmrbsrst
