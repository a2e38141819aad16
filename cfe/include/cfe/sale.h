// The CF-e sale and cancellation documents a till hands to the SAT device
// (layout versions 0.07 and 0.08), as typed data. Member names are the
// layout's element names. Amounts are integers of their field's scale (see
// decimal.h): `vUnCom` 2490 at kUnitPrice is 2.490, `vDesc` 180 is 1.80.
// Optional members the till may leave empty; those marked "default" are
// filled by Complete() (defaults.h) before the check and the writer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kovrad::cfe {

enum class Version { k007, k008 };  // versaoDadosEnt "0.07", "0.08"

struct Ide {
  std::string CNPJ;         // the software house's CNPJ
  std::string signAC;       // the signature of the association (AssociarAssinatura)
  std::string numeroCaixa;  // the till's number, three digits
};

struct Emit {
  std::string CNPJ, IE;
  std::string IM;             // municipal registration, for ISSQN
  std::string cRegTribISSQN;  // special ISSQN regime, 1 to 6
  std::string indRatISSQN;    // default "N"; "S" spreads a subtotal adjustment over ISSQN items
};

// The buyer: a CPF or a CNPJ (or neither), and a name.
struct Dest {
  std::string CNPJ, CPF, xNome;
};

struct Entrega {
  std::string xLgr, nro, xCpl, xBairro, xMun, UF;
};

struct ObsFiscoDet {
  std::string xCampoDet, xTextoDet;
};

struct Prod {
  std::string cProd, cEAN, xProd, NCM, CEST, CFOP, uCom;
  int64_t qCom = 0;                      // kQuantity
  int64_t vUnCom = 0;                    // kUnitPrice
  std::string indRegra;                  // default "A" (rounds); "T" truncates qCom x vUnCom
  std::optional<int64_t> vDesc, vOutro;  // kMoney
  std::vector<ObsFiscoDet> obsFiscoDet;
};

// ICMS: the group is chosen by the tax situation (CST, or CSOSN under the
// Simples Nacional).
struct Icms {
  enum class Group { kICMS00, kICMS40, kICMSSN102, kICMSSN900 };
  Group group = Group::kICMS00;
  std::string Orig;              // origin of the goods, 0 to 8
  std::string CST;               // ICMS00, ICMS40
  std::string CSOSN;             // ICMSSN102, ICMSSN900
  std::optional<int64_t> pICMS;  // kPercent; ICMS00, ICMSSN900
};

// PIS or COFINS of one item (PISAliq, PISQtde, PISNT, PISSN, PISOutr and the
// COFINS groups of the same names); the rate is pPIS or pCOFINS.
struct Contribution {
  enum class Group { kAliq, kQtde, kNT, kSN, kOutr };
  Group group = Group::kNT;
  std::string CST;
  std::optional<int64_t> vBC;        // kMoney; Aliq and Outr: default the item's value
  std::optional<int64_t> rate;       // kFraction (pPIS, pCOFINS)
  std::optional<int64_t> qBCProd;    // kQuantity; Qtde: default qCom
  std::optional<int64_t> vAliqProd;  // kFraction, reais per unit
};

// PISST or COFINSST: by value (vBC and rate) or by quantity.
struct Substitution {
  std::optional<int64_t> vBC, rate, qBCProd, vAliqProd;
};

struct Issqn {
  int64_t vDeducISSQN = 0;  // kMoney
  int64_t vAliq = 0;        // kPercent
  std::string cMunFG, cListServ, cServTribMun, cNatOp, indIncFisc;
};

struct Imposto {
  std::optional<int64_t> vItem12741;  // kMoney: approximate taxes (Lei 12.741)
  std::optional<Icms> ICMS;           // ICMS or ISSQN, one of them
  Contribution PIS;
  std::optional<Substitution> PISST;
  Contribution COFINS;
  std::optional<Substitution> COFINSST;
  std::optional<Issqn> ISSQN;
};

struct Det {
  Prod prod;
  Imposto imposto;
  std::string infAdProd;
};

struct Total {
  std::optional<int64_t> vDescSubtot, vAcresSubtot;  // DescAcrEntr, kMoney: one or none
  std::optional<int64_t> vCFeLei12741;               // default: the sum of the items' vItem12741
};

struct MP {
  std::string cMP;    // payment means: 01 cash, 02 cheque, 03 credit card, ...
  int64_t vMP = 0;    // kMoney
  std::string cAdmC;  // card acquirer
};

struct Sale {
  Version versaoDadosEnt = Version::k008;
  Ide ide;
  Emit emit;
  Dest dest;
  std::optional<Entrega> entrega;
  std::vector<Det> det;
  Total total;
  std::vector<MP> pgto;
  std::string infCpl;  // infAdic
};

// The cancellation of a sale, named by its key ("CFe" and 44 digits).
struct Cancellation {
  std::string chCanc;
  Ide ide;
  Dest dest;  // the sale's buyer, CPF or CNPJ
};

const char* VersionText(Version version);

}  // namespace kovrad::cfe
