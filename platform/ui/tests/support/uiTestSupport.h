#pragma once
// What every widget test needs: one offscreen application at a pinned
// resolution for the whole test executable, and a wait that keeps the
// event loop turning.

#include <QApplication>
#include <functional>

// Made before the first test (or on first use, whichever comes first),
// offscreen at 96 dpi whatever the machine says; deleted when the test
// program ends.
QApplication& TestApplication();

// Serves events until Condition holds; false when TimeoutMs passed first.
bool PumpUntil(const std::function<bool()>& Condition, int TimeoutMs = 10000);
