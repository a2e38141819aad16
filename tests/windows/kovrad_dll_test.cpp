// A Windows program that uses kovrad.dll as point-of-sale programs do:
// LoadLibraryA, GetProcAddress by plain name, calls through WINAPI pointers.
// Built 32- and 64-bit; run under Wine against emulated devices reached as
// COM ports: a development kit on one, a device that never answers on another.
//
//   kovrad_dll_test <kit COM n> <silent COM n> <sale.xml> <cancellation.xml> [installed]
//
// "installed": kovrad.dll must come from the system directory, where the
// installer puts it, not from beside the program.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "kovrad.h"

namespace {

int passed = 0, failed = 0;

void Check(bool ok, const char* what, const std::string& detail = "") {
  if (ok) {
    ++passed;
  } else {
    ++failed;
    std::printf("FAILED: %s %s\n", what, detail.c_str());
  }
}

int Finish() {
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}

HMODULE library;

// Stops the run when an export is missing: nothing else can be checked.
template <typename F>
F Get(const char* name) {
  auto f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(library, name)));
  Check(f != nullptr, "export by plain name", name);
  if (f == nullptr) std::exit(Finish());
  return f;
}

using Text = const char*;
struct Api {
  int32_t(WINAPI* AbreSerialSAT)(int32_t, int32_t, int32_t, int32_t, int32_t);
  int32_t(WINAPI* CloseSerial)();
  COMM_ERROR(WINAPI* CodigoErro)();
  int32_t(WINAPI* GeraNumeroSessao)();
  int32_t(WINAPI* ConfiguraTimeout)(int32_t);
  char*(WINAPI* GetPortaSAT)(Text, int32_t, Text);
  char*(WINAPI* SetPortaSAT)(Text, int32_t, Text);
  char*(WINAPI* GetMapaPortasSAT)(Text);
  char*(WINAPI* ArquivoLog)(Text);
  Text(WINAPI* VersaoLib)();
  char*(WINAPI* Base64ToAscii)();
  char*(WINAPI* AtivarSAT)(int32_t, int32_t, Text, Text, int32_t);
  char*(WINAPI* ComunicarCertificadoICPBRASIL)(int32_t, Text, Text);
  char*(WINAPI* EnviarDadosVenda)(int32_t, Text, Text);
  char*(WINAPI* CancelarUltimaVenda)(int32_t, Text, Text, Text);
  char*(WINAPI* ConsultarSAT)(int32_t);
  char*(WINAPI* TesteFimAFim)(int32_t, Text, Text);
  char*(WINAPI* ConsultarStatusOperacional)(int32_t, Text);
  char*(WINAPI* ConsultarNumeroSessao)(int32_t, Text, int32_t);
  char*(WINAPI* ConfigurarInterfaceDeRede)(int32_t, Text, Text);
  char*(WINAPI* AssociarAssinatura)(int32_t, Text, Text, Text);
  char*(WINAPI* AtualizarSoftwareSAT)(int32_t, Text);
  char*(WINAPI* ExtrairLogs)(int32_t, Text);
  char*(WINAPI* BloquearSAT)(int32_t, Text);
  char*(WINAPI* DesbloquearSAT)(int32_t, Text);
  char*(WINAPI* TrocarCodigoDeAtivacao)(int32_t, Text, int32_t, Text, Text);
};

#define KOVRAD_BIND(api, name) (api).name = Get<decltype((api).name)>(#name)

