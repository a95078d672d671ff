#pragma once
// The program: start-up in order, the message loop, the orderly end.

#include <functional>

struct TProgramOptions {
  // Where no one can answer (no display): questions take their affirmative
  // answer and go to the alerts log.
  bool Unattended = false;
};

// Start-up: the tools' settings, the one instance, the spooler, the
// application object, the forms; then the message loop until the program
// ends. SIGINT and SIGTERM run the orderly shutdown. Returns the exit code.
int RunProgram(int argc, char** argv, const TProgramOptions& options);

// Serves the main-thread dispatcher from the Qt event loop and lets
// ProcessMessages pump Qt's events. Needs the application object.
void ServeDispatcherFromEventLoop();

// Answers every message box and input question without a window: Yes or OK,
// the initial text; each question goes to the alerts log.
void AnswerQuestionsUnattended();
