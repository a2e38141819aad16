// The start-up dialog, the dashboard and the code-change windows on the
// offscreen platform, against a scripted device.
#include <QGroupBox>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include "core/checks.h"
#include "core/fault_hint.h"
#include "core/replies.h"
#include "core/status.h"
#include "widgets/appbar.h"
#include "widgets/tile.h"
#include "window_harness.h"

using kovrad::test::Answer;
using kovrad::test::Request;

namespace kovrad::manager::test {

using TileId = TGridForm::TileId;
using GroupId = TGridForm::GroupId;

class WindowsTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<BoundDevice> bound_;
  std::unique_ptr<Windows> w_;

  bool Shown(TileId id) const { return !w_->grid.tile(id)->isHidden(); }
  bool Shown(GroupId id) const { return !w_->grid.group(id)->isHidden(); }
  QString Value(const char* label) const { return w_->value(label)->text(); }
  size_t Requests() const { return bound_->device().requests().size(); }

  // Accepts the start-up dialog in `mode` with `code` typed.
  void Accept(QRadioButton* mode, const QString& code) {
    QTest::mouseClick(mode, Qt::LeftButton);
    w_->startup->codATV->setText(code);
    QTest::mouseClick(w_->startup->Button1, Qt::LeftButton);
  }

  // Keys reach the window the operator is using.
  static void Activate(QWidget* window) {
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
  }

  // Types the three codes into a code-change window and clicks its send image.
  static void Send(CodeChangeForm& form, const QString& code, const QString& new_code,
                   const QString& confirmation) {
    form.show();
    form.Codigo->setText(code);
    form.ncod->setText(new_code);
    form.ncodconf->setText(confirmation);
    QTest::mouseClick(form.Image2, Qt::LeftButton);
  }

  // Runs a status query from the dashboard and waits for its result.
  bool Query() {
    bool result = false;
    bool finished = false;
    w_->grid.StatusQuery(&w_->grid, [&](bool ok) {
      result = ok;
      finished = true;
    });
    if (!QTest::qWaitFor([&] { return finished; }, 10000)) qFatal("status query never finished");
    return result;
  }

 private slots:
  void init() {
    bound_ = std::make_unique<BoundDevice>();
    w_ = std::make_unique<Windows>(bound_->library());
    bound_->device().AnswerAll(SampleStatusReply());
  }
  void cleanup() {
    QTRY_VERIFY(!w_->shell.worker().busy());
    w_.reset();
    bound_.reset();
  }

  void kitModeQueriesTheDeviceAndOpensTheDashboard() {
    Accept(w_->startup->RadioButton3, "12345678");
    QTRY_VERIFY(w_->startup->isHidden());
    QCOMPARE(bound_->Requests().at(0), "000012|ConsultarStatusOperacional|12345678");
    for (GroupId g : {GroupId::kConfiguracao, GroupId::kManutencao, GroupId::kOperacao,
                      GroupId::kInformacoes}) {
      QVERIFY(Shown(g));
    }
    QVERIFY(!Shown(TileId::kAssinatura));
    QVERIFY(!w_->grid.tile(TileId::kAssinatura)->isEnabled());
    QVERIFY(!Shown(TileId::kAtivarSat));
    for (TileId t : {TileId::kTrocarCodigo, TileId::kFiscal, TileId::kBloqueio, TileId::kTeste,
                     TileId::kAtualizarSw}) {
      QVERIFY(Shown(t));
    }
    QCOMPARE(Value("Serie"), "900004019");
    QCOMPARE(Value("mac"), "00:11:22:33:44:55");
    QCOMPARE(Value("StatusSAT"), "Desbloqueado");
    QCOMPARE(Value("datahora"), "2024/03/15 10:30:00");
    QCOMPARE(Value("VencimentoCert"), "2028/01/03");
    QVERIFY(!w_->value("Serie")->isHidden());
    QVERIFY(w_->dialogs.messages.isEmpty());
    QVERIFY(w_->exits.empty());
  }

  void activatedProductionOffersTheSignatureTile() {
    Accept(w_->startup->RadioButton2, "12345678");
    QTRY_VERIFY(w_->startup->isHidden());
    QVERIFY(Shown(TileId::kAssinatura));
    QVERIFY(w_->grid.tile(TileId::kAssinatura)->isEnabled());
    QVERIFY(w_->exits.empty());
  }

