#include "uiHint.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <algorithm>
#include <cassert>

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

QSize THintWindow::HintSize(const std::string& Text) const {
  const QSize size = fontMetrics().size(0, QString::fromStdString(Text));
  return QSize(size.width() + 2 * Padding + 2, size.height() + 2 * Padding);
}

bool THintWindow::ActivateHint(QRect ScreenRect, const std::string& Text, THintAnimationKind Animation,
                               const std::function<bool()>& StillValid) {
  text = Text;
  animation = Animation;
  QScreen* screen = QGuiApplication::primaryScreen();
  if (screen) {
    const QRect area = screen->availableGeometry();
    if (ScreenRect.right() > area.right()) ScreenRect.moveRight(area.right());
    if (ScreenRect.bottom() > area.bottom()) ScreenRect.moveBottom(area.bottom());
    if (ScreenRect.left() < area.left()) ScreenRect.moveLeft(area.left());
    if (ScreenRect.top() < area.top()) ScreenRect.moveTop(area.top());
  }
  // The screen as it is before the window covers it.
  hide();
  background = QImage();
  if (Animation != hakNone) {
    if (screen)
      background = screen->grabWindow(0, ScreenRect.x(), ScreenRect.y(), ScreenRect.width(), ScreenRect.height())
                       .toImage()
                       .convertToFormat(QImage::Format_RGB32);
    if (background.size() != ScreenRect.size()) {
      // Nothing to copy (no screen to read): the blend runs over the
      // window's face colour.
      background = QImage(ScreenRect.size(), QImage::Format_RGB32);
      background.fill(Colour(clBtnFace));
    }
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
  const bool done = RunAnimationSteps(AnimationSteps, StepPauseMs, apServeEvents, [&](int Step) {
    if (StillValid && !StillValid()) return false;
    step = Step;
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

QImage THintWindow::ComposeFrame(const QImage& Background, const QImage& Hint, THintAnimationKind Animation,
                                 int Step) {
  assert(Background.size() == Hint.size());
  const int share = std::clamp(Step + 1, 1, AnimationSteps);
  QImage frame = Background.convertToFormat(QImage::Format_RGB32);
  if (Animation == hakNone || share == AnimationSteps) return Hint.convertToFormat(QImage::Format_RGB32);
  QPainter painter(&frame);
  if (Animation == hakFade) {
    // Each channel: background + (hint - background) * share / steps.
    painter.setOpacity(static_cast<double>(share) / AnimationSteps);
    painter.drawImage(QPoint(0, 0), Hint);
  } else {
    // The hint's lower part first, moving down until the whole shows.
    const int shown = Hint.height() * share / AnimationSteps;
    painter.drawImage(QPoint(0, 0), Hint, QRect(0, Hint.height() - shown, Hint.width(), shown));
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
