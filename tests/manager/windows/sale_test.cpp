// The sale, test, lock and update windows on the offscreen platform, against a
// scripted device.
#include <QDeadlineTimer>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QXmlStreamReader>
#include <filesystem>
#include <functional>

#include "core/end_to_end.h"
#include "core/fault_hint.h"
#include "core/sale.h"
#include "sale_codec.h"
#include "widgets/busy_banner.h"
#include "widgets/tile.h"
#include "window_harness.h"
#include "windows/lock.h"

using kovrad::test::Answer;
using kovrad::test::Deflate;
using kovrad::test::Request;
using kovrad::test::TempDir;

namespace kovrad::manager::test {
namespace {

constexpr char kCode[] = "12345678";
constexpr char kKey[] = "CFe35240308723218000186599000040190000012345678";
constexpr char kOtherKey[] = "CFe35240308723218000186599000040190000029999999";
constexpr char kCoupon[] =
    "<CFe><infCFe Id=\"CFe35240308723218000186599000040190000012345678\">"
    "<ide><cUF>35</cUF></ide><emit><xNome>Ação</xNome></emit></infCFe>"
    "</CFe>";
const QString kBlanks(30, ' ');

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

class SaleWindowsTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<BoundDevice> bound_;
  std::unique_ptr<Windows> w_;
  std::unique_ptr<TempDir> dir_;
  std::unique_ptr<kovrad::test::ScopedEnv> state_;

  TFiscal& sale() { return *w_->forms.sale; }
  TForm7& test() { return *w_->forms.test; }
  TForm12& lock() { return *w_->forms.lock; }
  TForm6& update() { return *w_->forms.update; }
  QStringList& messages() { return w_->dialogs.messages; }
  size_t Requests() const { return bound_->device().requests().size(); }

  // Writes `content` to a file and loads it through the open dialog.
  void Load(const std::string& content, const char* name = "entrada.xml") {
    const std::string path = *dir_ / name;
    kovrad::test::WriteFile(path, content);
    w_->dialogs.open_answer = QString::fromStdString(path);
    QTest::mouseClick(sale().Image5, Qt::LeftButton);
  }

  // Clicks `image` and waits for the call it starts to end.
  void Run(QWidget* image) {
    QTest::mouseClick(image, Qt::LeftButton);
    QTRY_VERIFY(!w_->shell.worker().busy());
  }

  void Send(QRadioButton* operation) {
    QTest::mouseClick(operation, Qt::LeftButton);
    Run(sale().Image2);
  }

  // Answers the requests in turn with these replies, each under the
  // request's session number, as a device answers.
  void AnswerInTurn(std::vector<std::string> replies) {
    auto next = std::make_shared<size_t>(0);
    bound_->device().OnRequest([replies, next](const Request& request) {
      std::string reply = replies.at(std::min((*next)++, replies.size() - 1));
      if (reply.size() > 6 && reply[6] == '|') reply.replace(0, 6, request.text().substr(0, 6));
      return Answer::Text(reply);
    });
  }

  // A request without its session number, which the sale window draws.
  std::string Sent(size_t index) { return bound_->Requests().at(index).substr(6); }

  // A reply that arrives after `pause_ms`.
  static BusyBanner* Banner(QWidget& window) { return BusyBanner::Of(&window); }

  // Turns the event loop until the call under way ends (a minute at most),
  // running `check` at each turn; the number of turns.
  int TurnsWhileBusy(const std::function<void()>& check) {
    int turns = 0;
    const QDeadlineTimer deadline(60000);
    while (w_->shell.busy() && !deadline.hasExpired()) {
      check();
      QTest::qWait(20);
      ++turns;
    }
    return turns;
  }

  void AnswerLate(const std::string& reply, int pause_ms) {
    bound_->device().OnRequest([reply, pause_ms](const Request&) {
      Answer a = Answer::Text(reply);
      a.chunks.front().pause_ms = pause_ms;
      return a;
    });
  }

 private slots:
  void init() {
    dir_ = std::make_unique<TempDir>();
    // The sale window's session numbers are kept apart from the user's.
    state_ = std::make_unique<kovrad::test::ScopedEnv>("XDG_STATE_HOME", *dir_ / "state");
    bound_ = std::make_unique<BoundDevice>();
    w_ = std::make_unique<Windows>(bound_->library());
    w_->shell.session().code = kCode;
  }
  void cleanup() {
    QTRY_VERIFY(!w_->shell.worker().busy());
    w_.reset();
    bound_.reset();
    state_.reset();
    dir_.reset();
  }

