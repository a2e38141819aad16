// The network configuration window: DHCP or a fixed address, with or without
// a proxy, sent to the device as a configuration document.
#pragma once

#include <QWidget>
#include <initializer_list>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QRadioButton;

namespace kovrad::manager {

class ImageButton;
class Shell;

class TForm15 : public QWidget {
  Q_OBJECT

 public:
  explicit TForm15(Shell& shell);

  QRadioButton* dhcp;
  QRadioButton* IPFix;
  QLineEdit* User;
  QLineEdit* Password;
  QLineEdit* IPSat;
  QLineEdit* Mask;
  QLineEdit* Gateway;
  QLineEdit* DNS1;
  QLineEdit* DNS2;
  QComboBox* ComboBox1;  // proxy mode
  QLineEdit* IPProxy;
  QLineEdit* Port;
  QLineEdit* UserProxy;
  QLineEdit* PassProxy;
  ImageButton* Image3;
  QLabel* Label1;
  QPlainTextEdit* Memo1;

  // The proxy list's item for its text: -1 when typed text matches none.
  int ProxyIndex() const;

 private:
  void dhcpClick();
  void IPFixClick();
  void ComboBox1Change();
  void Image3Click();
  // Enables or disables the fields together with their captions.
  static void SetEnabled(std::initializer_list<QWidget*> fields, bool enabled);

  Shell& shell_;
};

}  // namespace kovrad::manager
