#include "uiHint.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QThread>

namespace {

constexpr int Padding = 2;

QColor Colour(TColor c) {
  const TColor v = ColorToRGB(c);
  return QColor(GetRValue(v), GetGValue(v), GetBValue(v));
}

}  // namespace

THintWindow::THintWindow() : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setAttribute(Qt::WA_ShowWithoutActivating);
  setFocusPolicy(Qt::NoFocus);
}

QSize THintWindow::HintSize(const std::string& Text) const {
  const QSize size = fontMetrics().size(0, QString::fromStdString(Text));
  return QSize(size.width() + 2 * Padding + 2, size.height() + 2 * Padding);
}

bool THintWindow::ActivateHint(QRect ScreenRect, const std::string& Text, THintAnimationKind Animation,
                               const std::function<bool()>& StillValid) {
  text = Text;
  animation = Animation;
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    if (ScreenRect.right() > area.right()) ScreenRect.moveRight(area.right());
    if (ScreenRect.bottom() > area.bottom()) ScreenRect.moveBottom(area.bottom());
    if (ScreenRect.left() < area.left()) ScreenRect.moveLeft(area.left());
    if (ScreenRect.top() < area.top()) ScreenRect.moveTop(area.top());
  }
  setGeometry(ScreenRect);
  if (Animation == hakNone) {
    if (StillValid && !StillValid()) {
      HideHint();
      return false;
    }
    step = AnimationSteps - 1;
    show();
    repaint();
    return true;
  }
  show();
  for (step = 0; step < AnimationSteps; ++step) {
    if (StillValid && !StillValid()) {
      HideHint();
      return false;
    }
    repaint();
    QElapsedTimer pause;
    pause.start();
    while (pause.elapsed() < StepPauseMs) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, StepPauseMs);
      QThread::msleep(1);
    }
  }
  step = AnimationSteps - 1;
  return true;
}

void THintWindow::HideHint() {
  hide();
  step = AnimationSteps - 1;
}

void THintWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect all = rect();
  painter.fillRect(all, Colour(clBtnFace));
  const double share = static_cast<double>(step + 1) / AnimationSteps;
  QRect shown = all;
  if (animation == hakSlide) shown.setHeight(std::max(1, static_cast<int>(all.height() * share)));
  if (animation == hakFade) painter.setOpacity(share);
  painter.fillRect(shown, Colour(clInfoBk));
  painter.setPen(Colour(clBlack));
  painter.drawRect(shown.adjusted(0, 0, -1, -1));
  painter.setPen(Colour(clInfoText));
  painter.setClipRect(shown);
  painter.drawText(all.adjusted(Padding + 1, Padding, -Padding, -Padding), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::fromStdString(text));
}
