// The sale window: a sale or cancellation document loaded from a file is sent
// to the device, and the coupon it returns can be saved.
#pragma once

#include <QPointer>
#include <QWidget>
#include <optional>
#include <string>

#include "core/sale.h"

class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace kovrad::manager {

class ImageButton;
class Shell;
struct SendOutcome;

class TFiscal : public QWidget {
  Q_OBJECT

 public:
  explicit TFiscal(Shell& shell);

  QRadioButton* RadioButton1;  // "Vender"
  QRadioButton* RadioButton2;  // "Cancelar Venda"
  ImageButton* Image5;         // load
  ImageButton* Image2;         // send
  ImageButton* Image4;         // save
  QPlainTextEdit* XMLEntrada;
  QPlainTextEdit* Memo1;
  QPlainTextEdit* XMLSaida;
  QPushButton* VerExtrato;  // the extrato of the coupon in XMLSaida

  // Empties the three text areas, for an opening that starts afresh.
  void ClearTexts();

  const InputDocument& document() const { return document_; }
  // The access key of the last sale of the run.
  const std::string& lastSaleKey() const { return key_; }
  // The send whose fate the device has not told yet: while there is one,
  // Image2 asks the device again instead of sending.
  const std::optional<Unsettled>& unsettled() const { return unsettled_; }

 private:
  void Image5Click();
  void Image2Click();
  void Image4Click();
  void Sale();
  void Cancellation();
  void AskAgainForUnsettled();
  // Keeps what a send left behind: the sale's key, an unsettled send.
  void Keep(const std::string& function, const SendOutcome& outcome);
  // Clears the text areas and shows the document about to be sent.
  void ShowSent();
  void ShowOutcome(const SendOutcome& outcome);
  void TakeFocus();
  void ShowExtrato();

  Shell& shell_;
  std::string coupon_;  // the last coupon received, as the device returned it
  QPointer<QWidget> extrato_;
  InputDocument document_;
  std::string key_;
  SessionSource sessions_ = StoredSessions();
  std::optional<Unsettled> unsettled_;
};

}  // namespace kovrad::manager
