#include "widgets/fields.h"

#include <QFile>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "app/shell.h"
#include "core/checks.h"
#include "core/text_file.h"

namespace kovrad::manager {
namespace {

// In these masks 9 is a required digit and 0 an optional one; a blank stands
// for a position not filled.
QLineEdit* MaskedField(const char* name, const char* mask, int width, QWidget* parent) {
  auto* field = new QLineEdit(parent);
  field->setObjectName(name);
  field->setInputMask(mask);
  field->setMinimumWidth(width);
  return field;
}

}  // namespace

QLineEdit* CnpjField(const char* name, QWidget* parent) {
  return MaskedField(name, "90.900.900/9000-90; ", 160, parent);
}

QLineEdit* AddressField(const char* name, QWidget* parent) {
  return MaskedField(name, "900.900.900.900; ", 130, parent);
}

QLineEdit* CodeField(const char* name, QWidget* parent) {
  auto* field = new QLineEdit(parent);
  field->setObjectName(name);
  field->setEchoMode(QLineEdit::Password);
  field->setMinimumWidth(220);
  return field;
}

QLineEdit* LimitedField(const char* name, QWidget* parent) {
  auto* field = new QLineEdit(parent);
  field->setObjectName(name);
  field->setMaxLength(static_cast<int>(StagedField::capacity()));
  return field;
}

void AddRow(QFormLayout* form, const QString& caption, QWidget* field) {
  auto* label = new QLabel(caption, field->parentWidget());
  label->setBuddy(field);
  form->addRow(label, field);
}

QLabel* CaptionOf(QWidget* field) {
  for (QLabel* label : field->parentWidget()->findChildren<QLabel*>()) {
    if (label->buddy() == field) return label;
  }
  return nullptr;
}

std::string MemoLines(const QPlainTextEdit& memo, std::string_view eol) {
  const QString text = memo.toPlainText();
  if (text.isEmpty()) return {};
  std::string content;
  for (const QString& line : text.split('\n')) {
    content += line.toStdString();
    content += eol;
  }
  return content;
}

void SaveToFile(Shell& shell, QWidget* parent, const QString& file, std::string_view content) {
  std::string problem;
  if (!WriteTextFile(QFile::encodeName(file).toStdString(), content, &problem)) {
    shell.Show(parent, problem);
  }
}

}  // namespace kovrad::manager
