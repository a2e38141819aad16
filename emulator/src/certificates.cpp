#include "certificates.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <cstdint>
#include <ctime>
#include <memory>

namespace satemu {
namespace {

template <auto Free>
struct Deleter {
  template <typename T>
  void operator()(T* p) const {
    Free(p);
  }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using RequestPtr = std::unique_ptr<X509_REQ, Deleter<X509_REQ_free>>;
using CertificatePtr = std::unique_ptr<X509, Deleter<X509_free>>;
using BioPtr = std::unique_ptr<BIO, Deleter<BIO_free>>;

bool AddName(X509_NAME* name, const char* field, const std::string& value) {
  return X509_NAME_add_entry_by_txt(name, field, MBSTRING_UTF8,
                                    reinterpret_cast<const unsigned char*>(value.c_str()), -1, -1,
                                    0) == 1;
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
  char* pem = nullptr;
  const long length = BIO_get_mem_data(out.get(), &pem);
  return length > 0 ? std::string(pem, static_cast<size_t>(length)) : std::string();
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
