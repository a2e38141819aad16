// The sale window: a document loaded from a file, sent as a sale or a
// cancellation, the coupon shown and saved.
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTest>
#include <filesystem>

#include "core/sale.h"
#include "sale_codec.h"
#include "window_test_support.h"

using kovrad::test::Answer;
using kovrad::test::Deflate;
using kovrad::test::Request;

namespace kovrad::manager::test {
namespace {

constexpr char kKey[] = "CFe35240308723218000186599000040190000012345678";
constexpr char kOtherKey[] = "CFe35240308723218000186599000040190000029999999";
constexpr char kCoupon[] =
    "<CFe><infCFe Id=\"CFe35240308723218000186599000040190000012345678\">"
    "<ide><cUF>35</cUF></ide><emit><xNome>Ação</xNome></emit></infCFe>"
    "</CFe>";

std::string SoldReply(const std::string& key = kKey) {
  return kovrad::test::SaleReply(
      "000012|06000|0000|Emitido com sucesso + conteúdo notas|||",
      Deflate(kovrad::test::Base64(kCoupon) + "|20240315103000|" + key + "|250.00||QRSIGN"));
}

const std::string kCancelled =
    "000012|07000|0000|Cupom cancelado com sucesso + conteúdo CF-e-SAT cancelado|||" +
    kovrad::test::Base64(kCoupon) + "|20240315103500|" + kKey + "|250.00||QRSIGN";

// A cancellation document with a placeholder key of the right length.
const std::string kCancellation = "<?xml version=\"1.0\"?>\r\n<CFeCanc><infCFe chCanc=\"CFe" +
                                  std::string(44, '0') + "\"><dest/></infCFe></CFeCanc>\r\n";

QString Text(const QPlainTextEdit* memo) {
  return memo->toPlainText();
}

}  // namespace

class SaleWindowTest : public SaleFixture {
  Q_OBJECT

 private:
  // Writes `content` to a file and loads it through the open dialog.
  void Load(const std::string& content, const char* name = "entrada.xml") {
    const std::string path = *dir_ / name;
    kovrad::test::WriteFile(path, content);
    w_->dialogs.open_answer = QString::fromStdString(path);
    QTest::mouseClick(sale().Image5, Qt::LeftButton);
  }

  void Send(QRadioButton* operation) {
    QTest::mouseClick(operation, Qt::LeftButton);
    Run(sale().Image2);
  }

  // A request without its session number, which the sale window draws.
  std::string Sent(size_t index) { return bound_->Requests().at(index).substr(6); }

 private slots:
  void aSaleShowsDocumentReplyAndCouponAndKeepsTheKey() {
    sale().show();
    bound_->device().AnswerAll(SoldReply());
    Load("<CFe>\r\n<x>ação</x>\r\n</CFe>\r\n");
    QCOMPARE(Text(sale().XMLEntrada), "<CFe>\n<x>ação</x>\n</CFe>\n");
    Send(sale().RadioButton1);
    QCOMPARE(messages(),
             QStringList{"Codigo: 06000.\nEmitido com sucesso + conteúdo notas" + kBlanks});
    QCOMPARE(Text(sale().XMLEntrada), "<CFe>\n<x>ação</x>\n</CFe>\n");
    QVERIFY(Text(sale().Memo1).mid(6).startsWith("|06000|0000|Emitido com sucesso"));
    QVERIFY(Text(sale().Memo1).contains(kKey));
    QCOMPARE(Text(sale().XMLSaida), QString::fromUtf8(kCoupon));
    QCOMPARE(sale().lastSaleKey(), kKey);
    QTRY_VERIFY(sale().isActiveWindow());
  }

  void aSecondFileLoadedReplacesTheFirstOnScreen() {
    Load("<CFe>primeiro</CFe>", "a.xml");
    Load("<CFe>segundo</CFe>", "b.xml");
    QCOMPARE(Text(sale().XMLEntrada), "<CFe>segundo</CFe>");
    QCOMPARE(sale().document().text(), "<CFe>segundo</CFe>");
  }

  void sendingWithNothingLoadedShowsTheMessage() {
    Send(sale().RadioButton1);
    Send(sale().RadioButton2);
    QCOMPARE(messages(), QStringList({kMsgNoDocument, kMsgNoDocument}));
    QCOMPARE(Requests(), 0u);
  }

