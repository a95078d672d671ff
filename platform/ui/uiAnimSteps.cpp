#include "uiAnimSteps.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <utility>

namespace {

void RealPause(int Ms, TAnimationPauseKind Kind) {
  if (Kind == apSleep) {
    QThread::msleep(static_cast<unsigned long>(Ms));
    return;
  }
  QElapsedTimer pause;
  pause.start();
  while (pause.elapsed() < Ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, Ms);
    QThread::msleep(1);
  }
}

// Animations run on the GUI thread only, so one pause serves them all.
TAnimationPause& CurrentPause() {
  static TAnimationPause pause = RealPause;
  return pause;
}

}  // namespace

bool RunAnimationSteps(int Count, int PauseMs, TAnimationPauseKind Kind, const std::function<bool(int Step)>& Frame) {
  for (int step = 0; step < Count; ++step) {
    if (!Frame(step)) return false;
    CurrentPause()(PauseMs, Kind);
  }
  return true;
}

TAnimationPauseOverride::TAnimationPauseOverride(TAnimationPause Pause)
    : previous(std::exchange(CurrentPause(), std::move(Pause))) {}

TAnimationPauseOverride::~TAnimationPauseOverride() { CurrentPause() = std::move(previous); }
