// The bordered activation-code change window, opened from the dashboard. The
// new code must pass the code rules before it is sent.
#pragma once

#include "widgets/code_change_form.h"

namespace kovrad::manager {

class TForm18 : public CodeChangeForm {
  Q_OBJECT

 public:
  explicit TForm18(Shell& shell);
};

}  // namespace kovrad::manager
