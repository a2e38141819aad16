// Every window of the manager, created once for the run, hidden, in the
// order the program starts them; the start-up dialog shows itself at once.
#pragma once

#include <memory>

#include "app/shell.h"
#include "windows/activation.h"
#include "windows/lock.h"
#include "windows/forgotten_code.h"
#include "windows/checklist.h"
#include "windows/certificate_request.h"
#include "windows/device_log.h"
#include "windows/dashboard.h"
#include "windows/message.h"
#include "windows/network_config.h"
#include "windows/sale.h"
#include "windows/association.h"
#include "windows/startup.h"
#include "windows/end_to_end.h"
#include "windows/code_change.h"
#include "windows/update.h"

namespace kovrad::manager {

struct Forms {
  explicit Forms(Shell& shell);

  std::unique_ptr<TGridForm> grid;
  std::unique_ptr<TForm6> update;
  std::unique_ptr<TForm7> test;
  TOKRightDlg2* startup;  // owned by the main window, in front of which it stands
  std::unique_ptr<TOKRightDlg> activation_checklist;
  std::unique_ptr<TForm8> code_change_full_screen;
  std::unique_ptr<TForm11> certificate_request;
  std::unique_ptr<TForm12> lock;
  std::unique_ptr<TForm13> message;
  std::unique_ptr<TForm14> log;
  std::unique_ptr<TFiscal> sale;
  std::unique_ptr<TForm15> network;
  std::unique_ptr<TForm16> activation;
  std::unique_ptr<TForm17> signature;
  std::unique_ptr<TForm18> code_change;
};

}  // namespace kovrad::manager
