// The signature association window: the commercial application's signature
// tied to the taxpayer and to the software house that made it.
#pragma once

#include <QWidget>

class QLineEdit;

namespace kovrad::manager {

class ImageButton;
class Shell;

class TForm17 : public QWidget {
  Q_OBJECT

 public:
  explicit TForm17(Shell& shell);

  QLineEdit* CNPJContribuinte;
  QLineEdit* CNPJSW;
  QLineEdit* assinatura;
  ImageButton* Image2;

 private:
  void Image2Click();

  Shell& shell_;
};

}  // namespace kovrad::manager
