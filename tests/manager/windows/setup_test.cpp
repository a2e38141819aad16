// The log, message, certificate-request, activation, association and network
// windows on the offscreen platform, against a scripted device.
#include <QByteArray>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <filesystem>

#include "core/activation.h"
#include "core/association.h"
#include "core/checks.h"
#include "core/device_log.h"
#include "core/network_config.h"
#include "core/replies.h"
#include "widgets/fields.h"
#include "widgets/tile.h"
#include "window_harness.h"

namespace kovrad::manager::test {

namespace {

constexpr char kTaxpayer[] = "08.723.218/0001-86";
constexpr char kSoftwareHouse[] = "16.716.114/0001-72";
constexpr char kNetworkAccepted[] = "000012|12000|Rede Configurada com Sucesso||";
const QString kBlanks(30, ' ');

std::string LogReply(const std::string& log) {
  return "000012|15000|Transfer\xEAncia completa|||" +
         QByteArray::fromStdString(log).toBase64().toStdString();
}

const std::string kLog =
    "LOG SAT 900004019 2 registros\n"
    "20240315103000|SAT|INFO|COMANDO: ConsultarSAT\n"
    "20240315103100|SAT|ERRO|REDE: sem link\n";

QStringList Lines(const QPlainTextEdit* memo) {
  return memo->toPlainText().isEmpty() ? QStringList() : memo->toPlainText().split('\n');
}

}  // namespace

class OperationsWindowsTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<BoundDevice> bound_;
  std::unique_ptr<Windows> w_;

  Forms& forms() { return w_->forms; }
  QStringList& messages() { return w_->dialogs.messages; }
  std::vector<std::string> Requests() { return bound_->Requests(); }

  // Clicks `image` and waits for the library call it starts to return.
  void ClickAndWait(QWidget* image) {
    QTest::mouseClick(image, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!w_->shell.worker().busy(), 20000);
  }

  void TypeActivation(const QString& cnpj, const QString& code, const QString& confirmation) {
    TForm16& form = *forms().activation;
    form.CNPJContribuinte->setText(cnpj);
    form.CodAtv->setText(code);
    form.CodAtv2->setText(confirmation);
  }

  void TypeAssociation(const QString& taxpayer, const QString& software_house,
                       const QString& signature) {
    TForm17& form = *forms().signature;
    form.CNPJContribuinte->setText(taxpayer);
    form.CNPJSW->setText(software_house);
    form.assinatura->setText(signature);
  }

  static bool Enabled(QWidget* field) {
    const QLabel* caption = CaptionOf(field);
    if (caption != nullptr && caption->isEnabled() != field->isEnabled()) {
      qFatal("%s and its caption disagree", qPrintable(field->objectName()));
    }
    return field->isEnabled();
  }

 private slots:
  void init() {
    bound_ = std::make_unique<BoundDevice>();
    w_ = std::make_unique<Windows>(bound_->library());
  }
  void cleanup() {
    QTRY_VERIFY(!w_->shell.worker().busy());
    w_.reset();
    bound_.reset();
  }

  // Log window.

  void everyExtractionAddsARunNumberedFromOne() {
    bound_->device().AnswerAll(LogReply(kLog));
    TForm14& log = *forms().log;
    ClickAndWait(log.Image1);
    ClickAndWait(log.Image1);
    QCOMPARE(Lines(log.Memo1), (QStringList{"1 15/03/2024 10:30:00 COMANDO INFO  ConsultarSAT",
                                            "2 15/03/2024 10:31:00 REDE ERRO  sem link",
                                            "1 15/03/2024 10:30:00 COMANDO INFO  ConsultarSAT",
                                            "2 15/03/2024 10:31:00 REDE ERRO  sem link"}));
    QCOMPARE(Requests().at(0), "000012|ExtrairLogs|24681357");  // no code yet: the preset one
    QVERIFY(messages().isEmpty());

    // The tile opens the window with its text cleared.
    log.hide();
    QTest::mouseClick(w_->grid.tile(TGridForm::TileId::kLogs)->picture(), Qt::LeftButton);
    QVERIFY(log.isVisible());
    QCOMPARE(log.Memo1->toPlainText(), "");
    QCOMPARE(Requests().size(), 2u);
  }

  void aRefusedExtractionIsShownAndTheTextKept() {
    TForm14& log = *forms().log;
    log.Memo1->setPlainText("kept");
    w_->shell.session().code = "12345678";
    bound_->device().AnswerAll(
        "000012|15001|C\xF3"
        "digo de ativa\xE7\xE3o inv\xE1lido||");
    ClickAndWait(log.Image1);
    QCOMPARE(messages(), QStringList{"000012|15001|Código de ativação inválido||"});
    QCOMPARE(log.Memo1->toPlainText(), "kept");
    QCOMPARE(Requests().at(0), "000012|ExtrairLogs|12345678");
  }

