// The main window: the dashboard of tiles in four groups, the device's status
// panel and the app bar.
#pragma once

#include <QWidget>
#include <array>
#include <functional>
#include <vector>

#include "app/shell.h"
#include "core/status.h"

class QGroupBox;
class QLabel;

namespace kovrad::manager {

class AppBar;
class ImageButton;
class Tile;

class TGridForm : public QWidget {
  Q_OBJECT

 public:
  enum class TileId {
    kRedeSat,
    kAtivarSat,
    kAssinatura,
    kAtualizarSw,
    kTeste,
    kTrocarCodigo,
    kBloqueio,
    kLogs,
    kFiscal,
  };
  enum class GroupId { kConfiguracao, kManutencao, kOperacao, kInformacoes };

  explicit TGridForm(Shell& shell);

  Tile* tile(TileId id) const { return tiles_[static_cast<size_t>(id)]; }
  double scale() const { return scale_; }
  QGroupBox* group(GroupId id) const { return groups_[static_cast<size_t>(id)]; }
  AppBar* appBar() const { return app_bar_; }
  ImageButton* refreshImage() const { return refresh_; }
  ImageButton* saveImage() const { return save_; }
  ImageButton* startImage() const { return start_; }
  ImageButton* exitImage() const { return exit_; }
  const StatusHistory& history() const { return history_; }

  // Queries the device's status with the current activation code on the
  // worker, with `caller` busy meanwhile; fills the panel and offers the tiles
  // the device's state allows, or shows why not. `done` learns whether the
  // device answered with success (false at once when another call is under
  // way).
  void StatusQuery(QWidget* caller, std::function<void(bool)> done);

  // What the start-up dialog offers for the kind of device chosen there.
  void OfferNotActivated();
  void WithdrawActivation();
  void OfferMaintenance();

 protected:
  void closeEvent(QCloseEvent* event) override;
  // Type, tiles and pictures grow with the window.
  void resizeEvent(QResizeEvent* event) override;

 private:
  void BuildTiles();
  void OpenFromTile(Window window, bool fresh);
  void BuildPanel();
  void BuildAppBar();
  void SetScale(double scale);
  bool ApplyStatus(QWidget* caller, const StatusOutcome& outcome);
  void FillPanel(const std::string& reply);
  void StartClick();
  void SaveClick();
  void SetTile(TileId id, bool shown);
  void SetTileOffered(TileId id, bool offered);
  void SetGroup(GroupId id, bool shown);

  Shell& shell_;
  QLabel* title_ = nullptr;
  double scale_ = 1.0;
  std::array<Tile*, 9> tiles_{};
  std::array<QGroupBox*, 4> groups_{};
  std::vector<QLabel*> values_;
  ImageButton* refresh_ = nullptr;
  ImageButton* save_ = nullptr;
  ImageButton* start_ = nullptr;
  ImageButton* exit_ = nullptr;
  AppBar* app_bar_ = nullptr;
  StatusHistory history_;
};

}  // namespace kovrad::manager
