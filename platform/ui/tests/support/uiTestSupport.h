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

// Serves events until Condition holds; false when TimeoutMs passed first.
bool PumpUntil(const std::function<bool()>& Condition, int TimeoutMs = 10000);

// Runs Act on the modal widget of type D once it shows; the modal's own
// event loop serves the timer that looks for it.
template <class D>
void WhenShown(std::function<void(D&)> Act) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, Act] {
    if (auto* dialog = dynamic_cast<D*>(QApplication::activeModalWidget())) {
      timer->stop();
      timer->deleteLater();
      Act(*dialog);
    }
  });
  timer->start();
}
