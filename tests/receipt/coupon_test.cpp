// Reading coupons: what the extrato takes from a signed sale and a signed
// cancellation, the forms the coupon arrives in, and documents refused.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include "coupons.h"

namespace kovrad::receipt::test {
namespace {

std::string Base64(const std::string& bytes) {
  std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()),
                                reinterpret_cast<const unsigned char*>(bytes.data()),
                                static_cast<int>(bytes.size()));
  text.resize(static_cast<size_t>(n));
  return text;
}

TEST(CouponTest, ReadsTheSignedSale) {
  const Coupon sale = SignedSale();
  EXPECT_FALSE(sale.cancellation);
  EXPECT_EQ(sale.key.size(), 44u);
  EXPECT_EQ(sale.issuer.cnpj, "08723218000186");
  EXPECT_EQ(sale.buyer, "11144477735");
  ASSERT_EQ(sale.items.size(), 4u);
  EXPECT_EQ(sale.items[0].discount, "1.80");
  EXPECT_EQ(sale.items[1].surcharge, "2.50");
  EXPECT_EQ(sale.items[1].note, "Embalagem para presente cobrada a parte");
  EXPECT_EQ(sale.subtotal_discount, "5.00");
  EXPECT_EQ(sale.total, "102.20");
  EXPECT_EQ(sale.change, "7.80");
  ASSERT_EQ(sale.payments.size(), 2u);
  EXPECT_EQ(sale.payments[1].code, "01");
  EXPECT_EQ(QrContent(sale),
            sale.key + "|" + sale.date + sale.time + "|102.20|11144477735|" + sale.qr_signature);
}

TEST(CouponTest, ReadsTheSignedCancellation) {
  const Coupon sale = SignedSale();
  const Coupon cancellation = SignedCancellation();
  EXPECT_TRUE(cancellation.cancellation);
  EXPECT_EQ(cancellation.cancelled_key, sale.key);
  EXPECT_EQ(cancellation.sale_date + cancellation.sale_time, sale.date + sale.time);
  EXPECT_EQ(cancellation.total, sale.total);
  EXPECT_EQ(cancellation.buyer, sale.buyer);
  EXPECT_NE(cancellation.key, sale.key);
}

TEST(CouponTest, FindsTheCouponInASaleReply) {
  const std::string xml = DataFile("cfe-venda.xml");
  const Coupon direct = SignedSale();
  const std::string reply = "123456|06000|0000|Emitido com sucesso + conteudo notas.|||" +
                            Base64(xml) + "|" + direct.date + direct.time + "|CFe" + direct.key +
                            "|102.20|11144477735|" + direct.qr_signature + "\n";
  const Coupon from_reply = Read(reply);
  EXPECT_EQ(from_reply.key, direct.key);
  EXPECT_EQ(QrContent(from_reply), QrContent(direct));
  EXPECT_EQ(Read("\xEF\xBB\xBF\n" + Base64(xml)).key, direct.key);
}

TEST(CouponTest, RefusesWhatIsNoSignedCoupon) {
  const std::string sale = DataFile("cfe-venda.xml");
  auto replaced = [&](const std::string& from, const std::string& to) {
    std::string text = sale;
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
  };
  const Coupon signed_sale = SignedSale();
  std::string wrong_digit = signed_sale.key;
  wrong_digit[43] = wrong_digit[43] == '9' ? '0' : static_cast<char>(wrong_digit[43] + 1);
  // Another number or device than the key names.
  std::string other_number = signed_sale.number, other_serial = signed_sale.serial;
  other_number[5] = other_number[5] == '9' ? '0' : '9';
  other_serial[8] = other_serial[8] == '9' ? '0' : '9';
  const std::string cases[] = {
      "",
      "hello",
      "123|06000|0000|sem cupom",
      "<html><body/></html>",
      "<CFe><infCFe",
      DataFile("../../../emulator/samples/venda.xml"),  // what the host sends: unsigned
      sale.substr(0, sale.size() / 2),
      replaced(signed_sale.key, wrong_digit),
      replaced("<nCFe>", "<nCFe>x"),
      replaced("<nCFe>" + signed_sale.number, "<nCFe>" + other_number),
      replaced("<nserieSAT>" + signed_sale.serial, "<nserieSAT>" + other_serial),
      replaced("<vCFe>", "<vCFe>1e9"),
      replaced("<vMP>", "<vMP>-"),
      replaced("<qCom>", "<qCom>,"),
  };
  for (const std::string& document : cases) {
    Coupon coupon;
    std::string error;
    EXPECT_FALSE(ReadCoupon(document, &coupon, &error)) << document.substr(0, 80);
    EXPECT_FALSE(error.empty());
  }
}

TEST(CouponTest, RefusesADocumentTypeWhateverItsEntitiesHold) {
  std::string sale = DataFile("cfe-venda.xml");
  sale.insert(sale.find("<CFe>"),
              "<!DOCTYPE CFe [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;\">"
              "<!ENTITY c SYSTEM \"file:///etc/passwd\">]>");
  sale.replace(sale.find("ARROZ"), 5, "&b;&c;");
  Coupon coupon;
  std::string error;
  EXPECT_FALSE(ReadCoupon(sale, &coupon, &error));
  EXPECT_NE(error.find("DOCTYPE"), std::string::npos) << error;
}

TEST(CouponTest, ControlCharactersNeverReachTheExtrato) {
  std::string sale = DataFile("cfe-venda.xml");
  // C0 and C1 (U+009B is a terminal's command introducer, U+0085 a line break).
  sale.replace(sale.find("ARROZ"), 5, "AR\r\n\tZ\xC2\x9B" "2J\xC2\x85\xC3\xA9");
  const Coupon coupon = Read(sale);
  EXPECT_EQ(coupon.items[0].description, "AR  Z 2J \xC3\xA9 TIPO 1 5KG");
}

}  // namespace
}  // namespace kovrad::receipt::test
