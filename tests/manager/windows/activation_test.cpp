// The activation window: what it refuses to send, what it sends and the code
// it keeps.
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTest>

#include "core/activation.h"
#include "core/checks.h"
#include "window_test_support.h"

namespace kovrad::manager::test {

class ActivationWindowTest : public SetupFixture {
  Q_OBJECT

 private slots:
  void inputFaultsSendNothing() {
    TForm16& form = *forms().activation;
    TypeActivation("08.723.218/0001-87", "1", "2");  // wrong check digit: the codes are not read
    QTest::mouseClick(form.Image2, Qt::LeftButton);
    TypeActivation(kTaxpayer, "1234567", "1234567");
    QTest::mouseClick(form.Image2, Qt::LeftButton);
    TypeActivation(kTaxpayer, "abcdefgh", "abcdefgH");
    QTest::mouseClick(form.Image2, Qt::LeftButton);
    QCOMPARE(messages(),
             (QStringList{kMsgCnpjInvalid, "Código de ativação deve conter no mínimo 8 caracteres",
                          "Código de ativação e de confirmação não são identicos"}));
    QVERIFY(!w_->shell.worker().busy());
    QCOMPARE(bound_->device().requests().size(), 0u);
    QCOMPARE(form.CodAtv->text(), "abcdefgh");
  }

  void stateThirtyFiveAndKindOneWhateverIsPicked() {
    TForm16& form = *forms().activation;
    QCOMPARE(form.ComboBox1->currentText(), "SP");
    QCOMPARE(form.ComboBox1->currentIndex(), 24);
    QVERIFY(!form.RadioButton2->isEnabled());
    QVERIFY(!form.RadioButton3->isEnabled());
    bound_->device().AnswerAll("000012|04099|recusado||");
    for (const char* state : {"AC", "TO", "RJ"}) {
      form.ComboBox1->setCurrentText(state);
      TypeActivation("08723218000186", "abcdefgh", "abcdefgh");
      ClickAndWait(form.Image2);
    }
    QCOMPARE(Requests(),
             std::vector<std::string>(3, "000012|AtivarSAT|1|abcdefgh|08723218000186|35"));
  }

  void successKeepsTheNewCodeAndARefusalDoesNot() {
    w_->shell.session().code = "12345678";
    TForm16& form = *forms().activation;
    bound_->device().AnswerAll(
        "000012|04001|C\xF3"
        "digo de ativa\xE7\xE3o inv\xE1lido||");
    TypeActivation(kTaxpayer, "novo-codigo", "novo-codigo");
    ClickAndWait(form.Image2);
    QCOMPARE(w_->shell.session().code, "12345678");
    QVERIFY(messages().isEmpty());
    QVERIFY(forms().message->isVisible());
    QCOMPARE(forms().message->Memo1->toPlainText(),
             "Codigo: 04001.\nCódigo de ativação inválido" + kBlanks);

    bound_->device().AnswerAll("000012|04000|SAT Ativado com Sucesso||");
    ClickAndWait(form.Image2);
    QCOMPARE(w_->shell.session().code, "novo-codigo");
    QCOMPARE(messages(), QStringList{kMsgActivated});
    QVERIFY(forms().certificate_request->isHidden());
  }
};

namespace {
const RegisterWindowTest<ActivationWindowTest> kRegistered;
}  // namespace

}  // namespace kovrad::manager::test

#include "activation_test.moc"