  // Sale window.

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

  // End-to-end test window.

  void theTestSaleIsWellFormedWithOneBlankBetweenTags() {
    const std::string_view sale(kTestSale);
    QCOMPARE(sale.size(), 888u);
    QXmlStreamReader xml{QByteArray(kTestSale)};
    int elements = 0;
    while (!xml.atEnd()) {
      if (xml.readNext() == QXmlStreamReader::StartElement) ++elements;
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QCOMPARE(elements, 41);
    // Between one tag and the next there is exactly one blank.
    for (size_t at = sale.find('>'); at + 1 < sale.size(); at = sale.find('>', at + 1)) {
      const size_t next = sale.find_first_not_of(' ', at + 1);
      if (sale[next] == '<') QCOMPARE(next - at, 2u);
    }
  }

  void theRunImageDoesNothingUntilATestIsChosen() {
    QVERIFY(!test().fimafim->isChecked());
    QVERIFY(!test().RadioButton2->isChecked());
    QTest::mouseClick(test().Image1, Qt::LeftButton);
    QVERIFY(!w_->shell.worker().busy());
    QCOMPARE(Requests(), 0u);
    QVERIFY(messages().isEmpty());
  }

  void eachChoiceRunsItsOneCall() {
    w_->shell.session().code.clear();
    AnswerInTurn({"000012|09000|Emitido com sucesso|0000||", "000012|08000|SAT em operação||"});
    QTest::mouseClick(test().fimafim, Qt::LeftButton);
    Run(test().Image1);
    QTest::mouseClick(test().RadioButton2, Qt::LeftButton);
    Run(test().Image1);
    // The test sale goes byte for byte, with the empty code as an empty text.
    QCOMPARE(bound_->Requests(),
             (std::vector<std::string>{std::string("000012|TesteFimAFim||") + kTestSale,
                                       "000012|ConsultarSAT"}));
    // The library makes ConsultarSAT's whole reply its message.
    QCOMPARE(messages(), (QStringList{"Codigo: 09000.\nEmitido com sucesso" + kBlanks,
                                      "000012|08000|SAT em operação||" + kBlanks}));
  }

  // Lock window.

  // A lock is asked for first; each lock or unlock the device took is
  // followed by a status query, so that the panel shows the new state.
  void eachClickLocksOrUnlocksOnceWithOneMessage() {
    lock().show();
    Run(lock().Image2);  // the operator declines the lock
    QCOMPARE(w_->dialogs.questions, QStringList{kAskLock});
    QCOMPARE(Requests(), 0u);
    w_->dialogs.leave = true;
    AnswerInTurn({"000012|16000|Equipamento SAT bloqueado com sucesso||", SampleStatusReply("2"),
                  "000012|17000|Equipamento SAT desbloqueado com sucesso||",
                  SampleStatusReply("0")});
    Run(lock().Image2);
    QTRY_COMPARE(w_->grid.findChild<QLabel*>("StatusSAT")->text(), "Bloqueio Contribuinte");
    QTest::mouseClick(lock().RadioButton2, Qt::LeftButton);
    Run(lock().Image2);
    QTRY_COMPARE(w_->grid.findChild<QLabel*>("StatusSAT")->text(), "Desbloqueado");
    QCOMPARE(w_->dialogs.questions.size(), 2);  // the unlock is not asked for
    QCOMPARE(bound_->Requests(),
             (std::vector<std::string>{
                 "000012|BloquearSAT|12345678", "000012|ConsultarStatusOperacional|12345678",
                 "000012|DesbloquearSAT|12345678", "000012|ConsultarStatusOperacional|12345678"}));
    QCOMPARE(messages(),
             (QStringList{"Codigo: 16000.\nEquipamento SAT bloqueado com sucesso" + kBlanks,
                          "Codigo: 17000.\nEquipamento SAT desbloqueado com sucesso" + kBlanks}));
    QTRY_VERIFY(lock().isActiveWindow());
  }

  void aLinkFailureIsOneMessageAndTheChoiceSurvivesReopening() {
    w_->dialogs.leave = true;
    QTest::mouseClick(lock().RadioButton2, Qt::LeftButton);
    lock().close();
    QVERIFY(w_->shell.windows().Open(Window::kLock));
    QVERIFY(lock().RadioButton2->isChecked());
    bound_->device().HoldInput(true);
    Run(lock().Image2);
    QCOMPARE(messages(), QStringList{"   Sem Sinal CTS.   \n" +
                                     QString::fromStdString(*LinkFaultHint(__SEMCTS__))});
  }

  // Update window.

  void onlyADoneUpdateEndsAtTheFullBar() {
    update().show();
    bound_->device().AnswerAll("000012|14000|Software Atualizado com Sucesso||");
    Run(update().Image2);
    QCOMPARE(messages(), QStringList{"Codigo: 14000.\nSoftware Atualizado com Sucesso" + kBlanks});
    QVERIFY(!update().Timer1->isActive());
    QCOMPARE(update().ProgressBar1->value(), 100);

    bound_->device().HoldInput(true);
    Run(update().Image2);
    QVERIFY(messages().last().startsWith("   Sem Sinal CTS.   \nCausa provável:"));
    QVERIFY(!update().Timer1->isActive());
    QCOMPARE(update().ProgressBar1->value(), 0);
    QVERIFY(update().Andamento->text().contains("não foi feita"));
    QCOMPARE(bound_->Requests().at(0), "000012|AtualizarSoftwareSAT|12345678");
  }

  void theBarIsFullOnlyOnceTheDeviceHasAnsweredAndStartsAgainFromZero() {
    update().ProgressBar1->setValue(100);
    AnswerLate("000012|14000|Software Atualizado com Sucesso||", 600);
    QTest::mouseClick(update().Image2, Qt::LeftButton);
    QVERIFY(update().Andamento->text().startsWith("Atualizando... não desligue o SAT"));
    QVERIFY(Banner(update())->text().startsWith("Aguarde: Atualização do software em andamento"));
    // A fresh opening while the device works leaves the bar alone.
    QVERIFY(w_->shell.windows().Open(Window::kUpdate, true));
    const int turns = TurnsWhileBusy([this] {
      QVERIFY(update().ProgressBar1->maximum() == 0);  // no measure, never full
    });
    QVERIFY(turns > 1);
    QVERIFY(!update().Timer1->isActive());
    QVERIFY(!Banner(update())->isVisible());
    QCOMPARE(update().ProgressBar1->value(), 100);
    QVERIFY(w_->shell.windows().Open(Window::kUpdate, true));
    QCOMPARE(update().ProgressBar1->value(), 0);
  }

  void aTapElsewhereDuringACallShowsWhatRunsAndExitAsksFirst() {
    AnswerLate("000012|14000|Software Atualizado com Sucesso||", 800);
    update().show();
    QTest::mouseClick(update().Image2, Qt::LeftButton);
    QVERIFY(w_->shell.busy());
    // Another operation, and a tile on the dashboard, are refused visibly.
    lock().show();
    QTest::mouseClick(lock().Image2, Qt::LeftButton);
    QVERIFY(Banner(lock())->isVisible());
    QVERIFY(Banner(lock())->text().contains("Atualização do software"));
    QTest::mouseClick(w_->grid.tile(TGridForm::TileId::kLogs)->picture(), Qt::LeftButton);
    QVERIFY(Banner(w_->grid)->text().startsWith("Aguarde: Atualização do software"));
    QVERIFY(!w_->forms.log->isVisible());
    // Leaving is asked first; staying keeps the program.
    w_->dialogs.leave = false;
    QVERIFY(!w_->shell.EndProgram(0));
    QCOMPARE(w_->dialogs.questions.size(), 1);
    QVERIFY(w_->exits.empty());
    w_->dialogs.leave = true;
    QVERIFY(w_->shell.EndProgram(0));
    QVERIFY(messages().last().contains("o SAT pode continuar trabalhando"));
    QCOMPARE(w_->exits, std::vector<int>{0});
    TurnsWhileBusy([] {});
    QCOMPARE(Requests(), 1u);
  }

  void anUpdateRefusedWhileAnotherCallRunsLeavesNoTimerRunning() {
    AnswerLate("000012|08000|SAT em operação||", 300);
    QTest::mouseClick(test().RadioButton2, Qt::LeftButton);
    QTest::mouseClick(test().Image1, Qt::LeftButton);
    QVERIFY(w_->shell.worker().busy());
    QTest::mouseClick(update().Image2, Qt::LeftButton);
    QVERIFY(!update().Timer1->isActive());
    QTRY_VERIFY(!w_->shell.worker().busy());
    QCOMPARE(Requests(), 1u);
  }
};

}  // namespace kovrad::manager::test

QTEST_MAIN(kovrad::manager::test::SaleWindowsTest)
#include "sale_test.moc"
