// The C interface of libkovrad-extrato over the renderer and the printer:
// every export catches what the C++ below may throw.
#include <cstring>
#include <exception>
#include <string>

#include "kovrad-extrato.h"
#include "printer.h"
#include "receipt.h"

namespace kovrad::receipt {
namespace {

constexpr int kKnownOptions =
    KOVRAD_EXTRATO_BOBINA_58 | KOVRAD_EXTRATO_RASTER | KOVRAD_EXTRATO_SEGUNDA_VIA;

// Cut on a character boundary, so that a short buffer never ends in half a
// UTF-8 sequence.
void Tell(const std::string& text, char* message, size_t capacity) {
  if (message == nullptr || capacity == 0) return;
  size_t length = std::min(text.size(), capacity - 1);
  while (length > 0 && length < text.size() &&
         (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) {
    --length;
  }
  std::memcpy(message, text.data(), length);
  message[length] = '\0';
}

int Fail(int code, const std::string& text, char* message, size_t capacity) {
  Tell(text, message, capacity);
  return code;
}

struct Request {
  const char* coupon;
  size_t coupon_size;
  int format;
  int options;
};

int Render(const Request& request, std::string* bytes, std::string* problem) {
  if (request.coupon == nullptr) {
    *problem = "o cupom não foi passado";
    return KOVRAD_EXTRATO_ERRO_ARGUMENTO;
  }
  if ((request.options & ~kKnownOptions) != 0) {
    *problem = "opção desconhecida: " + std::to_string(request.options & ~kKnownOptions);
    return KOVRAD_EXTRATO_ERRO_ARGUMENTO;
  }
  if (request.format < KOVRAD_EXTRATO_PNG || request.format > KOVRAD_EXTRATO_ESCPOS) {
    *problem = "formato desconhecido: " + std::to_string(request.format);
    return KOVRAD_EXTRATO_ERRO_ARGUMENTO;
  }
  Coupon coupon;
  if (!ReadCoupon(std::string_view(request.coupon, request.coupon_size), &coupon, problem)) {
    return KOVRAD_EXTRATO_ERRO_CUPOM;
  }
  Layout layout = MakeLayout(coupon);
  if (request.options & KOVRAD_EXTRATO_SEGUNDA_VIA) MarkSecondCopy(&layout);
  const Paper& paper = (request.options & KOVRAD_EXTRATO_BOBINA_58) ? kPaper58 : kPaper80;
  bool drawn = true;
  switch (request.format) {
    case KOVRAD_EXTRATO_PNG:
      drawn = RenderPng(layout, paper, 1.0, bytes, problem);
      break;
    case KOVRAD_EXTRATO_PDF:
      drawn = RenderPdf(layout, paper, bytes, problem);
      break;
    case KOVRAD_EXTRATO_TEXTO:
      *bytes = RenderText(layout, paper.columns);
      break;
    default:
      drawn = RenderEscPos(
          layout, paper,
          (request.options & KOVRAD_EXTRATO_RASTER) ? Symbols::kRaster : Symbols::kPrinter, bytes,
          problem);
  }
  return drawn ? KOVRAD_EXTRATO_OK : KOVRAD_EXTRATO_ERRO_DESENHO;
}

// No exception leaves the library: a failure below the interface (memory,
// a library's own throw) is a return code like any other.
template <typename Call>
int Guarded(char* message, size_t capacity, Call call) {
  try {
    return call();
  } catch (const std::exception& e) {
    return Fail(KOVRAD_EXTRATO_ERRO_INTERNO, std::string("erro interno: ") + e.what(), message,
                capacity);
  } catch (...) {
    return Fail(KOVRAD_EXTRATO_ERRO_INTERNO, "erro interno", message, capacity);
  }
}

}  // namespace
}  // namespace kovrad::receipt

using namespace kovrad::receipt;

extern "C" {

KOVRAD_EXTRATO_API const char* kovrad_extrato_versao(void) {
  return "1.0.0";
}

KOVRAD_EXTRATO_API int kovrad_extrato_gerar(const char* cupom, size_t tamanho_cupom, int formato,
                                            int opcoes, void* saida, size_t capacidade,
                                            size_t* tamanho, char* mensagem,
                                            size_t capacidade_mensagem) {
  return Guarded(mensagem, capacidade_mensagem, [&] {
    if (tamanho == nullptr || (saida == nullptr && capacidade != 0)) {
      return Fail(KOVRAD_EXTRATO_ERRO_ARGUMENTO,
                  tamanho == nullptr ? "falta onde pôr o tamanho do extrato"
                                     : "a saída é nula mas a capacidade não é 0",
                  mensagem, capacidade_mensagem);
    }
    std::string bytes, problem;
    const int code = Render({cupom, tamanho_cupom, formato, opcoes}, &bytes, &problem);
    if (code != KOVRAD_EXTRATO_OK) return Fail(code, problem, mensagem, capacidade_mensagem);
    *tamanho = bytes.size();
    if (saida == nullptr) return Fail(KOVRAD_EXTRATO_OK, "", mensagem, capacidade_mensagem);
    if (capacidade < bytes.size()) {
      return Fail(KOVRAD_EXTRATO_ERRO_ESPACO,
                  "o extrato tem " + std::to_string(bytes.size()) + " bytes e cabem " +
                      std::to_string(capacidade),
                  mensagem, capacidade_mensagem);
    }
    std::memcpy(saida, bytes.data(), bytes.size());
    return Fail(KOVRAD_EXTRATO_OK, "", mensagem, capacidade_mensagem);
  });
}

KOVRAD_EXTRATO_API int kovrad_extrato_imprimir(const char* cupom, size_t tamanho_cupom, int opcoes,
                                               const char* destino, char* mensagem,
                                               size_t capacidade_mensagem) {
  return Guarded(mensagem, capacidade_mensagem, [&] {
    if (destino == nullptr || *destino == '\0') {
      return Fail(KOVRAD_EXTRATO_ERRO_ARGUMENTO, "falta a impressora", mensagem,
                  capacidade_mensagem);
    }
    std::string bytes, problem;
    const int code =
        Render({cupom, tamanho_cupom, KOVRAD_EXTRATO_ESCPOS, opcoes}, &bytes, &problem);
    if (code != KOVRAD_EXTRATO_OK) return Fail(code, problem, mensagem, capacidade_mensagem);
    const PrintOutcome outcome = Print(destino, bytes);
    return Fail(outcome.printed ? KOVRAD_EXTRATO_OK : KOVRAD_EXTRATO_ERRO_IMPRESSORA,
                outcome.message, mensagem, capacidade_mensagem);
  });
}

}  // extern "C"
