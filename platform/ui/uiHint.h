#pragma once
// Hints: a small top-level window that shows a text over a place on the
// screen without taking the focus, shown at once or animated in 16 steps.
// An animated hint keeps a copy of the screen under it and blends into it:
// fading in, or sliding down into view.

#include <QImage>
#include <QWidget>
#include <functional>
#include <string>

#include "uiGraphics.h"

enum THintAnimationKind { hakNone, hakFade, hakSlide };

class THintWindow : public QWidget {
public:
  static constexpr int AnimationSteps = 16;
  static constexpr int StepPauseMs = 5;

  THintWindow();

  // Shows hintText in screenRect (kept inside the screen's work area). With an
  // animation the window is drawn once per step, pausing StepPauseMs and
  // serving events between steps (see uiAnimSteps.h); stillValid is asked
  // before each step and a false answer hides the hint at once. Returns
  // false when it was hidden that way.
  bool ActivateHint(QRect screenRect, const std::string& hintText, THintAnimationKind kind,
                    const std::function<bool()>& stillValid = {});
  void HideHint();

  int Step() const { return step; }
  const std::string& Text() const { return text; }
  // The size a text needs, padding included.
  QSize HintSize(const std::string& hintText) const;
  // The hint alone, at full strength, in its window's size.
  QImage HintImage() const;
  // A frame of an animation: hint over background at step (0 to 15);
  // both images have the frame's size.
  static QImage ComposeFrame(const QImage& background, const QImage& hint, THintAnimationKind animation, int step);

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  std::string text;
  THintAnimationKind animation = hakNone;
  int step = AnimationSteps - 1;
  QImage background;  // the screen under the window, while animated
};
