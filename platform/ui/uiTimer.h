#pragma once
// The class library's timer: an interval, an enabled switch and an event,
// over a Qt timer of the thread that made it.

#include <QTimer>
#include <functional>

class TTimer {
public:
  TTimer();
  TTimer(const TTimer&) = delete;
  TTimer& operator=(const TTimer&) = delete;

  std::function<void()> OnTimer;

  int Interval() const { return timer.interval(); }
  // A running timer starts its new interval afresh.
  void SetInterval(int milliseconds);
  bool Enabled() const { return timer.isActive(); }
  void SetEnabled(bool enabled);
  void Start(int milliseconds);
  void Stop() { timer.stop(); }

  // Runs the event as if the interval had just run out; the timer keeps
  // running. Tests use it instead of waiting.
  void Trigger();

private:
  QTimer timer;
};
