// The update window: its bar and timer, and what a tap elsewhere shows while
// the device works.
#include <QDeadlineTimer>
#include <QProgressBar>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "widgets/busy_banner.h"
#include "widgets/tile.h"
#include "window_test_support.h"

using kovrad::test::Answer;
using kovrad::test::Request;

namespace kovrad::manager::test {

class UpdateWindowTest : public SaleFixture {
  Q_OBJECT

 private:
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

  // A reply that arrives after `pause_ms`.
  void AnswerLate(const std::string& reply, int pause_ms) {
    bound_->device().OnRequest([reply, pause_ms](const Request&) {
      Answer a = Answer::Text(reply);
      a.chunks.front().pause_ms = pause_ms;
      return a;
    });
  }

 private slots:
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

namespace {
const RegisterWindowTest<UpdateWindowTest> kRegistered;
}  // namespace

}  // namespace kovrad::manager::test

#include "update_test.moc"