  void notActivatedProductionSetsThePresetCodeWithoutACall() {
    QTest::mouseClick(w_->startup->RadioButton1, Qt::LeftButton);
    QVERIFY(!w_->startup->codATV->isEnabled());
    QTest::mouseClick(w_->startup->Button1, Qt::LeftButton);
    QVERIFY(w_->startup->isHidden());
    QCOMPARE(w_->shell.session().code, std::string(kPresetCode));
    QVERIFY(!Shown(GroupId::kManutencao));
    QVERIFY(!Shown(GroupId::kInformacoes));
    QVERIFY(Shown(GroupId::kConfiguracao));
    QVERIFY(Shown(GroupId::kOperacao));
    for (TileId t : {TileId::kAtualizarSw, TileId::kTeste, TileId::kFiscal, TileId::kBloqueio,
                     TileId::kTrocarCodigo}) {
      QVERIFY(!Shown(t));
    }
    QVERIFY(Shown(TileId::kAssinatura));
    QVERIFY(Shown(TileId::kAtivarSat));
    QVERIFY(!w_->startup->codATV->isEnabled());
    QVERIFY(!w_->shell.worker().busy());
    QCOMPARE(Requests(), 0u);
    QVERIFY(w_->exits.empty());
  }

  void anEmptyCodeIsRefusedAndTheDialogStays() {
    for (QRadioButton* mode : {w_->startup->RadioButton3, w_->startup->RadioButton2}) {
      w_->dialogs.messages.clear();
      Accept(mode, "");
      QCOMPARE(w_->dialogs.messages, QStringList{kMsgCodeEmpty});
      QVERIFY(w_->startup->isVisible());
      QVERIFY(!Shown(TileId::kAtivarSat));
      QVERIFY(!Shown(TileId::kAssinatura));
    }
    QCOMPARE(Requests(), 0u);
    QVERIFY(w_->exits.empty());
  }

  void aCodeLongerThanItsBufferIsRefused() {
    Accept(w_->startup->RadioButton3, QString(100, 'c'));
    QCOMPARE(w_->dialogs.messages.size(), 1);
    QVERIFY(w_->dialogs.messages[0].contains("99"));
    QVERIFY(w_->startup->isVisible());
    QCOMPARE(Requests(), 0u);
  }

  void closingWithoutACodeEndsTheProgramOnlyForAnActivatedDevice() {
    w_->startup->close();
    QVERIFY(w_->exits.empty());
    w_->startup->show();
    QTest::mouseClick(w_->startup->RadioButton2, Qt::LeftButton);
    QTest::keyClick(w_->startup, Qt::Key_Escape);
    QCOMPARE(w_->dialogs.messages, QStringList{kMsgCodeEmpty});
    QCOMPARE(w_->exits, std::vector<int>{1});
  }

  void theRadioButtonsEnableTheCodeField() {
    QLineEdit* field = w_->startup->codATV;
    QTest::mouseClick(w_->startup->RadioButton1, Qt::LeftButton);
    QVERIFY(!field->isEnabled());
    QTest::mouseClick(w_->startup->RadioButton3, Qt::LeftButton);
    QVERIFY(field->isEnabled());
    QTest::mouseClick(w_->startup->RadioButton1, Qt::LeftButton);
    QTest::mouseClick(w_->startup->RadioButton2, Qt::LeftButton);
    QVERIFY(field->isEnabled());
  }

  void aFailedQueryKeepsTheDialogOpen() {
    bound_->device().AnswerAll("000012|9999|Timeout");
    Accept(w_->startup->RadioButton2, "12345678");
    // The fixed text, and under it what four silent calls most likely mean.
    QTRY_COMPARE(w_->dialogs.messages.size(), 1);
    QVERIFY(w_->dialogs.messages[0].startsWith(QString(kMsgPortFailure) + "\nO SAT não respondeu"));
    QTRY_VERIFY(!w_->shell.worker().busy());
    QCOMPARE(Requests(), 4u);
    QVERIFY(w_->startup->isVisible());
    QVERIFY(!Shown(GroupId::kManutencao));
  }

  void theRecordOfAStateThreeDeviceShowsAnAutonomousLock() {
    bound_->device().AnswerAll(SampleStatusReply("3"));
    w_->shell.session().code = "12345678";
    QVERIFY(Query());
    QCOMPARE(Value("StatusSAT"), "Bloqueio Autônomo");
  }

