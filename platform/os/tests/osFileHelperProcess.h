#pragma once
// Drives osLockHelper, a second process holding files and locks through the
// file layer. Each call waits for the helper's answer line, so the test knows
// the helper's state without sleeping.

#include <sys/types.h>

#include <string>

#include "osErrors.h"

class OsFileHelperProcess {
public:
  OsFileHelperProcess();  // starts the helper and waits until it is ready
  OsFileHelperProcess(const OsFileHelperProcess&) = delete;
  OsFileHelperProcess& operator=(const OsFileHelperProcess&) = delete;
  ~OsFileHelperProcess();  // ends its input and waits for it

  // Sends one command, returns the whole answer line.
  void Send(const std::string& command);
  std::string Answer();
  std::string Ask(const std::string& command);
  // The error number the answer starts with.
  OsError AskCode(const std::string& command);

  // Kills the helper without letting it close anything, and reaps it.
  void Kill();

private:
  pid_t pid_ = -1;
  int toHelper_ = -1;
  int fromHelper_ = -1;
  std::string pending_;
};
