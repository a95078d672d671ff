#pragma once
// What every widget test needs: one offscreen application at a pinned
// resolution for the whole test executable, and a wait that keeps the
// event loop turning.

#include <QApplication>
#include <QTimer>
#include <functional>

// Made before the first test (or on first use, whichever comes first),
// offscreen at 96 dpi whatever the machine says; deleted when the test
// program ends.
QApplication& TestApplication();

// Serves events until condition holds; false when timeoutMs passed first.
bool PumpUntil(const std::function<bool()>& condition, int timeoutMs = 10000);

// Runs act on the modal widget of type D once it shows; the modal's own
// event loop serves the timer that looks for it.
template <class D>
void WhenShown(std::function<void(D&)> act) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, act] {
    if (auto* dialog = dynamic_cast<D*>(QApplication::activeModalWidget())) {
      timer->stop();
      timer->deleteLater();
      act(*dialog);
    }
  });
  timer->start();
}
