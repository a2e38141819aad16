#include "app/dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace kovrad::manager {

void QtDialogs::Message(QWidget* parent, const QString& text) {
  QMessageBox::information(parent, QApplication::applicationName(), text);
}

QString QtDialogs::SaveFileName(QWidget* parent, const QString& caption, const QString& filter) {
  return QFileDialog::getSaveFileName(parent, caption, QString(), filter);
}

QString QtDialogs::OpenFileName(QWidget* parent, const QString& caption, const QString& filter) {
  return QFileDialog::getOpenFileName(parent, caption, QString(), filter);
}

}  // namespace kovrad::manager
