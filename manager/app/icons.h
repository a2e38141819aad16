// The manager's pictures: simple white line drawings, made in code so that
// they scale with the tile and need no files.
#pragma once

#include <QPixmap>

namespace kovrad::manager {

enum class Icon {
  kNetwork,
  kActivate,
  kSignature,
  kUpdate,
  kTest,
  kKey,
  kLock,
  kLogs,
  kFiscal,
  kRefresh,
  kSave,
  kStart,
  kExit,
  kBack,
  kSend,
  kOpen,
};

QPixmap DrawIcon(Icon icon, int size);

}  // namespace kovrad::manager
