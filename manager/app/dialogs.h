// Message boxes and file dialogs, behind one small interface that every window
// receives, so that tests can answer them.
#pragma once

#include <QString>

class QWidget;

namespace kovrad::manager {

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  virtual void Message(QWidget* parent, const QString& text) = 0;
  // The chosen file name; empty when the operator cancels.
  virtual QString SaveFileName(QWidget* parent, const QString& caption, const QString& filter) = 0;
  virtual QString OpenFileName(QWidget* parent, const QString& caption, const QString& filter) = 0;
  // A question with two answers; true for `yes`.
  virtual bool Ask(QWidget* parent, const QString& question, const QString& yes,
                   const QString& no) = 0;
};

class QtDialogs final : public Dialogs {
 public:
  void Message(QWidget* parent, const QString& text) override;
  QString SaveFileName(QWidget* parent, const QString& caption, const QString& filter) override;
  QString OpenFileName(QWidget* parent, const QString& caption, const QString& filter) override;
  bool Ask(QWidget* parent, const QString& question, const QString& yes,
           const QString& no) override;
};

}  // namespace kovrad::manager