Api Bind() {
  Api a{};
  KOVRAD_BIND(a, AbreSerialSAT);
  KOVRAD_BIND(a, CloseSerial);
  KOVRAD_BIND(a, CodigoErro);
  KOVRAD_BIND(a, GeraNumeroSessao);
  KOVRAD_BIND(a, ConfiguraTimeout);
  KOVRAD_BIND(a, GetPortaSAT);
  KOVRAD_BIND(a, SetPortaSAT);
  KOVRAD_BIND(a, GetMapaPortasSAT);
  KOVRAD_BIND(a, ArquivoLog);
  KOVRAD_BIND(a, VersaoLib);
  KOVRAD_BIND(a, Base64ToAscii);
  KOVRAD_BIND(a, AtivarSAT);
  KOVRAD_BIND(a, ComunicarCertificadoICPBRASIL);
  KOVRAD_BIND(a, EnviarDadosVenda);
  KOVRAD_BIND(a, CancelarUltimaVenda);
  KOVRAD_BIND(a, ConsultarSAT);
  KOVRAD_BIND(a, TesteFimAFim);
  KOVRAD_BIND(a, ConsultarStatusOperacional);
  KOVRAD_BIND(a, ConsultarNumeroSessao);
  KOVRAD_BIND(a, ConfigurarInterfaceDeRede);
  KOVRAD_BIND(a, AssociarAssinatura);
  KOVRAD_BIND(a, AtualizarSoftwareSAT);
  KOVRAD_BIND(a, ExtrairLogs);
  KOVRAD_BIND(a, BloquearSAT);
  KOVRAD_BIND(a, DesbloquearSAT);
  KOVRAD_BIND(a, TrocarCodigoDeAtivacao);
  return a;
}

constexpr char kCode[] = "12345678";
constexpr char kNewCode[] = "23456789";
constexpr char kSerial[] = "900000000";
constexpr char kTaxpayer[] = "08723218000186";
constexpr char kBothCnpjs[] = "1671611400017208723218000186";
constexpr char kSignature[] = "SGR-SAT SISTEMA DE GESTAO E RETAGUARDA DO SAT";
constexpr char kNetwork[] =
    "<?xml version=\"1.0\"?>\n<config><tipoInter>ETHE</tipoInter><tipoLan>DHCP</tipoLan>"
    "<proxy>0</proxy></config>\n";
// Where the device-setup API finds serial ports: one device instance per
// port under the USB enumerator, its port name in the device's parameters.
constexpr char kDeviceKey[] = "SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_0525&PID_A4A7\\900000000";
constexpr char kPortsClass[] = "{4d36e978-e325-11ce-bfc1-08002be10318}";
constexpr char kHardwareIds[] = "USB\\VID_0525&PID_A4A7&REV_2499\0USB\\VID_0525&PID_A4A7\0";

std::string ReadAll(const char* path) {
  std::string text;
  if (FILE* f = std::fopen(path, "rb")) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    std::fclose(f);
  }
  return text;
}

std::vector<std::string> Fields(const std::string& reply) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (size_t bar; (bar = reply.find('|', start)) != std::string::npos; start = bar + 1) {
    fields.push_back(reply.substr(start, bar - start));
  }
  fields.push_back(reply.substr(start));
  return fields;
}

std::string Code(const char* reply) {
  const auto fields = Fields(reply ? reply : "");
  return fields.size() > 1 ? fields[1] : "";
}

void CheckCode(const char* function, const char* reply, const char* expected) {
  Check(Code(reply) == expected, function,
        std::string("wanted ") + expected + ", got " + std::string(reply).substr(0, 120));
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string PortPath(int port) {
  return "\\\\.\\COM" + std::to_string(port);
}

HANDLE OpenPort(const std::string& path) {
  return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                     nullptr);
}

// The kit's port registered as a device instance, the way the USB driver
// leaves it on Windows; false when the registry refuses.
bool RegisterDevice(int port) {
  HKEY device = nullptr, parameters = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kDeviceKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      &device, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const std::string name = "COM" + std::to_string(port);
  bool ok =
      RegSetValueExA(device, "ClassGUID", 0, REG_SZ, reinterpret_cast<const BYTE*>(kPortsClass),
                     sizeof kPortsClass) == ERROR_SUCCESS &&
      RegSetValueExA(device, "HardwareID", 0, REG_MULTI_SZ,
                     reinterpret_cast<const BYTE*>(kHardwareIds),
                     sizeof kHardwareIds) == ERROR_SUCCESS &&
      RegCreateKeyExA(device, "Device Parameters", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      &parameters, nullptr) == ERROR_SUCCESS;
  if (ok) {
    ok = RegSetValueExA(parameters, "PortName", 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(name.c_str()),
                        static_cast<DWORD>(name.size() + 1)) == ERROR_SUCCESS;
    RegCloseKey(parameters);
  }
  RegCloseKey(device);
  return ok;
}

void UnregisterDevice() {
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, kDeviceKey);
}

