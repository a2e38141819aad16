// The dashboard: the status panel a query fills, its history, its tiles and
// its app bar.
#include <QGroupBox>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "core/fault_hint.h"
#include "core/status.h"
#include "widgets/appbar.h"
#include "widgets/tile.h"
#include "window_test_support.h"

using kovrad::test::Answer;
using kovrad::test::Request;

namespace kovrad::manager::test {

class DashboardWindowTest : public DashboardFixture {
  Q_OBJECT

 private slots:
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
};

namespace {
const RegisterWindowTest<DashboardWindowTest> kRegistered;
}  // namespace

}  // namespace kovrad::manager::test

#include "dashboard_test.moc"
