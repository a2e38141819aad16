#include "app/style.h"

#include <QApplication>
#include <QPalette>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QWidget>

namespace kovrad::manager {
namespace {

// Password fields show "*" for each character. Buttons, radio buttons,
// check boxes and entry fields are at least kTouchTarget on each side, the
// whole of that a target for a finger, with indicators a finger can see.
class ManagerStyle : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* data) const override {
    if (hint == SH_LineEdit_PasswordCharacter) return '*';
    return QProxyStyle::styleHint(hint, option, widget, data);
  }

  int pixelMetric(PixelMetric metric, const QStyleOption* option,
                  const QWidget* widget) const override {
    switch (metric) {
      case PM_ExclusiveIndicatorWidth:
      case PM_ExclusiveIndicatorHeight:
      case PM_IndicatorWidth:
      case PM_IndicatorHeight:
        return kIndicator;
      default:
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
  }

  QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                         const QWidget* widget) const override {
    QSize hint = QProxyStyle::sizeFromContents(type, option, size, widget);
    switch (type) {
      case CT_PushButton:
      case CT_RadioButton:
      case CT_CheckBox:
      case CT_LineEdit:
      case CT_ComboBox:
      case CT_SpinBox:
        return hint.expandedTo(QSize(kTouchTarget, kTouchTarget));
      default:
        return hint;
    }
  }

  QRect subElementRect(SubElement element, const QStyleOption* option,
                       const QWidget* widget) const override {
    if ((element == SE_RadioButtonClickRect || element == SE_CheckBoxClickRect) &&
        widget != nullptr) {
      return widget->rect();
    }
    return QProxyStyle::subElementRect(element, option, widget);
  }

 private:
  static constexpr int kIndicator = 24;
};

QPalette DarkPalette() {
  const QColor window(0x1d, 0x1d, 0x1d);
  const QColor base(0x2b, 0x2b, 0x2b);
  const QColor text(0xf0, 0xf0, 0xf0);
  const QColor accent(0x1b, 0xa1, 0xe2);
  QPalette p;
  p.setColor(QPalette::Window, window);
  p.setColor(QPalette::WindowText, text);
  p.setColor(QPalette::Base, base);
  p.setColor(QPalette::AlternateBase, window);
  p.setColor(QPalette::ToolTipBase, base);
  p.setColor(QPalette::ToolTipText, text);
  p.setColor(QPalette::Text, text);
  p.setColor(QPalette::Button, QColor(0x33, 0x33, 0x33));
  p.setColor(QPalette::ButtonText, text);
  p.setColor(QPalette::BrightText, Qt::red);
  p.setColor(QPalette::Link, accent);
  p.setColor(QPalette::Highlight, accent);
  p.setColor(QPalette::HighlightedText, Qt::white);
  p.setColor(QPalette::PlaceholderText, QColor(0x90, 0x90, 0x90));
  for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
    p.setColor(QPalette::Disabled, role, QColor(0x78, 0x78, 0x78));
  }
  return p;
}

QFont Face(const QStringList& families, int pixels) {
  QFont font;
  font.setFamilies(families);
  font.setPixelSize(pixels);
  return font;
}

}  // namespace

bool ApplyStyle(QApplication& app) {
  QStyle* fusion = QStyleFactory::create("Fusion");
  if (fusion == nullptr) {
    qWarning("The Fusion style is not available; keeping the default look.");
    return false;
  }
  app.setStyle(new ManagerStyle(fusion));
  app.setPalette(DarkPalette());
  app.setFont(TextFont(13));
  return true;
}

QFont TextFont(int pixels) {
  return Face({"Tahoma", "DejaVu Sans", "Sans Serif"}, pixels);
}

QFont TitleFont(int pixels) {
  QFont font = Face({"Segoe UI Light", "DejaVu Sans Light", "DejaVu Sans", "Sans Serif"}, pixels);
  font.setWeight(QFont::Light);
  return font;
}

}  // namespace kovrad::manager
