// The fields and tags that the conversions read and write, and that the roster
// library and the security tool use, exist in the layouts they meet.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "releases/layouts.h"
#include "catalogue/catalogue.h"

namespace talvex::releases {
namespace {

void ExpectHas(const std::optional<TableLayout>& t, std::initializer_list<const char*> fields,
               std::initializer_list<const char*> tags, const std::string& where) {
  ASSERT_TRUE(t.has_value()) << where;
  for (const char* f : fields) EXPECT_NE(t->field(f), nullptr) << where << ": field " << f;
  for (const char* g : tags) EXPECT_NE(t->tag(g), nullptr) << where << ": tag " << g;
}

// The old table a conversion reads is the table before its update; the new
// tables are the clones of its folder.
std::optional<TableLayout> Old(const char* base, int update) { return LayoutAfter(base, update - 1); }
std::optional<TableLayout> New(const char* base, int update) {
  return CloneLayout(*tabmend::FindRestructureSpec(update), base);
}

#define ID_ROW "ID_CLAIM", "ID_TYPE", "ID_SEQA", "ID_SEQB", "ID_SEQC", "ID_ID", "ID_IDTP"
#define NM_ROW "NM_CLAIM", "NM_TYPE", "NM_SEQA", "NM_SEQB", "NM_SEQC", "NM_QUAL", "NM_ENTCD", \
               "NM_LNAME", "NM_FNAME", "NM_MI", "NM_SUFX"
#define RE_ROW "RE_CLAIM", "RE_TYPE", "RE_SEQA", "RE_SEQB", "RE_SEQC", "RE_SEGID", "RE_PWRTC", \
               "RE_PWATC", "RE_NTTYP", "RE_NRTVA"
#define CO_ROW "CO_CLAIM", "CO_TYPE", "CO_LNSEQA", "CO_LNSEQB", "CO_LNSEQC", "CO_GRPCD", \
               "CO_RSNCD", "CO_AMTCD", "CO_AMOUNT", "CO_UNITS"

TEST(ConversionFields, IdentifierMigrations) {
  ExpectHas(Old("bcclaim", 107),
            {"CLAIM", "C_ATTENDLN", "C_ATTENDFN", "C_ATTENDMI", "C_ATTEND", "C_ATTENDQ",
             "C_ATTENDID", "C_ATTENDTP", "C_OPERPLN", "C_OPERPFN", "C_OPERPMI", "C_OPERPHYS",
             "C_OPERQ", "C_OPERPID", "C_OPERPTP", "C_OTHER1LN", "C_OTHER1FN", "C_OTHER1MI",
             "C_OTHER1", "C_OTHER1Q", "C_OTHER1ID", "C_OTHER1TP", "C_OTHER2LN", "C_OTHER2FN",
             "C_OTHER2MI", "C_OTHER2", "C_OTHER2Q", "C_OTHER2ID", "C_OTHER2TP"},
            {"CLM_ALL"}, "0107 old bcclaim");
  ExpectHas(New("bcclaim", 107),
            {"C_OPERPLN", "C_OPERPFN", "C_OPERPMI", "C_OTHER1LN", "C_OTHER1FN", "C_OTHER1MI"},
            {"CLM_ALL"}, "0107 new bcclaim");
  EXPECT_EQ(New("bcclaim", 107)->field("C_OTHER2LN"), nullptr) << "other-2 slot is gone";
  ExpectHas(New("bcrecid", 107), {ID_ROW}, {"ID_CLAIM"}, "0107 bcrecid");
  ExpectHas(Old("bsclaim", 115),
            {"CLAIM", "C_REFUPIN", "C_REFIDTP", "C_REFTAXID", "C_REFTAXTP", "C_FACID",
             "C_FACIDTP", "C_FACTAXID", "C_FACTAXTP"},
            {"CLM_ALL"}, "0115 old bsclaim");
  for (int n : {115, 116, 117}) ExpectHas(New("bsrecid", n), {ID_ROW}, {"ID_CLAIM"}, "bsrecid");
  ExpectHas(Old("bslines", 116), {"CLAIM", "LINE", "L_PURSVCID", "L_PURSVCTP"}, {"L_CLAIM"},
            "0116 old bslines");
  ExpectHas(Old("bslinesa", 117),
            {"CLAIM", "LINE", "LA_SUPR", "LA_SUPRTP", "LA_SUPRUPN", "LA_SUPRUTP", "LA_ORDR",
             "LA_ORDRTP", "LA_ORDRUPN", "LA_ORDRUTP", "LA_REFR", "LA_REFRTP", "LA_REFRUPN",
             "LA_REFRUTP", "LA_FACID", "LA_FACIDTP", "LA_FACTXID", "LA_FACTXTP"},
            {"L_CLAIM"}, "0117 old bslinesa");
}

TEST(ConversionFields, NameReferenceAndPayerMigrations) {
  ExpectHas(Old("bsclaim", 167),
            {"CLAIM", "C_PAYER_S", "C_REFLNAME", "C_REFFNAME", "C_REFMI", "C_REFSUFX",
             "C_DOCIND", "C_DOCTYPE", "C_DOCACN", "C_FACNAME", "C_CPPROV"},
            {"C_CLAIM"}, "0167 old bsclaim");
  for (int n : {167, 169}) {
    ExpectHas(New("bsrecnm", n), {NM_ROW}, {"BY_TYPE"}, "bsrecnm");
    ExpectHas(New("bsrecrn", n), {RE_ROW}, {"BY_CLMTYP"}, "bsrecrn");
  }
  for (int n : {167, 168, 169}) ExpectHas(New("bsrecid", n), {ID_ROW}, {"BY_TYPE"}, "bsrecid");
  for (int n : {168, 169}) ExpectHas(New("bscob", n), {CO_ROW}, {"BY_CLMTYP"}, "bscob");
  // 0168 reads the bsclaim that 0167 backed up.
  ExpectHas(Old("bsclaim", 167), {"C_REFLNAME"}, {"C_CLAIM"}, "0168 old bsclaim");
  ExpectHas(Old("bscpayer", 168),
            {"CP_CLAIM", "CP_PAYSEQ", "CP_MSPTYP", "CP_PAYLOB", "CP_PRIAUT", "CP_PRIATP",
             "CP_PRIAUT2", "CP_PRIATP2", "CP_PRIAUT3", "CP_PRIATP3", "CP_ALLOW", "CP_PAID",
             "CP_DEDUCT", "CP_COINS"},
            {"CP_CLAIM"}, "0168 old bscpayer");
  ExpectHas(New("bscpayer", 168), {"CP_PAYSEQ", "CP_INSTYP"}, {"CP_CLAIM"}, "0168 new bscpayer");
  ExpectHas(Old("bslinesa", 169),
            {"CLAIM", "LINE", "LA_PURSVNM", "LA_ORDRLN", "LA_ORDRFN", "LA_ORDRMI", "LA_ORDRSX",
             "LA_REFRLN", "LA_REFRFN", "LA_REFRMI", "LA_REFRSX", "LA_SUPRLN", "LA_SUPRFN",
             "LA_SUPRMI", "LA_SUPRSX", "LA_NRTV", "LA_NRTVTP", "LA_REFNO1", "LA_REFTP1",
             "LA_REFNO2", "LA_REFTP2", "LA_DEDUCT", "LA_COINS"},
            {"L_CLAIM"}, "0169 old bslinesa");
  EXPECT_EQ(Old("bslinesa", 169)->field("LA_NRTV")->type, 'M');
}

TEST(ConversionFields, SingleTableConversions) {
  ExpectHas(Old("patient", 121), {"PT_PCN", "PT_MSA"}, {"BY_PCN"}, "0121 old patient");
  ExpectHas(New("patient", 121), {"PT_PCN", "PT_CBSA"}, {}, "0121 new patient");
  ExpectHas(New("bcprov", 147),
            {"P_ID_LOB", "P_POAREQD", "P_ID", "P_IDTP", "P_ANSIID1", "P_ANSITP1", "P_ANSIID2",
             "P_ANSITP2"},
            {}, "0147 bcprov");
  ExpectHas(Old("bcclaim", 153), {"CLAIM", "C_COVDAYS", "C_NCOVDAY", "C_CODAYS", "C_LTRDAYS"},
            {"CLM_ALL"}, "0153 old bcclaim");
  ExpectHas(New("bcccodes", 153), {"CD_CLAIM", "CD_TYPE", "CD_SEQ", "CD_CODE", "CD_AMOUNT"},
            {"BY_TYPESEQ"}, "0153 bcccodes");
  EXPECT_EQ(New("bcccodes", 153)->field("CD_SEQ")->type, 'C') << "written as two digits";
  ExpectHas(New("submit", 163),
            {"S_TYPE", "S_ANSIVER", "S_ANSIVDN", "S_ANSIV270", "S_ANSIV276", "S_OUTPUT"}, {},
            "0163 submit");
  ExpectHas(Old("bsattach", 165), {"CLAIM", "LINE", "A_TRIPNAR", "A_STRCNAR", "A_CHIDESC"},
            {"L_CLAIM"}, "0165 old bsattach");
  ExpectHas(New("bsattach", 165), {"LINE", "A_TRIPDSC", "A_STRCDSC", "A_CHIRDSC"}, {"L_CLAIM"},
            "0165 new bsattach");
  for (const char* memo : {"A_TRIPDSC", "A_STRCDSC", "A_CHIRDSC"})
    EXPECT_EQ(New("bsattach", 165)->field(memo)->type, 'M') << memo;
}

// The newest layout is what the roster library and the security tool meet.
TEST(NewestLayout, RosterLibraryTables) {
  ExpectHas(NewestLayout("bsclaim"),
            {"CLAIM", "DT_ENTERED", "CLERK", "LOCATION", "STATUS", "SOURCE", "MEDIA", "C_LOB",
             "C_PAYER_D", "C_PAYER_I", "C_BILLPROV", "C_BILLSEQ", "C_BILLTYPE", "C_BILLPAY",
             "C_BILLGPNO", "C_BILLNPI", "C_SERVFROM", "C_SERVTHRU", "C_EDITIND", "C_PCN",
             "C_PATLNAME", "C_PATFNAME", "C_PATINIT", "C_PATGEN", "C_PATDOB", "C_PATSEX",
             "C_PATADDR1", "C_PATADDR2", "C_PATCITY", "C_PATSTATE", "C_PATZIP", "C_PATOINS",
             "C_EMPLREL", "C_ACCIREL", "C_PATSIG", "C_RELINFO", "C_ROIDATE", "C_LABIND",
             "C_DIAG1", "C_DIAGVS", "C_PRVASSN", "C_PRVSIGI", "C_PRVSIGD", "C_FEDTAXID",
             "C_FEDTAXTP", "C_FACIND", "C_FACNAME", "C_FACADD1", "C_FACADD2", "C_FACCITY",
             "C_FACST", "C_FACZIP", "C_TOTUNITS", "C_TOTCHGS", "C_BALDUE", "C_AMTPAID",
             "C_PIN_PROV", "C_PINPRSEQ", "C_PINTYPE", "C_GRP_PROV"},
            {"CL_ONLY"}, "bsclaim");
  // Referring names now live in the name rows.
  EXPECT_EQ(NewestLayout("bsclaim")->field("C_REFLNAME"), nullptr);
  EXPECT_EQ(NewestLayout("bsclaim")->field("C_PCN")->len, 20);
  ExpectHas(NewestLayout("bscpayer"),
            {"CP_CLAIM", "CP_PAYSEQ", "CP_PAYID", "CP_PAYLOB", "CP_PAYSRC", "CP_PAYNAME",
             "CP_EDITIND", "CP_ASNBEN", "CP_SIGSRC", "CP_RELINS", "CP_INSID", "CP_LNAME",
             "CP_FNAME", "CP_MI", "CP_GEN", "CP_SEX", "CP_DOB", "CP_ESTAT", "CP_PADDR1",
             "CP_PADDR2", "CP_PCITY", "CP_PSTATE", "CP_PZIP", "CP_IADDR1", "CP_IADDR2",
             "CP_ICITY", "CP_ISTATE", "CP_IZIP"},
            {"CP_CLAIM"}, "bscpayer");
  EXPECT_EQ(NewestLayout("bscpayer")->field("CP_PRIAUT"), nullptr);
  ExpectHas(NewestLayout("bslines"),
            {"CLAIM", "LINE", "L_FROM", "L_TO", "L_POS", "L_HCPCS", "L_DIAG", "L_CHARGES",
             "L_UNITS"},
            {"L_CLAIM"}, "bslines");
  ExpectHas(NewestLayout("bslinesa"), {"CLAIM", "LINE", "LA_PROCDSC"}, {"L_CLAIM"}, "bslinesa");
  ExpectHas(NewestLayout("bsrecnm"), {NM_ROW}, {"NM_CLAIM"}, "bsrecnm");
  ExpectHas(NewestLayout("bsrecid"), {ID_ROW, "ID_PAYID"}, {"ID_CLAIM"}, "bsrecid");
  ExpectHas(NewestLayout("bsroster"),
            {"R_ROSTER", "R_SEQNO", "R_ENTERED", "R_UPDATED", "R_CLERK", "R_CLINIC",
             "R_PAYERID", "R_PAYERLOB", "R_PROVID", "R_PROVSEQ", "R_PROVTYPE", "R_PROVPAYR",
             "R_PROVGRP", "R_PROVGSQ", "R_POS", "R_SERVDATE", "R_TYPE", "R_HCPCS", "R_REFNPI",
             "R_UPIN", "R_IDTP", "R_REFLNAME", "R_REFFNAME", "R_REFMI", "R_REFSX", "R_REFSTATE",
             "R_REFTAXID", "R_REFTAXTP", "R_VACCINE", "R_ADMIN", "R_FACNPI", "R_FACID",
             "R_FACIDTP", "R_FACNAME", "R_FACADD1", "R_FACADD2", "R_FACCITY", "R_FACST",
             "R_FACZIP", "R_FACTP", "R_FACTAXID", "R_FACTAXTP", "R_PROCDSC", "R_LOCATION",
             "R_PROCESS", "R_TOTCNT", "R_TOTCHG"},
            {"R_ROSTER"}, "bsroster");
  ExpectHas(NewestLayout("bsrostln"),
            {"RL_ROSTER", "RL_LINE", "RL_PCN", "RL_HIC", "RL_LNAME", "RL_FNAME", "RL_INIT",
             "RL_GEN", "RL_SEX", "RL_DOB", "RL_ADDR1", "RL_ADDR2", "RL_CITY", "RL_STATE",
             "RL_ZIP", "RL_AOB", "RL_SRC", "RL_PREL", "RL_ILNAME", "RL_IFNAME", "RL_IINIT",
             "RL_IGEN", "RL_IADDR1", "RL_IADDR2", "RL_ICITY", "RL_ISTATE", "RL_IZIP", "RL_DIAG",
             "RL_DIAGVS", "RL_ERRMSG"},
            {"RL_ROSTER"}, "bsrostln");
  // The line key is the roster number as ten zero-padded digits.
  EXPECT_EQ(*NewestLayout("bsrostln")->field("RL_ROSTER"), (FieldLayout{"RL_ROSTER", 'C', 10, 0}));
  ExpectHas(NewestLayout("bsprov"),
            {"P_RECSEQ", "P_TYPE", "P_ID", "P_IDTP", "P_ID_LOB", "P_ID_PAYER", "P_GRPNUM",
             "P_NPI", "P_FEDTAXID", "P_FEDTAXTP", "P_ASSIGNED", "P_SIGIND", "P_SIGDATE"},
            {"P_RECSEQ"}, "bsprov");
  EXPECT_EQ(*NewestLayout("bsprov")->field("P_RECSEQ"), (FieldLayout{"P_RECSEQ", 'C', 8, 0}));
  ExpectHas(NewestLayout("payer"),
            {"PAYFULDESC", "PAYADDR1", "PAYADDR2", "PAYCITY", "PAYSTATE", "PAYZIP", "PAYSOURCE",
             "PAYCLMEDIT", "PAYUSAGE"},
            {"BY_IDLOB"}, "payer");
  ExpectHas(NewestLayout("submit"), {"S_INTER"}, {"BY_TYLOBPY"}, "submit");
  // "1" and 12 blanks find the submitter record.
  EXPECT_EQ(NewestLayout("submit")->field("S_TYPE")->len + NewestLayout("submit")->field("S_LOB")->len +
                NewestLayout("submit")->field("S_PAYID")->len,
            13);
  auto util = NewestLayout("utilmast");
  for (int i = 1; i <= 15; ++i) {
    const FieldLayout* f = util->field("ID_" + std::to_string(i));
    ASSERT_NE(f, nullptr) << i;
    EXPECT_EQ(f->type, 'N');
  }
}

TEST(NewestLayout, MaintenanceTables) {
  ExpectHas(NewestLayout("isec"), {"SEC_FLAGS1", "SEC_EMAIL"}, {"BY_NAME"}, "isec");
  EXPECT_GE(NewestLayout("isec")->field("SEC_FLAGS1")->len, 5) << "holds 65535";
  ExpectHas(NewestLayout("revcode"), {"REV_CODE", "REV_CHGS"}, {"BY_CODE"}, "revcode");
  EXPECT_GT(NewestLayout("revcode")->field("REV_CHGS")->dec, 0);
}

}  // namespace
}  // namespace talvex::releases
