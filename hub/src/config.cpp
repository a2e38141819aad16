#include "config.h"

#include <arpa/inet.h>

#include <algorithm>

#include <toml++/toml.h>

namespace kovrad::hub {
namespace {

bool TillNumber(std::string_view key, int* till) {
  if (key.empty() || key.size() > 3) return false;
  int n = 0;
  for (char c : key) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + (c - '0');
  }
  *till = n;
  return true;
}

// A table of "till number" = "text" entries.
bool ReadTillTable(const toml::table* table, const char* name, std::map<int, std::string>* out,
                   std::string* error) {
  if (table == nullptr) return true;
  for (const auto& [key, value] : *table) {
    int till = 0;
    const auto text = value.value<std::string>();
    if (!TillNumber(key.str(), &till) || !text) {
      *error =
          std::string("[") + name + "]: cada entrada é \"número do caixa (0 a 999)\" = \"texto\"";
      return false;
    }
    (*out)[till] = *text;
  }
  return true;
}

bool ReadDevices(const toml::array* devices, Config* config, std::string* error) {
  if (devices == nullptr) return true;
  for (const toml::node& node : *devices) {
    const toml::table* table = node.as_table();
    if (table == nullptr) return *error = "[[dispositivo]]: esperada uma tabela", false;
    DeviceConfig device;
    device.serial = (*table)["serie"].value_or(std::string());
    device.port = static_cast<int>((*table)["porta"].value_or(int64_t{-1}));
    device.activation_code = (*table)["codigo_ativacao"].value_or(std::string());
    if (device.serial.empty() || device.port < 0 || device.port > 999) {
      *error =
          "[[dispositivo]]: \"serie\" e \"porta\" (0 a 999, o N de ttyACM<N>) são obrigatórios";
      return false;
    }
    config->devices.push_back(std::move(device));
  }
  return true;
}

bool ReadAdministrators(const toml::table* table, Config* config, std::string* error) {
  if (table == nullptr) return true;
  for (const auto& [name, value] : *table) {
    const auto token = value.value<std::string>();
    if (!token || token->empty()) {
      *error = "[administradores]: cada entrada é nome = \"token\"";
      return false;
    }
    config->administrators[std::string(name.str())] = *token;
  }
  return true;
}

bool ReadLimit(const toml::table& limits, const char* name, unsigned low, unsigned high,
               unsigned* value, std::string* error) {
  const toml::node* node = limits.get(name);
  if (node == nullptr) return true;
  const auto number = node->value<int64_t>();
  if (!number || *number < low || *number > high) {
    *error = std::string("[limites] ") + name + ": " + std::to_string(low) + " a " +
             std::to_string(high);
    return false;
  }
  *value = static_cast<unsigned>(*number);
  return true;
}

bool ReadLimits(const toml::table* table, ClientLimitSettings* limits, std::string* error) {
  if (table == nullptr) return true;
  return ReadLimit(*table, "conexoes", 1, 4096, &limits->connections, error) &&
         ReadLimit(*table, "conexoes_por_cliente", 1, 4096, &limits->connections_per_client,
                   error) &&
         ReadLimit(*table, "requisicoes_por_cliente", 1, 4096, &limits->requests_per_client,
                   error) &&
         ReadLimit(*table, "requisicoes_por_segundo", 1, 100000, &limits->rate_per_client, error) &&
         ReadLimit(*table, "ocioso_segundos", 1, 3600, &limits->idle_seconds, error);
}

// A token two holders share gives one's rights to the other (a till's that
// is also an administrator's would open everything).
bool CheckTokens(const Config& config, std::string* error) {
  std::map<std::string, std::string> holders;
  auto check = [&](const std::string& token, const std::string& holder) {
    if (!holders.emplace(token, holder).second) {
      *error = holder + " e " + holders[token] + " usam o mesmo token";
      return false;
    }
    return true;
  };
  for (const auto& [till, token] : config.tokens) {
    if (!check(token, "[tokens] caixa " + std::to_string(till))) return false;
  }
  for (const auto& [name, token] : config.administrators) {
    if (!check(token, "[administradores] " + name)) return false;
  }
  return true;
}

bool ReadCentral(const toml::table* table, CentralConfig* central, std::string* error) {
  if (table == nullptr) return true;
  const auto text = [table](const char* key, const std::string& fallback) {
    return (*table)[key].value_or(fallback);
  };
  central->connection = text("conexao", "");
  central->tls = text("tls", central->tls);
  central->tls_ca = text("tls_ca", "");
  central->tls_certificate = text("tls_certificado", "");
  central->tls_key = text("tls_chave", "");
  central->store = text("loja", "");
  central->batch = static_cast<int>((*table)["lote"].value_or(int64_t{central->batch}));
  if (central->connection.empty()) {
    return *error = "[central]: \"conexao\" (a conexão do PostgreSQL) é obrigatória", false;
  }
  if (central->store.empty() || central->store.size() > 64) {
    return *error =
               "[central]: \"loja\" (o identificador desta loja, até 64 caracteres) é obrigatória",
           false;
  }
  static constexpr std::string_view kModes[] = {"disable", "require", "verify-ca", "verify-full"};
  if (std::find(std::begin(kModes), std::end(kModes), central->tls) == std::end(kModes)) {
    return *error = "[central]: tls é disable, require, verify-ca ou verify-full", false;
  }
  if (central->tls_certificate.empty() != central->tls_key.empty()) {
    return *error = "[central]: tls_certificado e tls_chave: os dois ou nenhum", false;
  }
  if (central->batch < 1 || central->batch > 2000) {
    return *error = "[central]: lote de 1 a 2000", false;
  }
  return true;
}

}  // namespace

