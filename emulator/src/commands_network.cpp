// Network: ConfigurarInterfaceDeRede.
#include "device.h"
#include "network_settings.h"
#include "text.h"

namespace satemu {
namespace {

Reply ConfigurarInterfaceDeRede(Device& device, const Request& request) {
  const auto f = SplitFields(request.payload, 2);
  if (auto refusal = device.Refusal(request, f[0], {"12"}, Access::kFactoryCode)) {
    return *refusal;
  }
  std::string error = "documento de configuração ausente";
  std::optional<NetworkSettings> settings =
      f.size() == 2 ? ReadNetworkDocument(f[1], &error) : std::nullopt;
  if (!settings || !CheckNetwork(*settings, &error)) {
    // The rule broken goes where a host reads the reason for a refusal.
    return Fields(request, "12002", {"Dados fora do padrão a ser informado", "", error});
  }
  device.state().network = std::move(*settings);
  return Answer(request, "12000", "Rede Configurada com Sucesso");
}

}  // namespace

void AddNetwork(CommandTable& table) {
  table["ConfigurarInterfaceDeRede"] = ConfigurarInterfaceDeRede;
}

}  // namespace satemu
