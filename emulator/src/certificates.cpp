#include "certificates.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdint>
#include <ctime>
#include <memory>

#include "openssl_ptr.h"

namespace satemu {
namespace {

using RequestPtr = std::unique_ptr<X509_REQ, OpenSslDeleter<X509_REQ_free>>;

bool AddName(X509_NAME* name, const char* field, const std::string& value) {
  return X509_NAME_add_entry_by_txt(name, field, MBSTRING_UTF8,
                                    reinterpret_cast<const unsigned char*>(value.c_str()), -1, -1,
                                    0) == 1;
}

// Adds one extension written the way the openssl tool's configuration does.
bool AddExtension(X509* certificate, int nid, const char* value) {
  X509V3_CTX context;
  X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
  const bool added = extension != nullptr && X509_add_ext(certificate, extension, -1) == 1;
  X509_EXTENSION_free(extension);
  return added;
}

bool Date(const ASN1_TIME* time, std::string* out) {
  std::tm tm{};
  char text[16];
  if (time == nullptr || ASN1_TIME_to_tm(time, &tm) != 1) return false;
  *out = std::string(text, std::strftime(text, sizeof text, "%Y%m%d", &tm));
  return true;
}

}  // namespace

std::string MakeCertificateRequest(const std::string& serial, const std::string& cnpj) {
  KeyPtr key(EVP_RSA_gen(2048));
  RequestPtr request(X509_REQ_new());
  if (!key || !request) return {};
  X509_NAME* name = X509_REQ_get_subject_name(request.get());
  BioPtr out(BIO_new(BIO_s_mem()));
  if (!out || X509_REQ_set_version(request.get(), 0) != 1 || !AddName(name, "C", "BR") ||
      !AddName(name, "O", "ICP-Brasil") || !AddName(name, "OU", "SAT " + serial) ||
      !AddName(name, "CN", "SAT " + serial + ":" + cnpj) ||
      X509_REQ_set_pubkey(request.get(), key.get()) != 1 ||
      X509_REQ_sign(request.get(), key.get(), EVP_sha256()) <= 0 ||
      PEM_write_bio_X509_REQ(out.get(), request.get()) != 1) {
    return {};
  }
  return BioText(out.get());
}

CertificatePtr MakeSelfSignedCertificate(EVP_PKEY* key, const std::string& serial) {
  constexpr long kValidDays = 3653;
  CertificatePtr certificate(X509_new());
  if (!certificate) return nullptr;
  X509* c = certificate.get();
  X509_NAME* name = X509_get_subject_name(c);
  uint64_t number = static_cast<uint64_t>(std::time(nullptr));
  for (char digit : serial) number = number * 31 + static_cast<unsigned char>(digit);
  if (X509_set_version(c, 2) != 1 ||
      ASN1_INTEGER_set_uint64(X509_get_serialNumber(c), number & INT64_MAX) != 1 ||
      X509_gmtime_adj(X509_getm_notBefore(c), 0) == nullptr ||
      X509_time_adj_ex(X509_getm_notAfter(c), kValidDays, 0, nullptr) == nullptr ||
      !AddName(name, "C", "BR") || !AddName(name, "O", "satemu") ||
      !AddName(name, "OU", "SAT-CF-e emulado") || !AddName(name, "CN", "SAT " + serial) ||
      X509_set_issuer_name(c, name) != 1 || X509_set_pubkey(c, key) != 1 ||
      !AddExtension(c, NID_basic_constraints, "critical,CA:TRUE") ||
      !AddExtension(c, NID_key_usage, "critical,digitalSignature,nonRepudiation,keyCertSign") ||
      !AddExtension(c, NID_subject_key_identifier, "hash") ||
      X509_sign(c, key, EVP_sha256()) <= 0) {
    return nullptr;
  }
  return certificate;
}

bool CertificateDates(std::string_view pem, std::string* issued, std::string* expires) {
  if (pem.size() > INT32_MAX) return false;
  BioPtr in(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  CertificatePtr certificate(in ? PEM_read_bio_X509(in.get(), nullptr, nullptr, nullptr) : nullptr);
  ERR_clear_error();  // a refused text leaves its reasons queued
  return certificate && Date(X509_get0_notBefore(certificate.get()), issued) &&
         Date(X509_get0_notAfter(certificate.get()), expires);
}

}  // namespace satemu
