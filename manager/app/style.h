// The manager's look: Fusion with a dark palette, and its two typefaces with
// fallbacks to what the system has.
#pragma once

#include <QFont>

class QApplication;

namespace kovrad::manager {

// The least width and height of anything the operator taps: 9 mm on the
// stores' screens.
inline constexpr int kTouchTarget = 48;

// False when the style could not be made; the program then keeps the
// toolkit's default look.
bool ApplyStyle(QApplication& app);

// "Tahoma", the text face, `pixels` high.
QFont TextFont(int pixels);
// "Segoe UI Light", the title face, `pixels` high.
QFont TitleFont(int pixels);

}  // namespace kovrad::manager
