// Sales on the emulated device without the link: the sale pair and the
// end-to-end test, from request text to reply line and state.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <ctime>
#include <random>

#include "access_key.h"
#include "device.h"
#include "link.h"
#include "manager/core/end_to_end.h"
#include "sale_documents.h"
#include "text.h"
#include "zlib_stream.h"

namespace satemu {
namespace {

using kovrad::manager::kTestSale;
using kovrad::test::CancellationFor;
using kovrad::test::ElementValue;
using kovrad::test::Replaced;
using kovrad::test::SampleSale;

constexpr char kCode[] = "12345678";
constexpr char kSaleHeader[] = "000001|06000|0000|Emitido com sucesso + conteúdo notas|||";

std::vector<std::string> Split(std::string_view text) {
  std::vector<std::string> fields;
  for (std::string_view f : SplitFields(text, 1000)) fields.emplace_back(f);
  return fields;
}

std::string Base64Decode(std::string_view text) {
  std::string out(text.size() / 4 * 3 + 3, '\0');
  const int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                reinterpret_cast<const unsigned char*>(text.data()),
                                static_cast<int>(text.size()));
  out.resize(n < 0 ? 0 : static_cast<size_t>(n));
  while (!text.empty() && text.back() == '=') {
    out.pop_back();
    text.remove_suffix(1);
  }
  return out;
}

// The payload the library sends: code, "|", 4-byte length, zlib stream.
std::string SalePayload(const std::string& code, const std::string& document) {
  const std::string stream = Compress(document);
  std::string payload = code + "|";
  for (int i = 0; i < 4; ++i) payload += static_cast<char>(stream.size() >> (8 * i));
  return payload + stream;
}

class SaleTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string error;
    key_ = SigningKey::Make("900000000", &error).release();
    ASSERT_NE(key_, nullptr) << error;
  }
  static void TearDownTestSuite() { delete key_; }

  SaleTest() {
    MakeKit(&state_, std::time(nullptr));
    device_.set_signing_key(key_);
  }

  std::string Call(const std::string& text) { return device_.Handle(text).reply.line; }
  std::string SellRaw(const std::string& payload) {
    return Call("000001|EnviarDadosVenda|" + payload);
  }
  std::string Sell(const std::string& document, const std::string& code = kCode) {
    return SellRaw(SalePayload(code, document));
  }
  std::string Cancel(const std::string& key, const std::string& document) {
    return Call("000002|CancelarUltimaVenda|" + std::string(kCode) + "|" + key + "|" + document);
  }

  // A sale reply as the library returns it: the compressed part expanded.
  static std::vector<std::string> Expanded(const std::string& reply) {
    const size_t header = reply.rfind("|||") + 3;
    std::string rest;
    if (reply.size() < header + 4 ||
        Expand(std::string_view(reply).substr(header + 4), 1 << 24, &rest) != Expansion::kDone) {
      ADD_FAILURE() << "no compressed part in " << reply.substr(0, 80);
      return {};
    }
    EXPECT_EQ(ReadLe32(reinterpret_cast<const uint8_t*>(reply.data()) + header),
              reply.size() - header - 4);
    return Split(reply.substr(0, header) + rest);
  }

  // Sells the sample and returns its key, "CFe" included.
  std::string SellSample() {
    const auto fields = Expanded(Sell(SampleSale()));
    return fields.size() > 8 ? fields[8] : std::string();
  }

  static SigningKey* key_;
  DeviceState state_;
  Device device_{state_, "900000000"};
};

SigningKey* SaleTest::key_ = nullptr;

