#pragma once
// One running instance per user: the first start holds an flock on
// "<name>.lock" in the user's runtime folder and listens on the local socket
// "<name>.sock" beside it; a later start finds the lock taken and asks the
// holder, through the socket, to show its window.

#include <functional>
#include <memory>
#include <string>

// $XDG_RUNTIME_DIR when it is an absolute path, else /tmp/orvelle-<uid>,
// made private (0700) when missing. An EOSError when the folder cannot be
// made or is not a private folder of this user.
std::string RuntimeFolder();

enum class TInstanceClaim {
  First,          // this process holds the lock
  ShownOther,     // the holder was asked to show its window and did
  OtherNotFound,  // the lock is held but the holder showed nothing
};

class TSingleInstance {
public:
  // Tries the lock named after mutexName. An EOSError when the runtime
  // folder, the lock file or the socket cannot be made.
  explicit TSingleInstance(const std::string& mutexName);
  // Releases the lock and stops listening.
  ~TSingleInstance();
  TSingleInstance(const TSingleInstance&) = delete;
  TSingleInstance& operator=(const TSingleInstance&) = delete;

  TInstanceClaim Claim() const { return claim; }

  // The first instance's answer to a show request. It runs on the listener
  // thread, so it must hand the work to the main thread. Without a handler
  // a request is answered "not shown".
  void SetShowHandler(std::function<void()> handler);

private:
  class TListener;
  TInstanceClaim claim = TInstanceClaim::OtherNotFound;
  int lockFd = -1;
  std::unique_ptr<TListener> listener;
};
