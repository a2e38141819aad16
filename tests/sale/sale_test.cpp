// The sale pair through the C interface, against a scripted device: the
// binary sale request, the compressed sale reply, cancellation, and the
// document size limits.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "cfe_document.h"
#include "fake_device.h"
#include "kovrad.h"
#include "sale_codec.h"

namespace kovrad::test {
namespace {

constexpr char kCode[] = "12345678";
constexpr char kSalePrefix[] = "000123|EnviarDadosVenda|12345678|";
// Fields 1 to 6 of a successful sale reply, the sixth "|" included.
constexpr char kFields[] =
    "000123|06000|0000|Emitido com sucesso + conte\xFA"
    "do notas.|||";
constexpr char kSoldMessage[] =
    "Codigo: 06000.\nEmitido com sucesso + conte\xFA"
    "do notas.";
constexpr char kAlnum[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

const std::string& Coupon() {
  static const std::string coupon = CfeDocument(6000, 7);
  return coupon;
}

// Field 7 onward of a sale reply: the coupon in Base64 and the fields after it.
std::string CouponFields() {
  return Base64(Coupon()) +
         "|20240315103000|CFe35240311222333000181590001234560000011234567|10.00||c2lnbmF0dXJl";
}

// A document whose level-2 stream is exactly `target` bytes: the right length
// of a pseudo-random text, found by bisection and a short walk.
std::string DocumentCompressingTo(size_t target) {
  for (uint32_t seed = 1; seed < 50; ++seed) {
    const std::string text = RandomText(4 * target, kAlnum, seed);
    const std::string_view all(text);
    size_t lo = 1, hi = text.size();
    while (lo < hi) {
      const size_t mid = (lo + hi) / 2;
      if (Deflate(all.substr(0, mid)).size() < target) {
        lo = mid + 1;
      } else {
        hi = mid;
      }
    }
    for (size_t n = lo; n < lo + 64 && n <= text.size(); ++n) {
      if (Deflate(all.substr(0, n)).size() == target) return text.substr(0, n);
    }
  }
  ADD_FAILURE() << "no document compresses to " << target << " bytes";
  return {};
}

class SaleTest : public ::testing::Test {
 protected:
  SaleTest() : env_("KOVRAD_DEV_DIR", dir_ / "dev"), device_(dir_.path()) {
    AbreSerialSAT(0, 0, 0, 0, 0);
    ArquivoLog(log_path_.c_str());
  }
  ~SaleTest() override { ArquivoLog(""); }

  // The device answers the requests with these replies in turn, the last one
  // again for any further request.
  void AnswerInTurn(std::vector<std::string> replies) {
    auto turn = std::make_shared<size_t>(0);
    device_.OnRequest([replies = std::move(replies), turn](const Request&) {
      return Answer::Text(replies[std::min((*turn)++, replies.size() - 1)]);
    });
  }

  std::string Sell(const std::string& document) {
    return EnviarDadosVenda(123, kCode, document.c_str());
  }

  // The sale request the device received, checked down to its stream; the
  // stream is returned.
  std::string SentStream(size_t index = 0) {
    EXPECT_TRUE(device_.WaitForRequests(index + 1));
    const std::vector<Request> requests = device_.requests();
    if (requests.size() <= index) return {};
    const Request& r = requests[index];
    EXPECT_TRUE(r.checksum_ok());
    const std::string text = r.text();
    const size_t head = sizeof kSalePrefix - 1;
    EXPECT_EQ(text.substr(0, head), kSalePrefix);
    if (text.size() < head + 4) return {};
    const std::string stream = text.substr(head + 4);
    EXPECT_EQ(text.substr(head, 4), Le32(static_cast<uint32_t>(stream.size())));
    return stream;
  }

  // Nothing went out for a refused call: the next request the device sees
  // is the ConsultarSAT sent after it.
  void ExpectNothingSentBefore() {
    ConsultarSAT(124);
    ASSERT_TRUE(device_.WaitForRequests(1));
    const std::vector<Request> requests = device_.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].text(), "000124|ConsultarSAT");
  }

