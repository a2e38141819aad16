// The checklist shown before an activation: what the device needs from the
// network for the activation to succeed.
#pragma once

#include <QDialog>

class QPushButton;

namespace kovrad::manager {

class Shell;

class TOKRightDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TOKRightDlg(Shell& shell);

  QPushButton* OKBtn;
  QPushButton* CancelBtn;
};

}  // namespace kovrad::manager
