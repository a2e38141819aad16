// Renders every window of the manager to PNG files for review: the start-up
// dialog, the dashboard filled from the device that the library finds, the
// code-change windows, and the set-up, log, sale, test and update windows
// after real calls.
// Usage: ativacao_screenshots DIR [CODE]
#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <cstdio>

#include "app/dialogs.h"
#include "app/shell.h"
#include "app/style.h"
#include "client/link_error.h"
#include "core/address_checks.h"
#include "core/fault_hint.h"
#include "core/port_fault.h"
#include "core/replies.h"
#include "forms.h"
#include "widgets/appbar.h"
#include "widgets/tile.h"

namespace {

using namespace kovrad::manager;

const QSize kScreen(1024, 680);

// Nobody answers dialogs here: messages go to standard error, and a file to
// open is the one chosen beforehand.
class PrintingDialogs : public Dialogs {
 public:
  QString open_answer;

  void Message(QWidget*, const QString& text) override {
    std::fprintf(stderr, "message: %s\n", qPrintable(text));
  }
  QString SaveFileName(QWidget*, const QString&, const QString&) override { return {}; }
  QString OpenFileName(QWidget*, const QString&, const QString&) override { return open_answer; }
  bool Ask(QWidget*, const QString&, const QString&, const QString&) override { return true; }
};

bool Save(QWidget* window, const QDir& dir, const QString& name) {
  const QString file = dir.filePath(name);
  if (!window->grab().save(file)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
    return false;
  }
  std::printf("%s\n", qPrintable(file));
  return true;
}

void ShowAt(QWidget* window) {
  window->resize(kScreen);
  window->show();
}

// Lets the library call under way finish (two minutes at the most).
void WaitForDevice(Shell& shell) {
  const QDeadlineTimer deadline(120000);
  while (shell.worker().busy() && !deadline.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
  }
}

// Clicks `image` and lets the library call it starts finish.
void ClickAndWait(Shell& shell, ImageButton* image) {
  emit image->clicked();
  WaitForDevice(shell);
}

}  // namespace

// The network window's refusal of the fixed address "1".
std::string UnusableAddress() {
  NetworkSettings settings;
  settings.dhcp = false;
  settings.addresses = {"1  .   .   .   ", "255.255.255.  0", "192.168.  0.  1", "  8.  8.  8.  8",
                        "   .   .   .   "};
  return CheckFixedAddresses(settings).value_or("");
}

// The port message with what was found on the computer, whatever this one
// shows now.
std::string NoPort(const PortFinding& finding) {
  return WithHint(kovrad::client::LinkErrorText(__NOCONNECT__), PortHint(finding));
}

