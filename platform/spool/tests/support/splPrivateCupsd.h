#pragma once
// A private cupsd for tests: its configuration, spool, logs and listening
// socket live in a temporary folder, so tests never touch the machine's own
// CUPS. Queues print to files in that folder. Jobs are submitted, cancelled,
// held and released with the CUPS command-line tools against this daemon.

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "splCupsConfig.h"

class TPrivateCupsd {
 public:
  TPrivateCupsd();
  // Stops the daemon and removes the folder.
  ~TPrivateCupsd();
  TPrivateCupsd(const TPrivateCupsd&) = delete;
  TPrivateCupsd& operator=(const TPrivateCupsd&) = delete;

  // Before Start: the daemon refuses IPP event subscriptions.
  void RefuseSubscriptions() { refuseSubscriptions_ = true; }
  // Writes the configuration, starts cupsd and waits until its socket
  // accepts connections. False with Error() when it does not come up.
  bool Start();
  // SIGTERM, then SIGKILL when it has not ended within 10 seconds.
  void Stop();
  // Ends the daemon at once, as a crash would.
  void Kill();
  // Freezes and thaws the daemon: connections are accepted, nothing answers.
  void Pause();
  void Resume();
  bool Running() const { return pid_ > 0; }
  pid_t Pid() const { return pid_; }

  const std::string& Folder() const { return folder_; }
  // The server for "-h" and CUPS_SERVER.
  const std::string& Socket() const { return socket_; }
  const std::string& Error() const { return error_; }
  // The daemon's access log: one line per request with its operation and status.
  std::string AccessLog() const;
  // A client configuration for this daemon under the local server name.
  CupsConfig Config(const std::string& LocalServer) const;

  // A raw queue that prints to <folder>/out/<Queue>, enabled and accepting.
  bool AddQueue(const std::string& Queue, const std::string& Location = {}, const std::string& Info = {});
  bool DisableQueue(const std::string& Queue);
  bool EnableQueue(const std::string& Queue);
  // A file of Bytes bytes in the folder; returns its path.
  std::string WriteFile(const std::string& Name, size_t Bytes);
  // lp; the job id, 0 on failure.
  uint32_t Submit(const std::string& Queue, const std::string& File, const std::string& Title, bool Hold = false);
  bool Cancel(uint32_t JobId);
  bool Release(uint32_t JobId);

  // Runs a tool with its output captured, killed after 30 seconds; its exit
  // status, -1 when it could not run or was killed.
  int Run(const std::vector<std::string>& Argv, std::string* Output = nullptr);

 private:
  bool WriteConfiguration();
  bool WaitUntilListening(int TimeoutMs);
  void Reap(int TimeoutMs);

  std::string folder_;
  std::string socket_;
  std::string error_;
  pid_t pid_ = -1;
  bool refuseSubscriptions_ = false;
};