bool IsLoopback(const std::string& address) {
  in_addr v4{};
  if (inet_pton(AF_INET, address.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
  return address == "::1";
}

std::optional<Config> LoadConfig(const std::string& path, std::string* error) {
  toml::table root;
  try {
    root = toml::parse_file(path);
  } catch (const toml::parse_error& e) {
    *error = path + ": " + std::string(e.description());
    return std::nullopt;
  }
  Config config;
  config.address = root["endereco"].value_or(config.address);
  config.port = static_cast<int>(root["porta"].value_or(int64_t{config.port}));
  config.database = root["banco"].value_or(config.database);
  config.activation_code = root["codigo_ativacao"].value_or(std::string());
  config.default_device = root["dispositivo_padrao"].value_or(std::string());
  config.tls_certificate = root["tls_certificado"].value_or(std::string());
  config.tls_key = root["tls_chave"].value_or(std::string());
  config.recovery_attempts =
      static_cast<int>(root["tentativas_recuperacao"].value_or(int64_t{config.recovery_attempts}));
  if (const toml::array* allowed = root["clientes_permitidos"].as_array()) {
    for (const toml::node& node : *allowed) {
      const auto text = node.value<std::string>();
      if (!text) return *error = "clientes_permitidos: uma lista de endereços", std::nullopt;
      config.allowed.push_back(*text);
    }
  }
  if (!ReadTillTable(root["caixas"].as_table(), "caixas", &config.tills, error) ||
      !ReadTillTable(root["tokens"].as_table(), "tokens", &config.tokens, error) ||
      !ReadAdministrators(root["administradores"].as_table(), &config, error) ||
      !ReadLimits(root["limites"].as_table(), &config.limits, error) ||
      !ReadDevices(root["dispositivo"].as_array(), &config, error) || !CheckTokens(config, error) ||
      !ReadCentral(root["central"].as_table(), &config.central, error)) {
    return std::nullopt;
  }
  config.status_period =
      static_cast<int>(root["intervalo_status"].value_or(int64_t{config.status_period}));
  if (config.status_period < 0 || config.status_period > 86400) {
    return *error = "intervalo_status: 0 (nunca) a 86400 segundos", std::nullopt;
  }
  if (config.port < 0 || config.port > 65535) {
    return *error = "porta: 0 a 65535", std::nullopt;
  }
  if (config.recovery_attempts < 1 || config.recovery_attempts > 20) {
    return *error = "tentativas_recuperacao: 1 a 20", std::nullopt;
  }
  if (config.tls_certificate.empty() != config.tls_key.empty()) {
    return *error = "tls_certificado e tls_chave: os dois ou nenhum", std::nullopt;
  }
  // Tills on the network must prove who they are.
  if (!IsLoopback(config.address) && !config.NeedsAuthentication()) {
    *error = "endereco " + config.address +
             " serve a rede: configure [tokens] por caixa ou clientes_permitidos";
    return std::nullopt;
  }
  return config;
}

}  // namespace kovrad::hub