  TempDir dir_;
  ScopedEnv env_;
  FakeDevice device_;
  std::string log_path_ = dir_ / "kovrad.log";
};

// ---- The sale request ----

using SaleRequestTest = SaleTest;

TEST_F(SaleRequestTest, SendsCodeLengthAndStreamWithTheirZeroBytes) {
  const std::string document = DocumentCompressingTo(4660);
  ASSERT_FALSE(document.empty());
  device_.AnswerAll(SaleReply(kFields, ""));
  Sell(document);

  ASSERT_TRUE(device_.WaitForRequests(1));
  const Request r = device_.requests().at(0);
  const std::string text = r.text();
  const size_t head = sizeof kSalePrefix - 1;
  EXPECT_EQ(r.length(), head + 4 + 4660);
  EXPECT_EQ(text.substr(0, head), kSalePrefix);
  EXPECT_EQ(text.substr(head, 4), std::string("\x34\x12\x00\x00", 4));
  const std::string stream = text.substr(head + 4);
  EXPECT_EQ(stream, Deflate(document));
  // The stream's own zero bytes travel too, not only those of the length.
  EXPECT_NE(stream.find('\0'), std::string::npos);
  bool ok = false;
  EXPECT_EQ(Inflate(stream, document.size(), &ok), document);
  EXPECT_TRUE(ok);
}

TEST_F(SaleRequestTest, EmptyDocumentSendsTheStreamOfNothing) {
  device_.AnswerAll(SaleReply(kFields, ""));
  Sell("");
  const std::string stream = SentStream();
  EXPECT_EQ(stream, Deflate(""));
  EXPECT_GT(stream.size(), 0u);
  bool ok = false;
  EXPECT_EQ(Inflate(stream, 0, &ok), "");
  EXPECT_TRUE(ok);
}

// ---- The sale reply ----

using SaleReplyTest = SaleTest;

TEST_F(SaleReplyTest, CompressedPartIsExpandedIntoOneLineAndTheCouponDecoded) {
  device_.AnswerAll(SaleReply(kFields, Deflate(CouponFields())));
  const std::string reply = Sell(CfeDocument(3000));
  EXPECT_EQ(reply, kFields + CouponFields());

  const COMM_ERROR e = CodigoErro();
  EXPECT_EQ(e.code, __NOERROR__);
  EXPECT_STREQ(e.msg, kSoldMessage);
  EXPECT_EQ(std::string(Base64ToAscii()), Coupon());
  EXPECT_NE(ReadFile(log_path_).find(kFields + CouponFields()), std::string::npos);
}

TEST_F(SaleReplyTest, ZeroLengthReplyIsReturnedAsReceivedWithNoCoupon) {
  AnswerInTurn({SaleReply(kFields, Deflate(CouponFields())), SaleReply(kFields, "")});
  Sell("<CFe/>");
  ASSERT_EQ(std::string(Base64ToAscii()), Coupon());

  EXPECT_EQ(std::string(Sell("<CFe/>")), kFields);
  EXPECT_STREQ(CodigoErro().msg, kSoldMessage);
  EXPECT_EQ(std::string(Base64ToAscii()), "");
}

TEST_F(SaleReplyTest, ReplyWithFewerThanSixSeparatorsIsReturnedAsReceived) {
  const std::string refused =
      "000123|06001|1001|C\xF3"
      "digo de ativa\xE7\xE3o inv\xE1lido||" +
      Base64(Coupon());
  AnswerInTurn({SaleReply(kFields, Deflate(CouponFields())), refused});
  Sell("<CFe/>");

  EXPECT_EQ(std::string(Sell("<CFe/>")), refused);
  EXPECT_STREQ(CodigoErro().msg,
               "Codigo: 06001.\nC\xF3"
               "digo de ativa\xE7\xE3o inv\xE1lido");
  EXPECT_EQ(std::string(Base64ToAscii()), "");
}

TEST_F(SaleReplyTest, TruncatedStreamKeepsWhatExpanded) {
  const std::string stream = Deflate(CouponFields());
  const std::string expanded = CouponFields();
  // The length announces the cut stream; then a length running past the
  // bytes received, over the whole stream and over a cut one.
  const std::vector<std::string> replies = {
      SaleReply(kFields, stream.substr(0, stream.size() / 2)),
      kFields + Le32(0xFFFFFFF0u) + stream,
      kFields + Le32(static_cast<uint32_t>(stream.size())) + stream.substr(0, stream.size() / 2),
  };
  for (const std::string& sent : replies) {
    device_.AnswerAll(sent);
    const std::string reply = Sell("<CFe/>");
    ASSERT_EQ(reply.substr(0, sizeof kFields - 1), kFields);
    const std::string tail = reply.substr(sizeof kFields - 1);
    EXPECT_EQ(tail, expanded.substr(0, tail.size()));
    EXPECT_FALSE(tail.empty());
    EXPECT_STREQ(CodigoErro().msg, kSoldMessage);
    const std::string coupon = Base64ToAscii();
    EXPECT_EQ(coupon, Coupon().substr(0, coupon.size()));
  }
}

TEST_F(SaleReplyTest, StreamThatDoesNotExpandLeavesTheFieldsAlone) {
  const std::vector<std::string> replies = {
      SaleReply(kFields, Deflate(CouponFields())),  // a first sale leaves a coupon behind
      SaleReply(kFields, std::string("\xFF\x00 not zlib at all", 18)),
      kFields + std::string("\x05\x00", 2),  // the length itself cut short
  };
  AnswerInTurn(replies);
  Sell("<CFe/>");
  for (size_t i = 1; i < replies.size(); ++i) {
    EXPECT_EQ(std::string(Sell("<CFe/>")), kFields);
    EXPECT_EQ(std::string(Base64ToAscii()), "");
  }
}

TEST_F(SaleReplyTest, LinkFailureComposesTheFailureCodeAndDecodesNothing) {
  device_.AnswerAll(SaleReply(kFields, Deflate(CouponFields())));
  Sell("<CFe/>");
  ASSERT_EQ(std::string(Base64ToAscii()), Coupon());

  // The request cannot be written.
  device_.HoldInput(true);
  const std::string reply = Sell("<CFe/>");
  device_.HoldInput(false);
  EXPECT_EQ(reply, "000123|9999|Erro ao tentar abrir a porta de comunicacao!!");
  COMM_ERROR e = CodigoErro();
  EXPECT_EQ(e.code, __SEMCTS__);
  EXPECT_STREQ(e.msg, "Codigo: 9999.\n");
  EXPECT_EQ(std::string(Base64ToAscii()), "");

  // No port at all: the failure text has no field 2.
  AbreSerialSAT(7, 0, 0, 0, 0);
  EXPECT_EQ(std::string(Sell("<CFe/>")), "Erro ao tentar abrir a porta");
  e = CodigoErro();
  EXPECT_EQ(e.code, __NOCONNECT__);
  EXPECT_STREQ(e.msg, "Codigo: .\n");
}

// ---- Cancellation ----

class CancelTest : public SaleTest {
 protected:
  std::string Cancel(int32_t session = 123) {
    return CancelarUltimaVenda(session, kCode, "CFe35240311222333000181590001234560000011234567",
                               "<CFeCanc><infCFe/></CFeCanc>");
  }
};

TEST_F(CancelTest, ReplyWithSevenThousandAndSixSeparatorsIsDecoded) {
  const std::string reply = "000123|07000|0000|Cupom cancelado com sucesso|||" + CouponFields();
  device_.AnswerAll(reply);
  EXPECT_EQ(std::string(Cancel()), reply);
  ASSERT_TRUE(device_.WaitForRequests(1));
  EXPECT_EQ(device_.requests().at(0).text(),
            "000123|CancelarUltimaVenda|12345678|CFe35240311222333000181590001234560000011234567|"
            "<CFeCanc><infCFe/></CFeCanc>");
  const COMM_ERROR e = CodigoErro();
  EXPECT_EQ(e.code, __NOERROR__);
  EXPECT_STREQ(e.msg, "Codigo: 07000.\nCupom cancelado com sucesso");
  EXPECT_EQ(std::string(Base64ToAscii()), Coupon());

  // "7000" only in the session number counts as well.
  device_.AnswerAll("007000|07001|0000|Cupom cancelado|||" + CouponFields());
  Cancel(7000);
  EXPECT_EQ(std::string(Base64ToAscii()), Coupon());
}

TEST_F(CancelTest, CancellationCouponIsHandedOverWithoutTheFieldsAfterIt) {
  // A cancellation coupon has no "</CFe>": its own end tag ends it.
  const std::string coupon = "<CFeCanc><infCFe Id=\"CFe1\"/></CFeCanc>";
  device_.AnswerAll("000123|07000|0000|Cupom cancelado|||" + Base64(coupon) +
                    "|20240315103000|CFe35240311222333000181590001234560000011234567|10.00||"
                    "c2lnbmF0dXJl");
  Cancel();
  EXPECT_EQ(std::string(Base64ToAscii()), coupon);
}

TEST_F(CancelTest, ReplyWithoutSevenThousandOrSixSeparatorsIsNotDecoded) {
  const std::string good = "000123|07000|0000|Cupom cancelado|||" + CouponFields();
  const std::string no_code = "000123|07007|1999|Erro|||" + CouponFields();
  const std::string few_fields = "000123|07000|0000|Cupom cancelado||" + Base64(Coupon());
  ASSERT_EQ(no_code.find("7000"), std::string::npos);
  for (const std::string& reply : {no_code, few_fields}) {
    AnswerInTurn({good, reply});
    Cancel();
    ASSERT_EQ(std::string(Base64ToAscii()), Coupon());
    EXPECT_EQ(std::string(Cancel()), reply);
    EXPECT_EQ(std::string(Base64ToAscii()), "");
  }
}

// ---- Document size limits ----

using SaleLimitsTest = SaleTest;

TEST_F(SaleLimitsTest, DocumentOfTheLargestSizeIsSent) {
  std::string document = CfeDocument(2097151);
  document.resize(2097151);
  device_.AnswerAll(SaleReply(kFields, ""));
  EXPECT_EQ(std::string(Sell(document)), kFields);
  bool ok = false;
  EXPECT_TRUE(Inflate(SentStream(), document.size(), &ok) == document);
  EXPECT_TRUE(ok);
}

TEST_F(SaleLimitsTest, LongerDocumentIsRefusedWithoutSending) {
  device_.AnswerAll("000124|08000|SAT em opera\xE7\xE3o||");
  std::string document = CfeDocument(2097152);
  document.resize(2097152);
  EXPECT_EQ(std::string(Sell(document)),
            "000123|9999|Documento de venda excede 2097151 caracteres");
  const COMM_ERROR e = CodigoErro();
  EXPECT_EQ(e.code, __SEMCTS__);
  EXPECT_STREQ(e.msg, "Documento de venda excede 2097151 caracteres");
  EXPECT_NE(ReadFile(log_path_).find("Documento de venda excede 2097151 caracteres"),
            std::string::npos);
  ExpectNothingSentBefore();
}

TEST_F(SaleLimitsTest, SaleWhoseStreamWouldNotFitTheRequestIsRefusedWithoutSending) {
  device_.AnswerAll("000124|08000|SAT em opera\xE7\xE3o||");
  // Both fit the document limit; neither shrinks under zlib.
  for (const size_t length : {size_t{1600000}, size_t{2097151}}) {
    const std::string reply = Sell(IncompressibleText(length, 5));
    ASSERT_EQ(reply.substr(0, 12), "000123|9999|");
    const std::string reason = reply.substr(12);
    const COMM_ERROR e = CodigoErro();
    EXPECT_EQ(e.code, __SEMCTS__);
    EXPECT_FALSE(reason.empty());
    EXPECT_EQ(e.msg, reason);
    EXPECT_NE(ReadFile(log_path_).find(reply), std::string::npos);
  }
  ExpectNothingSentBefore();
}

}  // namespace
}  // namespace kovrad::test
