#include "uiHint.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <algorithm>

#include "rtlAssert.h"
#include "uiAnimSteps.h"

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

QSize THintWindow::HintSize(const std::string& hintText) const {
  const QSize size = fontMetrics().size(0, QString::fromStdString(hintText));
  return QSize(size.width() + 2 * Padding + 2, size.height() + 2 * Padding);
}

bool THintWindow::ActivateHint(QRect screenRect, const std::string& hintText, THintAnimationKind kind,
                               const std::function<bool()>& stillValid) {
  text = hintText;
  animation = kind;
  QScreen* screen = QGuiApplication::primaryScreen();
  if (screen) {
    const QRect area = screen->availableGeometry();
    if (screenRect.right() > area.right()) screenRect.moveRight(area.right());
    if (screenRect.bottom() > area.bottom()) screenRect.moveBottom(area.bottom());
    if (screenRect.left() < area.left()) screenRect.moveLeft(area.left());
    if (screenRect.top() < area.top()) screenRect.moveTop(area.top());
  }
  // The screen as it is before the window covers it.
  hide();
  background = QImage();
  if (kind != hakNone) {
    if (screen)
      background = screen->grabWindow(0, screenRect.x(), screenRect.y(), screenRect.width(), screenRect.height())
                       .toImage()
                       .convertToFormat(QImage::Format_RGB32);
    if (background.size() != screenRect.size()) {
      // Nothing to copy (no screen to read): the blend runs over the
      // window's face colour.
      background = QImage(screenRect.size(), QImage::Format_RGB32);
      background.fill(Colour(clBtnFace));
    }
  }
  setGeometry(screenRect);
  if (kind == hakNone) {
    if (stillValid && !stillValid()) {
      HideHint();
      return false;
    }
    step = AnimationSteps - 1;
    show();
    repaint();
    return true;
  }
  show();
  const bool done = RunAnimationSteps(AnimationSteps, StepPauseMs, apServeEvents, [&](int frameStep) {
    if (stillValid && !stillValid()) return false;
    step = frameStep;
    repaint();
    return true;
  });
  step = AnimationSteps - 1;
  if (!done) {
    HideHint();
    return false;
  }
  repaint();
  return true;
}

void THintWindow::HideHint() {
  hide();
  step = AnimationSteps - 1;
}

QImage THintWindow::HintImage() const {
  QImage image(size(), QImage::Format_RGB32);
  QPainter painter(&image);
  const QRect all = image.rect();
  painter.fillRect(all, Colour(clInfoBk));
  painter.setPen(Colour(clBlack));
  painter.drawRect(all.adjusted(0, 0, -1, -1));
  painter.setPen(Colour(clInfoText));
  painter.setFont(font());
  painter.drawText(all.adjusted(Padding + 1, Padding, -Padding, -Padding), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::fromStdString(text));
  return image;
}

QImage THintWindow::ComposeFrame(const QImage& background, const QImage& hint, THintAnimationKind animation,
                                 int step) {
  ORV_ASSERT(background.size() == hint.size());
  const int share = std::clamp(step + 1, 1, AnimationSteps);
  QImage frame = background.convertToFormat(QImage::Format_RGB32);
  if (animation == hakNone || share == AnimationSteps) return hint.convertToFormat(QImage::Format_RGB32);
  QPainter painter(&frame);
  if (animation == hakFade) {
    // Each channel: background + (hint - background) * share / steps.
    painter.setOpacity(static_cast<double>(share) / AnimationSteps);
    painter.drawImage(QPoint(0, 0), hint);
  } else {
    // The hint's lower part first, moving down until the whole shows.
    const int shown = hint.height() * share / AnimationSteps;
    painter.drawImage(QPoint(0, 0), hint, QRect(0, hint.height() - shown, hint.width(), shown));
  }
  return frame;
}

void THintWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QImage hint = HintImage();
  painter.drawImage(QPoint(0, 0), animation == hakNone || background.size() != hint.size()
                                      ? hint
                                      : ComposeFrame(background, hint, animation, step));
}