  void anEmptyFieldEmptiesItAndEveryLaterOne() {
    w_->shell.session().code = "12345678";
    QVERIFY(Query());
    QCOMPARE(Value("Gateway"), "192.168.0.1");
    bound_->device().AnswerAll(SampleStatusReplyWith(11, ""));
    QVERIFY(Query());
    QCOMPARE(Value("Mask"), "255.255.255.0");
    for (const char* label : {"Gateway", "DNS1", "DNS2", "StatusLAN", "Bat", "MemTot", "datahora",
                              "Versao", "TXSefaz", "VencimentoCert", "DataEmissaoCert"}) {
      QVERIFY2(Value(label).isEmpty(), label);
    }
  }

  void anInvalidCodeIsForgottenAndTheDeviceTilesHidden() {
    w_->shell.session().code = "12345678";
    w_->shell.session().kit_mode = false;
    QVERIFY(Query());
    const std::string refusal =
        "000012|10001|C\xF3"
        "digo de ativa\xE7\xE3o inv\xE1lido||";
    bound_->device().AnswerAll(refusal);
    QVERIFY(!Query());
    QCOMPARE(w_->dialogs.messages,
             QStringList{"000012|10001|Código de ativação inválido||\n" +
                         QString::fromStdString(*RefusalHint("Código de ativação inválido"))});
    QVERIFY(w_->shell.session().code.empty());
    QVERIFY(!Shown(GroupId::kOperacao));
    QVERIFY(!Shown(GroupId::kInformacoes));
    QVERIFY(Shown(GroupId::kConfiguracao));
    QVERIFY(!Shown(TileId::kAssinatura));
    QVERIFY(!Shown(TileId::kTeste));
    QVERIFY(!Shown(TileId::kAtualizarSw));
    Query();
    QCOMPARE(bound_->Requests().back(), "000012|ConsultarStatusOperacional|");
  }

  void everySuccessIsKeptAndTheSaveWritesThem() {
    w_->shell.session().code = "12345678";
    QVERIFY(Query());
    QTest::mouseClick(w_->grid.refreshImage(), Qt::LeftButton);
    QTRY_COMPARE(w_->grid.history().lines().size(), 2u);
    bound_->device().AnswerAll("000012|10001|recusado");
    QVERIFY(!Query());
    QCOMPARE(w_->grid.history().lines().size(), 2u);

    kovrad::test::TempDir dir;
    const std::string file = dir / "status.txt";
    QTest::mouseClick(w_->grid.saveImage(), Qt::LeftButton);  // cancelled
    QVERIFY(!std::filesystem::exists(file));
    w_->dialogs.save_answer = QString::fromStdString(file);
    QTest::mouseClick(w_->grid.saveImage(), Qt::LeftButton);
    QCOMPARE(kovrad::test::ReadFile(file), SampleStatusReply() + "\n" + SampleStatusReply() + "\n");
  }

  void aSecondCallIsRefusedWhileOneRuns() {
    bound_->device().OnRequest([](const Request&) {
      Answer a = Answer::Text(SampleStatusReply());
      a.chunks.front().pause_ms = 300;
      return a;
    });
    w_->shell.session().code = "12345678";
    QTest::mouseClick(w_->grid.refreshImage(), Qt::LeftButton);
    QVERIFY(w_->shell.worker().busy());
    QCOMPARE(w_->grid.cursor().shape(), Qt::BusyCursor);
    QTest::mouseClick(w_->grid.refreshImage(), Qt::LeftButton);
    QTRY_VERIFY(!w_->shell.worker().busy());
    QCOMPARE(Requests(), 1u);
    QCOMPARE(w_->grid.history().lines().size(), 1u);
    QCOMPARE(w_->grid.cursor().shape(), Qt::ArrowCursor);
  }

  void aMissingExportIsReportedWithoutACrash() {
    client::Library wrong({"libz.so.1"});
    Windows windows(wrong);
    windows.shell.session().code = "12345678";
    QTest::mouseClick(windows.grid.refreshImage(), Qt::LeftButton);
    QTRY_COMPARE(windows.dialogs.messages,
                 QStringList{"A função ConsultarStatusOperacional não foi encontrada na "
                             "biblioteca do SAT."});
    QTRY_VERIFY(!windows.shell.worker().busy());
  }

