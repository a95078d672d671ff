// The toggle animation: before a node opens or closes on screen, the rows
// below it slide down (opening) or up (closing) in steps, the uncovered
// strip showing the background, over a still picture of the view taken
// before the change. The change itself and its paint follow.

#include <QPainter>
#include <algorithm>

#include "VTree.h"
#include "uiAnimSteps.h"
#include "uiCanvasQt.h"

void TBaseVirtualTree::AnimateToggle(PVirtualNode Node, uint64_t Distance, bool Opening) {
  if (!options.Contains(voAnimatedToggle) || InUpdate() || !isVisible() || Distance == 0) return;
  const int height = ClientHeight();
  const int width = ClientWidth();
  const TRect row = GetDisplayRect(Node, NoColumn, false);
  if (row.Bottom <= 0 || row.Top >= height || row.Bottom >= height) return;
  const int below = row.Bottom;
  const int travel = static_cast<int>(std::min<uint64_t>(Distance, static_cast<uint64_t>(height)));
  const QImage still = Viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
  if (still.deviceIndependentSize().width() < width || still.deviceIndependentSize().height() < height) return;
  const int steps = (travel + ToggleAnimationStep - 1) / ToggleAnimationStep;
  // Source rectangles count the grab's pixels, more than one per unit on a
  // high-density screen.
  const qreal ratio = still.devicePixelRatio();
  const auto pixels = [ratio](int left, int top, int w, int h) {
    return QRectF(left * ratio, top * ratio, w * ratio, h * ratio);
  };
  RunAnimationSteps(steps, ToggleStepPauseMs, apSleep, [&](int Step) {
    const int shift = std::min(travel, (Step + 1) * ToggleAnimationStep);
    QImage frame = still;
    {
      QPainter painter(&frame);
      TQtCanvas canvas(painter, 96);
      const int moved = std::max(0, height - below - shift);
      TRect uncovered;
      if (Opening) {
        painter.drawImage(QPointF(0, below + shift), still, pixels(0, below, width, moved));
        uncovered = Rect(0, below, width, std::min(height, below + shift));
      } else {
        painter.drawImage(QPointF(0, below), still, pixels(0, below + shift, width, moved));
        uncovered = Rect(0, std::max(below, height - shift), width, height);
      }
      EraseBackground(canvas, uncovered, uncovered.Top - offsetY);
    }
    animationFrame = std::move(frame);
    Viewport()->repaint();
    return true;
  });
  animationFrame = QImage();
}
