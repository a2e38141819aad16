// The message window: a device's answer, and the log opened from it.
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "window_test_support.h"

namespace kovrad::manager::test {

class MessageWindowTest : public SetupFixture {
  Q_OBJECT

 private slots:
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
};

namespace {
const RegisterWindowTest<MessageWindowTest> kRegistered;
}  // namespace

}  // namespace kovrad::manager::test

#include "message_test.moc"
