// Every window of the manager, created once for the run, hidden, in the
// order the program starts them; the start-up dialog shows itself at once.
#pragma once

#include <memory>

#include "changecod.h"
#include "groupeditems.h"
#include "shell.h"
#include "startup.h"
#include "trocarcodatv.h"

namespace kovrad::manager {

struct Forms {
  explicit Forms(Shell& shell);

  std::unique_ptr<TGridForm> grid;
  TOKRightDlg2* startup;  // owned by the main window, in front of which it stands
  std::unique_ptr<TForm8> code_change_full_screen;
  std::unique_ptr<TForm18> code_change;
};

}  // namespace kovrad::manager
