// The hub's checks of what a till sends, before anything reaches a device:
// each route's function, the fields it takes and how they become the
// export's arguments.
#include <gtest/gtest.h>

#include <cctype>

#include "functions.h"

namespace kovrad::hub {
namespace {

const HubFunction& Route(std::string_view route) {
  const HubFunction* f = FindHubFunction(route);
  EXPECT_NE(f, nullptr) << route;
  return *f;
}

// The refusal for `fields`, or "" when they are taken.
std::string Refusal(std::string_view route, const Fields& fields, const std::string& code,
                    Prepared* out = nullptr) {
  Prepared prepared;
  const auto problem = Route(route).prepare(fields, code, out != nullptr ? out : &prepared);
  return problem.value_or("");
}

constexpr char kCode[] = "12345678";

TEST(HubFields, EachRouteIsAStandardFunctionInLowerCase) {
  for (const HubFunction& f : HubFunctions()) {
    std::string lower;
    for (char c : f.function->export_name) lower += static_cast<char>(std::tolower(c));
    EXPECT_EQ(f.route, lower);
    EXPECT_EQ(FindHubFunction(f.route), &f);
  }
  EXPECT_EQ(FindHubFunction("EnviarDadosVenda"), nullptr);
  EXPECT_EQ(FindHubFunction("geranumerosessao"), nullptr);
  // The last fiscal session is the hub's own answer, from its ledger.
  EXPECT_EQ(FindHubFunction("consultarultimasessaofiscal"), nullptr);
  EXPECT_TRUE(Route("enviardadosvenda").large);
  EXPECT_TRUE(Route("configurarinterfacederede").large);
  EXPECT_FALSE(Route("consultarsat").large);
}

TEST(HubFields, TheHubsCodeGoesFirstAndTheFieldsFollowInOrder) {
  Prepared out;
  EXPECT_EQ(Refusal("enviardadosvenda", {{"dados_venda", "<CFe/>"}}, kCode, &out), "");
  EXPECT_EQ(out.arguments, (std::vector<std::string>{kCode, "<CFe/>"}));
  EXPECT_EQ(Refusal("ativarsat",
                    {{"tipo_certificado", "1"}, {"cnpj", "11222333000181"}, {"codigo_uf", "035"}},
                    kCode, &out),
            "");
  EXPECT_EQ(out.arguments, (std::vector<std::string>{"1", kCode, "11222333000181", "35"}));
  EXPECT_EQ(Refusal("consultarsat", {}, "", &out), "");
  EXPECT_TRUE(out.arguments.empty());
  EXPECT_EQ(Refusal("consultarstatusoperacional", {}, ""),
            "O hub não tem código de ativação configurado para este SAT.");
}

TEST(HubFields, MissingAndMalformedFieldsAreRefusedByName) {
  EXPECT_EQ(Refusal("enviardadosvenda", {}, kCode), "Campo obrigatório ausente: dados_venda.");
  EXPECT_EQ(Refusal("enviardadosvenda", {{"dados_venda", ""}}, kCode),
            "Campo obrigatório ausente: dados_venda.");
  EXPECT_EQ(Refusal("enviardadosvenda", {{"dados_venda", std::string("<CFe>\0", 6)}}, kCode),
            "Campo dados_venda inválido: contém byte nulo.");
  EXPECT_EQ(
      Refusal("enviardadosvenda", {{"dados_venda", std::string(kDocumentLimit + 1, 'x')}}, kCode),
      "Campo dados_venda inválido: mais de 2097151 caracteres.");
  EXPECT_EQ(
      Refusal("ativarsat",
              {{"tipo_certificado", "4"}, {"cnpj", "11222333000181"}, {"codigo_uf", "35"}}, kCode),
      "Campo tipo_certificado inválido: número de 1 a 3.");
  EXPECT_EQ(
      Refusal("ativarsat",
              {{"tipo_certificado", "1"}, {"cnpj", "1122233300018x"}, {"codigo_uf", "35"}}, kCode),
      "Campo cnpj inválido: 14 dígitos.");
  EXPECT_EQ(
      Refusal("ativarsat",
              {{"tipo_certificado", "1"}, {"cnpj", "11222333000181"}, {"codigo_uf", "-35"}}, kCode),
      "Campo codigo_uf inválido: número de 11 a 53.");
  EXPECT_EQ(Refusal("consultarnumerosessao", {{"numero_sessao", "1000000"}}, kCode),
            "Campo numero_sessao inválido: número de 0 a 999999.");
  // A field that goes between the payload's separators must hold none.
  EXPECT_EQ(Refusal("associarassinatura",
                    {{"sequencia_cnpj", std::string(28, '1')}, {"assinatura_ac", "a|b"}}, kCode),
            "Campo assinatura_ac inválido: não pode conter \"|\".");
}

TEST(HubFields, TheCancellationKeyIsCFeAnd44Digits) {
  const std::string key = "CFe" + std::string(44, '3');
  Prepared out;
  EXPECT_EQ(Refusal("cancelarultimavenda", {{"chave_cfe", key}, {"dados_cancelamento", "<x/>"}},
                    kCode, &out),
            "");
  EXPECT_EQ(out.arguments, (std::vector<std::string>{kCode, key, "<x/>"}));
  for (const std::string& bad : {"CFe" + std::string(43, '3'), "CFE" + std::string(44, '3'),
                                 "CFe" + std::string(43, '3') + "x"}) {
    EXPECT_EQ(
        Refusal("cancelarultimavenda", {{"chave_cfe", bad}, {"dados_cancelamento", "<x/>"}}, kCode),
        "Campo chave_cfe inválido: \"CFe\" seguido de 44 dígitos.")
        << bad;
  }
}

TEST(HubFields, ACodeChangeTakesEitherSpellingAndKeepsTheNewCode) {
  Prepared out;
  EXPECT_EQ(
      Refusal(
          "trocarcodigodeativacao",
          {{"opcao", "1"}, {"novo_codigo", "abcdefgh"}, {"novo_codigo_confirmacao", "abcdefgh"}},
          kCode, &out),
      "");
  EXPECT_EQ(out.arguments, (std::vector<std::string>{kCode, "1", "abcdefgh", "abcdefgh"}));
  EXPECT_EQ(out.new_code, "abcdefgh");
  EXPECT_EQ(Refusal("trocarcodigodeativacao",
                    {{"opcao", "1"}, {"novo_codigo_ativacao", "zyxwvuts"}}, kCode, &out),
            "");
  EXPECT_EQ(out.arguments, (std::vector<std::string>{kCode, "1", "zyxwvuts", "zyxwvuts"}));
  EXPECT_EQ(
      Refusal(
          "trocarcodigodeativacao",
          {{"opcao", "1"}, {"novo_codigo", "abcdefgh"}, {"novo_codigo_confirmacao", "abcdefgi"}},
          kCode),
      "Campo novo_codigo_confirmacao inválido: difere de novo_codigo.");
  EXPECT_EQ(
      Refusal("trocarcodigodeativacao", {{"opcao", "1"}, {"novo_codigo_ativacao", "short"}}, kCode),
      "Campo novo_codigo_ativacao inválido: 8 a 32 caracteres.");
  EXPECT_EQ(Refusal("trocarcodigodeativacao",
                    {{"opcao", "1"}, {"novo_codigo_ativacao", "abc\tdefgh"}}, kCode),
            "Campo novo_codigo_ativacao inválido: caractere de controle.");
  // With the emergency code the hub needs no code of its own.
  EXPECT_EQ(Refusal("trocarcodigodeativacao",
                    {{"opcao", "2"},
                     {"novo_codigo_ativacao", "abcdefgh"},
                     {"codigo_emergencia", "emergency1"}},
                    "", &out),
            "");
  EXPECT_EQ(out.arguments.front(), "emergency1");
}

TEST(HubFields, TillNumbers) {
  int till = -1;
  EXPECT_TRUE(ParseTill("0", &till));
  EXPECT_EQ(till, 0);
  EXPECT_TRUE(ParseTill("999", &till));
  EXPECT_EQ(till, 999);
  EXPECT_TRUE(ParseTill("007", &till));
  EXPECT_EQ(till, 7);
  for (const char* bad : {"", "1000", "-1", "+1", "12a", " 1", "0012"}) {
    EXPECT_FALSE(ParseTill(bad, &till)) << bad;
  }
}

}  // namespace
}  // namespace kovrad::hub