  void tilesOpenTheirWindowsThroughTheRegistry() {
    QWidget sale;
    int cleared = 0;
    w_->shell.windows().Register(Window::kSale, &sale, [&cleared] { ++cleared; });
    w_->shell.session().code = "12345678";
    QVERIFY(Query());
    Tile* fiscal = w_->grid.tile(TileId::kFiscal);
    QTest::mouseClick(fiscal->caption(), Qt::LeftButton);
    QVERIFY(sale.isVisible());
    QCOMPARE(cleared, 0);
    QTest::mouseClick(fiscal->picture(), Qt::LeftButton);
    QCOMPARE(cleared, 1);
    // Windows still to come: nothing happens.
    QTest::mouseClick(w_->grid.tile(TileId::kLogs)->picture(), Qt::LeftButton);
    QTest::mouseClick(w_->grid.tile(TileId::kTrocarCodigo)->picture(), Qt::LeftButton);
    QVERIFY(w_->bordered.isVisible());
  }

  void theStartIconGoesBackToTheStartUpDialog() {
    Accept(w_->startup->RadioButton3, "12345678");
    QTRY_VERIFY(w_->startup->isHidden());
    Activate(&w_->grid);
    QTest::keyClick(&w_->grid, Qt::Key_Escape);
    QVERIFY(w_->grid.appBar()->isVisible());
    QTest::mouseClick(w_->grid.startImage(), Qt::LeftButton);
    for (GroupId g : {GroupId::kConfiguracao, GroupId::kManutencao, GroupId::kOperacao,
                      GroupId::kInformacoes}) {
      QVERIFY(!Shown(g));
    }
    QVERIFY(!Shown(TileId::kAtualizarSw));
    QVERIFY(!Shown(TileId::kTeste));
    QVERIFY(Shown(TileId::kAtivarSat));
    QVERIFY(w_->startup->isVisible());
    QVERIFY(w_->startup->RadioButton3->isChecked());
    QCOMPARE(w_->startup->codATV->text(), "12345678");
  }

  void escapeTogglesTheAppBarAndOtherKeysHideIt() {
    AppBar* bar = w_->grid.appBar();
    QVERIFY(bar->isHidden());
    Activate(&w_->grid);
    QTest::keyClick(&w_->grid, Qt::Key_Escape);
    QVERIFY(bar->isVisible());
    QCOMPARE(bar->geometry(), QRect(0, w_->grid.height() - 75, w_->grid.width(), 75));
    QTest::keyClick(&w_->grid, Qt::Key_Escape);
    QVERIFY(bar->isHidden());
    QTest::keyClick(&w_->grid, Qt::Key_Escape);
    QTest::keyClick(&w_->grid, Qt::Key_A);
    QVERIFY(bar->isHidden());
    w_->grid.resize(900, 700);
    QTest::keyClick(&w_->grid, Qt::Key_Escape);
    QCOMPARE(bar->geometry(), QRect(0, 625, 900, 75));
    QTest::mouseClick(w_->grid.exitImage(), Qt::LeftButton);
    QCOMPARE(w_->exits, std::vector<int>{0});
  }

  void theBorderedWindowAppliesTheCodeRules() {
    Send(w_->bordered, "12345678", "1234567", "1234567");
    Send(w_->bordered, "12345678", "abcdefgh", "abcdefgH");
    QCOMPARE(w_->dialogs.messages,
             (QStringList{"Código de ativação deve ter no minimo 8 caracteres",
                          "Código de ativação não é igual ao confirmação do código de ativação"}));
    QVERIFY(!w_->shell.worker().busy());
    QCOMPARE(Requests(), 0u);
  }

  void theFullScreenWindowSendsWhatWasTyped() {
    bound_->device().AnswerAll(
        "000012|18001|C\xF3"
        "digo de ativa\xE7\xE3o inv\xE1lido||");
    QTest::mouseClick(w_->full_screen.RadioButton2, Qt::LeftButton);
    Send(w_->full_screen, "emerg", "abc", "abd");
    QTRY_COMPARE(w_->dialogs.messages.size(), 1);
    QCOMPARE(bound_->Requests().at(0), "000012|TrocarCodigoDeAtivacaoSAT|emerg|2|abc|abd");
    QCOMPARE(w_->dialogs.messages[0],
             "Codigo: 18001.\nCódigo de ativação inválido" + QString(30, ' ') + "\n" +
                 QString::fromStdString(*RefusalHint("Código de ativação inválido")));
  }

