#include "windows/groupeditems.h"

#include <QFile>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>

#include "app/icons.h"
#include "app/style.h"
#include "widgets/appbar.h"
#include "widgets/tile.h"

namespace kovrad::manager {
namespace {

constexpr int kTileWidth = 70;
constexpr int kWideTileWidth = 128;
constexpr int kTileTop = 30;
constexpr int kTileStep = 78;
constexpr int kPictureSize = 40;
constexpr int kIconSize = 48;

struct GroupSpec {
  const char* name;
  const char* caption;
  QRect geometry;
};

constexpr GroupSpec kGroups[] = {
    {"Configuracao", " Configuração ", {6, 60, 242, 130}},
    {"Manutencao", " Manutenção ", {247, 60, 313, 130}},
    {"Operacao", " Operação ", {558, 60, 251, 130}},
    {"Informacoes", " Informações ", {6, 194, 803, 311}},
};

struct TileSpec {
  TGridForm::TileId id;
  TGridForm::GroupId group;
  const char* name;
  const char* caption;
  Icon icon;
  bool hidden_at_start;
};

// In the order they stand in their groups, left to right.
constexpr TileSpec kTiles[] = {
    {TGridForm::TileId::kRedeSat, TGridForm::GroupId::kConfiguracao, "RedeSAT", "Rede SAT",
     Icon::kNetwork, false},
    {TGridForm::TileId::kAtivarSat, TGridForm::GroupId::kConfiguracao, "AtivarSAT", "Ativar SAT",
     Icon::kActivate, false},
    {TGridForm::TileId::kAssinatura, TGridForm::GroupId::kConfiguracao, "Assinatura", "Assinatura",
     Icon::kSignature, true},
    {TGridForm::TileId::kAtualizarSw, TGridForm::GroupId::kManutencao, "AtualizarSW",
     "Atualizar SW", Icon::kUpdate, true},
    {TGridForm::TileId::kTeste, TGridForm::GroupId::kManutencao, "Teste", "Teste", Icon::kTest,
     true},
    {TGridForm::TileId::kTrocarCodigo, TGridForm::GroupId::kManutencao, "TrocarCodAtivacao",
     "Trocar Cód Ativação", Icon::kKey, false},
    {TGridForm::TileId::kBloqueio, TGridForm::GroupId::kOperacao, "Bloqueio", "Bloqueio",
     Icon::kLock, false},
    {TGridForm::TileId::kLogs, TGridForm::GroupId::kOperacao, "Logs", "Logs", Icon::kLogs, false},
    {TGridForm::TileId::kFiscal, TGridForm::GroupId::kOperacao, "Fiscal", "Fiscal", Icon::kFiscal,
     false},
};

constexpr int kCaptionLeft[] = {12, 295};
constexpr int kValueLeft[] = {127, 455};
constexpr int kValueWidth[] = {165, 340};
constexpr int kRowTop = 41;
constexpr int kRowStep = 22;

}  // namespace

TGridForm::TGridForm(Shell& shell) : shell_(shell) {
  setObjectName("GridForm");
  setWindowFlag(Qt::FramelessWindowHint);
  setFont(TextFont(13));
  setAutoFillBackground(true);

  auto* title = new QLabel("TRELIX Manager V.: 1.0.0.5", this);
  title->setObjectName("Title");
  title->setFont(TitleFont(41));
  title->setGeometry(12, 0, 800, 55);

  for (size_t g = 0; g < groups_.size(); ++g) {
    groups_[g] = new QGroupBox(kGroups[g].caption, this);
    groups_[g]->setObjectName(kGroups[g].name);
    groups_[g]->setGeometry(kGroups[g].geometry);
    groups_[g]->hide();
  }
  BuildTiles();
  BuildPanel();
  BuildAppBar();
}

void TGridForm::BuildTiles() {
  std::array<int, 4> next_left{};
  for (const TileSpec& entry : kTiles) {
    const auto g = static_cast<size_t>(entry.group);
    const int width = entry.id == TileId::kTrocarCodigo ? kWideTileWidth : kTileWidth;
    auto* tile =
        new Tile(entry.name, entry.caption, DrawIcon(entry.icon, kPictureSize), width, groups_[g]);
    tile->move(8 + next_left[g], kTileTop);
    next_left[g] += kTileStep;
    tile->setVisible(!entry.hidden_at_start);
    tiles_[static_cast<size_t>(entry.id)] = tile;
  }

  WindowRegistry& windows = shell_.windows();
  auto open = [&windows](Tile* tile, auto part, Window window, bool fresh = false) {
    QObject::connect(part, &ImageButton::clicked, tile,
                     [&windows, window, fresh] { windows.Open(window, fresh); });
  };
  Tile* rede = tile(TileId::kRedeSat);
  connect(rede, &Tile::panelClicked, this, [&windows] { windows.Open(Window::kNetwork); });
  open(rede, rede->picture(), Window::kNetwork);
  open(rede, rede->caption(), Window::kNetwork);
  Tile* ativar = tile(TileId::kAtivarSat);
  open(ativar, ativar->picture(), Window::kActivationChecklist);
  open(ativar, ativar->caption(), Window::kActivation);
  open(tile(TileId::kAssinatura), tile(TileId::kAssinatura)->picture(), Window::kSignature);
  open(tile(TileId::kAtualizarSw), tile(TileId::kAtualizarSw)->picture(), Window::kUpdate, true);
  Tile* teste = tile(TileId::kTeste);
  open(teste, teste->picture(), Window::kTest);
  open(teste, teste->caption(), Window::kTest);
  open(tile(TileId::kTrocarCodigo), tile(TileId::kTrocarCodigo)->picture(), Window::kCodeChange);
  open(tile(TileId::kBloqueio), tile(TileId::kBloqueio)->picture(), Window::kLock);
  Tile* fiscal = tile(TileId::kFiscal);
  open(fiscal, fiscal->picture(), Window::kSale, true);
  open(fiscal, fiscal->caption(), Window::kSale);
  open(tile(TileId::kLogs), tile(TileId::kLogs)->picture(), Window::kLog, true);
}

void TGridForm::BuildPanel() {
  QGroupBox* info = group(GroupId::kInformacoes);
  for (size_t i = 0; i < kPanelRows.size(); ++i) {
    const PanelRow& row = kPanelRows[i];
    const size_t column = i < kLeftColumnRows ? 0 : 1;
    const int top = kRowTop + kRowStep * static_cast<int>(column == 0 ? i : i - kLeftColumnRows);
    auto* caption = new QLabel(QString::fromUtf8(row.caption), info);
    caption->move(kCaptionLeft[column], top);
    auto* value = new QLabel(info);
    value->setObjectName(row.label);
    value->setGeometry(kValueLeft[column], top, kValueWidth[column], kRowStep - 2);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    value->hide();
    values_.push_back(value);
  }
  refresh_ = new ImageButton(DrawIcon(Icon::kRefresh, kIconSize), info);
  refresh_->setObjectName("RefreshImage");
  refresh_->setGeometry(739, 44, kIconSize, kIconSize);
  refresh_->setToolTip("Atualizar status");
  connect(refresh_, &ImageButton::clicked, this, [this] { StatusQuery(this, {}); });
  save_ = new ImageButton(DrawIcon(Icon::kSave, kIconSize), info);
  save_->setObjectName("SaveImage");
  save_->setGeometry(728, 104, kIconSize, kIconSize);
  save_->setToolTip("Salvar histórico de status");
  connect(save_, &ImageButton::clicked, this, &TGridForm::SaveClick);
}

void TGridForm::BuildAppBar() {
  app_bar_ = new AppBar(this, AppBar::Swipe::kHides);
  auto* row = new QHBoxLayout(app_bar_);
  start_ = new ImageButton(DrawIcon(Icon::kStart, kIconSize), app_bar_);
  start_->setObjectName("StartImage");
  start_->setToolTip("Início");
  exit_ = new ImageButton(DrawIcon(Icon::kExit, kIconSize), app_bar_);
  exit_->setObjectName("ExitImage");
  exit_->setToolTip("Sair");
  row->addWidget(start_);
  row->addStretch();
  row->addWidget(exit_);
  connect(start_, &ImageButton::clicked, this, &TGridForm::StartClick);
  connect(exit_, &ImageButton::clicked, this, [this] { shell_.EndProgram(0); });
}

void TGridForm::SetTile(TileId id, bool shown) {
  tile(id)->setVisible(shown);
}

void TGridForm::SetTileOffered(TileId id, bool offered) {
  tile(id)->setEnabled(offered);
  tile(id)->setVisible(offered);
}

void TGridForm::SetGroup(GroupId id, bool shown) {
  group(id)->setVisible(shown);
}

void TGridForm::StatusQuery(QWidget* caller, std::function<void(bool)> done) {
  Library& library = shell_.library();
  const std::string code = shell_.session().code;
  const bool started = shell_.Run<StatusOutcome>(
      caller, [&library, code] { return QueryStatus(library, code); },
      [this, caller, done](StatusOutcome outcome) {
        const bool ok = ApplyStatus(caller, outcome);
        if (done) done(ok);
      });
  if (!started && done) done(false);
}

bool TGridForm::ApplyStatus(QWidget* caller, const StatusOutcome& outcome) {
  if (outcome.kind != StatusOutcome::Kind::kSuccess) {
    shell_.Show(caller, outcome.message);
    if (outcome.code_invalid) {
      shell_.session().code.clear();
      SetGroup(GroupId::kOperacao, false);
      SetGroup(GroupId::kInformacoes, false);
      SetTile(TileId::kAssinatura, false);
      SetTile(TileId::kTeste, false);
      SetTile(TileId::kAtualizarSw, false);
    }
    return false;
  }
  if (shell_.session().kit_mode) {
    SetTileOffered(TileId::kAssinatura, false);
  } else {
    SetTileOffered(TileId::kAssinatura, true);
    tile(TileId::kAtivarSat)->setEnabled(true);
  }
  SetTile(TileId::kFiscal, true);
  SetTile(TileId::kBloqueio, true);
  for (QGroupBox* g : groups_) g->show();
  SetTile(TileId::kTeste, true);
  SetTile(TileId::kAtualizarSw, true);
  history_.Append(outcome.reply);
  FillPanel(outcome.reply);
  return true;
}

void TGridForm::FillPanel(const std::string& reply) {
  const StatusReply fields = ReadStatusReply(reply);
  for (size_t i = 0; i < kPanelRows.size(); ++i) {
    if (auto value = PanelValue(kPanelRows[i], fields)) {
      values_[i]->setText(QString::fromStdString(*value));
      values_[i]->setToolTip(values_[i]->text());
    }
    values_[i]->show();
  }
}

void TGridForm::StartClick() {
  for (QGroupBox* g : groups_) g->hide();
  SetTile(TileId::kAtualizarSw, false);
  SetTile(TileId::kTeste, false);
  SetTile(TileId::kAtivarSat, true);
  shell_.windows().Open(Window::kStartUp);
}

void TGridForm::SaveClick() {
  const QString file = shell_.dialogs().SaveFileName(this, "Salvar histórico de status",
                                                     "Texto (*.txt);;Todos os arquivos (*)");
  if (file.isEmpty()) return;
  std::string problem;
  if (!history_.Save(QFile::encodeName(file).toStdString(), &problem)) shell_.Show(this, problem);
}

void TGridForm::OfferNotActivated() {
  SetTileOffered(TileId::kTrocarCodigo, false);
  SetGroup(GroupId::kManutencao, false);
  SetGroup(GroupId::kConfiguracao, true);
  SetGroup(GroupId::kOperacao, true);
  for (TileId id : {TileId::kAtualizarSw, TileId::kTeste, TileId::kFiscal, TileId::kBloqueio}) {
    SetTile(id, false);
  }
  SetTileOffered(TileId::kAssinatura, true);
  SetTileOffered(TileId::kAtivarSat, true);
}

void TGridForm::WithdrawActivation() {
  SetTileOffered(TileId::kAtivarSat, false);
  SetTileOffered(TileId::kAssinatura, false);
}

void TGridForm::OfferMaintenance() {
  SetTileOffered(TileId::kTrocarCodigo, true);
  SetGroup(GroupId::kManutencao, true);
}

}  // namespace kovrad::manager
