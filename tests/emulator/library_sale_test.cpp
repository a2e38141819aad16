// Sales through libkovrad.so against satemu, as a point-of-sale program and
// the manager's sale window make them: the coupon's key and document from
// the reply, and its signature checked by an independent XML-DSig verifier.
#include <cstdlib>

#include "emulated_device.h"
#include "manager/core/end_to_end.h"
#include "sale_documents.h"

namespace kovrad::test {
namespace {

using manager::kTestSale;

constexpr char kCode[] = "12345678";

// The key the way the manager takes it: from the first "CFe" to the next "|".
std::string KeyIn(const std::string& reply) {
  const size_t at = reply.find("CFe");
  const size_t bar = at == std::string::npos ? at : reply.find('|', at);
  return bar == std::string::npos ? std::string() : reply.substr(at, bar - at);
}

class EmulatedSale : public EmulatedDevice {
 protected:
  void SetUp() override { Start({"--kit"}); }

  // xmlsec1 --verify on `document` against the device's certificate.
  bool Verifies(const std::string& document) {
    const std::string file = dir_ / "coupon.xml", log = dir_ / "xmlsec.log";
    WriteFile(file, document);
    const std::string command = "xmlsec1 --verify --id-attr:Id infCFe --trusted-pem '" +
                                (dir_ / "sat-900000000.crt") + "' '" + file + "' >'" + log +
                                "' 2>&1";
    const int status = std::system(command.c_str());
    if (status != 0) last_log_ = ReadFile(log);
    return status == 0;
  }
  std::string last_log_;
};

TEST_F(EmulatedSale, SaleReplyCarriesTheKeyAndASignedCouponThatVerifies) {
  ASSERT_EQ(std::system("xmlsec1 --version >/dev/null 2>&1"), 0)
      << "xmlsec1 is missing: run scripts/setup";
  const std::string reply = EnviarDadosVenda(12, kCode, SampleSale().c_str());
  EXPECT_EQ(reply.rfind("000012|06000|0000|Emitido com sucesso + conteúdo notas|||", 0), 0u)
      << reply.substr(0, 100);
  EXPECT_STREQ(CodigoErro().msg, "Codigo: 06000.\nEmitido com sucesso + conteúdo notas");
  const std::string key = KeyIn(reply);
  ASSERT_EQ(key.size(), 47u) << reply.substr(0, 200);
  const auto fields = Fields(reply);
  ASSERT_EQ(fields.size(), 12u);
  EXPECT_EQ(fields[8], key);
  EXPECT_EQ(fields[9], "102.20");

  const std::string coupon = Base64ToAscii();
  EXPECT_EQ(coupon.rfind("<?xml", 0), 0u);
  ASSERT_GE(coupon.size(), 6u);
  EXPECT_EQ(coupon.substr(coupon.size() - 6), "</CFe>");
  EXPECT_NE(coupon.find("<infCFe Id=\"" + key + "\""), std::string::npos);
  EXPECT_EQ(ElementValue(coupon, "vCFe"), "102.20");
  EXPECT_EQ(ElementValue(coupon, "vTroco"), "7.80");
  EXPECT_TRUE(Verifies(coupon)) << last_log_;
  // One byte of infCFe changed, and the signature no longer holds.
  EXPECT_FALSE(Verifies(Replaced(coupon, "ARROZ", "ARROS")));
  EXPECT_FALSE(Verifies(Replaced(coupon, "<vCFe>102.20", "<vCFe>102.30")));

  // The status reports the coupon as the last one.
  EXPECT_EQ(Fields(ConsultarStatusOperacional(12, kCode))[20], key.substr(3));
}

TEST_F(EmulatedSale, LastSaleIsCancelledOnceEvenAfterARestart) {
  const std::string key = KeyIn(EnviarDadosVenda(12, kCode, SampleSale().c_str()));
  ASSERT_EQ(key.size(), 47u);
  const std::string sale = Base64ToAscii();
  const std::string certificate = ReadFile(dir_ / "sat-900000000.crt");
  Start();  // the same device, restarted: it still knows its last sale and its key
  EXPECT_EQ(ReadFile(dir_ / "sat-900000000.crt"), certificate);
  EXPECT_TRUE(Verifies(sale)) << last_log_;

  const std::string reply =
      CancelarUltimaVenda(12, kCode, key.c_str(), CancellationFor(key).c_str());
  EXPECT_EQ(Code(reply), "07000") << reply.substr(0, 200);
  EXPECT_STREQ(CodigoErro().msg,
               "Codigo: 07000.\nCupom cancelado com sucesso + conteúdo CF-e-SAT cancelado");
  // The library hands out the decoded field 7, which here ends in the
  // cancellation's own closing tag.
  const std::string decoded = Base64ToAscii();
  const size_t end = decoded.find("</CFeCanc>");
  ASSERT_NE(end, std::string::npos) << decoded.substr(0, 200);
  const std::string coupon = decoded.substr(0, end + 10);
  EXPECT_NE(coupon.find("chCanc=\"" + key + "\""), std::string::npos);
  EXPECT_TRUE(Verifies(coupon)) << last_log_;

  EXPECT_EQ(std::string(CancelarUltimaVenda(12, kCode, key.c_str(), CancellationFor(key).c_str())),
            "000012|07002|0000|Cupom inválido||");
}

TEST_F(EmulatedSale, EndToEndTestOfTheManagersTestSale) {
  const std::string reply = TesteFimAFim(12, kCode, kTestSale);
  const auto fields = Fields(reply);
  ASSERT_EQ(fields.size(), 9u) << reply.substr(0, 200);
  EXPECT_EQ(fields[1], "09000");
  EXPECT_STREQ(CodigoErro().msg, "Codigo: 09000.\nEmitido com sucesso");
  EXPECT_EQ(Code(TesteFimAFim(12, "errado00", kTestSale)), "09001");
  // The end-to-end test issued no sale to cancel.
  const std::string none = "CFe" + std::string(44, '0');
  EXPECT_EQ(Code(CancelarUltimaVenda(12, kCode, none.c_str(), CancellationFor(none).c_str())),
            "07002");
}

}  // namespace
}  // namespace kovrad::test
