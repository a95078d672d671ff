#pragma once
// A level-triggered flag that poll(2) can watch: the descriptor polls
// readable from Raise until Clear.

#include "osFileDescriptor.h"

class TEventFd {
public:
  // An EOSError when the kernel gives no descriptor.
  TEventFd();
  TEventFd(const TEventFd&) = delete;
  TEventFd& operator=(const TEventFd&) = delete;

  int Fd() const { return fd.Get(); }
  void Raise();
  void Clear();

private:
  OsFileDescriptor fd;
};