TEST_F(SaleTest, IssuesTheCouponInTheSaleReplyLayout) {
  const std::string reply = Sell(SampleSale());
  ASSERT_EQ(reply.rfind(kSaleHeader, 0), 0u) << reply.substr(0, 120);
  const auto f = Expanded(reply);
  ASSERT_EQ(f.size(), 12u);
  const std::string coupon = Base64Decode(f[6]);
  EXPECT_EQ(coupon.rfind(
                "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<CFe><infCFe Id=\"" + f[8] + "\"", 0),
            0u)
      << coupon.substr(0, 120);
  EXPECT_NE(coupon.find("</CFe>"), std::string::npos);
  EXPECT_EQ(f[7].size(), 14u);
  EXPECT_TRUE(AllDigits(f[7]));
  ASSERT_EQ(f[8].size(), 47u);
  const std::string key = f[8].substr(3);
  EXPECT_EQ(key.substr(0, 2), "35");
  EXPECT_EQ(key.substr(2, 4), f[7].substr(2, 4));  // AAMM of issue
  EXPECT_EQ(key.substr(6, 14), kTestTaxpayerCnpj);
  EXPECT_EQ(key.substr(20, 11), "59900000000");
  EXPECT_EQ(key.substr(31, 6), "000001");
  EXPECT_EQ(key[43] - '0', AccessKeyCheckDigit(key.substr(0, 43)));
  EXPECT_EQ(f[9], "102.20");
  EXPECT_EQ(f[10], "11144477735");
  EXPECT_EQ(f[11], ElementValue(coupon, "assinaturaQRCODE"));

  EXPECT_EQ(state_.last_sale.key, key);
  EXPECT_EQ(state_.last_sale.total, "102.20");
  EXPECT_EQ(state_.last_coupon_key, key);
  EXPECT_EQ(state_.coupons_issued, 1u);
  ASSERT_GE(device_.history().events.size(), 2u);
  EXPECT_NE(device_.history().events[device_.history().events.size() - 2].find(
                "|VENDA: CF-e " + key + " emitido, total 102.20"),
            std::string::npos);
  // A later look-up of the session gets the reply as readable text.
  std::string text;
  for (size_t i = 0; i < f.size(); ++i) text += (i > 0 ? "|" : "") + f[i];
  EXPECT_EQ(Call("000009|ConsultarNumeroSessao|12345678|1"), text);
}

