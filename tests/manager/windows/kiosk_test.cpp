// Every window as a kiosk till without a window manager needs it: closed by
// its own button or Escape, asked first while its call runs, each action
// reached by Tab and pressed by Enter or Space, and every target large
// enough for a finger.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "app/style.h"
#include "widgets/appbar.h"
#include "widgets/close_control.h"
#include "widgets/tile.h"
#include "window_harness.h"
#include "windows/lock.h"

using kovrad::test::Answer;
using kovrad::test::Request;

namespace kovrad::manager::test {
namespace {

// The windows the operator opens from the dashboard and from each other.
constexpr Window kBordered[] = {
    Window::kUpdate,
    Window::kTest,
    Window::kActivationChecklist,
    Window::kCertificateRequest,
    Window::kLock,
    Window::kMessage,
    Window::kLog,
    Window::kSale,
    Window::kNetwork,
    Window::kActivation,
    Window::kSignature,
    Window::kCodeChange,
};

// What the operator can act on in `window`: shown and enabled.
QList<QWidget*> Actions(QWidget* window) {
  QList<QWidget*> actions;
  for (QWidget* w : window->findChildren<QWidget*>()) {
    // An editable list's own line is the list's.
    const bool field = qobject_cast<QLineEdit*>(w) != nullptr &&
                       qobject_cast<QComboBox*>(w->parentWidget()) == nullptr;
    const bool action = qobject_cast<QAbstractButton*>(w) != nullptr ||
                        qobject_cast<ImageButton*>(w) != nullptr || field ||
                        qobject_cast<QComboBox*>(w) != nullptr;
    if (action && w->isVisibleTo(window) && w->isEnabled()) actions << w;
  }
  return actions;
}

}  // namespace

class KioskWindowsTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<BoundDevice> bound_;
  std::unique_ptr<Windows> w_;

  QWidget* Find(Window id) { return w_->shell.windows().Find(id); }

  void OpenAndFocus(QWidget* window) {
    QVERIFY(QTest::qWaitForWindowExposed(window));
    window->activateWindow();
    QTRY_VERIFY(window->isActiveWindow());
  }

 private slots:
  void initTestCase() { ApplyStyle(*qApp); }

  void init() {
    bound_ = std::make_unique<BoundDevice>();
    w_ = std::make_unique<Windows>(bound_->library());
    w_->shell.session().code = "12345678";
    w_->startup->hide();
  }

  void cleanup() {
    w_.reset();
    bound_.reset();
  }

  void everyWindowClosesWithEscapeAndWithItsButton() {
    for (Window id : kBordered) {
      QWidget* window = Find(id);
      QVERIFY(w_->shell.windows().Open(id));
      OpenAndFocus(window);
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
      QVERIFY2(!window->isVisible(), qPrintable(window->objectName()));

      QVERIFY(w_->shell.windows().Open(id));
      QPushButton* close = CloseControl::Of(window)->button();
      QVERIFY(close->isVisible());
      QTest::mouseClick(close, Qt::LeftButton);
      QVERIFY2(!window->isVisible(), qPrintable(window->objectName()));
    }
    // The start-up dialog too, and its close check still runs.
    QVERIFY(w_->shell.windows().Open(Window::kStartUp));
    QTest::mouseClick(CloseControl::Of(w_->startup)->button(), Qt::LeftButton);
    QVERIFY(!w_->startup->isVisible());
    QVERIFY(w_->exits.empty());
  }

  void aWindowOpensCentredOverItsOpener() {
    w_->grid.setGeometry(40, 30, 700, 520);  // within the 800x600 offscreen screen
    QVERIFY(w_->shell.windows().Open(Window::kLock, false, &w_->grid));
    const QPoint offset =
        Find(Window::kLock)->frameGeometry().center() - w_->grid.frameGeometry().center();
    QWidget* lock = Find(Window::kLock);
    QVERIFY2(offset.manhattanLength() <= 2,
             qPrintable(QString("%1,%2 %3x%4 over %5,%6 %7x%8")
                            .arg(lock->frameGeometry().x())
                            .arg(lock->frameGeometry().y())
                            .arg(lock->frameGeometry().width())
                            .arg(lock->frameGeometry().height())
                            .arg(w_->grid.frameGeometry().x())
                            .arg(w_->grid.frameGeometry().y())
                            .arg(w_->grid.frameGeometry().width())
                            .arg(w_->grid.frameGeometry().height())));
  }

