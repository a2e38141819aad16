// SHA-256 through OpenSSL, as raw bytes.
#pragma once

#include <openssl/evp.h>

#include <string>
#include <string_view>

namespace kovrad::archive {

inline std::string Sha256(std::string_view data) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(data.data(), data.size(), digest, &length, EVP_sha256(), nullptr);
  return std::string(reinterpret_cast<char*>(digest), length);
}

}  // namespace kovrad::archive
