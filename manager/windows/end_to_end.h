// The test window: the end-to-end test with the built-in test sale
// ("PDV<->SEFAZ") or a plain query of the device ("PDV<->SAT").
#pragma once

#include <QWidget>

class QRadioButton;

namespace kovrad::manager {

class ImageButton;
class Shell;

class TForm7 : public QWidget {
  Q_OBJECT

 public:
  explicit TForm7(Shell& shell);

  QRadioButton* fimafim;       // "PDV<->SEFAZ"
  QRadioButton* RadioButton2;  // "PDV<->SAT"
  ImageButton* Image1;         // run the chosen test

 private:
  void Image1Click();

  Shell& shell_;
};

}  // namespace kovrad::manager
