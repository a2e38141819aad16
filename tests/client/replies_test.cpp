// Typed replies read from what a device sends: success and refusal lines of
// each shape, and lines no device should send, which must come back as an
// error and never as a crash or a half-filled reply.
#include <gtest/gtest.h>

#include <string>

#include "client/functions.h"
#include "client/replies.h"

namespace kovrad::client {
namespace {

const std::string kSale =
    "000123|06000|0000|Emitido com sucesso + conteudo notas.|||PENGZT4=|20260105143000|"
    "CFe35260108723218000186599000000000000123456781|48.50|11144477735|QR==";

const std::string kStatus =
    "000007|10000|Resposta com Sucesso|0000|Sem mensagens|900000000|DHCP|192.168.000.100|"
    "02:4B:56:00:00:01|255.255.255.000|192.168.000.001|192.168.000.001|008.008.008.008|"
    "CONECTADO|ALTO|4 GB|68 KB|20260105143000|01.00.00|00.08|"
    "CFe35260108723218000186599000000000000123456781|0|0|00000000000000|00000000000000|"
    "20250101|20300101|2";

TEST(Replies, ASaleReadsItsFieldsByNameWithNumbersAsNumbers) {
  std::string error;
  const auto sale = ParseSaleReply(kSale, &error);
  ASSERT_TRUE(sale) << error;
  EXPECT_EQ(sale->head.numeroSessao, 123);
  EXPECT_EQ(sale->head.EEEEE, "06000");
  EXPECT_EQ(sale->CCCC, "0000");
  EXPECT_EQ(sale->head.mensagem, "Emitido com sucesso + conteudo notas.");
  EXPECT_EQ(sale->arquivoCFeSAT, "PENGZT4=");
  EXPECT_EQ(sale->valorTotalCFe, 4850);
  EXPECT_EQ(sale->CPFCNPJValue, "11144477735");
  EXPECT_EQ(sale->assinaturaQRCODE, "QR==");

  // A refusal is a whole reply: its head, no coupon.
  const auto refused = ParseSaleReply("000124|06001|0000|Codigo de ativacao invalido||");
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->head.EEEEE, "06001");
  EXPECT_EQ(refused->head.mensagem, "Codigo de ativacao invalido");
  EXPECT_TRUE(refused->arquivoCFeSAT.empty());
  EXPECT_EQ(refused->valorTotalCFe, 0);

  const auto status = ParseStatusReply(kStatus, &error);
  ASSERT_TRUE(status) << error;
  EXPECT_EQ(status->NSERIE, "900000000");
  EXPECT_EQ(status->MT_USADA, "68 KB");
  EXPECT_EQ(status->CERT_VENCIMENTO, "20300101");
  EXPECT_EQ(status->ESTADO_OPERACAO, 2);

  const auto head = ParseReplyHead("000009|11003|Sessao nao existe||");
  ASSERT_TRUE(head);
  EXPECT_EQ(head->EEEEE, "11003");
}

TEST(Replies, WhatNoDeviceShouldSendIsAnErrorNeverACrash) {
  const std::pair<std::string, std::string_view> bad[] = {
      {"Erro ao tentar abrir a porta", "no reply line"},
      {"000123|9999|Timeout de comunicação", "failure line"},
      {"00012x|06000|0000|ok", "numeroSessao"},
      {"1000000|06000|0000|ok", "six digits"},
      {"-00001|06000|0000|ok", "numeroSessao"},
      {"000123|6000|0000|ok", "EEEEE"},
      {"000123|10000|Resposta com Sucesso|0000|", "another function"},
      // A success must carry its coupon whole.
      {"000123|06000|0000|Emitido||", "missing"},
      {kSale.substr(0, kSale.rfind('|')), "missing"},
  };
  for (const auto& [line, why] : bad) {
    std::string error;
    EXPECT_FALSE(ParseSaleReply(line, &error)) << line;
    EXPECT_NE(error.find(why), std::string::npos) << line << ": " << error;
  }
  for (std::string_view amount : {"48.505", "-1.00", "1e3", "", "48,50", "9999999999999999"}) {
    std::string line = kSale;
    line.replace(line.find("48.50"), 5, amount);
    EXPECT_FALSE(ParseSaleReply(line)) << amount;
  }
  std::string status = kStatus;
  status.back() = 'X';
  EXPECT_FALSE(ParseStatusReply(status));
  // Every cut of a good line is read or refused, whatever its length.
  for (size_t n = 0; n <= kStatus.size(); ++n) {
    const std::string cut = kStatus.substr(0, n);
    const auto reply = ParseStatusReply(cut);
    if (reply && reply->head.EEEEE == "10000") {
      EXPECT_EQ(n, kStatus.size());
    }
    ParseSaleReply(cut);
    ParseLogReply(cut);
    ParseEndToEndReply(cut);
    ParseCommonReply(cut);
  }
}

TEST(Replies, TheResultCodeSaysWhatToDoNext) {
  const Function& sale = *FindFunction("EnviarDadosVenda");
  const Function& lock = *FindFunction("BloquearSAT");
  const Function& lookup = *FindFunction("ConsultarNumeroSessao");
  EXPECT_EQ(NextStepAfter(sale, "06000"), NextStep::kDone);
  EXPECT_EQ(NextStepAfter(sale, "06098"), NextStep::kTryLater);
  EXPECT_EQ(NextStepAfter(sale, "06099"), NextStep::kTryLater);
  EXPECT_EQ(NextStepAfter(sale, "06010"), NextStep::kCorrect);
  // No reply of the device: a sale may have been made, a lock can be asked again.
  EXPECT_EQ(NextStepAfter(sale, "9999"), NextStep::kRecover);
  EXPECT_EQ(NextStepAfter(sale, ""), NextStep::kRecover);
  EXPECT_EQ(NextStepAfter(lock, "9999"), NextStep::kRetry);
  EXPECT_EQ(NextStepAfter(lock, "16002"), NextStep::kCorrect);
  // The stored reply of a sale found through the lookup is a success of the lookup.
  EXPECT_EQ(NextStepAfter(lookup, "06000"), NextStep::kDone);
  EXPECT_EQ(NextStepAfter(lookup, "11003"), NextStep::kCorrect);
}

}  // namespace
}  // namespace kovrad::client
