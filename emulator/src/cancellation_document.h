// The cancellation document a point-of-sale program sends to cancel the
// last sale (CFeCanc/infCFe with the sale's key in chCanc, and ide, emit,
// dest and total), checked the way a device checks it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "xml.h"
#include "xml_group.h"

namespace satemu {

struct Cancellation {
  XmlDoc doc;
  Group inf, ide, emit, dest, total;
  std::optional<Group> extra;  // infAdic, copied as it is
  std::string key;             // chCanc without its "CFe": 44 digits
  std::string software_house_cnpj, signature, register_number;
  std::string buyer;  // CPF or CNPJ, empty when the document names none
};

// False, with the reason a device gives, when it is not a cancellation
// document it would sign.
bool ReadCancellation(std::string_view text, Cancellation* cancellation, std::string* error);

}  // namespace satemu