TEST_F(SaleTest, CouponCarriesTheComputedValuesAndTheDevicesFields) {
  const auto f = Expanded(Sell(SampleSale()));
  ASSERT_EQ(f.size(), 12u);
  const std::string coupon = Base64Decode(f[6]);
  // The sample: 2 x 24.90 less 1.80, 3 x 15.99 plus 2.50, 1.235 kg x 6.990
  // truncated, 0.10; 5.00 off the subtotal of 107.20 shared out by value.
  const auto item = [&](int n) {
    const size_t at = coupon.find("<det nItem=\"" + std::to_string(n) + "\">");
    return at == std::string::npos ? std::string() : coupon.substr(at);
  };
  EXPECT_EQ(ElementValue(item(1), "vProd"), "49.80");
  EXPECT_EQ(ElementValue(item(1), "vItem"), "45.76");
  EXPECT_EQ(ElementValue(item(1), "vRatDesc"), "2.24");
  EXPECT_EQ(ElementValue(item(1), "vICMS"), "8.24");
  EXPECT_EQ(ElementValue(item(1), "vPIS"), "0.79");
  EXPECT_EQ(ElementValue(item(1), "vCOFINS"), "3.65");
  EXPECT_EQ(ElementValue(item(2), "vItem"), "48.12");
  EXPECT_EQ(ElementValue(item(2), "vICMS"), "5.77");
  EXPECT_EQ(ElementValue(item(3), "vProd"), "8.63");
  EXPECT_EQ(ElementValue(item(3), "vPIS"), "0.06");
  EXPECT_EQ(ElementValue(item(3), "vCOFINS"), "0.28");
  EXPECT_EQ(ElementValue(item(4), "vItem"), "0.09");
  EXPECT_EQ(ElementValue(coupon, "ICMSTot"), "");
  for (auto [name, value] : {std::pair{"vICMS", "14.01"},
                             {"vDesc", "1.80"},
                             {"vPIS", "0.85"},
                             {"vCOFINS", "3.93"},
                             {"vPISST", "0.00"},
                             {"vOutro", "2.50"},
                             {"vCFe", "102.20"},
                             {"vTroco", "7.80"},
                             {"vCFeLei12741", "15.33"}}) {
    EXPECT_EQ(ElementValue(coupon.substr(coupon.find("<total>")), name), value) << name;
  }
  EXPECT_EQ(ElementValue(coupon.substr(coupon.find("<ICMSTot>")), "vProd"), "106.50");
  // What the device adds from its own state.
  EXPECT_EQ(ElementValue(coupon, "nserieSAT"), "900000000");
  EXPECT_EQ(ElementValue(coupon, "nCFe"), "000001");
  EXPECT_EQ(ElementValue(coupon, "mod"), "59");
  EXPECT_EQ(ElementValue(coupon, "dEmi") + ElementValue(coupon, "hEmi"), f[7]);
  EXPECT_EQ(ElementValue(coupon, "xNome"), state_.taxpayer.name);
  EXPECT_EQ(ElementValue(coupon, "xLgr"), state_.taxpayer.street);
  EXPECT_EQ(ElementValue(coupon, "cRegTrib"), "3");
  EXPECT_EQ(ElementValue(coupon, "infCpl"), "Venda de teste no equipamento SAT emulado");
  // The order a CF-e has, whatever order the document came in.
  EXPECT_LT(coupon.find("<vUnCom>"), coupon.find("<vProd>"));
  EXPECT_LT(coupon.find("<vProd>"), coupon.find("<indRegra>"));
  EXPECT_LT(coupon.find("<xFant>"), coupon.find("<IE>"));

  // The QR-code field: the device's signature over key, date and time,
  // total, buyer and the software house's signature.
  BIO* in = BIO_new_mem_buf(key_->certificate_pem().data(), -1);
  X509* certificate = PEM_read_bio_X509(in, nullptr, nullptr, nullptr);
  BIO_free(in);
  ASSERT_NE(certificate, nullptr);
  const std::string data = f[8].substr(3) + f[7] + "102.20" + "11144477735" + kTestSignature;
  const std::string signature = Base64Decode(f[11]);
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  EXPECT_EQ(
      EVP_DigestVerifyInit(context, nullptr, EVP_sha256(), nullptr, X509_get0_pubkey(certificate)),
      1);
  EXPECT_EQ(EVP_DigestVerify(context, reinterpret_cast<const unsigned char*>(signature.data()),
                             signature.size(), reinterpret_cast<const unsigned char*>(data.data()),
                             data.size()),
            1);
  EVP_MD_CTX_free(context);
  X509_free(certificate);
}

TEST_F(SaleTest, CouponNumbersIncreaseAndWrapAfterTheLast) {
  std::vector<std::string> numbers;
  for (int i = 0; i < 3; ++i) numbers.push_back(SellSample().substr(3 + 31, 6));
  EXPECT_EQ(numbers, (std::vector<std::string>{"000001", "000002", "000003"}));
  state_.last_coupon_number = 999999;
  EXPECT_EQ(SellSample().substr(3 + 31, 6), "000001");
  EXPECT_EQ(state_.coupons_issued, 4u);
}

