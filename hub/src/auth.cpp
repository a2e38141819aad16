#include "auth.h"

#include <openssl/crypto.h>

#include <algorithm>

namespace kovrad::hub {
namespace {

// Compared in constant time, so the answer's timing gives no token away.
bool SameToken(const std::string& a, const std::string& b) {
  return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

struct Holder {
  bool administrator = false;
  std::optional<int> till;
};

std::optional<Holder> HolderOf(const Config& config, const std::string& token) {
  std::optional<Holder> found;
  // Every token is compared, so the time taken does not tell which matched.
  for (const auto& [name, expected] : config.administrators) {
    if (SameToken(expected, token)) found = Holder{true, std::nullopt};
  }
  for (const auto& [number, expected] : config.tokens) {
    if (SameToken(expected, token)) found = Holder{false, number};
  }
  return found;
}

constexpr char kAdministrative[] =
    "Função administrativa: envie Authorization: Bearer com um token de administrador.";

Verdict ByToken(const Config& config, const std::string& authorization, const Access& access) {
  constexpr std::string_view kBearer = "Bearer ";
  const std::string token =
      authorization.starts_with(kBearer) ? authorization.substr(kBearer.size()) : std::string();
  const auto holder = HolderOf(config, token);
  if (!holder) return {401, "Token inválido."};
  if (holder->administrator) return {};
  if (access.role == Role::kAdministrator) return {403, kAdministrative};
  if (access.role == Role::kTill && access.till && *access.till != *holder->till) {
    return {401, "Token inválido para o caixa " + std::to_string(*access.till) + "."};
  }
  return {};
}

}  // namespace

Verdict Authorize(const Config& config, const std::string& client_address,
                  const std::string& authorization, const Access& access) {
  if (!config.NeedsAuthentication()) return {};
  if (!authorization.empty()) return ByToken(config, authorization, access);
  const bool listed = std::find(config.allowed.begin(), config.allowed.end(), client_address) !=
                      config.allowed.end();
  if (listed && access.role == Role::kTill) {
    // A till that has a token must present it, wherever it calls from.
    if (!access.till || !config.tokens.contains(*access.till)) return {};
    return {401, "O caixa " + std::to_string(*access.till) +
                     " tem token: envie Authorization: Bearer com o token do caixa."};
  }
  if (listed && access.role == Role::kAdministrator) return {403, kAdministrative};
  if (!config.tokens.empty() || !config.administrators.empty()) {
    return {401, "Autenticação necessária: envie Authorization: Bearer com o token do caixa."};
  }
  return {403, "O endereço " + client_address + " não está autorizado a usar o hub."};
}

}  // namespace kovrad::hub
