// satcli as a program against the emulated device (satemu): each function's
// output and exit status, the JSON a script reads, documents saved, and the
// link failures.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <filesystem>
#include <regex>

#include "emulated_device.h"
#include "program.h"

namespace kovrad::test {
namespace {

constexpr char kCode[] = "12345678";
constexpr char kNetwork[] =
    "<?xml version=\"1.0\"?>\n<config><tipoInter>ETHE</tipoInter><tipoLan>DHCP</tipoLan>"
    "<proxy>0</proxy><proxy_ip/><proxy_porta/><proxy_user/><proxy_senha/></config>\n";

Finished Satcli(std::vector<std::string> args, const std::string& input = "") {
  args.insert(args.begin(), {SATCLI_PATH, "--lib", KOVRAD_LIBRARY});
  return RunProgram(args, input);
}

// The whole of standard output as one JSON object; a test failure otherwise.
QJsonObject Json(const Finished& run) {
  QJsonParseError error;
  const auto document = QJsonDocument::fromJson(QByteArray::fromStdString(run.out), &error);
  EXPECT_EQ(error.error, QJsonParseError::NoError) << run.out << run.err;
  return document.object();
}

std::string Field(const QJsonObject& json, const char* name) {
  return json["campos"].toObject()[name].toString().toStdString();
}

std::string FirstLine(const std::string& text) {
  return text.substr(0, text.find('\n'));
}

class SatcliOnKit : public EmulatedDevice {
 protected:
  void SetUp() override { Start({"--kit"}); }
};

TEST_F(SatcliOnKit, PrintsTheReplyThenTheRecord) {
  const Finished run = Satcli({"--session", "4242", "ConsultarSAT"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "004242|08000|SAT em operação||\n"
            "CodigoErro: 0 (__NOERROR__)\n"
            "004242|08000|SAT em operação||\n");

  const Finished refused = Satcli({"BloquearSAT", "--codigo", "errado00"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_TRUE(std::regex_search(refused.out, std::regex(R"(^\d{6}\|16001\|)"))) << refused.out;
  EXPECT_NE(refused.out.find("\nCodigoErro: 0 (__NOERROR__)\nCodigo: 16001.\n"), std::string::npos)
      << refused.out;

  // Each run draws its own session number, so the device can tell them apart.
  const Finished looked_up =
      Satcli({"ConsultarNumeroSessao", "--codigo", kCode, "--numero", "4242"});
  EXPECT_EQ(looked_up.status, 0);
  EXPECT_EQ(FirstLine(looked_up.out), "004242|08000|SAT em operação||");
  const Finished unknown = Satcli({"ConsultarNumeroSessao", "--codigo", kCode, "--numero", "4243"});
  EXPECT_EQ(unknown.status, 1);
  EXPECT_NE(FirstLine(unknown.out).find("|11003|"), std::string::npos);
  EXPECT_NE(FirstLine(Satcli({"ConsultarSAT"}).out), FirstLine(Satcli({"ConsultarSAT"}).out));
}

TEST_F(SatcliOnKit, StatusAsJsonNamesEveryField) {
  const Finished run = Satcli({"ConsultarStatusOperacional", "--codigo", kCode, "--json"});
  EXPECT_EQ(run.status, 0);
  // The library's trace lines went to standard error: the JSON stands alone.
  const QJsonObject json = Json(run);
  EXPECT_EQ(json["funcao"].toString(), "ConsultarStatusOperacional");
  const QJsonObject fields = json["campos"].toObject();
  EXPECT_EQ(fields.size(), 28);
  EXPECT_EQ(Field(json, "numeroSessao"),
            QString::number(json["numeroSessao"].toInt()).rightJustified(6, '0').toStdString());
  EXPECT_EQ(Field(json, "EEEEE"), "10000");
  EXPECT_EQ(Field(json, "mensagem"), "Resposta com Sucesso");
  EXPECT_EQ(Field(json, "NSERIE"), "900000000");
  EXPECT_EQ(Field(json, "TIPO_LAN"), "DHCP");
  EXPECT_TRUE(std::regex_match(Field(json, "DH_ATUAL"), std::regex(R"(\d{14})")));
  EXPECT_EQ(Field(json, "ESTADO_OPERACAO"), "0");
  EXPECT_EQ(json["resposta"].toString().split('|').size(), 28);
  const QJsonObject record = json["CodigoErro"].toObject();
  EXPECT_EQ(record["code"].toInt(), 0);
  EXPECT_EQ(record["nome"].toString(), "__NOERROR__");
}

TEST_F(SatcliOnKit, AdministrationThroughEveryFunction) {
  WriteFile(dir_ / "rede.xml", kNetwork);
  EXPECT_EQ(
      Satcli({"ConfigurarInterfaceDeRede", "--codigo", kCode, "--documento", dir_ / "rede.xml"})
          .status,
      0);
  // The document may come from standard input too.
  const Finished junk =
      Satcli({"ConfigurarInterfaceDeRede", "--codigo", kCode, "--documento", "-"}, "junk");
  EXPECT_EQ(junk.status, 1);
  EXPECT_NE(FirstLine(junk.out).find("|12002|"), std::string::npos);

  EXPECT_EQ(Satcli({"AssociarAssinatura", "--codigo", kCode, "--cnpjs",
                    std::string(kSoftwareHouse) + kTaxpayer, "--assinatura", kSignature})
                .status,
            0);
  EXPECT_EQ(Satcli({"AtualizarSoftwareSAT", "--codigo", kCode}).status, 0);
  const Finished again = Satcli(
      {"AtivarSAT", "--subcomando", "1", "--codigo", kCode, "--cnpj", kTaxpayer, "--uf", "35"});
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(FirstLine(again.out).find("|04003|"), std::string::npos);

  EXPECT_EQ(Satcli({"BloquearSAT", "--codigo", kCode}).status, 0);
  const Finished locked = Satcli({"--json", "ConsultarStatusOperacional", "--codigo", kCode});
  EXPECT_EQ(Field(Json(locked), "ESTADO_OPERACAO"), "2");
  EXPECT_EQ(Satcli({"DesbloquearSAT", "--codigo", kCode}).status, 0);
  const Finished unlocked = Satcli({"DesbloquearSAT", "--codigo", kCode});
  EXPECT_EQ(unlocked.status, 1);
  EXPECT_NE(FirstLine(unlocked.out).find("|17005|"), std::string::npos);

  const std::string code =
      "c\xC3\xB3"
      "digo-novo";  // typed as UTF-8
  EXPECT_EQ(Satcli({"TrocarCodigoDeAtivacao", "--codigo", kCode, "--opcao", "1", "--novo", code,
                    "--confirmacao", code})
                .status,
            0);
  EXPECT_EQ(Satcli({"ConsultarStatusOperacional", "--codigo", kCode}).status, 1);
  EXPECT_EQ(Satcli({"ConsultarStatusOperacional", "--codigo", code}).status, 0);
}

TEST_F(SatcliOnKit, LogIsSavedDecodedAndOnlyWhenThereIsOne) {
  const std::string file = dir_ / "sat.log";
  WriteFile(file, "old contents");
  const Finished saved = Satcli({"--salvar", file, "ExtrairLogs", "--codigo", kCode});
  EXPECT_EQ(saved.status, 0) << saved.err;
  EXPECT_NE(FirstLine(saved.out).find("|15000|"), std::string::npos);
  const std::string log = ReadFile(file);
  EXPECT_TRUE(log.starts_with("LOG SAT 900000000")) << log.substr(0, 80);
  EXPECT_NE(log.find("|SAT|INFO|INICIO"), std::string::npos);

  WriteFile(file, "old contents");
  const Finished refused = Satcli({"--salvar", file, "ExtrairLogs", "--codigo", "errado00"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(ReadFile(file), "old contents");
  EXPECT_NE(refused.err.find("was not written"), std::string::npos);

  // A file that cannot be written is found out before the device is asked.
  const Finished nowhere = Satcli({"--session", "5151", "--salvar", dir_ / "no/such/dir/sat.log",
                                   "ExtrairLogs", "--codigo", kCode});
  EXPECT_EQ(nowhere.status, 3);
  EXPECT_EQ(nowhere.out, "");
  const Finished lookup = Satcli({"ConsultarNumeroSessao", "--codigo", kCode, "--numero", "5151"});
  EXPECT_NE(FirstLine(lookup.out).find("|11003|"), std::string::npos) << lookup.out;

  for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
    EXPECT_EQ(entry.path().filename().string().find("sat.log."), std::string::npos)
        << "temporary file left behind: " << entry.path();
  }
}

TEST_F(SatcliOnKit, SaleCancellationAndEndToEndTestWithTheirCoupons) {
  const std::string sale = std::string(SATEMU_SAMPLES) + "/venda.xml";
  const Finished sold = Satcli({"--json", "--salvar", dir_ / "cfe.xml", "EnviarDadosVenda",
                                "--codigo", kCode, "--documento", sale});
  EXPECT_EQ(sold.status, 0) << sold.err;
  const QJsonObject json = Json(sold);
  EXPECT_EQ(Field(json, "EEEEE"), "06000");
  const std::string key = Field(json, "chaveConsulta");
  ASSERT_TRUE(std::regex_match(key, std::regex(R"(CFe\d{44})"))) << sold.out;
  EXPECT_FALSE(Field(json, "arquivoCFeSAT").empty());
  EXPECT_FALSE(Field(json, "valorTotalCFe").empty());
  const std::string coupon = ReadFile(dir_ / "cfe.xml");
  EXPECT_NE(coupon.find("Id=\"" + key + "\""), std::string::npos);
  EXPECT_TRUE(coupon.ends_with("</CFe>")) << coupon.substr(coupon.size() - 40);

  std::string cancellation = ReadFile(std::string(SATEMU_SAMPLES) + "/cancelamento.xml");
  const std::string placeholder = "CFe" + std::string(44, '0');
  cancellation.replace(cancellation.find(placeholder), placeholder.size(), key);
  WriteFile(dir_ / "canc.xml", cancellation);
  const std::vector<std::string> cancel = {
      "--salvar", dir_ / "cfe-canc.xml", "CancelarUltimaVenda", "--codigo", kCode, "--chave",
      key,        "--documento",         dir_ / "canc.xml"};
  const Finished cancelled = Satcli(cancel);
  EXPECT_EQ(cancelled.status, 0) << cancelled.out << cancelled.err;
  EXPECT_NE(FirstLine(cancelled.out).find("|07000|"), std::string::npos);
  // The cancellation coupon ends with its root element, without the bytes
  // decoded from the fields after it.
  const std::string cancelled_coupon = ReadFile(dir_ / "cfe-canc.xml");
  EXPECT_TRUE(cancelled_coupon.starts_with("<?xml")) << cancelled_coupon.substr(0, 40);
  EXPECT_TRUE(cancelled_coupon.ends_with("</CFeCanc>"))
      << cancelled_coupon.substr(cancelled_coupon.size() - 40);
  EXPECT_EQ(Satcli(cancel).status, 1);

  const Finished tested =
      Satcli({"--json", "TesteFimAFim", "--codigo", kCode, "--documento", sale});
  EXPECT_EQ(tested.status, 0) << tested.out;
  const QJsonObject test = Json(tested);
  EXPECT_EQ(Field(test, "EEEEE"), "09000");
  EXPECT_TRUE(std::regex_match(Field(test, "chaveConsulta"), std::regex(R"((CFe)?\d{44})")));
  EXPECT_FALSE(Field(test, "arquivoCFeBase64").empty());
}

TEST_F(SatcliOnKit, SaleRefusalsKeepTheSaleLayout) {
  WriteFile(dir_ / "venda.xml", "<CFe><infCFe versaoDadosEnt=\"0.08\"/></CFe>");
  const Finished sale = Satcli(
      {"--json", "EnviarDadosVenda", "--codigo", "errado00", "--documento", dir_ / "venda.xml"});
  EXPECT_EQ(sale.status, 1);
  const QJsonObject json = Json(sale);
  EXPECT_EQ(Field(json, "EEEEE"), "06001");
  EXPECT_EQ(Field(json, "CCCC"), "0000");
  EXPECT_EQ(Field(json, "mensagem"), "Código de ativação inválido");
  EXPECT_EQ(json["CodigoErro"].toObject()["msg"].toString(),
            QString::fromUtf8("Codigo: 06001.\nCódigo de ativação inválido"));

  const Finished cancel = Satcli({"CancelarUltimaVenda", "--codigo", "errado00", "--chave",
                                  "CFe" + std::string(44, '1'), "--documento", "-"},
                                 "<CFeCanc/>");
  EXPECT_EQ(cancel.status, 1);
  EXPECT_NE(FirstLine(cancel.out).find("|07001|"), std::string::npos) << cancel.out;
  const Finished test =
      Satcli({"TesteFimAFim", "--codigo", "errado00", "--documento", dir_ / "venda.xml"});
  EXPECT_EQ(test.status, 1);
  EXPECT_NE(FirstLine(test.out).find("|09001|"), std::string::npos) << test.out;
}

TEST_F(SatcliOnKit, LibraryFunctions) {
  const Finished version = Satcli({"VersaoLib"});
  EXPECT_EQ(version.status, 0);
  EXPECT_NE(version.out.find("02.00.10"), std::string::npos) << version.out;
  EXPECT_TRUE(std::regex_match(Satcli({"GeraNumeroSessao"}).out, std::regex(R"(\d+\n)")));
  EXPECT_EQ(Satcli({"AbreSerialSAT", "--numero", "0"}).out, "0\n");
  EXPECT_EQ(Satcli({"CloseSerial"}).out, "0\n");
  EXPECT_EQ(Satcli({"ConfiguraTimeout", "--milissegundos", "1000"}).status, 0);
  EXPECT_EQ(Satcli({"Base64ToAscii"}).out, "\n");
  EXPECT_EQ(Satcli({"CodigoErro"}).out, "CodigoErro: 0 (__NOERROR__)\n");

  const Finished port = Satcli({"GetPortaSAT", "--serie", "900000000", "--codigo", kCode});
  EXPECT_EQ(port.status, 0);
  EXPECT_EQ(FirstLine(port.out), "ttyACM0");
  const QJsonObject map = Json(Satcli({"--json", "GetMapaPortasSAT", "--codigo", kCode}));
  EXPECT_EQ(map["resultado"].toString(), "900000000:ttyACM0;");
  EXPECT_EQ(map["CodigoErro"].toObject()["code"].toInt(), 0);

  EXPECT_EQ(Satcli({"ArquivoLog", "--nome", "sat.log"}).out, "sat.log\n");
  EXPECT_EQ(Satcli({"ArquivoLog", "--nome", std::string(120, 'x')}).status, 1);

  // --porta selects the port instead of the search on USB.
  EXPECT_EQ(Satcli({"--porta", "0", "ConsultarSAT"}).status, 0);
  const Finished elsewhere = Satcli({"--porta", "7", "ConsultarSAT"});
  EXPECT_EQ(elsewhere.status, 2);
  EXPECT_NE(elsewhere.out.find("CodigoErro: 1 (__NOCONNECT__)"), std::string::npos);
}

TEST(SatcliLink, NoDeviceNoLibrary) {
  TempDir dir;
  std::filesystem::create_directories(dir / "dev");
  std::filesystem::create_directories(dir / "sys/class/tty");
  ScopedEnv dev("KOVRAD_DEV_DIR", dir / "dev");
  ScopedEnv sys("KOVRAD_SYSFS_DIR", dir / "sys");
  const Finished absent = Satcli({"ConsultarSAT"});
  EXPECT_EQ(absent.status, 2);
  EXPECT_EQ(absent.out,
            "Erro ao tentar abrir a porta\nCodigoErro: 1 (__NOCONNECT__)\n"
            "Erro ao tentar abrir a porta de comunicacao!!\n");
  const Finished none = Satcli({"--json", "GetPortaSAT", "--serie", "", "--codigo", kCode});
  EXPECT_EQ(none.status, 2);
  EXPECT_TRUE(Json(none)["resultado"].isNull());

  // A file that is no library, and a library without the SAT functions.
  WriteFile(dir / "libfake.so", "not a library");
  const Finished broken = RunProgram({SATCLI_PATH, "--lib", dir / "libfake.so", "ConsultarSAT"});
  EXPECT_EQ(broken.status, 2);
  EXPECT_NE(broken.err.find("libfake.so"), std::string::npos) << broken.err;
  const Finished other = RunProgram({SATCLI_PATH, "--lib", "libz.so.1", "ConsultarSAT"});
  EXPECT_EQ(other.status, 2);
  EXPECT_NE(other.err.find("ConsultarSAT"), std::string::npos) << other.err;
}

TEST(SatcliLink, SilentDeviceIsALinkError) {
  TempDir dir;
  Satemu device(dir.path(), {"--kit", "--fault", "silent", "--fault-only", "ConsultarSAT"});
  ScopedEnv dev("KOVRAD_DEV_DIR", device.dev_dir());
  ScopedEnv sys("KOVRAD_SYSFS_DIR", device.sys_dir());
  const Finished run = Satcli({"--json", "ConsultarSAT"});
  EXPECT_EQ(run.status, 2);
  const QJsonObject json = Json(run);
  EXPECT_EQ(json["CodigoErro"].toObject()["nome"].toString(), "__TIMEOUT__");
  EXPECT_EQ(Field(json, "EEEEE"), "9999");
}

}  // namespace
}  // namespace kovrad::test
