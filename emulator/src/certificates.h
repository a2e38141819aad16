// The device's certificate work: the request for an ICP-Brasil certificate
// that activation hands out, and reading the certificate that comes back.
#pragma once

#include <string>
#include <string_view>

namespace satemu {

// A PEM certificate request (new RSA 2048 key, SHA-256) naming the device and
// the taxpayer; empty when it cannot be made.
std::string MakeCertificateRequest(const std::string& serial, const std::string& cnpj);

// The validity of a PEM certificate as AAAAMMDD dates; false when the text
// holds no certificate.
bool CertificateDates(std::string_view pem, std::string* issued, std::string* expires);

}  // namespace satemu
