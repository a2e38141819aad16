// The sale document a point-of-sale program sends (CFe/infCFe with ide,
// emit, dest, det, total and pgto): its structure checked the way a device
// checks it before signing, and the values the coupon is computed from read
// exactly.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "decimal.h"
#include "xml.h"
#include "xml_group.h"

namespace satemu {

// The largest sale document a device takes.
inline constexpr size_t kMaxSaleDocument = 1500 * 1024;
inline constexpr size_t kMaxItems = 500;
inline constexpr size_t kMaxPayments = 10;

// PIS or COFINS of one item, or their substitution (ST) groups.
struct Contribution {
  enum class Basis {
    kNone,      // nothing to compute (not taxed, or Simples Nacional)
    kValue,     // base (vBC, cents) times rate (pPIS/pCOFINS, ten-thousandths: 0.0165 is 165)
    kQuantity,  // base (qBCProd, ten-thousandths) times rate (vAliqProd, ten-thousandths of a real)
  };
  Basis basis = Basis::kNone;
  int64_t base = 0;
  int64_t rate = 0;
};

// The ISSQN of a service item: its base is the item's value less the
// deduction.
struct ServiceTax {
  int64_t deduction = 0;  // vDeducISSQN, cents
  int64_t rate = 0;       // vAliq, hundredths of a percent
};

// The numbers of one item: all the device needs to compute its values.
struct ItemValues {
  int64_t quantity = 0;                 // qCom, ten-thousandths
  int64_t unit_price = 0;               // vUnCom, thousandths of a real
  Rounding rounding = Rounding::kAbnt;  // indRegra: A rounds, T truncates
  int64_t discount = 0;                 // vDesc, cents
  int64_t other = 0;                    // vOutro, cents
  std::optional<int64_t> icms_rate;     // pICMS, hundredths of a percent
  std::optional<ServiceTax> service;    // an item taxed by ISSQN instead of ICMS
  Contribution pis, pis_st, cofins, cofins_st;
};

// The numbers of a whole sale.
struct SaleValues {
  std::vector<ItemValues> items;
  int64_t subtotal_discount = 0;  // DescAcrEntr/vDescSubtot, cents
  int64_t subtotal_charge = 0;    // DescAcrEntr/vAcresSubtot, cents
  bool services_share = false;    // indRatISSQN S: service items share the two above too
  std::vector<int64_t> payments;  // each vMP, cents
};

// One item's groups as sent, for the coupon to be built from.
struct SaleItem {
  Group det, prod, imposto;
  std::optional<Group> icms;   // ICMS00, ICMS40, ICMSSN102 or ICMSSN900
  std::optional<Group> issqn;  // in place of ICMS on a service item
  Group pis, cofins;           // the chosen kind: PISAliq, COFINSNT...
  std::optional<Group> pis_st, cofins_st;
};

struct Sale {
  XmlDoc doc;
  Group inf, ide, emit, dest, total, pgto;
  std::optional<Group> delivery, extra;  // entrega, infAdic: copied as they are
  std::vector<SaleItem> items;
  std::string version;  // versaoDadosEnt
  std::string software_house_cnpj, signature, register_number;
  std::string emitter_cnpj, emitter_ie;
  std::string buyer;  // CPF or CNPJ; empty when the sale names none
  SaleValues values;
};

// The rejection codes (cod in a 06010 reply) of the rules a device checks
// before signing; a reason may begin with one of them and a blank.
namespace rejection {
inline constexpr char kUnidentified[] = "1999";
inline constexpr char kSoftwareHouseCnpj[] = "1201";
inline constexpr char kRegister[] = "1202";
inline constexpr char kEmitterCnpj[] = "1203";
inline constexpr char kEmitterNotDevice[] = "1204";
inline constexpr char kEmitterIe[] = "1205";
inline constexpr char kBuyerCpf[] = "1206";
inline constexpr char kBuyerCnpj[] = "1207";
inline constexpr char kCfop[] = "1208";
inline constexpr char kNcm[] = "1209";
inline constexpr char kQuantity[] = "1210";
inline constexpr char kUnitPrice[] = "1211";
inline constexpr char kItemDiscount[] = "1212";
inline constexpr char kPaymentsShort[] = "1213";
inline constexpr char kPaymentCode[] = "1214";
inline constexpr char kSubtotalDiscount[] = "1215";
inline constexpr char kMunicipalRegistration[] = "1216";
inline constexpr char kServiceRegime[] = "1217";
inline constexpr char kServiceRate[] = "1218";
inline constexpr char kServiceCity[] = "1219";
inline constexpr char kServiceListItem[] = "1220";
inline constexpr char kServiceNature[] = "1221";
inline constexpr char kServiceIncentive[] = "1222";
inline constexpr char kServiceDeduction[] = "1223";
}  // namespace rejection

// Puts `code` ahead of the reason in `error`; false, for chaining.
bool Reject(const char* code, std::string* error);
// Splits a reason into its rejection code (kUnidentified when it has none)
// and its text.
void SplitRejection(std::string_view reason, std::string* code, std::string* text);

// Reads a sale document. False, with the reason a device gives, when it is
// not one it would sign.
bool ReadSale(std::string_view text, Sale* sale, std::string* error);

// 11 digits with the two check digits of a CPF (and not all the same digit).
bool ValidCpf(std::string_view cpf);

// The buyer in a dest group: a CPF or a CNPJ, checked; empty for none.
bool ReadBuyer(const Group& dest, std::string* buyer, std::string* error);

// The identity groups a device checks on every document: the software house
// (ide: CNPJ, signAC, numeroCaixa).
bool ReadSoftwareHouse(const Group& ide, std::string* cnpj, std::string* signature,
                       std::string* register_number, std::string* error);

}  // namespace satemu