TEST_F(SaleTest, RefusesWhatADeviceRefusesAndIssuesNothing) {
  const std::string sale = SampleSale();
  struct Case {
    const char* what;
    std::function<std::string()> call;
    const char* code;
    const char* reason = "";
  };
  std::string big = Replaced(sale, "Venda de teste", std::string(1600 * 1024, 'x'));
  const Case cases[] = {
      {"wrong code", [&] { return Sell(sale, "errado00"); }, "06001"},
      {"locked by SEFAZ",
       [&] {
         state_.lock = kLockSefaz;
         return Sell(sale);
       },
       "06007"},
      {"locked by the taxpayer",
       [&] {
         state_.lock = kLockTaxpayer;
         return Sell(sale);
       },
       "06006"},
      {"locked for no contact",
       [&] {
         state_.lock = kLockAutonomous;
         return Sell(sale);
       },
       "06008"},
      {"not associated",
       [&] {
         state_.signature.clear();
         return Sell(sale);
       },
       "06003"},
      {"other signature",
       [&] { return Sell(Replaced(sale, "RETAGUARDA DO SAT", "RETAGUARDA DO PDV")); }, "06004"},
      {"other software house",
       [&] { return Sell(Replaced(sale, "16716114000172", "11222333000181")); }, "06004"},
      {"too large", [&] { return Sell(big); }, "06005"},
      {"announced length off", [&] { return SellRaw(SalePayload(kCode, sale) + "x"); }, "06010",
       "tamanho dos dados compactados"},
      {"not a zlib stream",
       [&] { return SellRaw(std::string(kCode) + std::string("|\x03\0\0\0abc", 8)); }, "06010",
       "compactados inválidos"},
      {"malformed XML", [&] { return Sell(Replaced(sale, "</ide>", "</id>")); }, "06010",
       "XML mal formado"},
      {"document type", [&] { return Sell("<!DOCTYPE CFe [<!ENTITY x 'y'>]>" + sale.substr(39)); },
       "06010", "DOCTYPE"},
      {"another taxpayer", [&] { return Sell(Replaced(sale, "08723218000186", "11222333000181")); },
       "06010", "|1204|Rejeição: CNPJ do emitente difere"},
      {"another state registration",
       [&] { return Sell(Replaced(sale, "149626224113", "111111111111")); }, "06010",
       "|1205|Rejeição: IE do emitente"},
      {"no payment", [&] { return Sell(Replaced(sale, "<pgto>", "<pgtoX>")); }, "06010"},
      {"paid short", [&] { return Sell(Replaced(sale, "<vMP>60.00", "<vMP>52.19")); }, "06010",
       "|1213|Rejeição: valor pago menor"},
      {"unknown element",
       [&] { return Sell(Replaced(sale, "<vDesc>1.80</vDesc>", "<vDesconto>1.80</vDesconto>")); },
       "06010", "<vDesconto>"},
      {"device's own element",
       [&] { return Sell(Replaced(sale, "<CFOP>", "<vProd>1.00</vProd><CFOP>")); }, "06010",
       "<vProd>"},
      {"three decimals of money", [&] { return Sell(Replaced(sale, "1.80", "1.805")); }, "06010",
       "<vDesc>"},
      {"item out of order", [&] { return Sell(Replaced(sale, "nItem=\"2\"", "nItem=\"7\"")); },
       "06010", "nItem"},
      {"bad buyer CPF", [&] { return Sell(Replaced(sale, "11144477735", "11144477736")); }, "06010",
       "|1206|Rejeição: CPF"},
      {"CFOP of another state", [&] { return Sell(Replaced(sale, "5102", "6102")); }, "06010",
       "|1208|"},
      {"NCM of three digits", [&] { return Sell(Replaced(sale, "10063021", "100")); }, "06010",
       "|1209|"},
      {"register of two digits", [&] { return Sell(Replaced(sale, ">001<", ">01<")); }, "06010",
       "|1202|"},
      {"no such payment means", [&] { return Sell(Replaced(sale, "<cMP>01", "<cMP>07")); }, "06010",
       "|1214|"},
      {"quantity zero", [&] { return Sell(Replaced(sale, "2.0000", "0.0000")); }, "06010",
       "|1210|"},
      {"software house CNPJ check digits",
       [&] { return Sell(Replaced(sale, "<CNPJ>16716114000172", "<CNPJ>16716114000173")); },
       "06010", "|1201|"},
      {"service tax", [&] { return Sell(Replaced(sale, "<ICMS>", "<ISSQN/><ICMS>")); }, "06010",
       "ISSQN"},
      {"discount past the item",
       [&] { return Sell(Replaced(sale, "<vDesc>1.80", "<vDesc>99.80")); }, "06010",
       "|1212|Rejeição: desconto maior"},
      {"no items",
       [&] {
         std::string none = sale;
         none.erase(none.find("<det "), none.find("<total>") - none.find("<det "));
         return Sell(none);
       },
       "06010", "itens"},
  };
  for (const Case& c : cases) {
    DeviceState saved = state_;
    const std::string reply = c.call();
    const auto f = Split(reply);
    ASSERT_GE(f.size(), 4u) << c.what << ": " << reply;
    EXPECT_EQ(f[1], c.code) << c.what << ": " << reply;
    EXPECT_NE(reply.find(c.reason), std::string::npos) << c.what << ": " << reply;
    if (f[1] == "06010") {
      EXPECT_EQ(reply.rfind("000001|06010|0000|Erro de validação do conteúdo|1", 0), 0u) << reply;
      EXPECT_EQ(f[5].rfind("Rejeição: ", 0), 0u) << reply;
    }
    EXPECT_EQ(state_.coupons_issued, 0u) << c.what;
    EXPECT_EQ(state_.last_sale.key, "") << c.what;
    state_ = saved;
  }
  state_.activation = Activation::kFactory;
  EXPECT_EQ(Split(Sell(sale, kFactoryCode))[1], "06002");
}

