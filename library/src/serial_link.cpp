// Serial link: port selection, the USB finder, AbrePorta and CloseSerial.
#include "serial_link.h"

#include <cstdio>
#include <cstring>

#include "error.h"
#include "log.h"
#include "module.h"

namespace kovrad {
namespace {

constexpr char kInstancePrefix[] = "USB\\VID_0525&PID_A4A7\\";
constexpr const char* kAcceptedHardware[] = {"USB\\VID_0525&PID_A4A7", "USB\\Vid_0525&Pid_a4a7"};
constexpr char kNotFound[] = "KOVRAD n\xE3o encontrou um SAT TORVA no barramento USB!\n";
constexpr char kNotAccepted[] = "KOVRAD n\xE3o encontrou um SAT TORVA no barramento USB...!\n";

bool HardwareAccepted(const std::string& id) {
  for (const char* accepted : kAcceptedHardware) {
    if (id.find(accepted) != std::string::npos) return true;
  }
  return false;
}

// Applies the port settings; each refusal is logged and the port stays open.
void ConfigurePort(platform::PortHandle port) {
  const struct {
    bool (*apply)(platform::PortHandle);
    const char* failure;
  } steps[] = {{platform::SetCommState, "SetCommState Error"},
               {platform::PurgeInput, "PurgeComm Error"},
               {platform::Flush, "FlushFileBuffers Error"},
               {platform::SetCommTimeouts, "SetCommTimeouts Error"}};
  for (const auto& step : steps) {
    if (step.apply(port)) continue;
    GravaLog(step.failure);
    GravaMotivo();
  }
}

}  // namespace

bool ListaDispositivosSAT(std::vector<platform::SerialDevice>* devices) {
  std::vector<platform::SerialDevice> all;
  devices->clear();
  if (!platform::ListSerialDevices(&all)) return false;
  for (auto& device : all) {
    if (device.instance_id.starts_with(kInstancePrefix)) devices->push_back(std::move(device));
  }
  return true;
}

std::string NumeroSerieUSB(const platform::SerialDevice& device) {
  return device.instance_id.substr(sizeof kInstancePrefix - 1);
}

std::string ProcuraPortaSAT() {
  std::vector<platform::SerialDevice> devices;
  if (!ListaDispositivosSAT(&devices)) {
    GravaLog(kNotFound);
    return {};
  }
  return EscolhePortaSAT(devices);
}

std::string EscolhePortaSAT(const std::vector<platform::SerialDevice>& devices) {
  if (devices.empty()) return {};
  const platform::SerialDevice& first = devices.front();
  if (!first.hardware_ids.empty() && !HardwareAccepted(first.hardware_ids.front())) {
    GravaLog(kNotAccepted);
    return {};
  }
  std::printf("Port: %s   Serial number: %s\n", first.port_name.c_str(),
              NumeroSerieUSB(first).c_str());
  std::fflush(stdout);
  return first.port_name;
}

bool SelecionaPorta(const std::string& name) {
  Module& m = State();
  if (name.empty() || name.size() >= kPortNameField) return false;
  std::memset(m.port_name, 0, kPortNameField);
  std::memcpy(m.port_name, name.data(), name.size());
  m.port_refused = false;
  return true;
}

void RecusaPorta(const char* name) {
  Module& m = State();
  std::memset(m.port_name, 0, kPortNameField);
  m.port_refused = true;
  GravaLogF("Porta recusada: %s\r\n", name);
}

bool AbrePorta() {
  Module& m = State();
  if (!m.port_open) {
    std::memset(m.device_path, 0, kDevicePathField);
    if (m.port_name[0] == '\0' && !m.port_refused) {
      std::string found = ProcuraPortaSAT();
      if (!found.empty() && !SelecionaPorta(found)) {
        GravaLogF("Nome de porta longo demais: %s\r\n", found.c_str());
      }
    }
    if (m.port_name[0] == '\0') {
      DefineErro(__NOCONNECT__, kMsgPortaNaoAbre);
      return false;
    }
    if (platform::DevicePath(m.port_name, m.device_path, kDevicePathField)) {
      GravaLog("abrindo porta: ");
      GravaLog(m.device_path);
      GravaLog("\r\n");
      m.port = platform::OpenPort(m.device_path);
      if (m.port != platform::kNoPort) {
        m.port_open = true;
        ConfigurePort(m.port);
      } else {
        GravaMotivo();
      }
    } else {
      GravaLogF("Caminho da porta longo demais: %s\r\n", m.port_name);
    }
  }
  if (m.port_open) {
    DefineErro(__NOERROR__, "");
    return true;
  }
  DefineErro(__NOCONNECT__, kMsgPortaNaoAbre);
  return false;
}

int FechaPorta() {
  Module& m = State();
  m.port_open = false;
  if (m.port == platform::kNoPort) return 0;
  int result = platform::ClosePort(m.port);
  m.port = platform::kNoPort;
  return result;
}

}  // namespace kovrad

extern "C" KOVRAD_API int32_t KOVRAD_CALL AbreSerialSAT(int32_t porta, int32_t, int32_t, int32_t,
                                                        int32_t) {
  const kovrad::LibraryLock lock;
  char name[32];
  // No port has a negative number: "ttyACM-1" would be tried as a device.
  const bool fits = porta >= 0 && kovrad::platform::PortNameFor(porta, name, sizeof name);
  if (fits && kovrad::SelecionaPorta(name)) return 0;
  // A refused name must not leave an earlier port chosen: a caller that does
  // not look at the result would talk to a device it did not choose.
  if (!fits) std::snprintf(name, sizeof name, "%d", porta);
  kovrad::RecusaPorta(name);
  kovrad::DefineErro(__NOCONNECT__, kovrad::kMsgPortaNaoAbre);
  return -1;
}

extern "C" KOVRAD_API int32_t KOVRAD_CALL CloseSerial(void) {
  const kovrad::LibraryLock lock;
  return kovrad::FechaPorta();
}