  // The window of a call under way: the operator is asked before it closes;
  // one left anyway comes back when the call ends, with its message.
  void leavingDuringACallAsksAndTheOutcomeBringsTheWindowBack() {
    QWidget* update = Find(Window::kUpdate);
    QVERIFY(w_->shell.windows().Open(Window::kUpdate));
    OpenAndFocus(update);
    bound_->device().OnRequest([](const Request&) {
      Answer a = Answer::Text("000012|14000|Software Atualizado com Sucesso||");
      a.chunks.front().pause_ms = 800;
      return a;
    });
    QTest::mouseClick(update->findChild<ImageButton*>("Image2"), Qt::LeftButton);
    QVERIFY(w_->shell.busy());
    update->close();
    QCOMPARE(w_->dialogs.questions.size(), 1);
    QVERIFY(w_->dialogs.questions[0].startsWith("Atualização do software ainda está em andamento"));
    QVERIFY(update->isVisible());

    w_->dialogs.leave = true;
    QTest::keyClick(update, Qt::Key_Escape);
    QVERIFY(!update->isVisible());
    QTRY_VERIFY(!w_->shell.busy());
    QVERIFY(update->isVisible());
    QCOMPARE(w_->dialogs.messages.size(), 1);

    // Without a call, nothing is asked.
    update->close();
    QCOMPARE(w_->dialogs.questions.size(), 2);
  }

  void tabReachesEveryActionOfEveryWindow() {
    std::vector<Window> ids{Window::kMain};
    ids.insert(ids.end(), std::begin(kBordered), std::end(kBordered));
    for (Window id : ids) {
      QWidget* window = Find(id);
      QVERIFY(w_->shell.windows().Open(id));
      OpenAndFocus(window);
      QList<QWidget*> unreached = Actions(window);
      QVERIFY(!unreached.isEmpty());
      for (int press = 0; press < 3 * unreached.size() + 10 && !unreached.isEmpty(); ++press) {
        QWidget* focus = QApplication::focusWidget();
        // Tab reaches a group of radio buttons once; the arrows choose in it.
        if (qobject_cast<QRadioButton*>(focus) != nullptr) {
          unreached.removeIf([focus](QWidget* w) {
            return qobject_cast<QRadioButton*>(w) != nullptr &&
                   w->parentWidget() == focus->parentWidget();
          });
        }
        unreached.removeAll(focus);
        QTest::keyClick(focus, Qt::Key_Tab);
      }
      QStringList names;
      for (QWidget* w : unreached) names << w->objectName() + " " + w->metaObject()->className();
      QVERIFY2(unreached.isEmpty(), qPrintable(window->objectName() + ": " + names.join(", ")));
      if (id != Window::kMain) window->close();
    }
  }

  void enterAndSpacePressAFocusedImage() {
    QWidget* lock = Find(Window::kLock);
    QVERIFY(w_->shell.windows().Open(Window::kLock));
    OpenAndFocus(lock);
    auto* image = lock->findChild<ImageButton*>("Image2");
    image->setFocus();
    QTest::keyClick(image, Qt::Key_Space);
    QTest::keyClick(image, Qt::Key_Return);
    QCOMPARE(w_->dialogs.questions, (QStringList{kAskLock, kAskLock}));
  }

  void everyTargetTakesAFinger() {
    for (Window id : kBordered) {
      QWidget* window = Find(id);
      QVERIFY(w_->shell.windows().Open(id));
      QVERIFY(QTest::qWaitForWindowExposed(window));
      for (QWidget* w : Actions(window)) {
        if (qobject_cast<ImageButton*>(w) != nullptr) continue;  // pictures, 48 px and up
        QVERIFY2(w->height() >= kTouchTarget && w->width() >= kTouchTarget,
                 qPrintable(window->objectName() + "/" + w->objectName() + " " +
                            w->metaObject()->className() +
                            QString(" %1x%2").arg(w->width()).arg(w->height())));
      }
      window->close();
    }
  }

  void theMenuButtonShowsTheAppBarWithoutAGesture() {
    QVERIFY(QTest::qWaitForWindowExposed(&w_->grid));
    AppBar* bar = w_->grid.appBar();
    QVERIFY(bar->isHidden());
    QVERIFY(bar->handle()->isVisible());
    QTest::mouseClick(bar->handle(), Qt::LeftButton);
    QVERIFY(bar->isVisible());
    QVERIFY(!bar->handle()->isVisible());
    QTest::keyClick(&w_->grid, Qt::Key_Escape);
    QVERIFY(bar->isHidden());
    QVERIFY(bar->handle()->isVisible());
  }
};

}  // namespace kovrad::manager::test

QTEST_MAIN(kovrad::manager::test::KioskWindowsTest)
#include "kiosk_test.moc"
