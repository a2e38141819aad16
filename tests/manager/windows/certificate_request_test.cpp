// The certificate requests an activation hands back: shown, and saved where
// the operator says.
#include <QPlainTextEdit>
#include <QTest>

#include "window_test_support.h"

namespace kovrad::manager::test {

class CertificateRequestWindowTest : public SetupFixture {
  Q_OBJECT

 private slots:
  void requestsAccumulateAndAConfirmedSaveWritesThemAll() {
    kovrad::test::TempDir dir;
    TForm16& form = *forms().activation;
    TForm11& requests = *forms().certificate_request;
    bound_->device().AnswerAll(
        "000012|04006|CSR ICP-BRASIL criado com sucesso|||-----BEGIN CERTIFICATE "
        "REQUEST-----\nAAAA\n-----END CERTIFICATE REQUEST-----");
    TypeActivation(kTaxpayer, "abcdefgh", "abcdefgh");
    ClickAndWait(form.Image2);  // the operator cancels the save
    QVERIFY(requests.isVisible());
    QVERIFY(forms().message->isVisible());
    QVERIFY(forms().message->Memo1->toPlainText().startsWith("Codigo: 04006."));

    const std::string file = dir / "csr.txt";
    w_->dialogs.save_answer = QString::fromStdString(file);
    ClickAndWait(form.Image2);
    const std::string request =
        "-----BEGIN CERTIFICATE REQUEST-----\nAAAA\n-----END CERTIFICATE REQUEST-----\n";
    QCOMPARE(kovrad::test::ReadFile(file), request + request);
    QCOMPARE(requests.Memo1->toPlainText().count("BEGIN"), 2);
    QVERIFY(messages().isEmpty());
  }

  void aFailedSaveSaysWhereAndWhyAndKeepsTheRequest() {
    kovrad::test::TempDir dir;
    bound_->device().AnswerAll("000012|04006|CSR criado|||-----BEGIN CERTIFICATE REQUEST-----");
    const QString file = QString::fromStdString(dir / "missing/csr.txt");
    w_->dialogs.save_answer = file;
    TypeActivation(kTaxpayer, "abcdefgh", "abcdefgh");
    ClickAndWait(forms().activation->Image2);
    QCOMPARE(messages().size(), 1);
    QVERIFY(messages()[0].contains(file));
    QVERIFY(messages()[0].contains("gravar"));
    QCOMPARE(forms().certificate_request->Memo1->toPlainText(),
             "-----BEGIN CERTIFICATE REQUEST-----");
  }
};

namespace {
const RegisterWindowTest<CertificateRequestWindowTest> kRegistered;
}  // namespace

}  // namespace kovrad::manager::test

#include "certificate_request_test.moc"
