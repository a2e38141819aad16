// The sale window's core: loading the input document, the access key of a
// sale reply, the key written into a cancellation, and the two sends against a
// scripted device.
#include "core/sale.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "client/binding.h"
#include "core/replies.h"
#include "core/run_state.h"
#include "manager_support.h"
#include "sale_codec.h"

namespace kovrad::manager::test {
namespace {

using kovrad::test::Answer;
using kovrad::test::Base64;
using kovrad::test::Deflate;
using kovrad::test::Inflate;
using kovrad::test::Le32;
using kovrad::test::Request;
using kovrad::test::SaleReply;
using kovrad::test::TempDir;
using kovrad::test::WriteFile;

constexpr char kKey[] = "CFe35240308723218000186599000040190000012345678";
constexpr char kCoupon[] =
    "<CFe><infCFe Id=\"CFe35240308723218000186599000040190000012345678\">"
    "<ide><cUF>35</cUF></ide></infCFe></CFe>";
constexpr char kSold[] = "000012|06000|0000|Emitido com sucesso + conteúdo notas|||";

// The rest of a sale reply line, after its six "|": the coupon in Base64, then
// the time stamp, the key, the total, the buyer and the QR-code signature.
std::string CouponFields(const std::string& key = kKey) {
  return Base64(kCoupon) + "|20240315103000|" + key + "|250.00||QRSIGN";
}

std::string SoldReply() {
  return SaleReply(kSold, Deflate(CouponFields()));
}

class InputDocumentTest : public ::testing::Test {
 protected:
  TempDir dir_;
  InputDocument document_;