TEST_F(SaleTest, CancelsOnlyTheLastSaleOnceAndWithinThirtyMinutes) {
  EXPECT_EQ(
      Split(Cancel("CFe" + std::string(44, '1'), CancellationFor("CFe" + std::string(44, '1'))))[1],
      "07002");
  const std::string first = SellSample();
  const std::string second = SellSample();
  EXPECT_EQ(Cancel(first, CancellationFor(first)), "000002|07002|0000|Cupom inválido||");

  const std::string sold_at = state_.last_sale.time;
  const std::string reply = Cancel(second, CancellationFor(second));
  const auto f = Split(reply);
  ASSERT_EQ(f.size(), 12u) << reply;
  EXPECT_EQ(
      reply.rfind("000002|07000|0000|Cupom cancelado com sucesso + conteúdo CF-e-SAT cancelado|||",
                  0),
      0u);
  const std::string coupon = Base64Decode(f[6]);
  EXPECT_NE(coupon.find("<CFeCanc><infCFe Id=\"" + f[8] + "\" chCanc=\"" + second + "\""),
            std::string::npos)
      << coupon.substr(0, 200);
  EXPECT_NE(coupon.find("</CFeCanc>"), std::string::npos);
  EXPECT_EQ(f[8].substr(3 + 31, 6), "000003");  // the cancellation takes the next number
  EXPECT_EQ(f[9], "102.20");
  EXPECT_EQ(f[10], "11144477735");
  EXPECT_EQ(ElementValue(coupon, "CPF"), "11144477735");
  EXPECT_EQ(ElementValue(coupon, "vCFe"), "102.20");
  EXPECT_EQ(ElementValue(coupon, "IE"), kTestTaxpayerIe);
  // The group's own date is the cancelled sale's; ide's is the cancellation's,
  // which may fall in a later second.
  EXPECT_EQ(ElementValue(coupon, "dEmi") + ElementValue(coupon, "hEmi"), sold_at);
  const std::string ide = coupon.substr(coupon.find("<ide>"));
  EXPECT_GE(ElementValue(ide, "dEmi") + ElementValue(ide, "hEmi"), sold_at);
  EXPECT_EQ(state_.last_coupon_key, f[8].substr(3));
  EXPECT_EQ(state_.coupons_cancelled, 1u);
  EXPECT_NE(
      device_.history().events[device_.history().events.size() - 2].find(
          "|CANCELAMENTO: CF-e " + second.substr(3) + " cancelado pelo CF-e " + f[8].substr(3)),
      std::string::npos);
  EXPECT_EQ(Split(Cancel(second, CancellationFor(second)))[1], "07002");  // twice

  const std::string third = SellSample();
  EXPECT_EQ(Split(Cancel(third, CancellationFor(second)))[1], "07007");
  EXPECT_EQ(Split(Cancel(third, Replaced(CancellationFor(third), "DO SAT", "DO PDV")))[1], "07007");
  EXPECT_EQ(Split(Cancel(third, Replaced(CancellationFor(third), "<dest/>",
                                         "<dest><CPF>52998224725</CPF></dest>")))[1],
            "07007");
  EXPECT_EQ(Split(Cancel(third, "<CFeCanc><infCFe>"))[1], "07007");
  EXPECT_EQ(Split(Cancel(third, CancellationFor(third)))[1], "07000");

  // The window: 29 minutes after the sale is in time, 31 is not.
  for (auto [minutes, code] : {std::pair{31, "07002"}, {29, "07000"}}) {
    const std::string key = SellSample();
    state_.last_sale.time = Timestamp(std::time(nullptr) - minutes * 60);
    EXPECT_EQ(Split(Cancel(key, CancellationFor(key)))[1], code) << minutes;
  }
}

