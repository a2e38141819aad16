// What the check, the JSON reader and the totals refuse: the field by its
// path in the document (`det[3].prod.NCM`, items and payments counted from
// 1 as nItem counts them), the device's rejection code for the rule where it
// has one (empty otherwise: the device then answers with its catch-all
// 1999), and what is wrong, in Portuguese for the store's people.
#pragma once

#include <string>
#include <vector>

namespace kovrad::cfe {

struct Refusal {
  std::string path;
  std::string code;
  std::string message;

  bool operator==(const Refusal&) const = default;
};
using Refusals = std::vector<Refusal>;

// The rejection codes (cod of a 06010 reply) of the rules they name.
namespace rejection {
inline constexpr char kSoftwareHouseCnpj[] = "1201";
inline constexpr char kRegister[] = "1202";
inline constexpr char kEmitterCnpj[] = "1203";
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
inline constexpr char kUnidentified[] = "1999";
}  // namespace rejection

// "det[3].prod.NCM: deve ter 2 ou 8 dígitos (1209)", one line.
std::string Describe(const Refusal& refusal);

// Appends the refusals of `more` but those of a field (or of a part of one)
// that `to` already refuses: a value refused once is not refused again for
// what follows from it.
void AddNew(Refusals* to, const Refusals& more);

}  // namespace kovrad::cfe
