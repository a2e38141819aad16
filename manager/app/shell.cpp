#include "app/shell.h"

#include "core/fault_hint.h"
#include "client/link_error.h"
#include "widgets/busy_banner.h"

namespace kovrad::manager {
namespace {

QString Elapsed(qint64 ms) {
  const qint64 seconds = ms / 1000;
  if (seconds < 60) return QString("%1 s").arg(seconds);
  return QString("%1 min %2 s").arg(seconds / 60).arg(seconds % 60, 2, 10, QChar('0'));
}

}  // namespace

Shell::Shell(client::Library& library, Dialogs& dialogs, std::function<void(int)> end_program)
    : library_(library), dialogs_(dialogs), end_program_(std::move(end_program)) {
  tick_.setInterval(1000);
  QObject::connect(&tick_, &QTimer::timeout, [this] {
    if (caller_) BusyBanner::Of(caller_)->ShowBusy(BusyText());
  });
  windows_.SetLeaveCheck([this](QWidget* window) { return MayLeave(window); });
  // Before the window's own handler, so that its messages follow a cleared banner.
  QObject::connect(&worker_, &Worker::finished, [this] { EndCall(); });
}

void Shell::BeginCall(QWidget* window, const QString& operation) {
  operation_ = operation;
  detail_.clear();
  caller_ = window;
  elapsed_.start();
  window->setCursor(Qt::BusyCursor);
  BusyBanner::Of(window)->ShowBusy(BusyText());
  tick_.start();
}

void Shell::EndCall() {
  tick_.stop();
  // The window left during its call comes back for its outcome.
  if (reopen_) Present(reopen_);
  reopen_ = nullptr;
  if (caller_) {
    caller_->unsetCursor();
    BusyBanner::Of(caller_)->Clear();
  }
  caller_ = nullptr;
}

QString Shell::BusyText() const {
  const QString text =
      QString("Aguarde: %1 em andamento (%2)").arg(operation_, Elapsed(elapsed_.elapsed()));
  return detail_.isEmpty() ? text : text + " — " + detail_;
}

std::function<void(const std::string&)> Shell::Progress() {
  // Queued to the worker object, which lives on the window thread as long
  // as its thread runs.
  return [this](const std::string& detail) {
    QMetaObject::invokeMethod(&worker_, [this, text = QString::fromStdString(detail)] {
      if (!busy()) return;
      detail_ = text;
      if (caller_) BusyBanner::Of(caller_)->ShowBusy(BusyText());
    });
  };
}

void Shell::NoticeBusy(QWidget* window) {
  if (window == caller_) return;  // its banner says it already
  BusyBanner::Of(window)->ShowNotice(BusyText() + ". Tente de novo quando terminar.");
  if (caller_ && caller_->window()->isVisible()) Present(caller_->window(), true, window);
}

bool Shell::MayLeave(QWidget* window) {
  if (!busy() || caller_.isNull() || caller_->window() != window) return true;
  const QString running =
      QString("%1 ainda está em andamento (%2).").arg(operation_, Elapsed(elapsed_.elapsed()));
  const bool leave =
      dialogs_.Ask(window,
                   running +
                       "\nFechar a janela mesmo assim? O SAT continua trabalhando e a "
                       "janela volta com a resposta quando ela chegar.",
                   "Fechar", "Continuar");
  if (leave) reopen_ = window;
  return leave;
}

bool Shell::EndProgram(int status) {
  if (busy()) {
    const QString running =
        QString("%1 ainda está em andamento (%2).").arg(operation_, Elapsed(elapsed_.elapsed()));
    if (!dialogs_.Ask(caller_, running + "\nSair mesmo assim?", "Sair", "Continuar")) {
      return false;
    }
    dialogs_.Message(caller_, "O programa será fechado, mas o SAT pode continuar trabalhando (" +
                                  operation_ + "). Não desligue o SAT até que ele termine.");
  }
  end_program_(status);
  return true;
}

void Shell::Show(QWidget* parent, const std::vector<std::string>& messages) {
  for (const std::string& m : messages) Show(parent, m);
}

void Shell::Show(QWidget* parent, const std::string& message) {
  dialogs_.Message(parent, QString::fromStdString(Explained(message)));
}

std::string Shell::Explained(const std::string& message) {
  // Under a link error's fixed text, and under the device's verdict on the
  // code, the likely cause and what to do.
  for (int32_t code : {__NOCONNECT__, __CMDUNKERROR__, __TIMEOUT__, __SEMCTS__}) {
    if (message == client::LinkErrorText(code)) return manager::WithHint(message, LinkFaultHint(code));
  }
  if (message.starts_with("Codigo: ")) return manager::WithHint(message, RefusalHint(message));
  return message;
}

}  // namespace kovrad::manager
