#include "benchStorageChild.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <stdexcept>

TChildProcess::TChildProcess(const std::vector<std::string>& arguments) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) throw std::runtime_error("pipe failed");
  std::fflush(nullptr);
  pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(pipeEnds[1], STDOUT_FILENO);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    std::vector<char*> argv;
    std::string self = "/proc/self/exe";
    argv.push_back(self.data());
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    execv(self.c_str(), argv.data());
    std::perror("execv");
    _exit(127);
  }
  close(pipeEnds[1]);
  output = pipeEnds[0];
}

TChildProcess::~TChildProcess() {
  std::vector<std::string> rest;
  if (pid > 0) Finish(rest);
}

bool TChildProcess::ReadLine(std::string& line) {
  for (;;) {
    const size_t end = pending.find('\n');
    if (end != std::string::npos) {
      line = pending.substr(0, end);
      pending.erase(0, end + 1);
      return true;
    }
    char buffer[4096];
    const ssize_t got = output >= 0 ? read(output, buffer, sizeof buffer) : 0;
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      if (pending.empty()) return false;
      line.swap(pending);
      pending.clear();
      return true;
    }
    pending.append(buffer, size_t(got));
  }
}

bool TChildProcess::Finish(std::vector<std::string>& lines) {
  std::string line;
  while (ReadLine(line)) lines.push_back(line);
  if (output >= 0) close(output);
  output = -1;
  int status = 0;
  rusage usage{};
  while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  pid = -1;
  peakMemoryKb = usage.ru_maxrss;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
