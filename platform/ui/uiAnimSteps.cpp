#include "uiAnimSteps.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <utility>

namespace {

void RealPause(int ms, TAnimationPauseKind kind) {
  if (kind == apSleep) {
    QThread::msleep(static_cast<unsigned long>(ms));
    return;
  }
  QElapsedTimer pause;
  pause.start();
  while (pause.elapsed() < ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, ms);
    QThread::msleep(1);
  }
}

// Animations run on the GUI thread only, so one pause serves them all.
TAnimationPause& CurrentPause() {
  static TAnimationPause pause = RealPause;
  return pause;
}

}  // namespace

bool RunAnimationSteps(int count, int pauseMs, TAnimationPauseKind kind, const std::function<bool(int step)>& frame) {
  for (int step = 0; step < count; ++step) {
    if (!frame(step)) return false;
    CurrentPause()(pauseMs, kind);
  }
  return true;
}

TAnimationPauseOverride::TAnimationPauseOverride(TAnimationPause pause)
    : previous(std::exchange(CurrentPause(), std::move(pause))) {}

TAnimationPauseOverride::~TAnimationPauseOverride() { CurrentPause() = std::move(previous); }
