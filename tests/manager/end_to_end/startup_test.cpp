// Ativacao's start-up against the real library and the emulated device: the
// dashboard is filled from the device's own status reply.
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include "core/status.h"
#include "widgets/tile.h"
#include "window_harness.h"

namespace kovrad::manager::test {

class EndToEndTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  QProcess satemu_;

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    satemu_.setProgram(SATEMU);
    satemu_.setArguments({"--dir", dir_.path(), "--kit"});
    satemu_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    satemu_.start();
    QVERIFY2(satemu_.waitForStarted(10000), qPrintable(satemu_.errorString()));
    // Ready once it names its directories: KOVRAD_DEV_DIR=... KOVRAD_SYSFS_DIR=...
    QByteArray line;
    while (!line.endsWith('\n')) {
      QVERIFY2(satemu_.waitForReadyRead(20000), "satemu never said it was ready");
      line += satemu_.readAll();
    }
    for (const QByteArray& setting : line.trimmed().split(' ')) {
      const qsizetype eq = setting.indexOf('=');
      QVERIFY(eq > 0);
      QByteArray value = setting.mid(eq + 1);
      if (value.startsWith('\'') && value.endsWith('\'')) value = value.mid(1, value.size() - 2);
      qputenv(setting.left(eq).constData(), value);
    }
  }

  void cleanupTestCase() {
    satemu_.terminate();
    if (!satemu_.waitForFinished(10000)) satemu_.kill();
  }

  void activatedProductionStartUpFillsTheDashboardFromTheDevice() {
    client::Library library;
    Windows w(library);
    QTest::mouseClick(w.startup->RadioButton2, Qt::LeftButton);
    w.startup->codATV->setText("12345678");
    QTest::mouseClick(w.startup->Button1, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!w.shell.worker().busy(), 90000);
    QCOMPARE(w.dialogs.messages, QStringList());
    QVERIFY(w.startup->isHidden());
    QVERIFY(w.exits.empty());

    QCOMPARE(w.grid.history().lines().size(), 1u);
    const StatusReply reply = ReadStatusReply(w.grid.history().lines()[0]);
    QVERIFY(!reply[6].empty());
    QVERIFY(!reply[28].empty());
    for (const PanelRow& row : kPanelRows) {
      QLabel* label = w.value(row.label);
      QVERIFY2(!label->isHidden(), row.label);
      QCOMPARE(label->text().toStdString(), PanelValue(row, reply).value_or(""));
    }
    QCOMPARE(w.value("StatusSAT")->text(), "Desbloqueado");
    QVERIFY(!w.grid.tile(TGridForm::TileId::kAssinatura)->isHidden());
    QVERIFY(!w.grid.tile(TGridForm::TileId::kTrocarCodigo)->isHidden());
  }
};

}  // namespace kovrad::manager::test

QTEST_MAIN(kovrad::manager::test::EndToEndTest)
#include "startup_test.moc"
