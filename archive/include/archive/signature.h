// The check of a coupon's enveloped XML signature, as the device makes it:
// one reference to infCFe by its Id (enveloped signature, then C14N 1.0),
// a SHA-256 digest, RSA-SHA256 over the canonical SignedInfo, and the
// device's certificate in KeyInfo. The certificate's chain of trust is the
// tax authority's matter and is not followed here.
#pragma once

#include <string>
#include <string_view>

namespace kovrad::archive {

// True when `xml` carries a signature of the device's certificate over its
// infCFe exactly as it stands; otherwise false with `problem` (Portuguese)
// saying which part does not hold.
bool VerifySignature(std::string_view xml, std::string* problem);

}  // namespace kovrad::archive
