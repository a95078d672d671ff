#pragma once
// A relay between clients and a daemon's local socket, for tests of what a
// client does when the daemon drops a connection it kept open: the relay
// can be told to close the connection whose next request it sees, instead
// of passing the request on.

#include <atomic>
#include <string>
#include <thread>

class TSocketRelay {
 public:
  // Listens at Path and connects every client it accepts to Target.
  TSocketRelay(std::string Target, std::string Path);
  ~TSocketRelay();
  TSocketRelay(const TSocketRelay&) = delete;
  TSocketRelay& operator=(const TSocketRelay&) = delete;

  bool Listening() const { return listener_ >= 0; }
  const std::string& Path() const { return path_; }
  // The next request on a connection accepted before this call is not
  // passed on: both ends of that connection are closed.
  void DropNextRequest();
  int Accepted() const { return accepted_; }
  int Dropped() const { return dropped_; }

 private:
  void Run();

  const std::string target_;
  const std::string path_;
  int listener_ = -1;
  int wake_[2] = {-1, -1};
  std::atomic<int> accepted_{0};
  std::atomic<int> dropped_{0};
  // Connections accepted up to this count may be dropped.
  std::atomic<int> dropBefore_{0};
  std::thread thread_;
};
