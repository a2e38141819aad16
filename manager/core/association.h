// Signature association: the commercial application's signature tied to the
// taxpayer and to the software house that made the application.
#pragma once

#include <string>
#include <string_view>
#include <variant>

namespace kovrad::client {
class Library;
}  // namespace kovrad::client

namespace kovrad::manager {

inline constexpr char kMsgTaxpayerInvalid[] = "          CNPJ Contribuinte Inválido.         ";
inline constexpr char kMsgSoftwareHouseInvalid[] =
    "          CNPJ Software House Inválido.         ";

// The window's fields as typed (UTF-8).
struct AssociationInput {
  std::string taxpayer;
  std::string software_house;
  std::string signature;
};

// What goes to the device (Windows-1252): the software house's fourteen
// digits followed by the taxpayer's, and the signature on one line.
struct Association {
  std::string cnpjs;
  std::string signature;
};

// The taxpayer's CNPJ, then the software house's, then the signature's
// length; the values to send, or the message of the first check that fails.
std::variant<Association, std::string> PrepareAssociation(const AssociationInput& input);

// `text` without any carriage return or line feed.
std::string RemoveLineBreaks(std::string_view text);

// Sends the association with `code` (Windows-1252) and returns the message
// for the operator.
std::string Associate(client::Library& library, const std::string& code,
                      const Association& association);

}  // namespace kovrad::manager