  // A code the device took is the one every later call presents, also when
  // the start-up dialog is accepted again; a refused one changes nothing.
  void aChangeTheDeviceTookBecomesTheCurrentCode() {
    w_->shell.session().code = "12345678";
    bound_->device().AnswerAll(
        "000012|18001|C\xF3"
        "digo de ativa\xE7\xE3o inv\xE1lido||");
    Send(w_->bordered, "12345678", "11112222", "11112222");
    QTRY_COMPARE(w_->dialogs.messages.size(), 1);
    QCOMPARE(w_->shell.session().code, "12345678");

    bound_->device().AnswerAll(
        "000012|18000|C\xF3"
        "digo de ativa\xE7\xE3o alterado||");
    Send(w_->bordered, "12345678", "87654321", "87654321");
    QTRY_COMPARE(w_->dialogs.messages.size(), 2);
    QCOMPARE(bound_->Requests().back(),
             "000012|TrocarCodigoDeAtivacaoSAT|12345678|1|87654321|87654321");
    QCOMPARE(w_->shell.session().code, "87654321");
    QCOMPARE(w_->startup->codATV->text(), "87654321");
    bound_->device().AnswerAll(SampleStatusReply());
    QVERIFY(Query());
    QCOMPARE(bound_->Requests().back(), "000012|ConsultarStatusOperacional|87654321");
  }

  void thePanelKeepsLabelsApartAndShowsTheLongestValuesWhole() {
    bound_->device().AnswerAll(LongestStatusReply());
    QVERIFY(Query());
    TGridForm& grid = w_->grid;
    int previous_type = 0;
    for (const QSize screen : {QSize(1024, 768), QSize(1920, 1080)}) {
      grid.resize(screen);
      QCoreApplication::processEvents();
      grid.layout()->activate();
      grid.findChild<QWidget*>("StatusPanel")->layout()->activate();
      const auto on_screen = [&grid](QWidget* w) {
        return QRect(w->mapTo(&grid, QPoint()), w->size());
      };
      std::vector<QRect> labels;
      for (const PanelRow& row : kPanelRows) {
        QLabel* value = w_->value(row.label);
        QVERIFY(value->isVisible());
        // Whole: all its lines fit the height it was given.
        QVERIFY2(value->heightForWidth(value->width()) <= value->height(), row.label);
        labels.push_back(on_screen(grid.findChild<QLabel*>(QString(row.label) + "Caption")));
        labels.push_back(on_screen(value));
      }
      labels.push_back(on_screen(grid.refreshImage()));
      labels.push_back(on_screen(grid.saveImage()));
      for (size_t i = 0; i < labels.size(); ++i) {
        for (size_t j = i + 1; j < labels.size(); ++j) {
          // Not even touching: two pixels apart at least.
          QVERIFY2(!labels[i].adjusted(-1, -1, 1, 1).intersects(labels[j]),
                   qPrintable(QString("%1 and %2 at %3x%4")
                                  .arg(i)
                                  .arg(j)
                                  .arg(screen.width())
                                  .arg(screen.height())));
        }
      }
      for (Tile* tile : grid.findChildren<Tile*>()) {
        QVERIFY(grid.rect().contains(on_screen(tile)));
      }
      QVERIFY(grid.font().pixelSize() > previous_type);
      previous_type = grid.font().pixelSize();
    }
  }

  void theFullScreenWindowGoesBackAndHasItsOwnAppBar() {
    TForm8& form = w_->full_screen;
    QTest::mouseClick(w_->startup->SpeedButton1, Qt::LeftButton);
    QVERIFY(form.isVisible());
    QVERIFY(form.appBar()->isHidden());
    Activate(&form);
    form.Codigo->setFocus();
    QTest::keyClick(form.Codigo, Qt::Key_Escape);
    QVERIFY(form.appBar()->isVisible());
    QTest::keyClick(form.Codigo, Qt::Key_X);
    QVERIFY(form.appBar()->isHidden());
    QCOMPARE(form.Codigo->text(), "x");
    QTest::mouseClick(form.Image1, Qt::LeftButton);
    QVERIFY(form.isHidden());
    QVERIFY(w_->grid.isVisible());
    QTest::mouseClick(form.CloseImage, Qt::LeftButton);
    QCOMPARE(w_->exits, std::vector<int>{0});
  }
};

}  // namespace kovrad::manager::test

QTEST_MAIN(kovrad::manager::test::WindowsTest)
#include "dashboard_test.moc"