  void cancellingTheOpenDialogUnloadsTheDocument() {
    Load("<CFe/>");
    w_->dialogs.open_answer.clear();
    QTest::mouseClick(sale().Image5, Qt::LeftButton);
    QVERIFY(sale().document().empty());
    QCOMPARE(Text(sale().XMLEntrada), "<CFe/>");
    Send(sale().RadioButton1);
    QCOMPARE(messages(), QStringList{kMsgNoDocument});
    QCOMPARE(Requests(), 0u);
  }

  void aFileThatCannotBeLoadedIsReportedAndLeavesNothingOnScreen() {
    Load("<CFe/>");
    Load(std::string(kDocumentBuffer, 'x'), "grande.xml");
    QVERIFY(sale().document().empty());
    QCOMPARE(Text(sale().XMLEntrada), "");
    Load("<CFe/>");
    Load("<CFe/>", (std::string(120, 'p') + ".xml").c_str());
    QVERIFY(sale().document().empty());
    QCOMPARE(Text(sale().XMLEntrada), "");
    Load("<CFe/>");
    const std::string vanished = *dir_ / "entrada.xml";
    std::filesystem::remove(vanished);
    QTest::mouseClick(sale().Image5, Qt::LeftButton);
    QCOMPARE(Text(sale().XMLEntrada), "");
    QCOMPARE(messages(),
             QStringList({kMsgFileTooLarge, kMsgPathTooLong,
                          QString::fromStdString("Não foi possível ler o arquivo " + vanished +
                                                 ": a pasta ou o arquivo não existe.")}));
    Send(sale().RadioButton1);
    QCOMPARE(messages().last(), kMsgNoDocument);
    QCOMPARE(Requests(), 0u);
  }

  void aCancellationBeforeAnySaleSendsAnEmptyKeyAndLeavesTheDocument() {
    w_->shell.session().code.clear();
    bound_->device().AnswerAll("000012|07002|1999|Cupom inválido|||");
    Load(kCancellation);
    const std::string loaded(sale().document().text());
    Send(sale().RadioButton2);
    QCOMPARE(Sent(0), "|CancelarUltimaVenda|||" + loaded);
    QCOMPARE(std::string(sale().document().text()), loaded);
    QCOMPARE(messages(), QStringList{"Codigo: 07002.\nCupom inválido" + kBlanks});
    QVERIFY(Text(sale().XMLSaida).isEmpty());
  }

  void theCancellationCarriesTheLastSalesKeyOverThePlaceholder() {
    AnswerInTurn({SoldReply(), kCancelled, kCancelled});
    Load("<CFe/>");
    Send(sale().RadioButton1);
    Load(kCancellation, "cancelamento.xml");
    const std::string loaded(sale().document().text());
    Send(sale().RadioButton2);

    std::string patched = loaded;
    patched.replace(loaded.find("CFe0"), std::strlen(kKey), kKey);
    QCOMPARE(patched.size(), loaded.size());
    QCOMPARE(Sent(1), std::string("|CancelarUltimaVenda|") + kCode + "|" + kKey + "|" + patched);
    QCOMPARE(std::string(sale().document().text()), patched);
    QCOMPARE(Text(sale().XMLEntrada).toStdString(), patched);
    QCOMPARE(Text(sale().XMLSaida), QString::fromUtf8(kCoupon));
    QCOMPARE(sale().lastSaleKey(), kKey);
    // The document keeps the key, so it goes again as it is.
    Send(sale().RadioButton2);
    QCOMPARE(Sent(2), Sent(1));
  }

  void aSaleReplyWithoutAKeyKeepsThePreviousOne() {
    AnswerInTurn(
        {SoldReply(), "000012|06010|1999|Erro de validação do conteúdo|||", SoldReply(kOtherKey)});
    Load("<CFe/>");
    Send(sale().RadioButton1);
    Send(sale().RadioButton1);
    QCOMPARE(sale().lastSaleKey(), kKey);
    QVERIFY(Text(sale().XMLSaida).isEmpty());
    Send(sale().RadioButton1);
    QCOMPARE(sale().lastSaleKey(), kOtherKey);
  }