TEST_F(SaleTest, EndToEndTestSignsACouponAndLeavesTheLastSaleAlone) {
  const std::string key = SellSample();
  const DeviceState before = state_;
  const std::string reply = Call("000003|TesteFimAFim|12345678|" + std::string(kTestSale));
  const auto f = Split(reply);
  ASSERT_EQ(f.size(), 9u) << reply;
  EXPECT_EQ(f[0] + "|" + f[1] + "|" + f[2] + "|" + f[3] + "|" + f[4],
            "000003|09000|Emitido com sucesso||");
  const std::string coupon = Base64Decode(f[5]);
  EXPECT_EQ(ElementValue(coupon, "vCFe"), "250.00");
  EXPECT_EQ(ElementValue(coupon, "vTroco"), "0.00");
  EXPECT_EQ(ElementValue(coupon, "vICMS"), "45.00");
  EXPECT_EQ(f[6], ElementValue(coupon, "dEmi") + ElementValue(coupon, "hEmi"));
  EXPECT_EQ(f[7], "000001");
  // The key as a sale reply gives it: "CFe" and the 44 digits.
  EXPECT_EQ(f[8].size(), 47u);
  EXPECT_NE(coupon.find("Id=\"" + f[8] + "\""), std::string::npos);

  EXPECT_EQ(state_.last_sale.key, before.last_sale.key);
  EXPECT_EQ(state_.last_coupon_key, before.last_coupon_key);
  EXPECT_EQ(state_.last_coupon_number, before.last_coupon_number);
  EXPECT_EQ(state_.coupons_issued, before.coupons_issued);
  EXPECT_EQ(Split(Call("000004|TesteFimAFim|12345678|" + std::string(kTestSale)))[7], "000002");
  EXPECT_EQ(Split(Cancel(key, CancellationFor(key)))[1], "07000");

  EXPECT_EQ(Split(Call("000005|TesteFimAFim|errado00|" + std::string(kTestSale)))[1], "09001");
  const std::string refused = Call("000006|TesteFimAFim|12345678|<CFe>");
  EXPECT_EQ(refused.rfind("000006|09099|Erro desconhecido|1999|Rejeição: XML mal formado", 0), 0u)
      << refused;
}

// Documents damaged anywhere get an answer, and never a coupon for what the
// device could not read.
TEST_F(SaleTest, DamagedDocumentsNeverBreakIt) {
  const std::string sale = SampleSale();
  std::mt19937 random(77);
  for (int round = 0; round < 300; ++round) {
    std::string damaged = sale;
    for (int flips = 1 + random() % 4; flips > 0; --flips) {
      damaged[random() % damaged.size()] = static_cast<char>(random() & 0xFF);
    }
    const auto f = Split(Sell(damaged));
    ASSERT_GE(f.size(), 4u);
    ASSERT_TRUE(f[1] == "06000" || f[1] == "06010" || f[1] == "06004") << f[1] << " " << f[3];
    const std::string key = state_.last_sale.key.empty() ? "" : "CFe" + state_.last_sale.key;
    const std::string cancellation = CancellationFor(key.empty() ? std::string(47, '0') : key);
    std::string damaged_cancellation = cancellation;
    damaged_cancellation[random() % cancellation.size()] = static_cast<char>(random() & 0xFF);
    const auto c = Split(Cancel(key, damaged_cancellation));
    ASSERT_GE(c.size(), 4u);
    EXPECT_TRUE(c[1] == "07000" || c[1] == "07002" || c[1] == "07007") << c[1] << " " << c[3];
  }
}

}  // namespace
}  // namespace satemu