// Each fault's message box as the operator reads it.
bool SaveFaults(QWidget& over, const QDir& dir) {
  const std::pair<const char*, std::string> faults[] = {
      {"falha-sem-porta", NoPort({PortFinding::Fault::kNoDevice, "", ""})},
      {"falha-porta-em-uso",
       NoPort({PortFinding::Fault::kHeld, "/dev/ttyACM0", "satcli (pid 4242)"})},
      {"falha-porta-permissao", NoPort({PortFinding::Fault::kPermission, "/dev/ttyACM0", ""})},
      {"falha-comando-desconhecido", kovrad::client::LinkErrorText(__CMDUNKERROR__)},
      {"falha-sat-mudo", kovrad::client::LinkErrorText(__TIMEOUT__)},
      {"falha-sem-cts", kovrad::client::LinkErrorText(__SEMCTS__)},
      {"falha-status-sat-mudo", WithHint(kMsgPortFailure, StatusFailureHint("Timeout"))},
      {"falha-status-porta",
       WithHint(kMsgPortFailure,
                PortHint({PortFinding::Fault::kHeld, "/dev/ttyACM0", "satcli (pid 4242)"}))},
      {"falha-codigo-errado", "Codigo: 18001.\nCódigo de ativação inválido"},
      {"falha-nao-ativado", "Codigo: 06001.\nSAT ainda não ativado"},
      {"falha-rede-endereco", UnusableAddress()},
  };
  bool ok = true;
  for (const auto& [name, text] : faults) {
    QMessageBox box(QMessageBox::Information, QApplication::applicationName(),
                    QString::fromStdString(Shell::Explained(text)), QMessageBox::Ok, &over);
    box.show();
    QApplication::processEvents();
    ok = Save(&box, dir, QString(name) + ".png") && ok;
  }
  return ok;
}

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s DIR [CODE]\n", argv[0]);
    return 2;
  }
  QDir dir(QString::fromLocal8Bit(argv[1]));
  if (!dir.mkpath(".")) {
    std::fprintf(stderr, "cannot create %s\n", argv[1]);
    return 1;
  }
  ApplyStyle(app);
  QApplication::setApplicationName("Torva Trelix Manager");

  kovrad::client::Library library;
  PrintingDialogs dialogs;
  Shell shell(library, dialogs, [](int) {});
  Forms forms(shell);
  TGridForm& grid = *forms.grid;
  ShowAt(&grid);

  TOKRightDlg2* startup = forms.startup;
  startup->codATV->setText(QString::fromLocal8Bit(argc > 2 ? argv[2] : "12345678"));
  bool ok = Save(startup, dir, "1-inicio.png");
  startup->Button1->click();
  WaitForDevice(shell);
  if (startup->isVisible()) {
    std::fprintf(stderr, "the device did not answer the status query with success\n");
    return 1;
  }
  ok = Save(&grid, dir, "2-painel.png") && ok;
  grid.appBar()->show();
  ok = Save(&grid, dir, "3-painel-barra.png") && ok;

  TForm18& bordered = *forms.code_change;
  for (QLineEdit* field : {bordered.Codigo, bordered.ncod, bordered.ncodconf}) {
    field->setText("12345678");
  }
  bordered.show();
  ok = Save(&bordered, dir, "4-trocar-codigo.png") && ok;

  TForm8& full_screen = *forms.code_change_full_screen;
  ShowAt(&full_screen);
  full_screen.appBar()->show();
  ok = Save(&full_screen, dir, "5-trocar-codigo-tela-cheia.png") && ok;

  TForm14& log = *forms.log;
  log.show();
  ClickAndWait(shell, log.Image1);
  ok = Save(&log, dir, "6-logs.png") && ok;

  ok = Save(forms.activation_checklist.get(), dir, "7-checklist-ativacao.png") && ok;
  TForm16& activation = *forms.activation;
  activation.CNPJContribuinte->setText("08723218000186");
  activation.CodAtv->setText("12345678");
  activation.CodAtv2->setText("12345678");
  activation.show();
  ok = Save(&activation, dir, "8-ativar.png") && ok;
  // The device is active already: its refusal fills the message window.
  ClickAndWait(shell, activation.Image2);
  ok = Save(forms.message.get(), dir, "9-mensagem.png") && ok;
  TForm11& requests = *forms.certificate_request;
  requests.AddRequest(
      "-----BEGIN CERTIFICATE REQUEST-----\nMIIBszCCARwCAQAwczELMAkGA1UEBhMCQlIxCzAJBgNVBAgMAlNQ\n"
      "-----END CERTIFICATE REQUEST-----");
  ok = Save(&requests, dir, "10-csr.png") && ok;

  TForm17& signature = *forms.signature;
  signature.CNPJContribuinte->setText("08723218000186");
  signature.CNPJSW->setText("16716114000172");
  signature.assinatura->setText("SGR-SAT SISTEMA DE GESTAO E RETAGUARDA DO SAT");
  signature.show();
  ok = Save(&signature, dir, "11-assinatura.png") && ok;

  TForm15& network = *forms.network;
  network.show();
  ok = Save(&network, dir, "12-rede.png") && ok;
  network.IPFix->click();
  network.IPSat->setText("192.168.1.10");
  network.Mask->setText("255.255.255.0");
  network.Gateway->setText("192.168.1.1");
  network.DNS1->setText("8.8.8.8");
  network.ComboBox1->setCurrentIndex(1);
  network.IPProxy->setText("10.0.0.1");
  network.Port->setText("3128");
  network.UserProxy->setText("operador");
  ClickAndWait(shell, network.Image3);
  ok = Save(&network, dir, "13-rede-ip-fixo.png") && ok;

  // The emulator's sample sale, from the source tree (scripts/screenshots
  // runs from its top).
  TFiscal& sale = *forms.sale;
  sale.show();
  dialogs.open_answer = "emulator/samples/venda.xml";
  emit sale.Image5->clicked();
  ClickAndWait(shell, sale.Image2);
  ok = Save(&sale, dir, "14-fiscal.png") && ok;

  TForm7& test = *forms.test;
  test.show();
  test.fimafim->click();
  ClickAndWait(shell, test.Image1);
  ok = Save(&test, dir, "15-testes.png") && ok;

  TForm12& lock = *forms.lock;
  lock.show();
  ok = Save(&lock, dir, "16-bloqueio.png") && ok;

  TForm6& update = *forms.update;
  update.show();
  ClickAndWait(shell, update.Image2);
  ok = Save(&update, dir, "17-atualizar.png") && ok;
  return SaveFaults(grid, dir) && ok ? 0 : 1;
}
