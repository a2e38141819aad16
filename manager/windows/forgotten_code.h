// The full-screen activation-code change window, for an operator who has
// forgotten the code: opened from the start-up dialog, it sends what was typed
// and lets the device judge it.
#pragma once

#include "widgets/code_change_form.h"

namespace kovrad::manager {

class AppBar;

class TForm8 : public CodeChangeForm {
  Q_OBJECT

 public:
  explicit TForm8(Shell& shell);

  ImageButton* Image1;  // back to the main window
  ImageButton* CloseImage;
  AppBar* appBar() const { return app_bar_; }

 private:
  AppBar* app_bar_;
};

}  // namespace kovrad::manager
