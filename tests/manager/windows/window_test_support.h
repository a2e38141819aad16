// What the window tests share: the fixtures that set up each family of
// windows against a scripted device, their helpers, and the list of test
// classes one program runs.
#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QGroupBox>
#include <QLineEdit>
#include <QObject>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "widgets/tile.h"
#include "window_harness.h"

namespace kovrad::manager::test {

// The test classes of one program, added by each file as it is loaded and
// run in turn by the program's main.
using WindowTestFactory = std::function<std::unique_ptr<QObject>()>;

inline std::vector<WindowTestFactory>& WindowTests() {
  static std::vector<WindowTestFactory> tests;
  return tests;
}

template <class Test>
struct RegisterWindowTest {
  RegisterWindowTest() {
    WindowTests().push_back([] { return std::make_unique<Test>(); });
  }
};

inline const QString kBlanks(30, ' ');

// The start-up dialog, the dashboard and the code-change windows, with a
// device that answers every status query.
class DashboardFixture : public QObject {
  Q_OBJECT

 protected:
  using TileId = TGridForm::TileId;
  using GroupId = TGridForm::GroupId;

  std::unique_ptr<BoundDevice> bound_;
  std::unique_ptr<Windows> w_;

  bool Shown(TileId id) const { return !w_->grid.tile(id)->isHidden(); }
  bool Shown(GroupId id) const { return !w_->grid.group(id)->isHidden(); }
  QString Value(const char* label) const { return w_->value(label)->text(); }
  size_t Requests() const { return bound_->device().requests().size(); }

  // Accepts the start-up dialog in `mode` with `code` typed.
  void Accept(QRadioButton* mode, const QString& code) {
    QTest::mouseClick(mode, Qt::LeftButton);
    w_->startup->codATV->setText(code);
    QTest::mouseClick(w_->startup->Button1, Qt::LeftButton);
  }

  // Keys reach the window the operator is using.
  static void Activate(QWidget* window) {
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
  }

  // Types the three codes into a code-change window and clicks its send image.
  static void Send(CodeChangeForm& form, const QString& code, const QString& new_code,
                   const QString& confirmation) {
    form.show();
    form.Codigo->setText(code);
    form.ncod->setText(new_code);
    form.ncodconf->setText(confirmation);
    QTest::mouseClick(form.Image2, Qt::LeftButton);
  }

  // Runs a status query from the dashboard and waits for its result.
  bool Query() {
    bool result = false;
    bool finished = false;
    w_->grid.StatusQuery(&w_->grid, [&](bool ok) {
      result = ok;
      finished = true;
    });
    if (!QTest::qWaitFor([&] { return finished; }, 10000)) qFatal("status query never finished");
    return result;
  }

 private slots:
  void init() {
    bound_ = std::make_unique<BoundDevice>();
    w_ = std::make_unique<Windows>(bound_->library());
    bound_->device().AnswerAll(SampleStatusReply());
  }
  void cleanup() {
    QTRY_VERIFY(!w_->shell.worker().busy());
    w_.reset();
    bound_.reset();
  }
};

inline constexpr char kTaxpayer[] = "08.723.218/0001-86";

inline std::string LogReply(const std::string& log) {
  return "000012|15000|Transfer\xEAncia completa|||" +
         QByteArray::fromStdString(log).toBase64().toStdString();
}

inline const std::string kLog =
    "LOG SAT 900004019 2 registros\n"
    "20240315103000|SAT|INFO|COMANDO: ConsultarSAT\n"
    "20240315103100|SAT|ERRO|REDE: sem link\n";

inline QStringList Lines(const QPlainTextEdit* memo) {
  return memo->toPlainText().isEmpty() ? QStringList() : memo->toPlainText().split('\n');
}

// The windows that set a device up: log, message, checklist, activation,
// certificate request, association and network.
class SetupFixture : public QObject {
  Q_OBJECT

 protected:
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
};

// The sale, test, lock and update windows, with the activation code set and
// the sale window's session numbers kept apart from the user's.
class SaleFixture : public QObject {
  Q_OBJECT

 protected:
  static constexpr char kCode[] = "12345678";

  std::unique_ptr<BoundDevice> bound_;
  std::unique_ptr<Windows> w_;
  std::unique_ptr<kovrad::test::TempDir> dir_;
  std::unique_ptr<kovrad::test::ScopedEnv> state_;

  TFiscal& sale() { return *w_->forms.sale; }
  TForm7& test() { return *w_->forms.test; }
  TForm12& lock() { return *w_->forms.lock; }
  TForm6& update() { return *w_->forms.update; }
  QStringList& messages() { return w_->dialogs.messages; }
  size_t Requests() const { return bound_->device().requests().size(); }

  // Clicks `image` and waits for the call it starts to end.
  void Run(QWidget* image) {
    QTest::mouseClick(image, Qt::LeftButton);
    QTRY_VERIFY(!w_->shell.worker().busy());
  }

  // Answers the requests in turn with these replies, each under the
  // request's session number, as a device answers.
  void AnswerInTurn(std::vector<std::string> replies) {
    auto next = std::make_shared<size_t>(0);
    bound_->device().OnRequest([replies, next](const kovrad::test::Request& request) {
      std::string reply = replies.at(std::min((*next)++, replies.size() - 1));
      if (reply.size() > 6 && reply[6] == '|') reply.replace(0, 6, request.text().substr(0, 6));
      return kovrad::test::Answer::Text(reply);
    });
  }

 private slots:
  void init() {
    dir_ = std::make_unique<kovrad::test::TempDir>();
    // The sale window's session numbers are kept apart from the user's.
    state_ = std::make_unique<kovrad::test::ScopedEnv>("XDG_STATE_HOME", *dir_ / "state");
    bound_ = std::make_unique<BoundDevice>();
    w_ = std::make_unique<Windows>(bound_->library());
    w_->shell.session().code = kCode;
  }
  void cleanup() {
    QTRY_VERIFY(!w_->shell.worker().busy());
    w_.reset();
    bound_.reset();
    state_.reset();
    dir_.reset();
  }
};

}  // namespace kovrad::manager::test
