#pragma once
// Runs this program again as a child process with other arguments: each
// engine's workloads get a process of their own, so that their peak
// memory is their own, and the live workload needs two.

#include <sys/types.h>

#include <string>
#include <vector>

class TChildProcess {
public:
  explicit TChildProcess(const std::vector<std::string>& arguments);
  ~TChildProcess();
  TChildProcess(const TChildProcess&) = delete;
  TChildProcess& operator=(const TChildProcess&) = delete;

  // The next line of the child's standard output; false at its end.
  bool ReadLine(std::string& line);
  // Reads what is left and waits for the end; true for exit code 0.
  bool Finish(std::vector<std::string>& lines);
  long PeakMemoryKb() const { return peakMemoryKb; }

private:
  pid_t pid = -1;
  int output = -1;
  std::string pending;
  long peakMemoryKb = 0;
};
