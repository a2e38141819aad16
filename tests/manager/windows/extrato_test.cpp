// The extrato viewer on the offscreen platform: opened from the sale window
// on the coupon a sale returned, zoomed, saved as PDF and printed across
// pages; a coupon it cannot render is said so.
#include <QPageSize>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "sale_codec.h"
#include "widgets/tile.h"
#include "window_harness.h"
#include "windows/extrato.h"
#include "windows/sale.h"

using kovrad::test::TempDir;

namespace kovrad::manager::test {
namespace {

constexpr char kCode[] = "12345678";

std::string SignedSale() {
  return kovrad::test::ReadFile(std::string(RECEIPT_DATA) + "/cfe-venda.xml");
}

int PixmapWidth(const ExtratoView& view) {
  return view.Imagem->pixmap().width();
}

}  // namespace

class ExtratoWindowsTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<BoundDevice> bound_;
  std::unique_ptr<Windows> w_;
  std::unique_ptr<TempDir> dir_;

 private slots:
  void init() {
    dir_ = std::make_unique<TempDir>();
    bound_ = std::make_unique<BoundDevice>();
    w_ = std::make_unique<Windows>(bound_->library());
    w_->shell.session().code = kCode;
  }
  void cleanup() {
    QTRY_VERIFY(!w_->shell.worker().busy());
    w_.reset();
    bound_.reset();
    dir_.reset();
  }

  void theSaleWindowOpensTheExtratoOfTheCouponItReceived() {
    TFiscal& sale = *w_->forms.sale;
    sale.show();
    QVERIFY(!sale.VerExtrato->isEnabled());
    const std::string coupon = SignedSale();
    bound_->device().AnswerAll(kovrad::test::SaleReply(
        "000012|06000|0000|Emitido com sucesso + conteúdo notas|||",
        kovrad::test::Deflate(kovrad::test::Base64(coupon) +
                              "|20261207125233|CFe35261208723218000186599000000000000014272896|"
                              "102.20|11144477735|QRSIGN")));
    const std::string path = *dir_ / "venda.xml";
    kovrad::test::WriteFile(path, "<CFe/>");
    w_->dialogs.open_answer = QString::fromStdString(path);
    QTest::mouseClick(sale.Image5, Qt::LeftButton);
    QTest::mouseClick(sale.RadioButton1, Qt::LeftButton);
    QTest::mouseClick(sale.Image2, Qt::LeftButton);
    QTRY_VERIFY(!w_->shell.worker().busy());
    QVERIFY(sale.VerExtrato->isEnabled());

    QTest::mouseClick(sale.VerExtrato, Qt::LeftButton);
    auto* view = sale.findChild<ExtratoView*>();
    QVERIFY(view != nullptr);
    QVERIFY(view->loaded());
    QVERIFY(view->isVisible());
    QVERIFY(view->XML->toPlainText().contains("ARROZ TIPO 1 5KG"));
  }

  void zoomsSavesAPdfAndPrintsAcrossPages() {
    ExtratoView view(w_->shell, SignedSale(), nullptr);
    QVERIFY(view.loaded());
    view.SetZoom(100);
    const int full = PixmapWidth(view);
    QTest::mouseClick(view.Ampliar, Qt::LeftButton);
    QCOMPARE(view.zoomPercent(), 125);
    QCOMPARE(PixmapWidth(view), full * 5 / 4);
    view.SetZoom(10);
    QCOMPARE(view.zoomPercent(), 25);
    QVERIFY(!view.Diminuir->isEnabled());

    w_->dialogs.save_answer.clear();
    QTest::mouseClick(view.SalvarPdf, Qt::LeftButton);
    w_->dialogs.save_answer = QString::fromStdString(*dir_ / "extrato.pdf");
    QTest::mouseClick(view.SalvarPdf, Qt::LeftButton);
    QVERIFY(kovrad::test::ReadFile(*dir_ / "extrato.pdf").starts_with("%PDF"));
    QVERIFY(w_->dialogs.messages.isEmpty());

    // An extrato longer than an A6 page goes on to further pages.
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(*dir_ / "impresso.pdf"));
    printer.setPageSize(QPageSize(QPageSize::A6));
    view.PrintTo(&printer);
    const std::string printed = kovrad::test::ReadFile(*dir_ / "impresso.pdf");
    QVERIFY(printed.find("/Count 2") != std::string::npos ||
            printed.find("/Count 3") != std::string::npos);
  }

  void aCouponThatCannotBeRenderedIsSaidSo() {
    ExtratoView view(w_->shell, "<CFe><infCFe Id=\"CFe1\"/></CFe>", nullptr);
    QVERIFY(!view.loaded());
    QCOMPARE(w_->dialogs.messages.size(), 1);
    QVERIFY(w_->dialogs.messages[0].startsWith("Não foi possível montar o extrato: "));
    QVERIFY(!view.Imprimir->isEnabled());
    QVERIFY(!view.SalvarPdf->isEnabled());
  }
};

}  // namespace kovrad::manager::test

QTEST_MAIN(kovrad::manager::test::ExtratoWindowsTest)
#include "extrato_test.moc"
