// What the two activation-code change windows share: the " Usar  " choice,
// the three code fields and the send image, and the change itself.
#pragma once

#include <string>

#include <QWidget>

class QGroupBox;
class QLineEdit;
class QRadioButton;

namespace kovrad::manager {

class ImageButton;
class Shell;

class CodeChangeForm : public QWidget {
  Q_OBJECT

 public:
  QRadioButton* RadioButton1;  // "Código de ativação"
  QRadioButton* RadioButton2;  // "Código de emergência"
  QLineEdit* Codigo;
  QLineEdit* ncod;
  QLineEdit* ncodconf;
  ImageButton* Image2;

 protected:
  // `checked`: the new code must pass the code rules before it is sent.
  CodeChangeForm(Shell& shell, bool checked);

  // The choice, the fields and the send image, laid out top to bottom.
  QWidget* form() const { return form_; }
  Shell& shell() const { return shell_; }

 private:
  void Image2Click();
  // A code the device took becomes the run's current code, also in the
  // start-up dialog's field.
  void AdoptCode(const std::string& code);

  static constexpr char kCodeChanged[] = "18000";

  Shell& shell_;
  bool checked_;
  QWidget* form_;
};

}  // namespace kovrad::manager
