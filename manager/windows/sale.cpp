#include "windows/sale.h"

#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/icons.h"
#include "app/shell.h"
#include "client/text.h"
#include "widgets/close_control.h"
#include "widgets/fields.h"
#include "widgets/tile.h"
#include "windows/extrato.h"

namespace kovrad::manager {
namespace {

constexpr int kImageSize = 56;

ImageButton* Image(Icon icon, const char* name, const char* tip, QWidget* parent) {
  auto* image = new ImageButton(DrawIcon(icon, kImageSize), parent);
  image->setObjectName(name);
  image->setToolTip(tip);
  return image;
}

QPlainTextEdit* Memo(const char* name, QWidget* parent) {
  auto* memo = new QPlainTextEdit(parent);
  memo->setObjectName(name);
  return memo;
}

QString Shown(std::string_view bytes) {
  return QString::fromStdString(client::DecodeReply(bytes));
}

}  // namespace

TFiscal::TFiscal(Shell& shell) : shell_(shell) {
  setObjectName("Fiscal");
  setWindowFlag(Qt::Window);
  setWindowTitle("Fiscal");
  resize(900, 640);

  auto* operation = new QGroupBox(" Operação ", this);
  RadioButton1 = new QRadioButton("Vender", operation);
  RadioButton1->setObjectName("RadioButton1");
  RadioButton1->setChecked(true);
  RadioButton2 = new QRadioButton("Cancelar Venda", operation);
  RadioButton2->setObjectName("RadioButton2");
  auto* choice = new QHBoxLayout(operation);
  choice->addWidget(RadioButton1);
  choice->addWidget(RadioButton2);

  Image5 = Image(Icon::kOpen, "Image5", "Carregar XML de entrada", this);
  Image2 = Image(Icon::kSend, "Image2", "Enviar ao SAT", this);
  Image4 = Image(Icon::kSave, "Image4", "Salvar XML de saída", this);

  XMLEntrada = Memo("XMLEntrada", this);
  XMLEntrada->setLineWrapMode(QPlainTextEdit::NoWrap);
  XMLEntrada->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  XMLEntrada->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1 = Memo("Memo1", this);
  XMLSaida = Memo("XMLSaida", this);
  VerExtrato = new QPushButton("Ver extrato", this);
  VerExtrato->setObjectName("VerExtrato");
  VerExtrato->setEnabled(false);

  auto* top = new QHBoxLayout;
  top->addWidget(operation);
  top->addStretch();
  for (ImageButton* image : {Image5, Image2, Image4}) top->addWidget(image);

  auto* texts = new QGridLayout;
  texts->addWidget(new QLabel("XML Entrada", this), 0, 0);
  texts->addWidget(new QLabel("Resposta SAT", this), 0, 1);
  texts->addWidget(XMLEntrada, 1, 0);
  texts->addWidget(Memo1, 1, 1);
  texts->setColumnStretch(0, 3);
  texts->setColumnStretch(1, 2);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(texts, 3);
  auto* output = new QHBoxLayout;
  output->addWidget(new QLabel("XML Saída", this));
  output->addStretch();
  output->addWidget(VerExtrato);
  layout->addLayout(output);
  layout->addWidget(XMLSaida, 2);

  connect(Image5, &ImageButton::clicked, this, &TFiscal::Image5Click);
  connect(Image2, &ImageButton::clicked, this, &TFiscal::Image2Click);
  connect(Image4, &ImageButton::clicked, this, &TFiscal::Image4Click);
  connect(VerExtrato, &QPushButton::clicked, this, &TFiscal::ShowExtrato);
}

void TFiscal::ClearTexts() {
  XMLEntrada->clear();
  Memo1->clear();
  XMLSaida->clear();
}

void TFiscal::Image5Click() {
  // Unloaded before the dialog opens: a cancelled choice leaves no document.
  document_.Clear();
  const QString file = shell_.dialogs().OpenFileName(this, "Carregar XML de entrada", QString());
  // Without a window manager nobody hands the keyboard back after the dialog.
  activateWindow();
  if (file.isEmpty()) return;
  const std::string path = QFile::encodeName(file).toStdString();
  const InputDocument::Load result = document_.LoadFile(path);
  if (result == InputDocument::Load::kLoaded) {
    // Only the last file loaded is sent: only it is shown.
    XMLEntrada->setPlainText(Shown(document_.text()));
    return;
  }
  // What is on screen would no longer be what a send uses.
  XMLEntrada->clear();
  if (auto refusal = LoadRefusal(result, file.toStdString(), document_.error())) {
    shell_.Show(this, *refusal);
  }
}

void TFiscal::Image2Click() {
  if (unsettled_) {
    AskAgainForUnsettled();
    return;
  }
  if (document_.empty()) {
    shell_.Show(this, kMsgNoDocument);
    return;
  }
  if (RadioButton1->isChecked()) {
    Sale();
  } else {
    Cancellation();
  }
}

void TFiscal::Sale() {
  client::Library& library = shell_.library();
  const std::string code = shell_.session().code;
  std::string copy(document_.text());
  const bool started = shell_.Run<SendOutcome>(
      this, "Venda",
      [&library, code, copy = std::move(copy), sessions = sessions_]() mutable {
        return Sell(library, code, std::move(copy), sessions);
      },
      [this](SendOutcome outcome) {
        Keep("EnviarDadosVenda", outcome);
        ShowOutcome(outcome);
      });
  if (started) ShowSent();
}

void TFiscal::Cancellation() {
  client::Library& library = shell_.library();
  const std::string code = shell_.session().code;
  document_.PatchKey(key_);
  const bool started = shell_.Run<SendOutcome>(
      this, "Cancelamento",
      [&library, code, key = key_, document = std::string(document_.text()), sessions = sessions_] {
        return Cancel(library, code, key, document, sessions);
      },
      [this](SendOutcome outcome) {
        Keep("CancelarUltimaVenda", outcome);
        ShowOutcome(outcome);
      });
  if (started) ShowSent();
}

void TFiscal::AskAgainForUnsettled() {
  client::Library& library = shell_.library();
  const std::string code = shell_.session().code;
  const Unsettled send = *unsettled_;
  const bool started = shell_.Run<SendOutcome>(
      this, "Consulta da sessão " + QString::number(send.session),
      [&library, code, send, sessions = sessions_] {
        return AskAgain(library, code, send, sessions);
      },
      [this, send](SendOutcome outcome) {
        unsettled_.reset();
        Keep(send.function, outcome);
        ShowOutcome(outcome);
      });
  if (started) {
    Memo1->clear();
    XMLSaida->clear();
    coupon_.clear();
    VerExtrato->setEnabled(false);
  }
}

void TFiscal::Keep(const std::string& function, const SendOutcome& outcome) {
  if (outcome.key) key_ = *outcome.key;
  if (outcome.fate == client::SaleFate::kUnknown) unsettled_ = Unsettled{function, outcome.session};
}

void TFiscal::ShowSent() {
  ClearTexts();
  coupon_.clear();
  VerExtrato->setEnabled(false);
  XMLEntrada->appendPlainText(Shown(document_.text()));
}

void TFiscal::ShowOutcome(const SendOutcome& outcome) {
  Memo1->appendPlainText(Shown(outcome.reply));
  // The coupon stands on screen while the operator reads what happened.
  if (outcome.coupon) XMLSaida->appendPlainText(Shown(*outcome.coupon));
  coupon_ = outcome.coupon.value_or("");
  VerExtrato->setEnabled(!coupon_.empty());
  shell_.Show(this, outcome.messages);
  TakeFocus();
}

void TFiscal::ShowExtrato() {
  // One extrato at a time, in place of the last, so that none piles up.
  if (extrato_) extrato_->close();
  extrato_ = new ExtratoView(shell_, coupon_, this);
  CloseControl::Install(extrato_, {});
  Present(extrato_, true, this);
}

void TFiscal::Image4Click() {
  if (XMLSaida->toPlainText().isEmpty()) {
    shell_.Show(this, kMsgNothingToSave);
  } else {
    const QString file = shell_.dialogs().SaveFileName(this, "Salvar XML de saída", QString());
    if (!file.isEmpty()) SaveToFile(shell_, this, file, MemoLines(*XMLSaida, "\r\n"));
  }
  TakeFocus();
}

void TFiscal::TakeFocus() {
  activateWindow();
  setFocus();
}

}  // namespace kovrad::manager
