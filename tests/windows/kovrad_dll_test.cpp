// A 32-bit Windows program that uses kovrad.dll as point-of-sale programs do:
// LoadLibraryA, GetProcAddress by plain name, calls through __stdcall
// pointers. Run under Wine against an emulated device reached as COM ports.
//
//   kovrad_dll_test <device COM number> <silent device COM number> <sale file>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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

HMODULE library;

template <typename F>
F Get(const char* name) {
  auto f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(library, name)));
  Check(f != nullptr, "export by plain name", name);
  if (f == nullptr) {
    std::printf("%d passed, %d failed\n", passed, failed);
    std::exit(1);
  }
  return f;
}

using AbreSerialFn = int32_t(__stdcall*)(int32_t, int32_t, int32_t, int32_t, int32_t);
using SessaoFn = int32_t(__stdcall*)();
using CodigoFn = char*(__stdcall*)(int32_t, const char*);
using ConsultarFn = char*(__stdcall*)(int32_t);
using VendaFn = char*(__stdcall*)(int32_t, const char*, const char*);
using Base64Fn = char*(__stdcall*)();
using ErroFn = COMM_ERROR(__stdcall*)();

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

bool Has(const char* text, const char* part) {
  return std::strstr(text, part) != nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::printf("usage: kovrad_dll_test <COM n> <silent COM n> <sale.xml>\n");
    return 2;
  }
  const int port = std::atoi(argv[1]);
  const int silent = std::atoi(argv[2]);
  const std::string sale = ReadAll(argv[3]);
  const char* code = "12345678";

  library = LoadLibraryA("kovrad.dll");
  Check(library != nullptr, "LoadLibraryA(kovrad.dll)");
  if (library == nullptr) {
    std::printf("%d passed, %d failed\n", passed, failed);
    return 1;
  }
  auto abre = Get<AbreSerialFn>("AbreSerialSAT");
  auto sessao = Get<SessaoFn>("GeraNumeroSessao");
  auto status = Get<CodigoFn>("ConsultarStatusOperacional");
  auto logs = Get<CodigoFn>("ExtrairLogs");
  auto consultar = Get<ConsultarFn>("ConsultarSAT");
  auto venda = Get<VendaFn>("EnviarDadosVenda");
  auto base64 = Get<Base64Fn>("Base64ToAscii");
  auto erro = Get<ErroFn>("CodigoErro");

  Check(abre(port, 0, 0, 0, 0) == 0, "AbreSerialSAT");

  const char* reply = status(sessao(), code);
  Check(Has(reply, "|10000|"), "status reply", reply);
  COMM_ERROR e = erro();
  Check(e.code == __NOERROR__, "CodigoErro after a reply", std::to_string(e.code));

  reply = venda(sessao(), code, sale.c_str());
  Check(Has(reply, "|06000|") && Has(reply, "CFe"), "sale reply",
        std::string(reply).substr(0, 120));
  const char* coupon = base64();
  const size_t length = std::strlen(coupon);
  Check(length > 6 && std::strcmp(coupon + length - 6, "</CFe>") == 0, "coupon up to </CFe>",
        std::string(coupon).substr(0, 80));

  reply = logs(sessao(), code);
  Check(Has(reply, "|15000|"), "log reply", std::string(reply).substr(0, 80));
  Check(std::strlen(base64()) > 0, "decoded log");

  // The silent device never answers: a time-out within ConsultarSAT's 5 s.
  abre(silent, 0, 0, 0, 0);
  reply = consultar(sessao());
  e = erro();
  Check(e.code == __TIMEOUT__, "time-out code", std::to_string(e.code));
  Check(Has(reply, "|9999|Timeout de comunica\xE7\xE3o"), "time-out reply", reply);
  Check(std::strcmp(e.msg, "Timeout na comunica\xE7\xE3o com o equipamento.") == 0,
        "time-out message", e.msg);

  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
