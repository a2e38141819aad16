// The device's signing key and its self-signed certificate: every coupon and
// its QR-code field are signed with it. A device made by satemu keeps both in
// its directory (made on first start), so that coupons can be verified
// against the certificate afterwards.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace satemu {

class SigningKey {
 public:
  // The pair kept at `<prefix>.key` and `<prefix>.crt` (PEM), made there when
  // missing. Several processes starting at once agree on one pair. Null with
  // a reason when the files cannot be read or written.
  static std::unique_ptr<SigningKey> LoadOrMake(const std::string& prefix,
                                                const std::string& serial, std::string* error);
  // A new pair kept in memory only.
  static std::unique_ptr<SigningKey> Make(const std::string& serial, std::string* error);

  ~SigningKey();
  SigningKey(const SigningKey&) = delete;
  SigningKey& operator=(const SigningKey&) = delete;

  // RSA with SHA-256 (PKCS #1 v1.5): the raw signature, empty on failure.
  std::string Sign(std::string_view data) const;
  // The certificate in DER, Base64-encoded, as an XML signature carries it.
  const std::string& certificate_base64() const { return certificate_base64_; }
  const std::string& certificate_pem() const { return certificate_pem_; }

 private:
  struct Keys;
  explicit SigningKey(std::unique_ptr<Keys> keys);

  std::unique_ptr<Keys> keys_;
  std::string certificate_base64_;
  std::string certificate_pem_;
};

}  // namespace satemu