// Before any port is chosen the library looks on USB through the
// device-setup API. Wine lists no device of the Ports class of its own: its
// mount manager maps COM ports without device instances. So first nothing is
// found, then the kit is, once registered as Windows' USB driver would.
void Discovery(const Api& sat, int port) {
  const char* reply = sat.ConsultarSAT(sat.GeraNumeroSessao());
  Check(sat.CodigoErro().code == __NOCONNECT__, "no device on USB: __NOCONNECT__", reply);
  Check(sat.GetPortaSAT(kSerial, sat.GeraNumeroSessao(), kCode) == nullptr,
        "no device on USB: GetPortaSAT is null");
  const char* map = sat.GetMapaPortasSAT(kCode);
  Check(map != nullptr && *map == '\0', "no device on USB: empty port map", map ? map : "(null)");
  std::printf("device-setup API under Wine: no Ports device until one is registered\n");

  if (!RegisterDevice(port)) {
    Check(false, "registering the kit as a device instance");
    return;
  }
  const std::string name = "COM" + std::to_string(port);
  CheckCode("ConsultarSAT through the device found on USB",
            sat.ConsultarSAT(sat.GeraNumeroSessao()), "08000");
  const char* found = sat.GetPortaSAT(kSerial, sat.GeraNumeroSessao(), kCode);
  Check(found != nullptr && name == found, "GetPortaSAT", found ? found : "(null)");
  found = sat.SetPortaSAT(kSerial, sat.GeraNumeroSessao(), kCode);
  Check(found != nullptr && name == found, "SetPortaSAT", found ? found : "(null)");
  map = sat.GetMapaPortasSAT(kCode);
  Check(map != nullptr && std::string(kSerial) + ":" + name + ";" == map, "GetMapaPortasSAT",
        map ? map : "(null)");
  UnregisterDevice();
}

void VendorFunctions(const Api& sat) {
  Check(std::strlen(sat.VersaoLib()) > 0, "VersaoLib");
  std::set<int32_t> sessions;
  for (int i = 0; i < 100; ++i) {
    const int32_t n = sat.GeraNumeroSessao();
    if (n < 0 || n > 999999) Check(false, "GeraNumeroSessao in six digits", std::to_string(n));
    sessions.insert(n);
  }
  Check(sessions.size() == 100, "GeraNumeroSessao: 100 different numbers");
  sat.ConfiguraTimeout(1);
  Check(sat.CloseSerial() == 0, "CloseSerial with no port open");
}

// Every SAT function on the kit (activated with kCode, associated), each
// answering with the code its arguments call for.
void StandardFunctions(const Api& sat, const std::string& sale) {
  auto s = [&] { return sat.GeraNumeroSessao(); };
  CheckCode("ConsultarSAT", sat.ConsultarSAT(s()), "08000");
  const auto status = Fields(sat.ConsultarStatusOperacional(s(), kCode));
  Check(status.size() == 28 && status[1] == "10000" && status[5] == kSerial,
        "ConsultarStatusOperacional", status.size() > 1 ? status[1] : "");
  Check(sat.CodigoErro().code == __NOERROR__, "CodigoErro after a reply");
  CheckCode("ConsultarStatusOperacional, wrong code",
            sat.ConsultarStatusOperacional(s(), "errado00"), "10001");
  CheckCode("AtivarSAT on an active device", sat.AtivarSAT(s(), 1, kCode, kTaxpayer, 35), "04003");
  const char* reply = sat.ComunicarCertificadoICPBRASIL(s(), "errado00", "certificado");
  CheckCode("ComunicarCertificadoICPBRASIL, wrong code", reply, "05001");
  reply = sat.ConfigurarInterfaceDeRede(s(), kCode, kNetwork);
  CheckCode("ConfigurarInterfaceDeRede", reply, "12000");
  Check(std::strcmp(sat.CodigoErro().msg, "Codigo: 12000.\nRede Configurada com Sucesso") == 0,
        "result message", sat.CodigoErro().msg);
  CheckCode("AssociarAssinatura", sat.AssociarAssinatura(s(), kCode, kBothCnpjs, kSignature),
            "13000");
  CheckCode("AtualizarSoftwareSAT", sat.AtualizarSoftwareSAT(s(), kCode), "14000");
  CheckCode("TesteFimAFim", sat.TesteFimAFim(s(), kCode, sale.c_str()), "09000");
  // A request of a megabyte and more leaves in one write: the device answers it.
  const std::string large = std::string(1 << 20, ' ') + sale;
  const char* answer = sat.TesteFimAFim(s(), kCode, large.c_str());
  Check(Code(answer).compare(0, 2, "09") == 0 && sat.CodigoErro().code == __NOERROR__,
        "a request of a megabyte", std::string(answer).substr(0, 80));
  CheckCode("ExtrairLogs", sat.ExtrairLogs(s(), kCode), "15000");
  Check(std::strlen(sat.Base64ToAscii()) > 0, "Base64ToAscii after ExtrairLogs");
  CheckCode("BloquearSAT", sat.BloquearSAT(s(), kCode), "16000");
  CheckCode("DesbloquearSAT", sat.DesbloquearSAT(s(), kCode), "17000");
  CheckCode("TrocarCodigoDeAtivacao", sat.TrocarCodigoDeAtivacao(s(), kCode, 1, kNewCode, kNewCode),
            "18000");
  CheckCode("the new code holds", sat.ConsultarStatusOperacional(s(), kNewCode), "10000");
  CheckCode("TrocarCodigoDeAtivacao back",
            sat.TrocarCodigoDeAtivacao(s(), kNewCode, 1, kCode, kCode), "18000");
}

