#include "uiTimer.h"

TTimer::TTimer() {
  QObject::connect(&timer, &QTimer::timeout, [this] { Trigger(); });
}

void TTimer::SetInterval(int milliseconds) {
  timer.setInterval(milliseconds < 0 ? 0 : milliseconds);
  if (timer.isActive()) timer.start();
}

void TTimer::SetEnabled(bool enabled) {
  if (enabled)
    timer.start();
  else
    timer.stop();
}

void TTimer::Start(int milliseconds) {
  timer.setInterval(milliseconds < 0 ? 0 : milliseconds);
  timer.start();
}

void TTimer::Trigger() {
  if (OnTimer) OnTimer();
}
