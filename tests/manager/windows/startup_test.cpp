// The start-up dialog: the kind of device and the activation code it takes
// before the dashboard opens.
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "core/checks.h"
#include "core/replies.h"
#include "window_test_support.h"

namespace kovrad::manager::test {

class StartupWindowTest : public DashboardFixture {
  Q_OBJECT

 private slots:
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
};

namespace {
const RegisterWindowTest<StartupWindowTest> kRegistered;
}  // namespace

}  // namespace kovrad::manager::test

#include "startup_test.moc"
