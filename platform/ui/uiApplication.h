#pragma once
// Settings that belong to the whole application rather than to one window.
// Main thread only, after the QApplication exists.

// The pause, in milliseconds, between the mouse coming to rest over a
// control and its hint appearing. Every widget's tooltip and every hint
// that a control raises from the tooltip event follow it.
int HintPause();
void SetHintPause(int milliseconds);

// The pause a fresh application starts with.
inline constexpr int DefaultHintPause = 500;
