#include "auth.h"

#include <openssl/crypto.h>

#include <algorithm>

namespace kovrad::hub {
namespace {

// Compared in constant time, so the answer's timing gives no token away.
bool SameToken(const std::string& a, const std::string& b) {
  return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace

Verdict Authorize(const Config& config, const std::string& client_address,
                  const std::string& authorization, std::optional<int> till) {
  if (!config.NeedsAuthentication()) return {};
  if (!authorization.empty()) {
    constexpr std::string_view kBearer = "Bearer ";
    const std::string token =
        authorization.starts_with(kBearer) ? authorization.substr(kBearer.size()) : std::string();
    bool valid = false;
    if (till) {
      const auto own = config.tokens.find(*till);
      valid = own != config.tokens.end() && SameToken(own->second, token);
    } else {
      for (const auto& [number, expected] : config.tokens)
        valid = valid || SameToken(expected, token);
    }
    if (valid) return {};
    return {401, till ? "Token inválido para o caixa " + std::to_string(*till) + "."
                      : std::string("Token inválido.")};
  }
  if (std::find(config.allowed.begin(), config.allowed.end(), client_address) !=
      config.allowed.end()) {
    return {};
  }
  if (!config.tokens.empty()) {
    return {401, "Autenticação necessária: envie Authorization: Bearer com o token do caixa."};
  }
  return {403, "O endereço " + client_address + " não está autorizado a usar o hub."};
}

}  // namespace kovrad::hub
