#include "uiApplication.h"

#include "rtlAssert.h"

#include <QApplication>
#include <QPointer>
#include <QProxyStyle>

namespace {

// Qt asks the application's style for the tooltip wake-up delay each time
// the mouse comes to rest, so a proxy over the style in use is the one
// place that changes it for every widget at once.
class THintPauseStyle : public QProxyStyle {
public:
  explicit THintPauseStyle(const QString& styleName) : QProxyStyle(styleName) {}

  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override {
    if (hint == SH_ToolTip_WakeUpDelay) return pause;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
  }

  int pause = DefaultHintPause;
};

// The application owns the style it is given; the pointer clears itself
// when the application replaces or deletes it.
QPointer<THintPauseStyle>& InstalledStyle() {
  static QPointer<THintPauseStyle> style;
  return style;
}

}  // namespace

int HintPause() {
  const QPointer<THintPauseStyle>& style = InstalledStyle();
  return style && QApplication::style() == style ? style->pause : DefaultHintPause;
}

void SetHintPause(int milliseconds) {
  ORV_ASSERT(qApp && "the hint pause needs the application");
  if (milliseconds < 0) milliseconds = 0;
  QPointer<THintPauseStyle>& style = InstalledStyle();
  if (!style || QApplication::style() != style) {
    auto* proxy = new THintPauseStyle(QApplication::style()->name());
    QApplication::setStyle(proxy);
    style = proxy;
  }
  style->pause = milliseconds;
}
