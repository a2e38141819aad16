#include "windows/dashboard.h"

#include <QCloseEvent>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QResizeEvent>
#include <QScrollArea>
#include <algorithm>
#include <cmath>

#include "app/icons.h"
#include "app/style.h"
#include "widgets/appbar.h"
#include "widgets/tile.h"
#include "widgets/value_label.h"

namespace kovrad::manager {
namespace {

constexpr int kTileWidth = 70;
constexpr int kWideTileWidth = 128;
constexpr int kPictureSize = 40;
constexpr int kIconSize = 48;

struct GroupSpec {
  const char* name;
  const char* caption;
  int width;  // the groups of the top row share the screen in these shares
};

constexpr GroupSpec kGroups[] = {
    {"Configuracao", " Configuração ", 242},
    {"Manutencao", " Manutenção ", 313},
    {"Operacao", " Operação ", 251},
    {"Informacoes", " Informações ", 803},
};

// The dashboard at scale 1 fills this much; a larger window scales it up, in
// steps, up to kMaxScale.
constexpr QSize kNaturalSize(860, 600);
constexpr double kScaleStep = 0.125;
constexpr double kMaxScale = 2.5;

double ScaleFor(const QSize& size) {
  const double fit = std::min(size.width() / double(kNaturalSize.width()),
                              size.height() / double(kNaturalSize.height()));
  return std::clamp(std::floor(fit / kScaleStep) * kScaleStep, 1.0, kMaxScale);
}

void RetainSpaceWhenHidden(QWidget* widget) {
  QSizePolicy policy = widget->sizePolicy();
  policy.setRetainSizeWhenHidden(true);
  widget->setSizePolicy(policy);
}

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

}  // namespace

TGridForm::TGridForm(Shell& shell) : shell_(shell) {
  setObjectName("GridForm");
  setWindowFlag(Qt::FramelessWindowHint);
  setAutoFillBackground(true);

  title_ = new QLabel("TRELIX Manager V.: 1.0.0.5", this);
  title_->setObjectName("Title");

  auto* top = new QHBoxLayout;
  for (size_t g = 0; g < groups_.size(); ++g) {
    groups_[g] = new QGroupBox(kGroups[g].caption, this);
    groups_[g]->setObjectName(kGroups[g].name);
    // A hidden group keeps its place, so the others never move.
    RetainSpaceWhenHidden(groups_[g]);
    groups_[g]->hide();
    if (g < 3) top->addWidget(groups_[g], kGroups[g].width);
  }
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(title_);
  layout->addLayout(top);
  layout->addWidget(groups_[3], 1);
  BuildTiles();
  BuildPanel();
  BuildAppBar();
  SetScale(1.0);
}

void TGridForm::BuildTiles() {
  for (const TileSpec& entry : kTiles) {
    QGroupBox* group = groups_[static_cast<size_t>(entry.group)];
    if (group->layout() == nullptr) new QHBoxLayout(group);
    const int width = entry.id == TileId::kTrocarCodigo ? kWideTileWidth : kTileWidth;
    auto* tile =
        new Tile(entry.name, entry.caption, DrawIcon(entry.icon, kPictureSize), width, group);
    RetainSpaceWhenHidden(tile);
    group->layout()->addWidget(tile);
    tile->setVisible(!entry.hidden_at_start);
    tiles_[static_cast<size_t>(entry.id)] = tile;
  }
  for (size_t g = 0; g < 3; ++g) static_cast<QHBoxLayout*>(groups_[g]->layout())->addStretch();

  auto open = [this](Tile* tile, auto part, Window window, bool fresh = false) {
    QObject::connect(part, &ImageButton::clicked, tile,
                     [this, window, fresh] { OpenFromTile(window, fresh); });
  };
  Tile* rede = tile(TileId::kRedeSat);
  connect(rede, &Tile::panelClicked, this, [this] { OpenFromTile(Window::kNetwork, false); });
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
  auto* panel = new QWidget;
  panel->setObjectName("StatusPanel");
  auto* rows = new QGridLayout(panel);
  rows->setHorizontalSpacing(12);
  for (size_t i = 0; i < kPanelRows.size(); ++i) {
    const PanelRow& row = kPanelRows[i];
    const int column = i < kLeftColumnRows ? 0 : 3;
    const int line = static_cast<int>(i < kLeftColumnRows ? i : i - kLeftColumnRows);
    auto* caption = new QLabel(QString::fromUtf8(row.caption), panel);
    caption->setObjectName(QString(row.label) + "Caption");
    auto* value = new ValueLabel(panel);
    value->setObjectName(row.label);
    value->hide();
    rows->addWidget(caption, line, column, Qt::AlignTop);
    rows->addWidget(value, line, column + 1, Qt::AlignTop);
    values_.push_back(value);
  }
  rows->setColumnStretch(1, 1);
  rows->setColumnStretch(4, 1);
  rows->setColumnMinimumWidth(2, 12);
  rows->setRowStretch(static_cast<int>(kLeftColumnRows), 1);

  // Values too long for the screen make the panel scroll rather than be cut.
  QGroupBox* info = group(GroupId::kInformacoes);
  auto* scroll = new QScrollArea(info);
  scroll->setObjectName("StatusScroll");
  scroll->setWidget(panel);
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll->viewport()->setAutoFillBackground(false);
  panel->setAutoFillBackground(false);

  refresh_ = new ImageButton(QPixmap(), info);
  refresh_->setObjectName("RefreshImage");
  refresh_->setToolTip("Atualizar status");
  connect(refresh_, &ImageButton::clicked, this, [this] { StatusQuery(this, {}); });
  save_ = new ImageButton(QPixmap(), info);
  save_->setObjectName("SaveImage");
  save_->setToolTip("Salvar histórico de status");
  connect(save_, &ImageButton::clicked, this, &TGridForm::SaveClick);
  auto* pictures = new QVBoxLayout;
  pictures->addWidget(refresh_);
  pictures->addWidget(save_);
  pictures->addStretch();
  auto* content = new QHBoxLayout(info);
  content->addWidget(scroll, 1);
  content->addLayout(pictures);
}

void TGridForm::SetScale(double scale) {
  scale_ = scale;
  setFont(TextFont(qRound(13 * scale)));
  title_->setFont(TitleFont(qRound(41 * scale)));
  for (const TileSpec& entry : kTiles) {
    tile(entry.id)->SetScale(scale, DrawIcon(entry.icon, qRound(kPictureSize * scale)));
  }
  const int icon = qRound(kIconSize * scale);
  refresh_->setPixmap(DrawIcon(Icon::kRefresh, icon));
  save_->setPixmap(DrawIcon(Icon::kSave, icon));
}

void TGridForm::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  const double scale = ScaleFor(event->size());
  if (scale != scale_) SetScale(scale);
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

void TGridForm::OpenFromTile(Window window, bool fresh) {
  // A window opened now could do nothing until the call ends: say so instead.
  if (shell_.busy()) {
    shell_.NoticeBusy(this);
    return;
  }
  shell_.windows().Open(window, fresh, this);
}

void TGridForm::closeEvent(QCloseEvent* event) {
  if (shell_.EndProgram(0)) {
    event->accept();
  } else {
    event->ignore();
  }
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
  client::Library& library = shell_.library();
  const std::string code = shell_.session().code;
  const bool started = shell_.Run<StatusOutcome>(
      caller, "Consulta de status",
      [&library, code, progress = shell_.Progress()] {
        return QueryStatus(library, code, progress);
      },
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
