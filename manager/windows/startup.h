// The start-up dialog: the operator says which kind of device is attached and
// types its activation code; accepting it queries the device and opens the
// dashboard for that kind of device.
#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;
class QRadioButton;

namespace kovrad::manager {

class Shell;
class TGridForm;

class TOKRightDlg2 : public QDialog {
  Q_OBJECT

 public:
  TOKRightDlg2(Shell& shell, TGridForm& grid);

  QLineEdit* codATV;
  QRadioButton* RadioButton3;  // "Trelix KIT"
  QRadioButton* RadioButton2;  // "Trelix Produção (Ativado)"
  QRadioButton* RadioButton1;  // "Trelix Produção (não ativado)"
  QPushButton* Button1;
  QPushButton* SpeedButton1;

  // Runs the close check whichever way the dialog closes.
  void done(int result) override;

 private:
  void Button1Click();
  void SetCodeFieldForMode();

  Shell& shell_;
  TGridForm& grid_;
};

}  // namespace kovrad::manager
