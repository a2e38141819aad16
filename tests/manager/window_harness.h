// The manager's windows as Ativacao creates them, bound to a scripted device,
// with the operator's dialogs answered by the test.
#pragma once

#include <QLabel>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

#include "app/dialogs.h"
#include "app/shell.h"
#include "forms.h"
#include "manager_support.h"

namespace kovrad::manager::test {

class RecordingDialogs : public Dialogs {
 public:
  QStringList messages;
  QString save_answer;  // empty: the operator cancels
  QString open_answer;  // likewise

  void Message(QWidget*, const QString& text) override { messages << text; }
  QString SaveFileName(QWidget*, const QString&, const QString&) override { return save_answer; }
  QString OpenFileName(QWidget*, const QString&, const QString&) override { return open_answer; }
  QStringList questions;
  bool leave = false;  // the answer to every question
  bool Ask(QWidget*, const QString& question, const QString&, const QString&) override {
    questions << question;
    return leave;
  }
};

struct Windows {
  explicit Windows(client::Library& library)
      : shell(library, dialogs, [this](int status) { exits.push_back(status); }),
        forms(shell),
        grid(*forms.grid),
        startup(forms.startup),
        full_screen(*forms.code_change_full_screen),
        bordered(*forms.code_change) {
    grid.show();
  }

  QLabel* value(const char* name) const { return grid.findChild<QLabel*>(name); }

  RecordingDialogs dialogs;
  std::vector<int> exits;
  Shell shell;
  Forms forms;
  TGridForm& grid;
  TOKRightDlg2* startup;
  TForm8& full_screen;
  TForm18& bordered;
};

}  // namespace kovrad::manager::test
