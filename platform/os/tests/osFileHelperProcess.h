#pragma once
// Drives osLockHelper, a second process holding files and locks through the
// file layer.

#include <string>

#include "osErrors.h"
#include "osHelperProcess.h"

class OsFileHelperProcess : public THelperProcess {
public:
  OsFileHelperProcess() : THelperProcess(OS_LOCK_HELPER, 20000) {}

  std::string Ask(const std::string& command) { return AskLine(command); }
  // The error number the answer starts with.
  OsError AskCode(const std::string& command) { return static_cast<OsError>(std::stoul(Ask(command))); }
};
