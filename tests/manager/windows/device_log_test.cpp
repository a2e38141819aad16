// The log window: each extraction shown as numbered lines, saved with CRLF.
#include <QPlainTextEdit>
#include <QTest>
#include <filesystem>

#include "core/device_log.h"
#include "widgets/tile.h"
#include "window_test_support.h"

namespace kovrad::manager::test {

class DeviceLogWindowTest : public SetupFixture {
  Q_OBJECT

 private slots:
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
};

namespace {
const RegisterWindowTest<DeviceLogWindowTest> kRegistered;
}  // namespace

}  // namespace kovrad::manager::test

#include "device_log_test.moc"