  std::string File(const std::string& name, const std::string& content) {
    const std::string path = dir_ / name;
    WriteFile(path, content);
    return path;
  }
};

TEST_F(InputDocumentTest, ReadsTextWithCrLfPairsAsLineFeeds) {
  EXPECT_TRUE(document_.empty());
  const std::string path = File("venda.xml", "<a>\r\n<b>\r</b>\n</a>\r\n");
  EXPECT_EQ(document_.LoadFile(path), InputDocument::Load::kLoaded);
  EXPECT_EQ(document_.text(), "<a>\n<b>\r</b>\n</a>\n");
  // A second, shorter load leaves nothing of the first behind.
  EXPECT_EQ(document_.LoadFile(File("curto.xml", "<c/>")), InputDocument::Load::kLoaded);
  EXPECT_EQ(document_.text(), "<c/>");
}

TEST_F(InputDocumentTest, HoldsOneByteLessThanItsBufferAndRefusesMore) {
  const std::string largest(kDocumentBuffer - 1, 'x');
  EXPECT_EQ(document_.LoadFile(File("maior.xml", largest)), InputDocument::Load::kLoaded);
  EXPECT_EQ(document_.text(), largest);
  // A file a whole buffer long is refused, even though its CR LF pairs would
  // have made it shorter, and the document loaded before is gone.
  std::string too_large(kDocumentBuffer, 'y');
  too_large[10] = '\r';
  too_large[11] = '\n';
  EXPECT_EQ(document_.LoadFile(File("grande.xml", too_large)), InputDocument::Load::kTooLarge);
  EXPECT_TRUE(document_.empty());
  EXPECT_EQ(LoadRefusal(InputDocument::Load::kTooLarge), std::string(kMsgFileTooLarge));
}

TEST_F(InputDocumentTest, APathAboveNinetyNineCharactersLoadsNothing) {
  // Real files at both lengths: only the length decides.
  auto path_of = [this](size_t length) {
    std::string path = dir_.path() + "/";
    path += std::string(length - path.size() - 4, 'p') + ".xml";
    WriteFile(path, "<v/>");
    return path;
  };
  ASSERT_LT(dir_.path().size(), 80u);
  EXPECT_EQ(document_.LoadFile(path_of(99)), InputDocument::Load::kLoaded);
  EXPECT_EQ(document_.LoadFile(path_of(100)), InputDocument::Load::kPathTooLong);
  EXPECT_TRUE(document_.empty());
  EXPECT_EQ(LoadRefusal(InputDocument::Load::kPathTooLong), std::string(kMsgPathTooLong));
}

TEST_F(InputDocumentTest, AFileThatCannotBeReadLoadsNothingAndSaysWhyInPortuguese) {
  ASSERT_EQ(document_.LoadFile(File("venda.xml", "<v/>")), InputDocument::Load::kLoaded);
  const std::string missing = dir_ / "ausente.xml";
  EXPECT_EQ(document_.LoadFile(missing), InputDocument::Load::kUnreadable);
  EXPECT_TRUE(document_.empty());
  EXPECT_EQ(LoadRefusal(InputDocument::Load::kUnreadable, missing, document_.error()),
            "Não foi possível ler o arquivo " + missing + ": a pasta ou o arquivo não existe.");
  EXPECT_EQ(document_.LoadFile(dir_.path()), InputDocument::Load::kUnreadable);
  EXPECT_NE(LoadRefusal(InputDocument::Load::kUnreadable, dir_.path(), document_.error())
                ->find("o nome é de uma pasta"),
            std::string::npos);
  EXPECT_EQ(LoadRefusal(InputDocument::Load::kLoaded), std::nullopt);
}

TEST_F(InputDocumentTest, TheKeyIsWrittenOverTheFirstQuotedPlaceholder) {
  const std::string placeholder = "CFe" + std::string(44, '0');
  const std::string before = "<CFeCanc><infCFe chCanc=\"";
  const std::string after = "\"><dest/></infCFe></CFeCanc> CFe \"CFe";
  document_.LoadFile(File("canc.xml", before + placeholder + after));
  document_.PatchKey(kKey);
  EXPECT_EQ(document_.text(), before + kKey + after);
  // Written again with the key already in place, it stays the same.
  document_.PatchKey(kKey);
  EXPECT_EQ(document_.text(), before + kKey + after);
}

TEST_F(InputDocumentTest, WithoutAQuotedPlaceholderOrAKeyTheDocumentStays) {
  const std::string unquoted = "<CFeCanc><infCFe><chCanc>CFe0000</chCanc></infCFe></CFeCanc>";
  document_.LoadFile(File("canc.xml", unquoted));
  document_.PatchKey(kKey);
  EXPECT_EQ(document_.text(), unquoted);
  const std::string quoted = "<infCFe chCanc=\"CFe0000\"/>";
  document_.LoadFile(File("canc2.xml", quoted));
  document_.PatchKey("");
  EXPECT_EQ(document_.text(), quoted);
}

TEST_F(InputDocumentTest, AKeyLongerThanWhatFollowsStopsAtTheBuffersEnd) {
  std::string content(kDocumentBuffer - 1 - 4, ' ');
  content += "\"CFe";
  document_.LoadFile(File("canc.xml", content));
  document_.PatchKey(kKey);
  EXPECT_EQ(document_.text().size(), kDocumentBuffer - 1);
  EXPECT_EQ(document_.text().substr(kDocumentBuffer - 5), "\"CFe");
}

TEST(ReplyKeyTest, TheKeyIsTheFieldThatBeginsWithCFeUpToItsBar) {
  const std::string reply = std::string(kSold) + CouponFields();
  const ReplyKey found = FindKey(reply);
  EXPECT_EQ(found.key, std::string(kKey));
  EXPECT_FALSE(found.too_long);
  EXPECT_EQ(reply.substr(found.end, 8), "|250.00|");
}

TEST(ReplyKeyTest, LettersCFeInsideAnotherFieldAreNotAKey) {
  // Base64 text may hold "CFe" anywhere; so may a message.
  const std::string reply =
      std::string("000012|06000|0000|Rejeicao CFe|||QUJDFeXYZ|20240315103000|") + kKey + "|1";
  EXPECT_EQ(FindKey(reply).key, std::string(kKey));
  const ReplyKey none = FindKey("000012|06010|1999|Rejeicao: CFe sem chave|||");
  EXPECT_EQ(none.key, std::nullopt);
  const std::string unclosed = "000012|06000|x|||||CFe123";
  EXPECT_EQ(FindKey(unclosed).key, std::nullopt);
  EXPECT_EQ(FindKey(unclosed).end, unclosed.size());
}

TEST(ReplyKeyTest, AKeyAbove299CharactersIsNotTaken) {
  const std::string longest = "CFe" + std::string(296, '1');
  EXPECT_EQ(FindKey("0|" + longest + "|x").key, longest);
  const ReplyKey refused = FindKey("0|" + longest + "1|x");
  EXPECT_EQ(refused.key, std::nullopt);
  EXPECT_TRUE(refused.too_long);
  EXPECT_EQ(refused.end, 2 + longest.size() + 1);
}

class SendTest : public ::testing::Test {
 protected:
  BoundDevice bound_;
  // Session numbers from 12 on, one a call.
  int32_t next_ = 12;
  SessionSource sessions_ = [this] { return next_++; };
};

TEST_F(SendTest, ASaleSendsTheDocumentCompressedAndBringsBackKeyAndCoupon) {
  bound_.device().AnswerAll(SoldReply());
  const std::string document = "<CFe>ação</CFe>";
  const SendOutcome outcome = Sell(bound_.library(), "12345678", document, sessions_);

  const std::string request = bound_.Requests().at(0);
  const std::string head = "000012|EnviarDadosVenda|12345678|";
  ASSERT_EQ(request.substr(0, head.size()), head);
  const std::string stream = request.substr(head.size() + 4);
  EXPECT_EQ(request.substr(head.size(), 4), Le32(static_cast<uint32_t>(stream.size())));
  bool expanded = false;
  EXPECT_EQ(Inflate(stream, document.size(), &expanded), document);
  EXPECT_TRUE(expanded);

  EXPECT_EQ(outcome.reply, kSold + CouponFields());
  EXPECT_EQ(outcome.key, std::string(kKey));
  EXPECT_EQ(outcome.messages,
            std::vector<std::string>{"Codigo: 06000.\nEmitido com sucesso + conteúdo notas" +
                                     std::string(30, ' ')});
  EXPECT_EQ(outcome.coupon, std::string(kCoupon));
}

TEST_F(SendTest, SucessoCountsOnlyAheadOfTheKey) {
  const std::string fields = "000012|06001|0000|Recusado|||";
  bound_.device().AnswerAll(SaleReply(fields, Deflate(CouponFields() + "|sucesso")));
  const SendOutcome outcome = Sell(bound_.library(), "12345678", "<CFe/>", sessions_);
  EXPECT_EQ(outcome.key, std::string(kKey));
  EXPECT_EQ(outcome.coupon, std::nullopt);
  EXPECT_EQ(outcome.messages.size(), 1u);
}

TEST_F(SendTest, ARefusalBringsNeitherKeyNorCoupon) {
  bound_.device().AnswerAll("000012|06010|1999|Erro de validação do conteúdo|||");
  const SendOutcome outcome = Sell(bound_.library(), "", "<CFe/>", sessions_);
  EXPECT_EQ(bound_.Requests().at(0).substr(0, 25), "000012|EnviarDadosVenda||");
  EXPECT_EQ(outcome.key, std::nullopt);
  EXPECT_EQ(outcome.coupon, std::nullopt);
  EXPECT_EQ(outcome.messages, std::vector<std::string>{"Codigo: 06010.\nErro de validação do "
                                                       "conteúdo" +
                                                       std::string(30, ' ')});
}

TEST_F(SendTest, AnOverlongKeyIsReportedAfterTheDevicesVerdict) {
  const std::string key = "CFe" + std::string(300, '9');
  bound_.device().AnswerAll(SaleReply(kSold, Deflate(CouponFields(key))));
  const SendOutcome outcome = Sell(bound_.library(), "12345678", "<CFe/>", sessions_);
  EXPECT_EQ(outcome.key, std::nullopt);
  ASSERT_EQ(outcome.messages.size(), 2u);
  EXPECT_EQ(outcome.messages[1], kMsgKeyTooLong);
  EXPECT_EQ(outcome.coupon, std::string(kCoupon));
}

TEST_F(SendTest, ACancellationSendsKeyAndDocumentAndDecodesItsCoupon) {
  const std::string cancelled =
      "000012|07000|0000|Cupom cancelado com sucesso + conteúdo CF-e-SAT cancelado|||" +
      CouponFields();
  bound_.device().AnswerAll(cancelled);
  const SendOutcome outcome = Cancel(bound_.library(), "12345678", kKey, "<CFeCanc/>", sessions_);
  EXPECT_EQ(bound_.Requests().at(0),
            std::string("000012|CancelarUltimaVenda|12345678|") + kKey + "|<CFeCanc/>");
  EXPECT_EQ(outcome.reply, cancelled);
  EXPECT_EQ(outcome.key, std::nullopt);
  EXPECT_EQ(outcome.coupon, std::string(kCoupon));
}

// A sale whose reply is lost: the device answers the sale with a success cut
// short before its coupon, then each ConsultarNumeroSessao with `stored`.
class LostReplyTest : public SendTest {
 protected:
  void SetUp() override { next_ = 4242; }

