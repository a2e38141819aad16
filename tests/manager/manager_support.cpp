#include "manager_support.h"

#include <stdexcept>
#include <vector>

#include "core/status.h"

namespace kovrad::manager::test {
namespace {

std::vector<std::string> StatusFields(const std::string& state) {
  return {"000012",
          "10000",
          "Resposta com Sucesso.",
          "0000",
          "Nenhuma mensagem",
          "900004019",
          "DHCP",
          "192.168.0.20",
          "00:11:22:33:44:55",
          "255.255.255.0",
          "192.168.0.1",
          "8.8.8.8",
          "8.8.4.4",
          "CONECTADO",
          "ALTO",
          "2 GB",
          "12 MB",
          "20240315103000",
          "01.00.00",
          "0.07",
          "35240311111111111111590009000040190000010",
          "35240311111111111111590009000040190000011",
          "35240311111111111111590009000040190000020",
          "20240315102000",
          "20240315102500",
          "20230102",
          "20280103",
          state};
}

std::string Join(const std::vector<std::string>& fields) {
  std::string line;
  for (size_t i = 0; i < fields.size(); ++i) line += (i > 0 ? "|" : "") + fields[i];
  return line;
}

}  // namespace

std::string SampleStatusReply(const std::string& state) {
  return Join(StatusFields(state));
}

std::string SampleStatusReplyWith(int n, const std::string& value) {
  std::vector<std::string> fields = StatusFields("0");
  fields.at(static_cast<size_t>(n - 1)) = value;
  return Join(fields);
}

std::string LongestStatusReply() {
  std::vector<std::string> fields = StatusFields("4");
  for (const PanelRow& row : kPanelRows) {
    if (row.shown != Shown::kText) continue;
    const int width = row.field == 6 || row.field == 10  ? 299
                      : row.field >= 7 && row.field <= 9 ? 199
                                                         : 99;
    fields.at(static_cast<size_t>(row.field - 1)) = std::string(static_cast<size_t>(width), '8');
  }
  return Join(fields);
}

BoundDevice::BoundDevice() : env_("KOVRAD_DEV_DIR", dir_ / "dev"), device_(dir_.path()) {
  std::string problem;
  auto* select =
      reinterpret_cast<decltype(::AbreSerialSAT)*>(library_.Lookup("AbreSerialSAT", &problem));
  if (select == nullptr) throw std::runtime_error(problem);
  select(0, 0, 0, 0, 0);
}

std::vector<std::string> BoundDevice::Requests() {
  std::vector<std::string> texts;
  for (const auto& r : device_.requests()) texts.push_back(r.text());
  return texts;
}

}  // namespace kovrad::manager::test
