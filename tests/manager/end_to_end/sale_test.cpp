// The sale, test, lock and update windows against the real library and an
// emulated development kit (activated with 12345678, associated with the test
// environment's software house): a sale from the emulator's sample document
// and its cancellation, the end-to-end test with the built-in test sale, the
// device query, a lock and an unlock, and a software update.
#include <QDeadlineTimer>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <memory>

#include "satemu_process.h"
#include "widgets/tile.h"
#include "window_harness.h"

namespace kovrad::manager::test {

class SaleEndToEndTest : public QObject {
  Q_OBJECT

 private:
  kovrad::test::TempDir dir_;
  kovrad::test::TempDir samples_;
  std::unique_ptr<kovrad::test::Satemu> satemu_;
  std::unique_ptr<kovrad::test::ScopedEnv> dev_;
  std::unique_ptr<kovrad::test::ScopedEnv> sys_;
  std::unique_ptr<client::Library> library_;
  std::unique_ptr<Windows> w_;

  // Clicks `image` and returns the one message the call ends with.
  QString Run(QWidget* image) {
    w_->dialogs.messages.clear();
    QTest::mouseClick(image, Qt::LeftButton);
    if (!QTest::qWaitFor([this] { return !w_->shell.worker().busy(); }, 60000)) return "busy";
    return w_->dialogs.messages.size() == 1 ? w_->dialogs.messages[0]
                                            : w_->dialogs.messages.join(" / ");
  }

  // The sample document, from a short path: load paths hold 99 characters.
  void LoadSample(const char* name) {
    const std::string copy = samples_ / name;
    std::filesystem::copy_file(std::string(KOVRAD_SAMPLES) + "/" + name, copy,
                               std::filesystem::copy_options::overwrite_existing);
    w_->dialogs.open_answer = QString::fromStdString(copy);
    QTest::mouseClick(w_->forms.sale->Image5, Qt::LeftButton);
  }

 private slots:
  void initTestCase() {
    satemu_ =
        std::make_unique<kovrad::test::Satemu>(dir_.path(), std::vector<std::string>{"--kit"});
    dev_ = std::make_unique<kovrad::test::ScopedEnv>("KOVRAD_DEV_DIR", satemu_->dev_dir());
    sys_ = std::make_unique<kovrad::test::ScopedEnv>("KOVRAD_SYSFS_DIR", satemu_->sys_dir());
    library_ = std::make_unique<client::Library>();
    w_ = std::make_unique<Windows>(*library_);
    w_->shell.session().code = "12345678";
  }

  void cleanupTestCase() {
    w_.reset();
    satemu_.reset();
  }

  void aSampleSaleShowsTheCouponAndItsCancellationSucceeds() {
    TFiscal& sale = *w_->forms.sale;
    LoadSample("venda.xml");
    QTest::mouseClick(sale.RadioButton1, Qt::LeftButton);
    QVERIFY2(Run(sale.Image2).startsWith("Codigo: 06000."), qPrintable(sale.Memo1->toPlainText()));
    const QString key = QString::fromStdString(sale.lastSaleKey());
    QCOMPARE(key.size(), 47);
    QVERIFY(key.startsWith("CFe"));
    const QString coupon = sale.XMLSaida->toPlainText();
    QVERIFY(coupon.contains("<CFe"));
    QVERIFY(coupon.contains("Id=\"" + key + "\""));
    QVERIFY(coupon.endsWith("</CFe>"));

    LoadSample("cancelamento.xml");
    QTest::mouseClick(sale.RadioButton2, Qt::LeftButton);
    QVERIFY2(Run(sale.Image2).startsWith("Codigo: 07000."), qPrintable(sale.Memo1->toPlainText()));
    QVERIFY(sale.XMLEntrada->toPlainText().contains("chCanc=\"" + key + "\""));
    QVERIFY(sale.XMLSaida->toPlainText().contains("<CFeCanc"));
    QVERIFY(sale.XMLSaida->toPlainText().contains(key));
  }

  void theEndToEndTestPassesAndTheQueryAnswers() {
    TForm7& test = *w_->forms.test;
    QTest::mouseClick(test.fimafim, Qt::LeftButton);
    const QString verdict = Run(test.Image1);
    QVERIFY2(verdict.startsWith("Codigo: 09000."), qPrintable(verdict));
    QTest::mouseClick(test.RadioButton2, Qt::LeftButton);
    QVERIFY(Run(test.Image1).contains("|08000|"));
  }

  void theDeviceLocksAndUnlocks() {
    TForm12& lock = *w_->forms.lock;
    w_->dialogs.leave = true;  // the operator confirms each lock
    QTest::mouseClick(lock.RadioButton1, Qt::LeftButton);
    QVERIFY(Run(lock.Image2).startsWith("Codigo: 16000."));
    QVERIFY(Run(lock.Image2).startsWith("Codigo: 16002."));
    QTest::mouseClick(lock.RadioButton2, Qt::LeftButton);
    QVERIFY(Run(lock.Image2).startsWith("Codigo: 17000."));
    QCOMPARE(w_->grid.findChild<QLabel*>("StatusSAT")->text(), "Desbloqueado");
  }

  void theSoftwareUpdateEndsWithAFullBar() {
    TForm6& update = *w_->forms.update;
    QVERIFY(Run(update.Image2).startsWith("Codigo: 14000."));
    QVERIFY(!update.Timer1->isActive());
    QCOMPARE(update.ProgressBar1->value(), 100);
  }

  void aSlowUpdateNeverShowsAFullBarBeforeTheDeviceAnswers() {
    kovrad::test::TempDir slow_dir;
    kovrad::test::Satemu slow(slow_dir.path(), {"--kit", "--fault", "delay:1500"});
    kovrad::test::ScopedEnv dev("KOVRAD_DEV_DIR", slow.dev_dir());
    kovrad::test::ScopedEnv sys("KOVRAD_SYSFS_DIR", slow.sys_dir());
    TForm6& update = *w_->forms.update;
    w_->dialogs.messages.clear();
    QTest::mouseClick(update.Image2, Qt::LeftButton);
    int turns = 0;
    const QDeadlineTimer deadline(60000);
    while (w_->shell.busy() && !deadline.hasExpired()) {
      QVERIFY(update.ProgressBar1->maximum() == 0 ||
              update.ProgressBar1->value() < update.ProgressBar1->maximum());
      QTest::qWait(20);
      ++turns;
    }
    QVERIFY(!w_->shell.busy());
    QVERIFY(turns > 10);  // the window kept turning while the device worked
    QCOMPARE(update.ProgressBar1->value(), 100);
    QCOMPARE(w_->dialogs.messages.size(), 1);
    QVERIFY(w_->dialogs.messages[0].startsWith("Codigo: 14000."));
  }
};

}  // namespace kovrad::manager::test

QTEST_MAIN(kovrad::manager::test::SaleEndToEndTest)
#include "sale_test.moc"