  void AnswerLookupsWith(std::string stored) {
    bound_.device().OnRequest([stored](const Request& request) {
      if (request.text().find("|ConsultarNumeroSessao|") != std::string::npos) {
        return Answer::Text(stored);
      }
      const std::string session = request.text().substr(0, 6);
      if (request.text().find("|CancelarUltimaVenda|") != std::string::npos) {
        return Answer::Text(session + "|07000|0000|Cupom cancelado com sucesso|||");
      }
      return Answer::Text(SaleReply(session + "|06000|0000|Emitido com sucesso|||", Deflate("")));
    });
  }
};

TEST_F(LostReplyTest, AMadeSaleShowsTheStoredCouponAndKeyAndSaysNotToSendAgain) {
  AnswerLookupsWith("004242|06000|0000|Emitido com sucesso|||" + CouponFields());
  const SendOutcome outcome = Sell(bound_.library(), "12345678", "<CFe/>", sessions_);
  const std::vector<std::string> requests = bound_.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].substr(0, 24), "004242|EnviarDadosVenda|");
  // The lookup carries a fresh session of its own and names the sale's.
  EXPECT_EQ(requests[1], "004243|ConsultarNumeroSessao|12345678|004242");
  EXPECT_EQ(outcome.fate, client::SaleFate::kMade);
  EXPECT_EQ(outcome.coupon, std::string(kCoupon));
  EXPECT_EQ(outcome.key, std::string(kKey));
  ASSERT_EQ(outcome.messages.size(), 1u);
  EXPECT_NE(outcome.messages[0].find("confirmou que fez a venda (sessão 4242)"), std::string::npos);
  EXPECT_NE(outcome.messages[0].find("Não envie a venda de novo"), std::string::npos);
}

