// Entry fields and text areas that several windows share: the CNPJ and the
// address masks, captioned rows, and saving a text area to a file.
#pragma once

#include <QString>
#include <string>
#include <string_view>

class QFormLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QWidget;

namespace kovrad::manager {

class Shell;

// "  .   .   /    -  ": the first digit of each group required, the others
// optional; the punctuation stays in the field's text.
QLineEdit* CnpjField(const char* name, QWidget* parent);

// "   .   .   .   ": four groups of one required and two optional digits.
QLineEdit* AddressField(const char* name, QWidget* parent);

// A password edit for an activation code.
QLineEdit* CodeField(const char* name, QWidget* parent);

// A plain edit that holds no more than a staged field can (99 characters).
QLineEdit* LimitedField(const char* name, QWidget* parent);

// Adds `field` to `form` under `caption`, the caption's buddy being the field.
void AddRow(QFormLayout* form, const QString& caption, QWidget* field);

// The caption whose buddy is `field`, or null.
QLabel* CaptionOf(QWidget* field);

// The text area's lines, each ended by `eol`; nothing for an empty area.
std::string MemoLines(const QPlainTextEdit& memo, std::string_view eol);

// Writes `content` to `file`; the operator is told when it cannot be written.
void SaveToFile(Shell& shell, QWidget* parent, const QString& file, std::string_view content);

}  // namespace kovrad::manager