// A port as another program may leave it: software flow control on, which
// would take the XON and XOFF bytes out of the binary frames.
void LeaveFlowControlOn(int port) {
  const std::string path = PortPath(port);
  HANDLE h = OpenPort(path);
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  bool ok = h != INVALID_HANDLE_VALUE && GetCommState(h, &dcb);
  if (ok) {
    dcb.fOutX = dcb.fInX = TRUE;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    ok = SetCommState(h, &dcb);
  }
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  Check(ok, "leaving XON/XOFF flow control on", path);
}

// A sale travels compressed and its coupon comes back compressed; the
// cancellation names the sale by its key.
void SaleAndCancellation(const Api& sat, const std::string& sale, std::string cancellation) {
  const int32_t session = sat.GeraNumeroSessao();
  const std::string reply = sat.EnviarDadosVenda(session, kCode, sale.c_str());
  const auto fields = Fields(reply);
  Check(fields.size() == 12 && fields[1] == "06000", "EnviarDadosVenda", reply.substr(0, 120));
  const std::string key = fields.size() > 8 ? fields[8] : "";
  Check(key.size() == 47 && key.compare(0, 3, "CFe") == 0, "chaveConsulta", key);
  const std::string coupon = sat.Base64ToAscii();
  Check(coupon.compare(0, 5, "<?xml") == 0 && EndsWith(coupon, "</CFe>") &&
            coupon.find("Id=\"" + key + "\"") != std::string::npos,
        "Base64ToAscii: the signed coupon", coupon.substr(0, 80));

  char stored_head[16];
  std::snprintf(stored_head, sizeof stored_head, "%06d|06000|", static_cast<int>(session));
  const std::string stored = sat.ConsultarNumeroSessao(sat.GeraNumeroSessao(), kCode, session);
  Check(stored.compare(0, std::strlen(stored_head), stored_head) == 0, "ConsultarNumeroSessao",
        stored.substr(0, 80));

  const size_t at = cancellation.find("\"CFe");
  if (at != std::string::npos && key.size() == 47) cancellation.replace(at + 1, 47, key);
  const char* cancelled =
      sat.CancelarUltimaVenda(sat.GeraNumeroSessao(), kCode, key.c_str(), cancellation.c_str());
  CheckCode("CancelarUltimaVenda", cancelled, "07000");
  const std::string document = sat.Base64ToAscii();
  Check(document.find("chCanc=\"" + key + "\"") != std::string::npos &&
            document.find("</CFeCanc>") != std::string::npos,
        "Base64ToAscii: the cancellation coupon", document.substr(0, 80));
}