TEST_F(LostReplyTest, EachOtherFateSaysWhetherToSendAgain) {
  AnswerLookupsWith("004243|11003|Sessão não existe||");
  const SendOutcome absent = Sell(bound_.library(), "12345678", "<CFe/>", sessions_);
  EXPECT_EQ(absent.fate, client::SaleFate::kNotMade);
  EXPECT_EQ(absent.key, std::nullopt);
  EXPECT_EQ(absent.coupon, std::nullopt);
  ASSERT_EQ(absent.messages.size(), 1u);
  EXPECT_NE(absent.messages[0].find("envie a venda de novo"), std::string::npos);

  AnswerLookupsWith("004244|06010|1999|Erro de validação do conteúdo|||");
  const SendOutcome refused = Sell(bound_.library(), "12345678", "<CFe/>", sessions_);
  EXPECT_EQ(refused.fate, client::SaleFate::kRefused);
  EXPECT_EQ(refused.coupon, std::nullopt);
  ASSERT_EQ(refused.messages.size(), 1u);
  EXPECT_NE(refused.messages[0].find("Codigo: 06010.\nErro de validação do conteúdo"),
            std::string::npos);

  // The lookup itself refused: nothing is known.
  AnswerLookupsWith("004247|11001|Código de ativação inválido||");
  const SendOutcome unknown = Sell(bound_.library(), "12345678", "<CFe/>", sessions_);
  EXPECT_EQ(unknown.fate, client::SaleFate::kUnknown);
  EXPECT_EQ(unknown.session, 4246);
  EXPECT_EQ(unknown.coupon, std::nullopt);
  EXPECT_NE(unknown.messages.at(0).find("Não envie de novo agora"), std::string::npos);
}

TEST_F(LostReplyTest, ALostCancellationKeepsTheKeyAndBringsItsCoupon) {
  const std::string cancelled = "004242|07000|0000|Cupom cancelado com sucesso|||" + CouponFields();
  AnswerLookupsWith(cancelled);
  const SendOutcome outcome = Cancel(bound_.library(), "12345678", kKey, "<CFeCanc/>", sessions_);
  EXPECT_EQ(outcome.fate, client::SaleFate::kMade);
  EXPECT_EQ(outcome.reply, cancelled);
  EXPECT_EQ(outcome.key, std::nullopt);
  EXPECT_EQ(outcome.coupon, std::string(kCoupon));
  EXPECT_NE(outcome.messages.at(0).find("o cancelamento"), std::string::npos);
}

TEST(StoredSessionsTest, DrawsNumbersThatDoNotRepeatAcrossRuns) {
  TempDir dir;
  std::set<int32_t> seen;
  for (int run = 0; run < 2; ++run) {
    const SessionSource sessions = StoredSessions(dir / "sessoes");
    for (int i = 0; i < 10; ++i) {
      const int32_t session = sessions();
      EXPECT_NE(session, kSessionNumber);
      EXPECT_TRUE(seen.insert(session).second) << session;
    }
  }
}

}  // namespace
}  // namespace kovrad::manager::test
