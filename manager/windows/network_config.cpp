#include "windows/network_config.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/icons.h"
#include "app/shell.h"
#include "core/address_checks.h"
#include "core/network_config.h"
#include "widgets/fields.h"
#include "widgets/tile.h"

namespace kovrad::manager {

TForm15::TForm15(Shell& shell)
    : dhcp(new QRadioButton("DHCP", this)),
      IPFix(new QRadioButton("IP Fixo", this)),
      User(LimitedField("User", this)),
      Password(LimitedField("Password", this)),
      IPSat(AddressField("IPSat", this)),
      Mask(AddressField("Mask", this)),
      Gateway(AddressField("Gateway", this)),
      DNS1(AddressField("DNS1", this)),
      DNS2(AddressField("DNS2", this)),
      ComboBox1(new QComboBox(this)),
      IPProxy(AddressField("IPProxy", this)),
      Port(LimitedField("Port", this)),
      UserProxy(LimitedField("UserProxy", this)),
      PassProxy(LimitedField("PassProxy", this)),
      Image3(new ImageButton(DrawIcon(Icon::kSend, 48), this)),
      Label1(new QLabel("XML Configuração", this)),
      Memo1(new QPlainTextEdit(this)),
      shell_(shell) {
  setObjectName("Form15");
  setWindowFlag(Qt::Window);
  setWindowTitle("Rede");
  resize(720, 560);

  auto* kind = new QGroupBox("Tipo Rede", this);
  dhcp->setParent(kind);
  dhcp->setObjectName("dhcp");
  dhcp->setChecked(true);
  IPFix->setParent(kind);
  IPFix->setObjectName("IPFix");
  auto* kinds = new QHBoxLayout(kind);
  kinds->addWidget(dhcp);
  kinds->addWidget(IPFix);
  kinds->addStretch();

  ComboBox1->setObjectName("ComboBox1");
  ComboBox1->setEditable(true);
  ComboBox1->setInsertPolicy(QComboBox::NoInsert);
  ComboBox1->addItems({"Sem Proxy", "Proxy Autenticado", "Proyx Transparente"});
  ComboBox1->setCurrentIndex(0);
  Image3->setObjectName("Image3");
  Image3->setToolTip("Enviar");
  Label1->setObjectName("Label1");
  Memo1->setObjectName("Memo1");
  Memo1->setReadOnly(true);
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

  auto* lan = new QFormLayout;
  AddRow(lan, "Usuário", User);
  AddRow(lan, "Senha", Password);
  AddRow(lan, "IP SAT", IPSat);
  AddRow(lan, "Máscara", Mask);
  AddRow(lan, "Gateway", Gateway);
  AddRow(lan, "DNS1", DNS1);
  AddRow(lan, "DNS2", DNS2);
  auto* proxy = new QFormLayout;
  proxy->addRow(ComboBox1);
  AddRow(proxy, "IP Proxy", IPProxy);
  AddRow(proxy, "Porta", Port);
  AddRow(proxy, "Usuário", UserProxy);
  AddRow(proxy, "Senha", PassProxy);

  auto* columns = new QGridLayout;
  columns->addWidget(kind, 0, 0, 1, 2);
  columns->addLayout(lan, 1, 0, Qt::AlignTop);
  columns->addLayout(proxy, 1, 1, Qt::AlignTop);
  columns->addWidget(Image3, 2, 1, Qt::AlignRight);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(columns);
  layout->addWidget(Label1);
  layout->addWidget(Memo1, 1);

  SetEnabled(
      {User, Password, IPSat, Mask, Gateway, DNS1, DNS2, IPProxy, Port, UserProxy, PassProxy},
      false);

  connect(dhcp, &QRadioButton::toggled, this, [this](bool on) {
    if (on) dhcpClick();
  });
  connect(IPFix, &QRadioButton::toggled, this, [this](bool on) {
    if (on) IPFixClick();
  });
  connect(ComboBox1, &QComboBox::currentTextChanged, this, &TForm15::ComboBox1Change);
  connect(Image3, &ImageButton::clicked, this, &TForm15::Image3Click);
}

void TForm15::SetEnabled(std::initializer_list<QWidget*> fields, bool enabled) {
  for (QWidget* field : fields) {
    field->setEnabled(enabled);
    if (QLabel* caption = CaptionOf(field)) caption->setEnabled(enabled);
  }
}

int TForm15::ProxyIndex() const {
  return ComboBox1->findText(ComboBox1->currentText(), Qt::MatchExactly | Qt::MatchCaseSensitive);
}

void TForm15::dhcpClick() {
  SetEnabled({User, Password}, true);
  SetEnabled({IPSat, Mask, Gateway, DNS1, DNS2}, false);
}

void TForm15::IPFixClick() {
  if (dhcp->isChecked()) return;
  SetEnabled({User, Password}, false);
  SetEnabled({IPSat, Mask, Gateway, DNS1, DNS2}, true);
}

void TForm15::ComboBox1Change() {
  const int index = ProxyIndex();
  if (index >= 0) SetEnabled({IPProxy, Port, UserProxy, PassProxy}, index > 0);
}

void TForm15::Image3Click() {
  NetworkSettings settings;
  settings.dhcp = dhcp->isChecked();
  settings.user = User->text().toStdString();
  settings.password = Password->text().toStdString();
  const QLineEdit* addresses[] = {IPSat, Mask, Gateway, DNS1, DNS2};
  for (size_t i = 0; i < settings.addresses.size(); ++i) {
    settings.addresses[i] = addresses[i]->text().toStdString();
  }
  settings.proxy = ProxyIndex();
  settings.proxy_address = IPProxy->text().toStdString();
  settings.proxy_port = Port->text().toStdString();
  settings.proxy_user = UserProxy->text().toStdString();
  settings.proxy_password = PassProxy->text().toStdString();
  if (auto refusal = CheckFixedAddresses(settings)) {
    shell_.Show(this, *refusal);
    return;
  }
  const std::string document = NetworkDocument(settings);

  client::Library& library = shell_.library();
  const std::string code = shell_.session().CodeOrPreset();
  shell_.Run<NetworkOutcome>(
      this, "Configuração da rede",
      [&library, code, document] { return ConfigureNetwork(library, code, document); },
      [this, document](NetworkOutcome outcome) {
        if (outcome.accepted) {
          // One entry per document; its final line feed would only add an
          // empty line.
          QString entry = QString::fromStdString(document);
          if (entry.endsWith('\n')) entry.chop(1);
          Memo1->appendPlainText(entry);
        }
        shell_.Show(this, outcome.message);
      });
}

}  // namespace kovrad::manager
