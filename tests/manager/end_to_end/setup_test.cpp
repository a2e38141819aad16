// A factory-fresh emulated device set up through the manager's windows: the
// network configured, the device activated and the signature associated,
// after which the status panel shows the new network settings and the
// device's log shows what it was asked.
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <memory>

#include "core/activation.h"
#include "satemu_process.h"
#include "widgets/tile.h"
#include "window_harness.h"

namespace kovrad::manager::test {

class OperationsEndToEndTest : public QObject {
  Q_OBJECT

 private:
  kovrad::test::TempDir dir_;
  std::unique_ptr<kovrad::test::Satemu> satemu_;
  std::unique_ptr<kovrad::test::ScopedEnv> dev_;
  std::unique_ptr<kovrad::test::ScopedEnv> sys_;

  static void ClickAndWait(Windows& w, QWidget* image) {
    QTest::mouseClick(image, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!w.shell.worker().busy(), 60000);
  }

 private slots:
  void initTestCase() {
    satemu_ = std::make_unique<kovrad::test::Satemu>(dir_.path());
    dev_ = std::make_unique<kovrad::test::ScopedEnv>("KOVRAD_DEV_DIR", satemu_->dev_dir());
    sys_ = std::make_unique<kovrad::test::ScopedEnv>("KOVRAD_SYSFS_DIR", satemu_->sys_dir());
  }

  void cleanupTestCase() { satemu_.reset(); }

  void configureActivateAssociateAndTheStatusShowsTheNetwork() {
    client::Library library;
    Windows w(library);
    const QString blanks(30, ' ');
    QTest::mouseClick(w.startup->RadioButton1, Qt::LeftButton);  // production, not activated
    QTest::mouseClick(w.startup->Button1, Qt::LeftButton);
    QCOMPARE(w.shell.session().code, std::string(kPresetCode));

    TForm15& network = *w.forms.network;
    QTest::mouseClick(network.IPFix, Qt::LeftButton);
    QTest::keyClicks(network.IPSat, "192.168.1.10");
    QTest::keyClicks(network.Mask, "255.255.255.0");
    QTest::keyClicks(network.Gateway, "192.168.1.1");
    QTest::keyClicks(network.DNS1, "8.8.8.8");
    ClickAndWait(w, network.Image3);
    QCOMPARE(w.dialogs.messages.takeFirst(),
             "Codigo: 12000.\nRede Configurada com Sucesso" + blanks);
    QVERIFY(network.Memo1->toPlainText().contains("<lanIP>192.168.001.010</lanIP>"));

    TForm16& activation = *w.forms.activation;
    activation.CNPJContribuinte->setText("08723218000186");
    activation.CodAtv->setText("abcd1234");
    activation.CodAtv2->setText("abcd1234");
    ClickAndWait(w, activation.Image2);
    QCOMPARE(w.dialogs.messages.takeFirst(), kMsgActivated);
    QCOMPARE(w.shell.session().code, "abcd1234");

    TForm17& signature = *w.forms.signature;
    signature.CNPJContribuinte->setText("08723218000186");
    signature.CNPJSW->setText("16716114000172");
    signature.assinatura->setText("SGR-SAT SISTEMA DE GESTAO E RETAGUARDA DO SAT");
    ClickAndWait(w, signature.Image2);
    QCOMPARE(w.dialogs.messages.takeFirst(),
             "Codigo: 13000.\nAssinatura do AC Registrada" + blanks);

    ClickAndWait(w, w.grid.refreshImage());
    QCOMPARE(w.dialogs.messages, QStringList());
    QCOMPARE(w.value("tiporede")->text(), "IPFIX");
    QCOMPARE(w.value("IpSAT")->text(), "192.168.001.010");
    QCOMPARE(w.value("Mask")->text(), "255.255.255.000");
    QCOMPARE(w.value("Gateway")->text(), "192.168.001.001");
    QCOMPARE(w.value("DNS1")->text(), "008.008.008.008");
    QCOMPARE(w.value("DNS2")->text(), "000.000.000.000");

    TForm14& log = *w.forms.log;
    ClickAndWait(w, log.Image1);
    QCOMPARE(w.dialogs.messages, QStringList());
    const QStringList lines = log.Memo1->toPlainText().split('\n');
    QVERIFY(lines.first().startsWith("1 "));
    for (const char* function : {"ConfigurarInterfaceDeRede", "AtivarSAT", "AssociarAssinatura"}) {
      QVERIFY2(!lines.filter(function).isEmpty(), function);
    }
  }
};

}  // namespace kovrad::manager::test

QTEST_MAIN(kovrad::manager::test::OperationsEndToEndTest)
#include "setup_test.moc"
