#pragma once
// A second process for multi-process tests: a helper program that reads
// one command per line and answers each with one line. Every read waits
// for a whole answer (with a time limit), so a test knows the helper's
// state without sleeping.

#include <sys/types.h>

#include <string>

class THelperProcess {
public:
  // Starts the program and waits for its "ready" line.
  explicit THelperProcess(const char* program, int answerTimeoutMs = 120000);
  THelperProcess(const THelperProcess&) = delete;
  THelperProcess& operator=(const THelperProcess&) = delete;
  ~THelperProcess();

  void Send(const std::string& command);
  std::string Answer();
  std::string AskLine(const std::string& command);

  // Ends it at once, wherever it is, and reaps it.
  void Kill();
  // Ends its input and waits until it has exited.
  void Exit();

private:
  pid_t pid = -1;
  int toHelper = -1;
  int fromHelper = -1;
  int answerTimeoutMs;
  std::string pending;
};
