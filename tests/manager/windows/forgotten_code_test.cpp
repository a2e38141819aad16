// The full-screen window for a forgotten code, opened from the start-up
// dialog.
#include <QRadioButton>
#include <QTest>

#include "core/fault_hint.h"
#include "widgets/appbar.h"
#include "window_test_support.h"

namespace kovrad::manager::test {

class ForgottenCodeWindowTest : public DashboardFixture {
  Q_OBJECT

 private slots:
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

namespace {
const RegisterWindowTest<ForgottenCodeWindowTest> kRegistered;
}  // namespace

}  // namespace kovrad::manager::test

#include "forgotten_code_test.moc"
