// A till's sale through the kovrad client layer: one sale document sent to
// the device, the coupon read from its typed reply, and a sale whose reply
// was lost settled by asking the device instead of being sent again. Session
// numbers come from a store on disk, so no run repeats one of the last 100.
//
//   till CODIGO VENDA.xml [ARQUIVO_DE_SESSOES]
//
// Exit status: 0 the sale was made (now or found made), 1 the device refused
// it, 2 what happened is unknown (do not sell it again), 3 bad usage.
#include <client/binding.h>
#include <client/functions.h>
#include <client/recovery.h>
#include <client/replies.h>
#include <client/reply_line.h>
#include <client/session_store.h>
#include <client/text.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace client = kovrad::client;

namespace {

// A session number none of the last runs used. When the store cannot be
// written the number is still fresh for this run; say so and go on.
int32_t FreshSession(client::SessionStore& store) {
  int32_t session = 0;
  std::string problem;
  if (!store.Draw(&session, &problem)) std::fprintf(stderr, "aviso: %s\n", problem.c_str());
  return session;
}

void PrintCoupon(const client::SaleReply& sale) {
  std::printf("venda feita: chave %s, total %lld,%02lld\n", sale.chaveConsulta.c_str(),
              static_cast<long long>(sale.valorTotalCFe / 100),
              static_cast<long long>(sale.valorTotalCFe % 100));
}

// The device's last coupon, from its typed status reply.
void PrintLastCoupon(client::Library& library, client::SessionStore& store, const char* code) {
  const int32_t session = FreshSession(store);
  std::printf("sessao %06d: ConsultarStatusOperacional\n", session);
  const client::Reply reply = KOVRAD_SAT(library, ConsultarStatusOperacional, session, code);
  std::string error;
  const auto status = client::ParseStatusReply(reply.text, &error);
  if (status && status->head.EEEEE == "10000") {
    std::printf("ultimo cupom do SAT: %s\n", status->ULTIMO_CF_E_SAT.c_str());
  } else {
    std::printf("status: %s\n", status ? status->head.mensagem.c_str() : error.c_str());
  }
}

// The sale's fate after its reply was lost.
int Recover(client::Library& library, client::SessionStore& store, const char* code,
            int32_t session) {
  std::printf("sessao %06d: sem resposta; consultando o SAT\n", session);
  const client::Recovery recovery = client::RecoverSale(
      "EnviarDadosVenda", session,
      [&] {
        const int32_t lookup = FreshSession(store);
        std::printf("sessao %06d: ConsultarNumeroSessao %06d\n", lookup, session);
        return lookup;
      },
      client::LookupThrough(library, code));
  switch (recovery.fate) {
    case client::SaleFate::kMade:
      std::printf("recuperada: ");
      if (const auto sale = client::ParseSaleReply(recovery.reply)) PrintCoupon(*sale);
      return 0;
    case client::SaleFate::kRefused:
      std::printf("recusada: %s\n", recovery.reply.c_str());
      return 1;
    case client::SaleFate::kNotMade:
      // Safe to send again, with a new session number; this example stops.
      std::printf("a venda nao chegou ao SAT: pode ser enviada de novo\n");
      return 1;
    case client::SaleFate::kUnknown:
      break;
  }
  std::printf("situacao desconhecida (%s): nao envie a venda de novo; consulte mais tarde\n",
              recovery.reason.c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "uso: till CODIGO VENDA.xml [ARQUIVO_DE_SESSOES]\n");
    return 3;
  }
  const char* code = argv[1];
  std::ifstream file(argv[2], std::ios::binary);
  std::stringstream document;
  document << file.rdbuf();
  if (!file) {
    std::fprintf(stderr, "%s: nao foi possivel ler a venda\n", argv[2]);
    return 3;
  }
  client::SessionStore store(argc == 4 ? argv[3] : client::SessionStore::DefaultPath());
  client::Library library;

  // The library takes Windows-1252 text.
  const std::string sale_document = client::ToCp1252(document.str());
  const int32_t session = FreshSession(store);
  std::printf("sessao %06d: EnviarDadosVenda\n", session);
  const client::Reply reply =
      KOVRAD_SAT(library, EnviarDadosVenda, session, code, sale_document.c_str());
  std::string problem;
  const auto record = library.ErrorRecord(&problem);
  if (!reply.called || !record) {
    std::printf("biblioteca do SAT: %s\n", reply.called ? problem.c_str() : reply.problem.c_str());
    return 2;
  }

  int status = 0;
  if (client::OutcomeUncertain("EnviarDadosVenda", session, record->code, reply.text)) {
    status = Recover(library, store, code, session);
  } else if (const auto sale = client::ParseSaleReply(reply.text)) {
    const client::Function& function = *client::FindFunction("EnviarDadosVenda");
    switch (client::NextStepAfter(function, sale->head.EEEEE)) {
      case client::NextStep::kDone:
        PrintCoupon(*sale);
        break;
      case client::NextStep::kTryLater:
        std::printf("SAT ocupado (%s): tente de novo\n", sale->head.EEEEE.c_str());
        status = 1;
        break;
      default:
        std::printf("recusada (%s): %s\n", sale->head.EEEEE.c_str(),
                    client::DecodeReply(sale->head.mensagem).c_str());
        status = 1;
        break;
    }
  } else {
    // The port never opened: nothing reached the device.
    std::printf("sem comunicacao: %s\n", client::ErrorReport(*record).c_str());
    return 2;
  }
  PrintLastCoupon(library, store, code);
  return status;
}
