// The signature association window: the two numbers checked, the signature
// sent on one line.
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

#include "core/association.h"
#include "core/checks.h"
#include "window_test_support.h"

namespace kovrad::manager::test {
namespace {

constexpr char kSoftwareHouse[] = "16.716.114/0001-72";

}  // namespace

class AssociationWindowTest : public SetupFixture {
  Q_OBJECT

 private:
  void TypeAssociation(const QString& taxpayer, const QString& software_house,
                       const QString& signature) {
    TForm17& form = *forms().signature;
    form.CNPJContribuinte->setText(taxpayer);
    form.CNPJSW->setText(software_house);
    form.assinatura->setText(signature);
  }

 private slots:
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
};

namespace {
const RegisterWindowTest<AssociationWindowTest> kRegistered;
}  // namespace

}  // namespace kovrad::manager::test

#include "association_test.moc"
