// Field and tag history of every host table, from the oldest release the
// version gate admits to the newest. Widths of the claim, payer and line
// fields follow the roster claim record; the rest is this system's choice
// (releases/README.md).
#include "releases/layout_history.h"

namespace talvex::releases::history {
namespace {

constexpr FieldRow C(const char* name, int len) { return {name, 'C', len, 0}; }
constexpr FieldRow N(const char* name, int len, int dec = 0) { return {name, 'N', len, dec}; }
constexpr FieldRow D(const char* name) { return {name, 'D', 8, 0}; }
constexpr FieldRow L(const char* name) { return {name, 'L', 1, 0}; }
constexpr FieldRow M(const char* name) { return {name, 'M', 10, 0}; }
constexpr TagRow Tag(const char* name, const char* expression) { return {name, expression}; }

using enum ClaimFamily;

// ---- submitter -------------------------------------------------------------
constexpr FieldRow kSubmit[] = {
    C("S_TYPE", 1),      C("S_LOB", 3),         C("S_PAYID", 9),
    C("S_INTER", 5),     C("S_NAME", 35),       C("S_SUBID", 15),
    C("S_CONTACT", 35),  C("S_PHONE", 10),      C("S_EMAIL", 60).from(192),
    C("S_ISA05", 2),     C("S_ISA06", 15),      C("S_270ISA05", 2).from(119),
    C("S_ISA07", 2),     C("S_ISA08", 15),      C("S_GS02", 15),
    C("S_GS03", 15),     C("S_ANSIVER", 8),     C("S_ANSIVDN", 8).from(163),
    C("S_ANSIV270", 8).from(163),               C("S_ANSIV276", 8).from(163),
    C("S_OUTPUT", 1),    C("S_TESTPRD", 1),     L("S_SPLT837").from(92),
    L("S_PROVBRK").from(104),                   L("S_NOLEGBP").from(127),
    L("S_ORDPRIM").from(146),                   L("S_DELREPIT").from(163),
    C("S_PATH", 60),     C("S_FILENM", 12),     N("S_LASTBAT", 6),
};
constexpr TagRow kSubmitTags[] = {
    Tag("BY_TYLOBPY", "S_TYPE+S_LOB+S_PAYID"),
    Tag("BY_INTER", "S_INTER"),
};

// ---- providers (UB and 1500 share the shape) -------------------------------
constexpr FieldRow kBcprov[] = {
    C("P_RECSEQ", 8),    C("P_TYPE", 1),        C("P_ID", 15),
    C("P_IDTP", 2),      C("P_ID_LOB", 3),      C("P_ID_PAYER", 9),
    C("P_GRPNUM", 15),   C("P_NPI", 10).from(105),
    C("P_LNAME", 60),    C("P_FNAME", 35),      C("P_MI", 25),
    C("P_ADDR1", 55),    C("P_ADDR2", 55),      C("P_CITY", 30),
    C("P_STATE", 2),     C("P_ZIP", 9),         C("P_PHONE", 10),
    C("P_EMAIL", 60).from(159),
    C("P_FEDTAXID", 9),  C("P_FEDTAXTP", 1),    C("P_ANSIID1", 15),
    C("P_ANSITP1", 2),   C("P_ANSIID2", 15),    C("P_ANSITP2", 2),
    C("P_TAXONMY", 10),  C("P_ASSIGNED", 1),    C("P_SIGIND", 1),
    D("P_SIGDATE"),      L("P_PLMATCH").from(94),
    L("P_FORCLEG").from(139),                   C("P_POAREQD", 1).from(147),
    M("P_NOTES"),
};
constexpr FieldRow kBsprov[] = {
    C("P_RECSEQ", 8),    C("P_TYPE", 1),        C("P_ID", 15),
    C("P_IDTP", 2),      C("P_ID_LOB", 3),      C("P_ID_PAYER", 9),
    C("P_GRPNUM", 15),   C("P_NPI", 10).from(112),
    C("P_LNAME", 60),    C("P_FNAME", 35),      C("P_MI", 25),
    C("P_ADDR1", 55),    C("P_ADDR2", 55),      C("P_CITY", 30),
    C("P_STATE", 2),     C("P_ZIP", 9),         C("P_PHONE", 10),
    C("P_EMAIL", 60).from(174),
    C("P_FEDTAXID", 9),  C("P_FEDTAXTP", 1),    C("P_ANSIID1", 15),
    C("P_ANSITP1", 2),   C("P_ANSIID2", 15),    C("P_ANSITP2", 2),
    C("P_TAXONMY", 10),  C("P_ASSIGNED", 1),    C("P_SIGIND", 1),
    D("P_SIGDATE"),      L("P_PLMATCH").from(95),
    L("P_FORCLEG").from(140),                   M("P_NOTES"),
};
constexpr TagRow kProvTags[] = {
    Tag("P_RECSEQ", "P_RECSEQ"),
    Tag("BY_ID", "P_ID+P_ID_LOB+P_ID_PAYER"),
    Tag("BY_NAME", "UPPER(P_LNAME+P_FNAME)"),
};

// ---- UB claim family (archived below "archub92") ---------------------------
constexpr FieldRow kBcclaim[] = {
    N("CLAIM", 10),      D("DT_ENTERED"),       C("CLERK", 10),
    C("LOCATION", 2),    C("STATUS", 3),        C("SOURCE", 1),
    C("MEDIA", 1),       C("C_LOB", 3),         C("C_PAYER_D", 60),
    C("C_PAYER_I", 9),   C("C_BILLPROV", 15),   N("C_BILLSEQ", 8),
    C("C_BILLNPI", 10).from(136),               C("C_NPIEXPT", 1).from(148),
    C("C_PCN", 20),      C("C_MEDREC", 24),     C("C_TOB", 3),
    C("C_PATLNAME", 60), C("C_PATFNAME", 35),   C("C_PATINIT", 25),
    D("C_PATDOB"),       C("C_PATSEX", 1),      C("C_PATADDR1", 55),
    C("C_PATADDR2", 55), C("C_PATCITY", 30),    C("C_PATSTATE", 2),
    C("C_PATZIP", 9),    D("C_ADMDATE"),        C("C_ADMHOUR", 2),
    C("C_ADMTYPE", 1),   C("C_ADMSRC", 1),      C("C_DISHOUR", 2),
    C("C_PATSTAT", 2),   D("C_SERVFROM"),       D("C_SERVTHRU"),
    N("C_COVDAYS", 4).to(153),                  N("C_NCOVDAY", 4).to(153),
    N("C_CODAYS", 4).to(153),                   N("C_LTRDAYS", 4).to(153),
    C("C_PDIAG", 7),     C("C_PDIAGVS", 1).from(194),
    C("C_POATYPE", 1).from(145),
    C("C_ODIAG1", 7),    C("C_ODIAG2", 7),      C("C_ODIAG3", 7),
    C("C_ODIAG4", 7),    C("C_ODIAG5", 7),      C("C_ODIAG6", 7),
    C("C_ODIAG7", 7),    C("C_ODIAG8", 7),      C("C_ODIAG9", 7).from(153),
    C("C_ODIAG10", 7).from(153),                C("C_ODIAG11", 7).from(153),
    C("C_ODIAG12", 7).from(153),                C("C_ODIAG13", 7).from(153),
    C("C_ODIAG14", 7).from(153),                C("C_ODIAG15", 7).from(153),
    C("C_ODIAG16", 7).from(153),                C("C_ODIAG17", 7).from(153),
    C("C_ODIAG18", 7).from(153),
    C("C_ADMDIAG", 7),   C("C_PPROC", 7),       D("C_PPROCDT"),
    C("C_ATTEND", 15).to(107),                  C("C_ATTENDQ", 3).to(107),
    C("C_ATTENDID", 9).to(107),                 C("C_ATTENDTP", 1).to(107),
    C("C_ATTENDLN", 60), C("C_ATTENDFN", 35),   C("C_ATTENDMI", 25),
    C("C_OPERPHYS", 15).to(107),                C("C_OPERQ", 3).to(107),
    C("C_OPERPID", 9).to(107),                  C("C_OPERPTP", 1).to(107),
    C("C_OPERPLN", 60),  C("C_OPERPFN", 35),    C("C_OPERPMI", 25),
    C("C_OTHER1", 15).to(107),                  C("C_OTHER1Q", 3).to(107),
    C("C_OTHER1ID", 9).to(107),                 C("C_OTHER1TP", 1).to(107),
    C("C_OTHER1LN", 60), C("C_OTHER1FN", 35),   C("C_OTHER1MI", 25),
    C("C_OTHER2", 15).to(107),                  C("C_OTHER2Q", 3).to(107),
    C("C_OTHER2ID", 9).to(107),                 C("C_OTHER2TP", 1).to(107),
    C("C_OTHER2LN", 60).to(107),                C("C_OTHER2FN", 35).to(107),
    C("C_OTHER2MI", 25).to(107),
    N("C_TOTUNITS", 7),  N("C_TOTCHGS", 12, 2), N("C_NONCOV", 12, 2),
    N("C_AMTPAID", 12, 2),                      N("C_BALDUE", 12, 2),
    C("C_EDITIND", 3),   C("C_REMARKS", 80),
};
constexpr AlterRow kBcclaimAlters[] = {{"C_TOTUNITS", 181, 'N', 10, 0}};
constexpr TagRow kBcclaimTags[] = {
    Tag("CLM_ALL", "STR(CLAIM,10)"),
    Tag("BY_PCN", "C_PCN"),
    Tag("BY_PATNM", "UPPER(C_PATLNAME+C_PATFNAME)"),
};

constexpr FieldRow kBclines[] = {
    N("CLAIM", 10),      N("LINE", 4),          C("L_REVCD", 4),
    C("L_HCPCS", 5),     C("L_MOD1", 2),        C("L_MOD2", 2),
    C("L_MOD3", 2),      C("L_MOD4", 2),        C("L_PROCDSC", 80).from(155),
    D("L_FROM"),         D("L_TO"),             N("L_UNITS", 7),
    N("L_CHARGES", 12, 2),                      N("L_NONCOV", 12, 2),
    C("L_NDC", 11),      N("L_NDCQTY", 10, 3),  C("L_NDCUNIT", 2),
    N("L_NDCCOST", 10, 2),
};
constexpr AlterRow kBclinesAlters[] = {
    {"L_NDCCOST", 126, 'N', 11, 3},
    {"L_UNITS", 182, 'N', 10, 3},
};
constexpr TagRow kLineTags[] = {Tag("L_CLAIM", "STR(CLAIM,10)+STR(LINE,4)")};

constexpr FieldRow kBccpayer[] = {
    N("CP_CLAIM", 10),   C("CP_PAYSEQ", 2),     C("CP_PAYID", 9),
    C("CP_PAYLOB", 3),   C("CP_PAYSRC", 3),     C("CP_PAYNAME", 60),
    C("CP_PROVNPI", 10).from(137),
    C("CP_PADDR1", 55),  C("CP_PADDR2", 55),    C("CP_PCITY", 30),
    C("CP_PSTATE", 2),   C("CP_PZIP", 9),       C("CP_ICNTRY", 3).from(100),
    C("CP_EADDR", 60).to(154),
    C("CP_INSID", 30),   C("CP_GRPNUM", 30),    C("CP_GRPNAME", 60),
    C("CP_LNAME", 60),   C("CP_FNAME", 35),     C("CP_MI", 25),
    C("CP_RELINS", 2),   C("CP_ASNBEN", 1),     C("CP_RELINFO", 1),
    N("CP_PRIORPD", 12, 2),                     N("CP_ESTAMT", 12, 2),
    C("CP_PRIAUT", 50),
};
constexpr TagRow kPayerTags[] = {Tag("CP_CLAIM", "STR(CP_CLAIM,10)+CP_PAYSEQ")};

constexpr FieldRow kBcccodes[] = {
    N("CD_CLAIM", 10),   C("CD_TYPE", 1),       C("CD_SEQ", 2),
    C("CD_CODE", 3),     D("CD_DATE"),          D("CD_THRU"),
    N("CD_AMOUNT", 12, 2),
};
constexpr TagRow kBcccodesTags[] = {Tag("BY_TYPESEQ", "STR(CD_CLAIM,10)+CD_TYPE+CD_SEQ")};

constexpr FieldRow kBclinesc[] = {
    N("CLAIM", 10),      N("LINE", 4),          C("LC_PAYSEQ", 2),
    C("LC_PAYID", 9),    N("LC_PAIDAMT", 12, 2),
    D("LC_PAIDDT"),      C("LC_GRPCD", 2),      C("LC_RSNCD", 5),
    N("LC_ADJAMT", 12, 2),                      N("LC_PATOWED", 12, 2).from(156),
};
constexpr FieldRow kBslinesc[] = {
    N("CLAIM", 10),      N("LINE", 4),          C("LC_PAYSEQ", 2),
    C("LC_PAYID", 9),    N("LC_PAIDAMT", 12, 2),
    D("LC_PAIDDT"),      C("LC_GRPCD", 2),      C("LC_RSNCD", 5),
    N("LC_ADJAMT", 12, 2),                      N("LC_PATOWED", 12, 2).from(171),
};
constexpr TagRow kLinecTags[] = {Tag("L_CLAIM", "STR(CLAIM,10)+STR(LINE,4)+LC_PAYSEQ")};

// Identifier and name rows, one shape for both families.
constexpr FieldRow kBcrecid[] = {
    N("ID_CLAIM", 10),   C("ID_TYPE", 4),       N("ID_SEQA", 4),
    N("ID_SEQB", 4),     N("ID_SEQC", 4),       C("ID_ID", 50),
    C("ID_IDTP", 3),     C("ID_PAYID", 30).from(157),
};
constexpr FieldRow kBsrecid[] = {
    N("ID_CLAIM", 10),   C("ID_TYPE", 4),       N("ID_SEQA", 4),
    N("ID_SEQB", 4),     N("ID_SEQC", 4),       C("ID_ID", 50),
    C("ID_IDTP", 3),     C("ID_PAYID", 30).from(172),
};
constexpr TagRow kRecidTags[] = {
    Tag("ID_CLAIM", "STR(ID_CLAIM,10)+ID_TYPE+STR(ID_SEQA,4)+STR(ID_SEQB,4)+STR(ID_SEQC,4)"),
    Tag("BY_TYPE", "STR(ID_CLAIM,10)+ID_TYPE+STR(ID_SEQB,4)+STR(ID_SEQC,4)"),
};
constexpr FieldRow kRecnm[] = {
    N("NM_CLAIM", 10),   C("NM_TYPE", 4),       N("NM_SEQA", 4),
    N("NM_SEQB", 4),     N("NM_SEQC", 4),       C("NM_QUAL", 3),
    C("NM_ENTCD", 1),    C("NM_LNAME", 35),     C("NM_FNAME", 35),
    C("NM_MI", 25),      C("NM_SUFX", 10),
};
constexpr AlterRow kBcrecnmAlters[] = {{"NM_LNAME", 158, 'C', 60, 0}};
constexpr AlterRow kBsrecnmAlters[] = {{"NM_LNAME", 173, 'C', 60, 0}};
constexpr TagRow kRecnmTags[] = {
    Tag("NM_CLAIM", "STR(NM_CLAIM,10)+NM_TYPE+STR(NM_SEQB,4)"),
    Tag("BY_TYPE", "STR(NM_CLAIM,10)+NM_TYPE+STR(NM_SEQB,4)+STR(NM_SEQC,4)"),
};

// Both response tables gain the bill type; the update differs per family.
constexpr FieldRow kBcrspns[] = {
    N("CR_CLAIM", 10),   N("CR_SEQ", 4),        D("CR_DATE"),
    C("CR_PAYID", 9),    C("CR_STATCAT", 3),    C("CR_STATCD", 3),
    C("CR_ENTITY", 3),   N("CR_AMOUNT", 12, 2), C("CR_PAYICN", 30),
    C("CR_TOB", 3).from(177),                   C("CR_MSG", 80),
};
constexpr FieldRow kBsrspns[] = {
    N("CR_CLAIM", 10),   N("CR_SEQ", 4),        D("CR_DATE"),
    C("CR_PAYID", 9),    C("CR_STATCAT", 3),    C("CR_STATCD", 3),
    C("CR_ENTITY", 3),   N("CR_AMOUNT", 12, 2), C("CR_PAYICN", 30),
    C("CR_TOB", 3).from(178),                   C("CR_MSG", 80),
};
constexpr TagRow kRspnsTags[] = {Tag("CR_CLAIM", "STR(CR_CLAIM,10)+STR(CR_SEQ,4)")};

// ---- 1500 claim family (archived below "arch1500") -------------------------
constexpr FieldRow kBsclaim[] = {
    N("CLAIM", 10),      D("DT_ENTERED"),       C("CLERK", 10),
    C("LOCATION", 2),    C("STATUS", 3),        C("SOURCE", 1),
    C("MEDIA", 1),       C("C_LOB", 3),         C("C_PAYER_D", 60),
    C("C_PAYER_I", 9),   C("C_PAYER_S", 2),     C("C_BILLPROV", 15),
    N("C_BILLSEQ", 8),   C("C_BILLTYPE", 1),    C("C_BILLPAY", 9),
    C("C_BILLGPNO", 15), C("C_BILLNPI", 10).from(138),
    D("C_SERVFROM"),     D("C_SERVTHRU"),       C("C_EDITIND", 3).from(138),
    C("C_PCN", 20),      C("C_PATLNAME", 60),   C("C_PATFNAME", 35),
    C("C_PATINIT", 25),  C("C_PATGEN", 10),     D("C_PATDOB"),
    C("C_PATSEX", 1),    C("C_PATADDR1", 55),   C("C_PATADDR2", 55),
    C("C_PATCITY", 30),  C("C_PATSTATE", 2),    C("C_PATZIP", 9),
    C("C_PATOINS", 1),   C("C_EMPLREL", 1),     C("C_ACCIREL", 1),
    C("C_ACCSTATE", 2),  D("C_ACCDATE").from(201),
    C("C_PATSIG", 1),    C("C_RELINFO", 1),     D("C_ROIDATE"),
    C("C_REFUPIN", 30).to(115),                 C("C_REFIDTP", 3).to(115),
    C("C_REFTAXTP", 1).to(115),                 C("C_REFTAXID", 9).to(115),
    C("C_REFLNAME", 60).to(167),                C("C_REFFNAME", 35).to(167),
    C("C_REFMI", 25).to(167),                   C("C_REFSUFX", 10).from(138).to(167),
    C("C_REFSTATE", 2).from(138).to(167),
    C("C_LABIND", 1),    N("C_LABCHGS", 12, 2),
    C("C_DIAG1", 7),     C("C_DIAG2", 7),       C("C_DIAG3", 7),
    C("C_DIAG4", 7),     C("C_DIAG5", 7).from(196),
    C("C_DIAG6", 7).from(196),                  C("C_DIAG7", 7).from(196),
    C("C_DIAG8", 7).from(196),                  C("C_DIAG9", 7).from(196),
    C("C_DIAG10", 7).from(196),                 C("C_DIAG11", 7).from(196),
    C("C_DIAG12", 7).from(196),                 C("C_DIAGVS", 12).from(196),
    D("C_HRVSDATE").from(167),
    C("C_DOCIND", 1).to(167),                   C("C_DOCTYPE", 1).to(167),
    C("C_DOCACN", 30).to(167),
    C("C_PRVASSN", 1),   C("C_PRVSIGI", 1),     D("C_PRVSIGD"),
    C("C_FEDTAXID", 9),  C("C_FEDTAXTP", 1),    C("C_FACIND", 1),
    C("C_FACID", 30).to(115),                   C("C_FACIDTP", 3).to(115),
    C("C_FACNAME", 60),  C("C_FACADD1", 55),    C("C_FACADD2", 55),
    C("C_FACCITY", 30),  C("C_FACST", 2),       C("C_FACZIP", 9),
    C("C_FACTP", 3),     C("C_FACTAXID", 15).to(115),
    C("C_FACTAXTP", 1).to(115),                 C("C_CPPROV", 15).to(167),
    N("C_TOTUNITS", 9, 2),                      N("C_TOTCHGS", 12, 2),
    N("C_AMTPAID", 12, 2),                      N("C_BALDUE", 12, 2),
    C("C_PIN_PROV", 15), N("C_PINPRSEQ", 8),    C("C_PINTYPE", 1),
    C("C_GRP_PROV", 15), C("C_REMARKS", 80),
};
constexpr TagRow kBsclaimTags[] = {
    Tag("CL_ONLY", "STR(CLAIM,10)"),
    Tag("CLM_ALL", "STR(CLAIM,10)+LOCATION"),
    Tag("C_CLAIM", "STR(CLAIM,10)+DTOS(DT_ENTERED)"),
    Tag("BY_PCN", "C_PCN"),
    Tag("BY_PATNM", "UPPER(C_PATLNAME+C_PATFNAME)"),
};

constexpr FieldRow kBslines[] = {
    N("CLAIM", 10),      N("LINE", 4),          D("L_FROM"),
    D("L_TO"),           C("L_POS", 2),         C("L_TOS", 2),
    C("L_HCPCS", 5),     C("L_MOD1", 2),        C("L_MOD2", 2),
    C("L_MOD3", 2),      C("L_MOD4", 2),        C("L_DIAG", 4),
    N("L_CHARGES", 12, 2),                      N("L_UNITS", 7),
    C("L_EMG", 1),       C("L_EPSDT", 1),       C("L_PURSVCID", 15).to(116),
    C("L_PURSVCTP", 2).to(116),                 N("L_PURSVCAM", 12, 2),
    C("L_PSSLNS", 1).from(170),
    C("L_NDC", 11),      N("L_NDCQTY", 10, 3),
};
constexpr AlterRow kBslinesAlters[] = {{"L_UNITS", 184, 'N', 10, 3}};

constexpr FieldRow kBslinesa[] = {
    N("CLAIM", 10),      N("LINE", 4),
    C("LA_SUPR", 15).to(117),                   C("LA_SUPRTP", 2).to(117),
    C("LA_SUPRUPN", 15).to(117),                C("LA_SUPRUTP", 2).to(117),
    C("LA_ORDR", 15).to(117),                   C("LA_ORDRTP", 2).to(117),
    C("LA_ORDRUPN", 15).to(117),                C("LA_ORDRUTP", 2).to(117),
    C("LA_REFR", 15).to(117),                   C("LA_REFRTP", 2).to(117),
    C("LA_REFRUPN", 15).to(117),                C("LA_REFRUTP", 2).to(117),
    C("LA_FACID", 15).to(117),                  C("LA_FACIDTP", 2).to(117),
    C("LA_FACTXID", 15).to(117),                C("LA_FACTXTP", 2).to(117),
    N("LA_SUPLSZ", 3).from(117),
    C("LA_PURSVNM", 60).to(169),
    C("LA_ORDRLN", 60).to(169),                 C("LA_ORDRFN", 35).to(169),
    C("LA_ORDRMI", 25).to(169),                 C("LA_ORDRSX", 10).to(169),
    C("LA_REFRLN", 60).to(169),                 C("LA_REFRFN", 35).to(169),
    C("LA_REFRMI", 25).to(169),                 C("LA_REFRSX", 10).to(169),
    C("LA_SUPRLN", 60).to(169),                 C("LA_SUPRFN", 35).to(169),
    C("LA_SUPRMI", 25).to(169),                 C("LA_SUPRSX", 10).to(169),
    M("LA_NRTV").to(169),                       C("LA_NRTVTP", 3).to(169),
    C("LA_REFNO1", 30).to(169),                 C("LA_REFTP1", 3).to(169),
    C("LA_REFNO2", 30).to(169),                 C("LA_REFTP2", 3).to(169),
    N("LA_DEDUCT", 12, 2).to(169),              N("LA_COINS", 12, 2).to(169),
    C("LA_SCRPTYP", 2).from(169),               C("LA_PROCDSC", 80).from(187),
    C("LA_NDCTP", 2).from(187),                 C("LA_CLIA", 15),
};

constexpr FieldRow kBscpayer[] = {
    N("CP_CLAIM", 10),   C("CP_PAYSEQ", 2),     C("CP_PAYID", 9),
    C("CP_PAYLOB", 3),   C("CP_PAYSRC", 3),     C("CP_PAYNAME", 60),
    C("CP_EDITIND", 3).from(102),
    C("CP_PRIAUT", 50).to(168),                 C("CP_PRIATP", 2).from(102).to(168),
    C("CP_PRIAUT2", 50).from(102).to(168),      C("CP_PRIATP2", 2).from(102).to(168),
    C("CP_PRIAUT3", 50).from(102).to(168),      C("CP_PRIATP3", 2).from(102).to(168),
    C("CP_ASNBEN", 1),   C("CP_SIGSRC", 1),     C("CP_RELINS", 2),
    C("CP_INSID", 30),   C("CP_LNAME", 60),     C("CP_FNAME", 35),
    C("CP_MI", 25),      C("CP_GEN", 10),       C("CP_SEX", 1),
    D("CP_DOB"),         C("CP_ESTAT", 1),      C("CP_PADDR1", 55),
    C("CP_PADDR2", 55),  C("CP_PCITY", 30),     C("CP_PSTATE", 2),
    C("CP_PZIP", 9),     C("CP_ICNTRY", 3).from(102),
    C("CP_ICNTACT", 60).from(168),
    C("CP_IADDR1", 55),  C("CP_IADDR2", 55),    C("CP_ICITY", 30),
    C("CP_ISTATE", 2),   C("CP_IZIP", 9),       C("CP_MSPTYP", 2).to(168),
    C("CP_INSTYP", 2).from(168),
    C("CP_GRPNUM", 30),  C("CP_GRPNAME", 60),
    N("CP_ALLOW", 12, 2).to(168),               N("CP_PAID", 12, 2).to(168),
    N("CP_DEDUCT", 12, 2).to(168),              N("CP_COINS", 12, 2).to(168),
};

constexpr FieldRow kBsattach[] = {
    N("CLAIM", 10),      N("LINE", 4),          N("A_HEIGHT", 5, 1),
    N("A_WEIGHT", 5, 1), N("A_HGBRSLT", 5),     N("A_HCTRSLT", 5, 1),
    C("A_TRANSRSN", 1),  N("A_TRANSDST", 6, 1), N("A_BEDDUR", 4).from(165),
    C("A_AMBDOLOC", 60).from(179),              C("A_CERTCD", 1),
    M("A_TRIPNAR").to(165),                     M("A_STRCNAR").to(165),
    M("A_CHIDESC").to(165),                     M("A_TRIPDSC").from(165),
    M("A_STRCDSC").from(165),                   M("A_CHIRDSC").from(165),
};
constexpr AlterRow kBsattachAlters[] = {{"A_HGBRSLT", 120, 'N', 5, 1}};

constexpr FieldRow kBsattchd[] = {
    N("CLAIM", 10),      C("D_CERTTYP", 1),     D("D_CERTDT"),
    D("D_LASTDT"),       D("D_XRAYDT"),         C("D_HOMEBND", 1),
    C("D_ORDRLN", 60),   C("D_ORDRFN", 35),     C("D_ORDRMI", 25),
    C("D_ORDRSX", 10).from(166),                C("D_RAL20N02", 10).from(131),
};
constexpr TagRow kBsattchdTags[] = {Tag("D_CLAIM", "STR(CLAIM,10)")};

constexpr FieldRow kBscpymnt[] = {
    N("CY_CLAIM", 10),   N("CY_SEQ", 4),        D("CY_DATE"),
    C("CY_PAYID", 9),    N("CY_AMOUNT", 12, 2), C("CY_CHECK", 20),
    N("CY_DISUNIT", 8, 3),
};
constexpr AlterRow kBscpymntAlters[] = {
    {"CY_DISUNIT", 123, 'N', 9, 3},
    {"CY_DISUNIT", 185, 'N', 10, 3},
};
constexpr TagRow kBscpymntTags[] = {Tag("CY_CLAIM", "STR(CY_CLAIM,10)+STR(CY_SEQ,4)")};

constexpr FieldRow kBsrecrn[] = {
    N("RE_CLAIM", 10),   C("RE_TYPE", 4),       N("RE_SEQA", 4),
    N("RE_SEQB", 4),     N("RE_SEQC", 4),       C("RE_SEGID", 3),
    C("RE_PWRTC", 2),    C("RE_PWATC", 2),      C("RE_NTTYP", 3),
    C("RE_NRTVA", 80),
};
constexpr TagRow kBsrecrnTags[] = {
    Tag("BY_CLMTYP", "STR(RE_CLAIM,10)+RE_TYPE+STR(RE_SEQB,4)+STR(RE_SEQC,4)"),
};

constexpr FieldRow kBscob[] = {
    N("CO_CLAIM", 10),   C("CO_TYPE", 4),       N("CO_LNSEQA", 4),
    N("CO_LNSEQB", 4),   N("CO_LNSEQC", 4),     C("CO_GRPCD", 2),
    C("CO_RSNCD", 5),    C("CO_AMTCD", 3),      N("CO_AMOUNT", 12, 2),
    N("CO_UNITS", 10, 3),
};
constexpr TagRow kBscobTags[] = {
    Tag("BY_CLMTYP",
        "STR(CO_CLAIM,10)+CO_TYPE+STR(CO_LNSEQA,4)+STR(CO_LNSEQB,4)+STR(CO_LNSEQC,4)"),
};

// ---- reference and master tables (data directory only) ---------------------
constexpr FieldRow kUpin[] = {
    C("UPIN", 15),       C("LASTNAME", 35),     C("FIRSTNAME", 35),
    C("MIDDLE", 25),     C("SUFFIX", 10),       C("CREDENTL", 10),
    C("NPI", 10).from(110),                     C("TAXONOMY", 10).from(200),
    C("ADDRESS1", 55),   C("ADDRESS2", 55),     C("CITY", 30),
    C("STATE", 2),       C("ZIP", 9),           C("PHONE", 10),
};
constexpr AlterRow kUpinAlters[] = {
    {"UPIN", 110, 'C', 30, 0},
    {"LASTNAME", 164, 'C', 60, 0},
};
constexpr TagRow kUpinTags[] = {
    Tag("BYUPIN", "UPIN"),
    Tag("BYNAME", "UPPER(LASTNAME+FIRSTNAME)"),
    Tag("BYNPI", "NPI").from(133),
};

constexpr FieldRow kFacility[] = {
    C("FAC_CODE", 10),   C("FAC_ID", 15),       C("FAC_IDTP", 3),
    C("FAC_NAME", 60),   C("FAC_ADDR1", 55),    C("FAC_ADDR2", 55),
    C("FAC_CITY", 30),   C("FAC_STATE", 2),     C("FAC_ZIP", 9),
    C("FAC_NPI", 10),    C("FAC_TAXID", 15),    C("FAC_TAXTP", 1),
    C("FAC_POS", 2),
};
constexpr AlterRow kFacilityAlters[] = {
    {"FAC_ID", 111, 'C', 30, 0},
    {"FAC_ID", 160, 'C', 50, 0},
};
constexpr TagRow kFacilityTags[] = {
    Tag("BY_CODE", "FAC_CODE"),
    Tag("BY_ID", "FAC_ID"),
    Tag("BY_NAME", "UPPER(FAC_NAME)"),
};

constexpr FieldRow kPatient[] = {
    C("PT_PCN", 20),     C("PT_MEDREC", 24),    C("PT_L_NAME", 25),
    C("PT_F_NAME", 35),  C("PT_MI", 25),        C("PT_GEN", 10),
    D("PT_DOB"),         C("PT_SEX", 1),        C("PT_ADDR1", 55),
    C("PT_ADDR2", 55),   C("PT_CITY", 30),      C("PT_STATE", 2),
    C("PT_ZIP", 9),      C("PT_MSA", 4).to(121),
    C("PT_CBSA", 5).from(121),                  C("PT_PHONE", 10),
    C("PT_SSN", 9),      C("PT_MARITAL", 1),    C("PT_EMPSTAT", 1),
    C("PT_LOB", 3),      M("PT_NOTES"),
};
constexpr AlterRow kPatientAlters[] = {
    {"PT_L_NAME", 132, 'C', 35, 0},
    {"PT_L_NAME", 161, 'C', 60, 0},
};
constexpr TagRow kPatientTags[] = {
    Tag("BY_PCN", "PT_PCN"),
    Tag("BY_NAME", "UPPER(PT_L_NAME+PT_F_NAME)"),
};

constexpr FieldRow kPayer[] = {
    C("PAYID", 9),       C("PAYLOB", 3),        C("PAYUSAGE", 1),
    C("PAYDESC", 30),    C("PAYFULDESC", 35),   C("PAYADDR1", 55),
    C("PAYADDR2", 55),   C("PAYCITY", 30),      C("PAYSTATE", 2),
    C("PAYZIP", 9),      C("PAYPHONE", 10),     C("PAYSOURCE", 3),
    C("PAYCLMEDIT", 3).from(162),               C("PAYFORMAT", 1),
};
constexpr AlterRow kPayerAlters[] = {{"PAYFULDESC", 162, 'C', 60, 0}};
constexpr TagRow kPayerMasterTags[] = {
    Tag("BY_IDLOB", "PAYID+PAYLOB"),
    Tag("BY_DESC", "UPPER(PAYDESC)"),
};

constexpr FieldRow kBsroster[] = {
    N("R_ROSTER", 10),   C("R_SEQNO", 4),       D("R_ENTERED"),
    D("R_UPDATED"),      C("R_CLERK", 10),      C("R_CLINIC", 30),
    C("R_PAYERID", 9),   C("R_PAYERLOB", 3),    C("R_PROVID", 15),
    N("R_PROVSEQ", 8),   C("R_PROVTYPE", 1),    C("R_PROVPAYR", 9),
    C("R_PROVGRP", 15),  N("R_PROVGSQ", 8),     C("R_POS", 2),
    D("R_SERVDATE"),     C("R_TYPE", 1),        C("R_HCPCS", 5),
    C("R_PROCDSC", 80).from(199),
    C("R_REFNPI", 10).from(114),                C("R_UPIN", 15),
    C("R_IDTP", 3),      C("R_REFLNAME", 35),   C("R_REFFNAME", 35),
    C("R_REFMI", 25),    C("R_REFSX", 10).from(175),
    C("R_REFSTATE", 2),  C("R_REFTAXID", 9),    C("R_REFTAXTP", 1),
    N("R_VACCINE", 10, 2),                      N("R_ADMIN", 10, 2),
    C("R_FACNPI", 10).from(114),                C("R_FACID", 30),
    C("R_FACIDTP", 3).from(114),                C("R_FACNAME", 60),
    C("R_FACADD1", 55),  C("R_FACADD2", 55),    C("R_FACCITY", 30),
    C("R_FACST", 2),     C("R_FACZIP", 9),      C("R_FACTP", 3).from(114),
    C("R_FACTAXID", 15).from(114),              C("R_FACTAXTP", 1).from(114),
    C("R_LOCATION", 2),  D("R_PROCESS"),        N("R_TOTCNT", 6),
    N("R_TOTCHG", 12, 2),
};
constexpr AlterRow kBsrosterAlters[] = {{"R_REFLNAME", 175, 'C', 60, 0}};
constexpr TagRow kBsrosterTags[] = {Tag("R_ROSTER", "STR(R_ROSTER,10)")};

constexpr FieldRow kBsrostln[] = {
    C("RL_ROSTER", 10),  N("RL_LINE", 5),       C("RL_PCN", 20),
    C("RL_HIC", 25),     C("RL_LNAME", 60),     C("RL_FNAME", 35),
    C("RL_INIT", 25),    C("RL_GEN", 10),       C("RL_SEX", 1),
    D("RL_DOB"),         C("RL_ADDR1", 55),     C("RL_ADDR2", 55),
    C("RL_CITY", 30),    C("RL_STATE", 2),      C("RL_ZIP", 9),
    C("RL_AOB", 1),      C("RL_SRC", 1),        C("RL_PREL", 2),
    C("RL_ILNAME", 60),  C("RL_IFNAME", 35),    C("RL_IINIT", 25),
    C("RL_IGEN", 10),    C("RL_IADDR1", 55),    C("RL_IADDR2", 55),
    C("RL_ICITY", 30),   C("RL_ISTATE", 2),     C("RL_IZIP", 9),
    C("RL_DIAG", 7),     C("RL_DIAGVS", 1).from(198),
    C("RL_ERRMSG", 80),
};
constexpr AlterRow kBsrostlnAlters[] = {{"RL_HIC", 176, 'C', 30, 0}};
constexpr TagRow kBsrostlnTags[] = {Tag("RL_ROSTER", "RL_ROSTER+STR(RL_LINE,5)")};

// Eligibility requests and their lines, one shape for both claim kinds.
constexpr FieldRow kBcelgrq[] = {
    N("E_REQID", 8),     D("E_DATE"),           C("E_PAYID", 9),
    C("E_LOB", 3),       C("E_PROVID", 15),     C("E_PATLNAM", 60),
    C("E_PATFNAM", 35),  D("E_PATDOB"),         C("E_INSID", 30),
    D("E_SVDATE"),       C("E_SVTYPE", 2).from(134),
    C("E_FACTYPE", 2).from(143),                C("E_SBDIAG", 7),
    C("E_SBDIAGVS", 1).from(195),               C("E_STATUS", 1),
};
constexpr FieldRow kBselgrq[] = {
    N("E_REQID", 8),     D("E_DATE"),           C("E_PAYID", 9),
    C("E_LOB", 3),       C("E_PROVID", 15),     C("E_PATLNAM", 60),
    C("E_PATFNAM", 35),  D("E_PATDOB"),         C("E_INSID", 30),
    D("E_SVDATE"),       C("E_SVTYPE", 2).from(135),
    C("E_FACTYPE", 2).from(144),                C("E_SBDIAG", 7),
    C("E_SBDIAGVS", 1).from(197),               C("E_STATUS", 1),
};
constexpr TagRow kElgrqTags[] = {Tag("E_REQID", "STR(E_REQID,8)")};
constexpr FieldRow kBcelgrql[] = {
    N("EL_REQID", 8),    N("EL_SEQ", 3),        C("EL_SVTYPE", 2),
    C("EL_PROC", 5),     N("EL_SPNDTB", 12, 2).from(189),
};
constexpr FieldRow kBselgrql[] = {
    N("EL_REQID", 8),    N("EL_SEQ", 3),        C("EL_SVTYPE", 2),
    C("EL_PROC", 5),     N("EL_SPNDTB", 12, 2).from(191),
};
constexpr TagRow kElgrqlTags[] = {Tag("EL_REQID", "STR(EL_REQID,8)+STR(EL_SEQ,3)")};

constexpr FieldRow kCareason[] = {
    C("CARC_CODE", 5),   C("CARC_DESC", 200),   D("CARC_EFFDT").from(141),
    D("CARC_ENDDT").from(141),
};
constexpr TagRow kCareasonTags[] = {Tag("BY_CODE", "CARC_CODE")};
constexpr FieldRow kRespcode[] = {
    C("SRC_CODE", 5),    C("SRC_DESC", 200),    D("SRC_EFFDT").from(142),
    D("SRC_ENDDT").from(142),
};
constexpr TagRow kRespcodeTags[] = {Tag("BY_CODE", "SRC_CODE")};
constexpr FieldRow kTaxonomy[] = {
    C("TX_CODE", 10),    C("TX_TYPE", 60),      C("TX_CLASS", 60),
    C("TX_SPEC", 60),    D("TX_EFFDT").from(150),
    D("TX_ENDDT").from(150),
};
constexpr TagRow kTaxonomyTags[] = {Tag("BY_CODE", "TX_CODE")};
constexpr FieldRow kRemitrem[] = {
    C("RARC_CODE", 5),   M("RARC_DESC"),        D("RARC_EFFDT").from(151),
    D("RARC_ENDDT").from(151),
};
constexpr TagRow kRemitremTags[] = {Tag("BY_CODE", "RARC_CODE")};

constexpr FieldRow kIsec[] = {
    C("SEC_USER", 10),   C("SEC_NAME", 35),     C("SEC_PASSWD", 20),
    N("SEC_FLAGS1", 5),  N("SEC_FLAGS2", 5),    N("SEC_FLAGS3", 5),
    N("SEC_FLAGS4", 5),  N("SEC_LEVEL", 2),     C("SEC_EMAIL", 60).from(202),
};
constexpr TagRow kIsecTags[] = {Tag("BY_NAME", "UPPER(SEC_USER)")};

constexpr FieldRow kBcpoc[] = {
    C("T_PCN", 20),      D("T_CERTFROM"),       D("T_CERTTHRU"),
    C("T_PROVID", 15),   C("T_PDIAG", 7),       C("T_PDIAGVS", 1).from(203),
    C("T_ODIAG1", 7),    C("T_ODIAG2", 7),      C("T_ODIAG3", 7),
    C("T_ODIAG4", 7),    M("T_NOTES"),
};
constexpr TagRow kBcpocTags[] = {Tag("BY_PCN", "T_PCN+DTOS(T_CERTFROM)")};

constexpr FieldRow kRevcode[] = {
    C("REV_CODE", 4),    C("REV_DESC", 35),     N("REV_CHGS", 10, 2),
    C("REV_UNITS", 2),
};
constexpr TagRow kRevcodeTags[] = {Tag("BY_CODE", "REV_CODE")};

// The host's shared counters; it has no index.
constexpr FieldRow kUtilmast[] = {
    N("ID_1", 10),  N("ID_2", 10),  N("ID_3", 10),  N("ID_4", 10),  N("ID_5", 10),
    N("ID_6", 10),  N("ID_7", 10),  N("ID_8", 10),  N("ID_9", 10),  N("ID_10", 10),
    N("ID_11", 10), N("ID_12", 10), N("ID_13", 10), N("ID_14", 10), N("ID_15", 10),
};

constexpr std::span<const AlterRow> kNoAlters{};
constexpr std::span<const TagRow> kNoTags{};

constexpr TableRow kTables[] = {
    {"submit", 0, None, kSubmit, kNoAlters, kSubmitTags},
    {"bcprov", 0, None, kBcprov, kNoAlters, kProvTags},
    {"bsprov", 0, None, kBsprov, kNoAlters, kProvTags},
    {"upin", 0, None, kUpin, kUpinAlters, kUpinTags},
    {"facility", 0, None, kFacility, kFacilityAlters, kFacilityTags},
    {"patient", 0, None, kPatient, kPatientAlters, kPatientTags},
    {"payer", 0, None, kPayer, kPayerAlters, kPayerMasterTags},
    {"bsroster", 0, None, kBsroster, kBsrosterAlters, kBsrosterTags},
    {"bsrostln", 0, None, kBsrostln, kBsrostlnAlters, kBsrostlnTags},
    {"bcelgrq", 0, None, kBcelgrq, kNoAlters, kElgrqTags},
    {"bselgrq", 0, None, kBselgrq, kNoAlters, kElgrqTags},
    {"bcelgrql", 0, None, kBcelgrql, kNoAlters, kElgrqlTags},
    {"bselgrql", 0, None, kBselgrql, kNoAlters, kElgrqlTags},
    {"careason", 0, None, kCareason, kNoAlters, kCareasonTags},
    {"respcode", 0, None, kRespcode, kNoAlters, kRespcodeTags},
    {"taxonomy", 0, None, kTaxonomy, kNoAlters, kTaxonomyTags},
    {"remitrem", 0, None, kRemitrem, kNoAlters, kRemitremTags},
    {"isec", 0, None, kIsec, kNoAlters, kIsecTags},
    {"bcpoc", 0, None, kBcpoc, kNoAlters, kBcpocTags},
    {"revcode", 0, None, kRevcode, kNoAlters, kRevcodeTags},
    {"utilmast", 0, None, kUtilmast, kNoAlters, kNoTags},
    {"bcclaim", 0, Ub, kBcclaim, kBcclaimAlters, kBcclaimTags},
    {"bclines", 0, Ub, kBclines, kBclinesAlters, kLineTags},
    {"bccpayer", 0, Ub, kBccpayer, kNoAlters, kPayerTags},
    {"bcccodes", 0, Ub, kBcccodes, kNoAlters, kBcccodesTags},
    {"bclinesc", 0, Ub, kBclinesc, kNoAlters, kLinecTags},
    {"bcrspns", 0, Ub, kBcrspns, kNoAlters, kRspnsTags},
    {"bcrecid", 106, Ub, kBcrecid, kNoAlters, kRecidTags},
    {"bcrecnm", 106, Ub, kRecnm, kBcrecnmAlters, kRecnmTags},
    {"bsclaim", 0, Professional, kBsclaim, kNoAlters, kBsclaimTags},
    {"bslines", 0, Professional, kBslines, kBslinesAlters, kLineTags},
    {"bslinesa", 0, Professional, kBslinesa, kNoAlters, kLineTags},
    {"bscpayer", 0, Professional, kBscpayer, kNoAlters, kPayerTags},
    {"bsattach", 0, Professional, kBsattach, kBsattachAlters, kLineTags},
    {"bsattchd", 0, Professional, kBsattchd, kNoAlters, kBsattchdTags},
    {"bscpymnt", 0, Professional, kBscpymnt, kBscpymntAlters, kBscpymntTags},
    {"bslinesc", 0, Professional, kBslinesc, kNoAlters, kLinecTags},
    {"bsrspns", 0, Professional, kBsrspns, kNoAlters, kRspnsTags},
    {"bsrecrn", 0, Professional, kBsrecrn, kNoAlters, kBsrecrnTags},
    {"bscob", 0, Professional, kBscob, kNoAlters, kBscobTags},
    {"bsrecid", 113, Professional, kBsrecid, kNoAlters, kRecidTags},
    {"bsrecnm", 113, Professional, kRecnm, kBsrecnmAlters, kRecnmTags},
};

}  // namespace

std::span<const TableRow> Tables() { return kTables; }

}  // namespace talvex::releases::history
