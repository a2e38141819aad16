// Device discovery exports: GetPortaSAT, SetPortaSAT and GetMapaPortasSAT.
#include "discovery.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "exchange.h"
#include "log.h"
#include "module.h"
#include "serial_link.h"

namespace kovrad {
namespace {

// Announces a found device and selects its port; true when the port opened.
bool SelectAndOpen(const platform::SerialDevice& device) {
  const char* port = device.port_name.c_str();
  GravaLogF("Port found: %s\r\n", port);
  std::printf("Port: %s   Serial number: %s\n", port, "");
  std::fflush(stdout);
  if (!SelecionaPorta(device.port_name)) {
    GravaLogF("Nome de porta longo demais: %s\r\n", port);
    return false;
  }
  if (!AbrePorta()) {
    FechaPorta();
    GravaLogF("Could not open port %s\r\n", port);
    return false;
  }
  GravaLogF("Openned port %s\r\n", port);
  return true;
}

// Serial number from the device's status reply, or empty. The status query
// logs its reply itself; GetPortaSAT logs it once more as part of its trace.
std::string QuerySerial(int32_t session, const char* code, bool log_reply) {
  char* reply = ConsultarStatusOperacional(session, code);
  if (log_reply) GravaLog(reply);
  const char* serial = ExtraiNumeroSerie(reply);
  std::string result = serial != nullptr ? serial : "";
  FechaPorta();
  return result;
}

char* FindPort(const char* name, const char* expected, int32_t session, const char* code) {
  const LibraryLock lock;
  // A caller that does not know the serial number may pass none.
  if (expected == nullptr) expected = "";
  GravaLogF("Entered %s(%s) @ %ld\r\n", name, expected, platform::ProcessId());
  std::vector<platform::SerialDevice> devices;
  if (!ListaDispositivosSAT(&devices)) return nullptr;
  char* result = nullptr;
  if (!devices.empty()) {
    const platform::SerialDevice& device = devices.front();
    if (SelectAndOpen(device)) {
      const std::string serial = QuerySerial(session, code, true);
      if (serial != expected) {
        GravaLogF("Numero de serie %s difere do esperado %s\r\n", serial.c_str(), expected);
      }
    }
    auto& reply = ReplyBuffer();
    reply.Clear();
    const size_t length = std::min(device.port_name.size(), kReplyTextMax);
    std::memcpy(reply.data, device.port_name.data(), length);
    reply.Touch(length + 1);
    result = reply.text();
  }
  GravaLogF("Exiting %s(%s) @ %ld\r\n", name, expected, platform::ProcessId());
  return result;
}

}  // namespace

char* ExtraiNumeroSerie(char* reply) {
  char* fields[6];
  int count = 0;
  char* p = reply;
  while (count < 6) {
    char* bar = std::strchr(p, '|');
    if (bar == nullptr) break;
    *bar = '\0';
    fields[count++] = p;
    p = bar + 1;
  }
  if (count < 2 || std::strtol(fields[1], nullptr, 10) % 1000 != 0) return nullptr;
  return count == 6 ? fields[5] : nullptr;
}

}  // namespace kovrad

using namespace kovrad;

extern "C" KOVRAD_API char* KOVRAD_CALL GetPortaSAT(const char* numeroSerie, int32_t numeroSessao,
                                                    const char* codigoDeAtivacao) {
  return FindPort("GetPortaSAT", numeroSerie, numeroSessao, codigoDeAtivacao);
}

extern "C" KOVRAD_API char* KOVRAD_CALL SetPortaSAT(const char* numeroSerie, int32_t numeroSessao,
                                                    const char* codigoDeAtivacao) {
  return FindPort("SetPortaSAT", numeroSerie, numeroSessao, codigoDeAtivacao);
}

extern "C" KOVRAD_API char* KOVRAD_CALL GetMapaPortasSAT(const char* codigoDeAtivacao) {
  const LibraryLock lock;
  Module& m = State();
  GravaLogF("Entered GetMapaPortasSAT @ %ld\r\n", platform::ProcessId());
  std::memset(m.port_map, 0, kPortMapSize);
  std::vector<platform::SerialDevice> devices;
  if (!ListaDispositivosSAT(&devices)) return nullptr;
  size_t used = 0;
  for (const auto& device : devices) {
    if (!SelectAndOpen(device)) continue;
    const std::string serial = QuerySerial(NovoNumeroSessao(), codigoDeAtivacao, false);
    if (serial.empty()) continue;
    char entry[kPortMapSize];
    const int n =
        std::snprintf(entry, sizeof entry, "%s:%s;", serial.c_str(), device.port_name.c_str());
    // An entry that would not fit is left out; the map stays whole.
    if (n > 0 && used + static_cast<size_t>(n) < kPortMapSize) {
      std::memcpy(m.port_map + used, entry, static_cast<size_t>(n));
      used += static_cast<size_t>(n);
    } else {
      GravaLogF("Mapa de portas cheio: %s omitida\r\n", device.port_name.c_str());
    }
  }
  GravaLogF("Exiting GetPortaSAT @ %ld\r\n", platform::ProcessId());
  return m.port_map;
}
