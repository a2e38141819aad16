#include "signing_key.h"

#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "certificates.h"
#include "durable_file.h"
#include "openssl_ptr.h"
#include "text.h"

namespace satemu {

struct SigningKey::Keys {
  KeyPtr key;
  CertificatePtr certificate;
};

namespace {

constexpr int kKeyBits = 2048;

// Holds an exclusive lock on a file, waiting for it, for its whole life.
class WaitingLock {
 public:
  explicit WaitingLock(const std::string& path)
      : fd_(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
    while (fd_ >= 0 && flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  ~WaitingLock() {
    if (fd_ >= 0) close(fd_);
  }
  WaitingLock(const WaitingLock&) = delete;
  WaitingLock& operator=(const WaitingLock&) = delete;
  bool held() const { return fd_ >= 0; }

 private:
  int fd_;
};

std::string OpenSslError() {
  const unsigned long code = ERR_get_error();
  ERR_clear_error();
  char text[256] = "unknown error";
  if (code != 0) ERR_error_string_n(code, text, sizeof text);
  return text;
}

template <typename Reader>
auto ReadPem(const std::string& path, Reader reader) -> decltype(reader(nullptr)) {
  BioPtr in(BIO_new_file(path.c_str(), "r"));
  auto object = in ? reader(in.get()) : nullptr;
  ERR_clear_error();
  return object;
}

}  // namespace

SigningKey::SigningKey(std::unique_ptr<Keys> keys) : keys_(std::move(keys)) {
  unsigned char* der = nullptr;
  const int length = i2d_X509(keys_->certificate.get(), &der);
  if (length > 0) {
    certificate_base64_ = Base64Encode(std::string_view(reinterpret_cast<char*>(der), length));
  }
  OPENSSL_free(der);
  BioPtr out(BIO_new(BIO_s_mem()));
  if (out && PEM_write_bio_X509(out.get(), keys_->certificate.get()) == 1) {
    certificate_pem_ = BioText(out.get());
  }
}

SigningKey::~SigningKey() = default;

std::unique_ptr<SigningKey> SigningKey::Make(const std::string& serial, std::string* error) {
  auto keys = std::make_unique<Keys>();
  keys->key.reset(EVP_RSA_gen(kKeyBits));
  if (keys->key) keys->certificate = MakeSelfSignedCertificate(keys->key.get(), serial);
  if (!keys->certificate) {
    *error = "cannot make a signing key: " + OpenSslError();
    return nullptr;
  }
  return std::unique_ptr<SigningKey>(new SigningKey(std::move(keys)));
}

std::unique_ptr<SigningKey> SigningKey::LoadOrMake(const std::string& prefix,
                                                   const std::string& serial, std::string* error) {
  const std::string key_path = prefix + ".key", certificate_path = prefix + ".crt";
  const WaitingLock lock(prefix + ".lock");
  if (!lock.held()) {
    *error = prefix + ".lock: " + std::strerror(errno);
    return nullptr;
  }
  std::error_code ec;
  if (!std::filesystem::exists(key_path, ec)) {
    auto made = Make(serial, error);
    if (!made) return nullptr;
    BioPtr out(BIO_new(BIO_s_mem()));
    if (!out || PEM_write_bio_PrivateKey(out.get(), made->keys_->key.get(), nullptr, nullptr, 0,
                                         nullptr, nullptr) != 1) {
      *error = "cannot write the signing key: " + OpenSslError();
      return nullptr;
    }
    if (!ReplaceFile(key_path, BioText(out.get()), 0600, error) ||
        !ReplaceFile(certificate_path, made->certificate_pem(), 0644, error)) {
      return nullptr;
    }
    return made;
  }

  auto keys = std::make_unique<Keys>();
  keys->key.reset(ReadPem(
      key_path, [](BIO* in) { return PEM_read_bio_PrivateKey(in, nullptr, nullptr, nullptr); }));
  if (!keys->key || EVP_PKEY_get_base_id(keys->key.get()) != EVP_PKEY_RSA) {
    *error = key_path + ": not an RSA private key in PEM";
    return nullptr;
  }
  keys->certificate.reset(ReadPem(
      certificate_path, [](BIO* in) { return PEM_read_bio_X509(in, nullptr, nullptr, nullptr); }));
  // A certificate lost or not of this key is made again: the key is what matters.
  if (!keys->certificate || X509_check_private_key(keys->certificate.get(), keys->key.get()) != 1) {
    ERR_clear_error();
    keys->certificate = MakeSelfSignedCertificate(keys->key.get(), serial);
    if (!keys->certificate) {
      *error = "cannot make a certificate: " + OpenSslError();
      return nullptr;
    }
    auto loaded = std::unique_ptr<SigningKey>(new SigningKey(std::move(keys)));
    if (!ReplaceFile(certificate_path, loaded->certificate_pem(), 0644, error)) return nullptr;
    return loaded;
  }
  return std::unique_ptr<SigningKey>(new SigningKey(std::move(keys)));
}

std::string SigningKey::Sign(std::string_view data) const {
  std::unique_ptr<EVP_MD_CTX, OpenSslDeleter<EVP_MD_CTX_free>> context(EVP_MD_CTX_new());
  size_t length = 0;
  const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
  if (!context ||
      EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, keys_->key.get()) != 1 ||
      EVP_DigestSign(context.get(), nullptr, &length, bytes, data.size()) != 1) {
    ERR_clear_error();
    return {};
  }
  std::string signature(length, '\0');
  if (EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &length,
                     bytes, data.size()) != 1) {
    ERR_clear_error();
    return {};
  }
  signature.resize(length);
  return signature;
}

}  // namespace satemu