  void savingWritesEveryLineWithCrLf() {
    kovrad::test::TempDir dir;
    TForm14& log = *forms().log;
    // Nothing extracted: the operator is told, and no empty file is made.
    w_->dialogs.save_answer = QString::fromStdString(dir / "empty.txt");
    QTest::mouseClick(log.Image2, Qt::LeftButton);
    QCOMPARE(messages(), QStringList{kMsgNoLogToSave});
    messages().clear();

    log.Memo1->setPlainText("1 linha\n2 ação");
    w_->dialogs.save_answer.clear();
    QTest::mouseClick(log.Image2, Qt::LeftButton);  // cancelled: nothing written
    w_->dialogs.save_answer = QString::fromStdString(dir / "log.txt");
    QTest::mouseClick(log.Image2, Qt::LeftButton);
    QCOMPARE(kovrad::test::ReadFile(dir / "log.txt"), "1 linha\r\n2 ação\r\n");
    QCOMPARE(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

    w_->dialogs.save_answer = QString::fromStdString(dir / "missing/log.txt");
    QTest::mouseClick(log.Image2, Qt::LeftButton);
    QCOMPARE(messages().size(), 1);
    QVERIFY(messages()[0].contains(QString::fromStdString(dir / "missing/log.txt")));
  }

  // Message window.

  void aMessageReplacesTheLastAndDetailsExtractEachTime() {
    TForm13& message = *forms().message;
    message.ShowMessage("primeira");
    message.ShowMessage("segunda");
    QVERIFY(message.isVisible());
    QCOMPARE(message.Memo1->toPlainText(), "segunda");

    bound_->device().AnswerAll(LogReply(kLog));
    ClickAndWait(message.Button2);
    QVERIFY(forms().log->isVisible());
    ClickAndWait(message.Button2);
    QCOMPARE(Lines(forms().log->Memo1).size(), 4);
    QTest::mouseClick(message.Button1, Qt::LeftButton);
    QVERIFY(message.isHidden());
  }

  // Activation.

  void theChecklistLeadsToTheActivationWindow() {
    TOKRightDlg& checklist = *forms().activation_checklist;
    Tile* tile = w_->grid.tile(TGridForm::TileId::kAtivarSat);
    QTest::mouseClick(tile->picture(), Qt::LeftButton);
    QVERIFY(checklist.isVisible());
    QTest::mouseClick(checklist.CancelBtn, Qt::LeftButton);
    QVERIFY(checklist.isHidden());
    QVERIFY(forms().activation->isHidden());
    QTest::mouseClick(tile->picture(), Qt::LeftButton);
    QTest::mouseClick(checklist.OKBtn, Qt::LeftButton);
    QVERIFY(checklist.isHidden());
    QVERIFY(forms().activation->isVisible());
    forms().activation->hide();
    QTest::mouseClick(tile->caption(), Qt::LeftButton);
    QVERIFY(forms().activation->isVisible());
  }

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

  // Signature association.

  void bothNumbersInvalidShowsOnlyTheTaxpayerMessage() {
    TypeAssociation("11.111.111/1111-11", "22.222.222/2222-22", "SIG");
    QTest::mouseClick(forms().signature->Image2, Qt::LeftButton);
    TypeAssociation(kTaxpayer, "", "SIG");
    QTest::mouseClick(forms().signature->Image2, Qt::LeftButton);
    QCOMPARE(messages(), (QStringList{kMsgTaxpayerInvalid, kMsgSoftwareHouseInvalid}));
    QCOMPARE(bound_->device().requests().size(), 0u);
  }

  void theValueAndTheSignatureGoOnOneLine() {
    w_->shell.session().code = "12345678";
    bound_->device().AnswerAll("000012|13000|Assinatura do AC Registrada||");
    TypeAssociation(kTaxpayer, kSoftwareHouse, "SGR-SAT\r\nSISTEMA\r\n");
    ClickAndWait(forms().signature->Image2);
    QCOMPARE(Requests().at(0),
             "000012|AssociarAssinatura|12345678|1671611400017208723218000186|SGR-SATSISTEMA");
    QCOMPARE(messages(), QStringList{"Codigo: 13000.\nAssinatura do AC Registrada" + kBlanks});

    TypeAssociation(kTaxpayer, kSoftwareHouse, QString(500, 's'));
    QTest::mouseClick(forms().signature->Image2, Qt::LeftButton);
    QCOMPARE(messages().last().toStdString(), TooLongMessage("Assinatura AC", 499));
    QCOMPARE(Requests().size(), 1u);
  }

  // Network configuration.

  void fieldsFollowTheModeAndTheProxyList() {
    TForm15& form = *forms().network;
    QList<QWidget*> lan = {form.IPSat, form.Mask, form.Gateway, form.DNS1, form.DNS2};
    QList<QWidget*> proxy = {form.IPProxy, form.Port, form.UserProxy, form.PassProxy};
    for (QWidget* field : lan + proxy + QList<QWidget*>{form.User, form.Password}) {
      QVERIFY2(!Enabled(field), qPrintable(field->objectName()));
    }
    QVERIFY(form.Label1->isEnabled());
    QVERIFY(form.Memo1->isEnabled());

    QTest::mouseClick(form.IPFix, Qt::LeftButton);
    for (QWidget* field : lan) QVERIFY(Enabled(field));
    QVERIFY(!Enabled(form.User));
    QTest::mouseClick(form.dhcp, Qt::LeftButton);
    for (QWidget* field : lan) QVERIFY(!Enabled(field));
    QVERIFY(Enabled(form.User));
    QVERIFY(Enabled(form.Password));

    form.ComboBox1->setCurrentIndex(2);
    for (QWidget* field : proxy) QVERIFY(Enabled(field));
    form.ComboBox1->setEditText("outro");  // no item: nothing changes
    QCOMPARE(form.ProxyIndex(), -1);
    for (QWidget* field : proxy) QVERIFY(Enabled(field));
    form.ComboBox1->setCurrentIndex(0);
    for (QWidget* field : proxy) QVERIFY(!Enabled(field));
  }

  void acceptedDocumentsStayAndTheMessageFollowsEverySend() {
    TForm15& form = *forms().network;
    bound_->device().AnswerAll(kNetworkAccepted);
    ClickAndWait(form.Image3);
    const QString document = QString::fromStdString(NetworkDocument({})).chopped(1);
    QCOMPARE(Requests().at(0), "000012|ConfigurarInterfaceDeRede|24681357|" + NetworkDocument({}));
    QCOMPARE(form.Memo1->toPlainText(), document);
    ClickAndWait(form.Image3);
    QCOMPARE(form.Memo1->toPlainText(), document + "\n" + document);

    bound_->device().AnswerAll("000012|12002|Dados fora do padr\xE3o a ser informado||");
    w_->shell.session().code = "12345678";
    ClickAndWait(form.Image3);
    QCOMPARE(form.Memo1->toPlainText(), document + "\n" + document);
    QCOMPARE(messages(),
             (QStringList{"Codigo: 12000.\nRede Configurada com Sucesso" + kBlanks,
                          "Codigo: 12000.\nRede Configurada com Sucesso" + kBlanks,
                          "Codigo: 12002.\nDados fora do padrão a ser informado" + kBlanks}));
    QVERIFY(Requests().at(2).starts_with("000012|ConfigurarInterfaceDeRede|12345678|"));
  }

  void theDocumentIsBuiltFromTheFieldsAsTheyStand() {
    TForm15& form = *forms().network;
    bound_->device().AnswerAll(kNetworkAccepted);
    QTest::mouseClick(form.IPFix, Qt::LeftButton);
    QTest::keyClicks(form.IPSat, "10.0.0.7");
    // An unusable mask is refused, naming its field, and nothing is sent.
    ClickAndWait(form.Image3);
    QCOMPARE(messages().size(), 1);
    QVERIFY(messages()[0].startsWith("Máscara: "));
    QCOMPARE(Requests().size(), 0u);
    messages().clear();
    QTest::keyClicks(form.Mask, "255.0.0.0");
    QTest::keyClicks(form.Gateway, "10.0.0.1");
    QTest::keyClicks(form.DNS1, "10.0.0.2");
    form.ComboBox1->setEditText("digitado");
    form.Port->setText("8080");
    form.UserProxy->setText("<op&>");
    ClickAndWait(form.Image3);
    const std::string request = Requests().at(0);
    for (const char* part :
         {"<tipoLan>IPFIX</tipoLan><lanIP>010.000.000.007</lanIP><lanMask>255.000.000.000"
          "</lanMask><lanGW>010.000.000.001</lanGW><lanDNS1>010.000.000.002</lanDNS1>"
          "<lanDNS2>000.000.000.000</lanDNS2>",
          "<proxy>2</proxy><proxy_ip></proxy_ip><proxy_porta>8080</proxy_porta>"
          "<proxy_user>&lt;op&amp;&gt;</proxy_user><proxy_senha></proxy_senha>"}) {
      QVERIFY2(request.find(part) != std::string::npos, part);
    }
    QVERIFY(request.find("usuario") == std::string::npos);
  }

  void plainEditsHoldNinetyNineCharacters() {
    TForm15& form = *forms().network;
    for (QLineEdit* field : {form.User, form.Password, form.Port, form.UserProxy, form.PassProxy}) {
      field->setEnabled(true);
      field->setText(QString(98, 'x'));
      QTest::keyClicks(field, "yz");
      QCOMPARE(field->text(), QString(98, 'x') + "y");
    }
  }
};

}  // namespace kovrad::manager::test

QTEST_MAIN(kovrad::manager::test::OperationsWindowsTest)
#include "setup_test.moc"