  // A sale whose reply is cut short before its coupon: the device is asked
  // what it did before anything is shown, and while that is unknown Enviar
  // asks again instead of selling twice.
  void aLostSaleIsSettledWithTheDeviceBeforeItCanBeSentAgain() {
    auto lookups_refused = std::make_shared<bool>(true);
    bound_->device().OnRequest([lookups_refused](const Request& request) {
      const std::string text = request.text();
      if (text.find("|ConsultarNumeroSessao|") == std::string::npos) {
        return Answer::Text(kovrad::test::SaleReply(
            text.substr(0, 6) + "|06000|0000|Emitido com sucesso|||", Deflate("")));
      }
      if (*lookups_refused) return Answer::Text(text.substr(0, 6) + "|11099|Erro interno||");
      return Answer::Text(
          text.substr(text.size() - 6) + "|06000|0000|Emitido com sucesso + conteúdo notas|||" +
          kovrad::test::Base64(kCoupon) + "|20240315103000|" + kKey + "|250.00||QRSIGN");
    });
    Load("<CFe/>");
    Send(sale().RadioButton1);
    QVERIFY(sale().unsettled().has_value());
    QVERIFY(messages().last().contains("Não envie de novo agora"));
    QVERIFY(Text(sale().XMLSaida).isEmpty());
    QVERIFY(!sale().VerExtrato->isEnabled());
    const size_t sent = Requests();

    *lookups_refused = false;
    Run(sale().Image2);
    const std::vector<std::string> requests = bound_->Requests();
    QCOMPARE(requests.size(), sent + 1);
    QVERIFY(requests.back().find("|ConsultarNumeroSessao|") != std::string::npos);
    const std::string session = requests.at(0).substr(0, 6);
    QVERIFY(requests.back().ends_with(session));
    QVERIFY(messages().last().contains("confirmou que fez a venda"));
    QCOMPARE(Text(sale().XMLSaida), QString::fromUtf8(kCoupon));
    QVERIFY(sale().VerExtrato->isEnabled());
    QCOMPARE(sale().lastSaleKey(), kKey);
    QVERIFY(!sale().unsettled().has_value());
    // Settled: the next Enviar sells again, under a session of its own.
    Send(sale().RadioButton1);
    std::vector<std::string> sales;
    for (const std::string& request : bound_->Requests()) {
      if (request.find("|EnviarDadosVenda|") != std::string::npos) sales.push_back(request);
    }
    QCOMPARE(sales.size(), 2u);
    QVERIFY(sales[1].substr(0, 6) != session);
  }

  void savingWritesTheCouponAsShownWithCrLfAndNeedsASuccessfulSend() {
    AnswerInTurn({SoldReply(), "000012|06010|1999|Erro|||"});
    Load("<CFe/>");
    Send(sale().RadioButton1);
    sale().XMLSaida->appendPlainText("linha editada");
    const std::string file = *dir_ / "cupom.xml";
    w_->dialogs.save_answer = QString::fromStdString(file);
    QTest::mouseClick(sale().Image4, Qt::LeftButton);
    QCOMPARE(kovrad::test::ReadFile(file), std::string(kCoupon) + "\r\nlinha editada\r\n");

    Send(sale().RadioButton1);
    std::filesystem::remove(file);
    messages().clear();
    QTest::mouseClick(sale().Image4, Qt::LeftButton);
    QCOMPARE(messages(), QStringList{kMsgNothingToSave});
    QVERIFY(!std::filesystem::exists(file));
  }

  void theTileOpensItClearedOrAsItWasLeft() {
    for (QPlainTextEdit* memo : {sale().XMLEntrada, sale().Memo1, sale().XMLSaida}) {
      memo->setPlainText("texto");
    }
    QVERIFY(w_->shell.windows().Open(Window::kSale));
    QVERIFY(sale().isVisible());
    QCOMPARE(Text(sale().Memo1), "texto");
    sale().hide();
    QVERIFY(w_->shell.windows().Open(Window::kSale, true));
    for (QPlainTextEdit* memo : {sale().XMLEntrada, sale().Memo1, sale().XMLSaida}) {
      QVERIFY(Text(memo).isEmpty());
    }
  }
};

namespace {
const RegisterWindowTest<SaleWindowTest> kRegistered;
}  // namespace

}  // namespace kovrad::manager::test

#include "sale_test.moc"
