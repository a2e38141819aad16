// The activation window: ties the device to the taxpayer's CNPJ under a new
// activation code, which the manager presents from then on.
#pragma once

#include <QWidget>

class QComboBox;
class QLineEdit;
class QRadioButton;

namespace kovrad::manager {

class ImageButton;
class Shell;
struct ActivationOutcome;

class TForm16 : public QWidget {
  Q_OBJECT

 public:
  explicit TForm16(Shell& shell);

  QLineEdit* CNPJContribuinte;
  QLineEdit* CodAtv;
  QLineEdit* CodAtv2;
  QRadioButton* RadioButton1;  // "AC-SAT"
  QRadioButton* RadioButton2;  // "ICP-Brasil"
  QRadioButton* RadioButton3;  // "Renovação Certificado ICP-Brasil"
  QComboBox* ComboBox1;        // the taxpayer's state
  ImageButton* Image2;

 private:
  void Image2Click();
  void Report(const ActivationOutcome& outcome);

  Shell& shell_;
};

}  // namespace kovrad::manager
