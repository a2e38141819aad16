// The log window: the device's event log, one numbered line per record, and
// its saving to a text file.
#pragma once

#include <QWidget>

class QPlainTextEdit;

namespace kovrad::manager {

inline constexpr char kMsgNoLogToSave[] =
    "Não há log para salvar: extraia o log do SAT antes de salvar.";

class ImageButton;
class Shell;

class TForm14 : public QWidget {
  Q_OBJECT

 public:
  explicit TForm14(Shell& shell);

  ImageButton* Image1;  // extract
  ImageButton* Image2;  // save
  QPlainTextEdit* Memo1;

  // Fetches the device's log and adds its lines below what the window holds.
  void Extract();

 private:
  void Image2Click();

  Shell& shell_;
};

}  // namespace kovrad::manager
