// satcli against a scripted device, for what the emulator does not produce:
// a complete sale reply with its compressed part, and the exact bytes that
// reach the device.
#include <gtest/gtest.h>
#include <zlib.h>

#include <QJsonDocument>
#include <QJsonObject>

#include "fake_device.h"
#include "program.h"

namespace kovrad::test {
namespace {

constexpr char kKey[] = "CFe35261208723218000186599000000010000011234568";
constexpr char kCoupon[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><CFe><infCFe Id=\"CFe35261208723218000186599000"
    "000010000011234568\"><ide><cNF>123456</cNF></ide><total><vCFe>10.00</vCFe></total>"
    "</infCFe></CFe>";

std::string Base64(std::string_view bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t group = static_cast<uint8_t>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) group |= static_cast<uint8_t>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) group |= static_cast<uint8_t>(bytes[i + 2]);
    for (size_t k = 0; k < 4; ++k) {
      out += k <= bytes.size() - i ? kAlphabet[(group >> (18 - 6 * k)) & 0x3F] : '=';
    }
  }
  return out;
}

std::string Compressed(std::string_view text) {
  uLongf size = compressBound(text.size());
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &size,
            reinterpret_cast<const Bytef*>(text.data()), text.size(), 2);
  out.resize(size);
  return out;
}

std::string Expanded(std::string_view stream, size_t size) {
  std::string out(size, '\0');
  uLongf length = size;
  if (uncompress(reinterpret_cast<Bytef*>(out.data()), &length,
                 reinterpret_cast<const Bytef*>(stream.data()), stream.size()) != Z_OK) {
    return "(not a zlib stream)";
  }
  out.resize(length);
  return out;
}

std::string Le32(uint32_t n) {
  return {static_cast<char>(n), static_cast<char>(n >> 8), static_cast<char>(n >> 16),
          static_cast<char>(n >> 24)};
}

// The device's sale reply: six text fields, then the coupon part compressed.
std::string SaleReply(const std::string& session) {
  const std::string rest = Base64(kCoupon) + "|20261207120000|" + kKey + "|10.00||UVJDT0RF";
  const std::string stream = Compressed(rest);
  return session + "|06000|0000|Emitido com sucesso + conteúdo notas|||" +
         Le32(static_cast<uint32_t>(stream.size())) + stream;
}

class SatcliScripted : public ::testing::Test {
 protected:
  SatcliScripted() : device_(dir_.path()), dev_("KOVRAD_DEV_DIR", dir_ / "dev") {}

  Finished Satcli(std::vector<std::string> args) {
    args.insert(args.begin(), {SATCLI_PATH, "--lib", KOVRAD_LIBRARY, "--porta", "0"});
    return RunProgram(args);
  }

  TempDir dir_;
  FakeDevice device_;
  ScopedEnv dev_;
};

TEST_F(SatcliScripted, SaleReplySplitIntoItsFieldsAndTheCouponSaved) {
  device_.OnRequest(
      [](const Request& r) { return Answer::Text(SaleReply(r.text().substr(0, 6))); });
  const std::string sale =
      "<?xml version=\"1.0\"?>\n<CFe><infCFe versaoDadosEnt=\"0.08\">"
      "<det nItem=\"1\"><prod><xProd>Caf\xC3\xA9</xProd></prod></det>"
      "</infCFe></CFe>\n";
  WriteFile(dir_ / "venda.xml", sale);
  const Finished run = Satcli({"--json", "--salvar", dir_ / "cupom.xml", "EnviarDadosVenda",
                               "--codigo", "12345678", "--documento", dir_ / "venda.xml"});
  EXPECT_EQ(run.status, 0) << run.err;

  QJsonParseError error;
  const QJsonObject json =
      QJsonDocument::fromJson(QByteArray::fromStdString(run.out), &error).object();
  ASSERT_EQ(error.error, QJsonParseError::NoError) << run.out;
  const QJsonObject fields = json["campos"].toObject();
  EXPECT_EQ(fields.size(), 12);
  EXPECT_EQ(fields["EEEEE"].toString(), "06000");
  EXPECT_EQ(fields["CCCC"].toString(), "0000");
  EXPECT_EQ(fields["mensagem"].toString(),
            QString::fromUtf8("Emitido com sucesso + conteúdo notas"));
  EXPECT_EQ(fields["arquivoCFeSAT"].toString().toStdString(), Base64(kCoupon));
  EXPECT_EQ(fields["timeStamp"].toString(), "20261207120000");
  EXPECT_EQ(fields["chaveConsulta"].toString(), kKey);
  EXPECT_EQ(fields["valorTotalCFe"].toString(), "10.00");
  EXPECT_EQ(fields["CPFCNPJValue"].toString(), "");
  EXPECT_EQ(fields["assinaturaQRCODE"].toString(), "UVJDT0RF");
  EXPECT_EQ(json["CodigoErro"].toObject()["msg"].toString(),
            QString::fromUtf8("Codigo: 06000.\nEmitido com sucesso + conteúdo notas"));
  EXPECT_EQ(ReadFile(dir_ / "cupom.xml"), kCoupon);

  // The document reached the device as it is in the file, compressed.
  ASSERT_EQ(device_.requests().size(), 1u);
  const std::string request = device_.requests()[0].text();
  const std::string head = request.substr(0, 6) + "|EnviarDadosVenda|12345678|";
  ASSERT_TRUE(request.starts_with(head)) << request.substr(0, 40);
  EXPECT_EQ(Expanded(request.substr(head.size() + 4), sale.size() + 1), sale);
}

TEST_F(SatcliScripted, TypedTextsReachTheDeviceInWindows1252) {
  device_.AnswerAll("000001|18000|Código de ativação alterado com sucesso.||");
  const Finished run = Satcli({"--session", "1", "TrocarCodigoDeAtivacao", "--codigo", "12345678",
                               "--opcao", "1", "--novo",
                               "c\xC3\xB3"
                               "digo1",
                               "--confirmacao",
                               "c\xC3\xB3"
                               "digo1"});
  EXPECT_EQ(run.status, 0) << run.err;
  ASSERT_EQ(device_.requests().size(), 1u);
  EXPECT_EQ(device_.requests()[0].text(),
            "000001|TrocarCodigoDeAtivacaoSAT|12345678|1|c\xF3"
            "digo1|c\xF3"
            "digo1");
}

}  // namespace
}  // namespace kovrad::test