void LinkErrors(const Api& sat, int port, int silent) {
  Check(sat.AbreSerialSAT(1000000000, 0, 0, 0, 0) == -1, "AbreSerialSAT: a name too long");
  sat.ConsultarSAT(sat.GeraNumeroSessao());
  Check(sat.CodigoErro().code == __NOCONNECT__, "no port chosen: __NOCONNECT__");

  // Nothing behind COM250.
  sat.AbreSerialSAT(250, 0, 0, 0, 0);
  const std::string absent = sat.ConsultarSAT(sat.GeraNumeroSessao());
  Check(sat.CodigoErro().code == __NOCONNECT__ && absent == "Erro ao tentar abrir a porta",
        "no port: __NOCONNECT__", absent);

  // Another handle holds the port. Windows' serial driver refuses a second
  // open; Wine checks sharing on regular files only, so there a port is never
  // held and the library has nothing to refuse.
  const std::string path = PortPath(port);
  HANDLE held = OpenPort(path);
  Check(held != INVALID_HANDLE_VALUE, "holding the port", path);
  HANDLE second = OpenPort(path);
  sat.AbreSerialSAT(port, 0, 0, 0, 0);
  if (second != INVALID_HANDLE_VALUE) {
    CloseHandle(second);
    std::printf("held port: not checked, the system lets a second handle open %s\n", path.c_str());
  } else {
    const std::string refused = sat.ConsultarSAT(sat.GeraNumeroSessao());
    Check(sat.CodigoErro().code == __NOCONNECT__, "a held port: __NOCONNECT__", refused);
  }
  if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
  CheckCode("the port released", sat.ConsultarSAT(sat.GeraNumeroSessao()), "08000");

  // The silent device never answers: a time-out within ConsultarSAT's 5 s.
  sat.AbreSerialSAT(silent, 0, 0, 0, 0);
  const std::string reply = sat.ConsultarSAT(sat.GeraNumeroSessao());
  const COMM_ERROR e = sat.CodigoErro();
  Check(e.code == __TIMEOUT__, "time-out code", std::to_string(e.code));
  Check(reply.find("|9999|Timeout de comunica\xE7\xE3o") == 6, "time-out reply", reply);
  Check(std::strcmp(e.msg, "Timeout na comunica\xE7\xE3o com o equipamento.") == 0,
        "time-out message", e.msg);
}

// The log, appended to by each entry: what discovery found, and why a port
// did not open in the system's own words.
void CheckLog(const char* name) {
  const std::string log = ReadAll(name);
  for (const char* line : {"Port found: COM1\r\n", "Openned port COM1\r\n", "\\\\.\\COM250: "}) {
    Check(log.find(line) != std::string::npos, "in the log:", line);
  }
}

// The directory kovrad.dll was loaded from must be the system's.
void CheckInstalled() {
  char loaded[MAX_PATH] = "", system[MAX_PATH] = "";
  GetModuleFileNameA(library, loaded, sizeof loaded);
  GetSystemDirectoryA(system, sizeof system);
  std::printf("kovrad.dll loaded from %s\n", loaded);
  const std::string expected = std::string(system) + "\\kovrad.dll";
  Check(lstrcmpiA(loaded, expected.c_str()) == 0, "kovrad.dll from the system directory", loaded);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::printf(
        "usage: kovrad_dll_test <COM n> <silent COM n> <sale.xml> <cancellation.xml> "
        "[installed]\n");
    return 2;
  }
  const int port = std::atoi(argv[1]);
  const int silent = std::atoi(argv[2]);
  const std::string sale = ReadAll(argv[3]);
  const std::string cancellation = ReadAll(argv[4]);

  library = LoadLibraryA("kovrad.dll");
  Check(library != nullptr, "LoadLibraryA(kovrad.dll)");
  if (library == nullptr) return Finish();
  if (argc > 5 && std::strcmp(argv[5], "installed") == 0) CheckInstalled();
  const Api sat = Bind();
  std::printf("%d-bit program, %s", static_cast<int>(8 * sizeof(void*)), sat.VersaoLib());

  constexpr char kLog[] = "kovrad.log";
  Check(std::strcmp(sat.ArquivoLog(kLog), kLog) == 0, "ArquivoLog");
  Discovery(sat, port);
  VendorFunctions(sat);
  sat.AbreSerialSAT(port, 0, 0, 0, 0);
  StandardFunctions(sat, sale);
  LeaveFlowControlOn(port);
  SaleAndCancellation(sat, sale, cancellation);
  LinkErrors(sat, port, silent);
  sat.ArquivoLog("");
  CheckLog(kLog);
  return Finish();
}
