// The lock window: a lock asked for first, each change followed by a status
// query.
#include <QRadioButton>
#include <QTest>

#include "core/fault_hint.h"
#include "window_test_support.h"
#include "windows/lock.h"

namespace kovrad::manager::test {

class LockWindowTest : public SaleFixture {
  Q_OBJECT

 private slots:
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
};

namespace {
const RegisterWindowTest<LockWindowTest> kRegistered;
}  // namespace

}  // namespace kovrad::manager::test

#include "lock_test.moc"
