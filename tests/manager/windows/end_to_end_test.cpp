// The end-to-end test window: its test sale, and the one call each choice
// runs.
#include <QRadioButton>
#include <QTest>
#include <QXmlStreamReader>

#include "core/end_to_end.h"
#include "window_test_support.h"

namespace kovrad::manager::test {

class EndToEndWindowTest : public SaleFixture {
  Q_OBJECT

 private slots:
  void theTestSaleIsWellFormedWithOneBlankBetweenTags() {
    const std::string_view sale(kTestSale);
    QCOMPARE(sale.size(), 888u);
    QXmlStreamReader xml{QByteArray(kTestSale)};
    int elements = 0;
    while (!xml.atEnd()) {
      if (xml.readNext() == QXmlStreamReader::StartElement) ++elements;
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QCOMPARE(elements, 41);
    // Between one tag and the next there is exactly one blank.
    for (size_t at = sale.find('>'); at + 1 < sale.size(); at = sale.find('>', at + 1)) {
      const size_t next = sale.find_first_not_of(' ', at + 1);
      if (sale[next] == '<') QCOMPARE(next - at, 2u);
    }
  }

  void theRunImageDoesNothingUntilATestIsChosen() {
    QVERIFY(!test().fimafim->isChecked());
    QVERIFY(!test().RadioButton2->isChecked());
    QTest::mouseClick(test().Image1, Qt::LeftButton);
    QVERIFY(!w_->shell.worker().busy());
    QCOMPARE(Requests(), 0u);
    QVERIFY(messages().isEmpty());
  }

  void eachChoiceRunsItsOneCall() {
    w_->shell.session().code.clear();
    AnswerInTurn({"000012|09000|Emitido com sucesso|0000||", "000012|08000|SAT em operação||"});
    QTest::mouseClick(test().fimafim, Qt::LeftButton);
    Run(test().Image1);
    QTest::mouseClick(test().RadioButton2, Qt::LeftButton);
    Run(test().Image1);
    // The test sale goes byte for byte, with the empty code as an empty text.
    QCOMPARE(bound_->Requests(),
             (std::vector<std::string>{std::string("000012|TesteFimAFim||") + kTestSale,
                                       "000012|ConsultarSAT"}));
    // The library makes ConsultarSAT's whole reply its message.
    QCOMPARE(messages(), (QStringList{"Codigo: 09000.\nEmitido com sucesso" + kBlanks,
                                      "000012|08000|SAT em operação||" + kBlanks}));
  }
};

namespace {
const RegisterWindowTest<EndToEndWindowTest> kRegistered;
}  // namespace

}  // namespace kovrad::manager::test

#include "end_to_end_test.moc"
