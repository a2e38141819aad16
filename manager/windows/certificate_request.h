// The certificate-request window: every request the device handed back in
// this run, for the operator to copy.
#pragma once

#include <QWidget>

class QLabel;
class QPlainTextEdit;

namespace kovrad::manager {

class TForm11 : public QWidget {
  Q_OBJECT

 public:
  TForm11();

  QLabel* Label1;
  QPlainTextEdit* Memo1;

  // Adds `request` below the requests already shown and brings the window to
  // the front.
  void AddRequest(const QString& request);
};

}  // namespace kovrad::manager
