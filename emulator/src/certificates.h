// The device's certificate work: the request for an ICP-Brasil certificate
// that activation hands out, reading the certificate that comes back, and
// the self-signed certificate of the key that signs coupons.
#pragma once

#include <string>
#include <string_view>

#include "openssl_ptr.h"

namespace satemu {

// A PEM certificate request (new RSA 2048 key, SHA-256) naming the device and
// the taxpayer; empty when it cannot be made.
std::string MakeCertificateRequest(const std::string& serial, const std::string& cnpj);

// The validity of a PEM certificate as AAAAMMDD dates; false when the text
// holds no certificate.
bool CertificateDates(std::string_view pem, std::string* issued, std::string* expires);

// A certificate for `key`, issued by itself, naming the device by its
// serial number; valid from now for ten years. Null when it cannot be made.
CertificatePtr MakeSelfSignedCertificate(EVP_PKEY* key, const std::string& serial);

}  // namespace satemu
