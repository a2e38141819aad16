// The bordered code-change window the dashboard opens.
#include <QTest>

#include "window_test_support.h"

namespace kovrad::manager::test {

class CodeChangeWindowTest : public DashboardFixture {
  Q_OBJECT

 private slots:
  void theBorderedWindowAppliesTheCodeRules() {
    Send(w_->bordered, "12345678", "1234567", "1234567");
    Send(w_->bordered, "12345678", "abcdefgh", "abcdefgH");
    QCOMPARE(w_->dialogs.messages,
             (QStringList{"Código de ativação deve ter no minimo 8 caracteres",
                          "Código de ativação não é igual ao confirmação do código de ativação"}));
    QVERIFY(!w_->shell.worker().busy());
    QCOMPARE(Requests(), 0u);
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
};

namespace {
const RegisterWindowTest<CodeChangeWindowTest> kRegistered;
}  // namespace

}  // namespace kovrad::manager::test

#include "code_change_test.moc"
