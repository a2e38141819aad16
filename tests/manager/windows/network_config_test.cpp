// The network window: fields that follow the mode and the proxy, and the
// document built from them.
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTest>

#include "core/network_config.h"
#include "widgets/fields.h"
#include "window_test_support.h"

namespace kovrad::manager::test {
namespace {

constexpr char kNetworkAccepted[] = "000012|12000|Rede Configurada com Sucesso||";

}  // namespace

class NetworkConfigWindowTest : public SetupFixture {
  Q_OBJECT

 private:
  static bool Enabled(QWidget* field) {
    const QLabel* caption = CaptionOf(field);
    if (caption != nullptr && caption->isEnabled() != field->isEnabled()) {
      qFatal("%s and its caption disagree", qPrintable(field->objectName()));
    }
    return field->isEnabled();
  }

 private slots:
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

namespace {
const RegisterWindowTest<NetworkConfigWindowTest> kRegistered;
}  // namespace

}  // namespace kovrad::manager::test

#include "network_config_test.moc"
