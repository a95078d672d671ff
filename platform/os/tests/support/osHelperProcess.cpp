#include "osHelperProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

extern char** environ;

namespace {

void Check(bool ok, const std::string& what) {
  if (!ok) throw std::runtime_error(what);
}

}  // namespace

THelperProcess::THelperProcess(const char* program, int answerTimeoutMs) : answerTimeoutMs(answerTimeoutMs) {
  int input[2], output[2];
  Check(pipe2(input, O_CLOEXEC) == 0 && pipe2(output, O_CLOEXEC) == 0, "pipe");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
  char* argv[] = {const_cast<char*>(program), nullptr};
  const int spawned = posix_spawn(&pid, program, &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(input[0]);
  close(output[1]);
  toHelper = input[1];
  fromHelper = output[0];
  if (spawned != 0) pid = -1;
  Check(spawned == 0, std::string("spawn ") + program);
  Check(Answer() == "ready", "helper did not get ready");
}

THelperProcess::~THelperProcess() { Exit(); }

void THelperProcess::Send(const std::string& command) {
  const std::string line = command + "\n";
  Check(write(toHelper, line.data(), line.size()) == ssize_t(line.size()), "write to helper");
}

std::string THelperProcess::Answer() {
  for (;;) {
    if (const auto end = pending.find('\n'); end != std::string::npos) {
      std::string line = pending.substr(0, end);
      pending.erase(0, end + 1);
      return line;
    }
    pollfd ready{fromHelper, POLLIN, 0};
    Check(poll(&ready, 1, answerTimeoutMs) == 1, "helper did not answer in time");
    char buffer[4096];
    const ssize_t got = read(fromHelper, buffer, sizeof buffer);
    Check(got > 0, "helper ended without answering");
    pending.append(buffer, size_t(got));
  }
}

std::string THelperProcess::AskLine(const std::string& command) {
  Send(command);
  return Answer();
}

void THelperProcess::Kill() {
  if (pid > 0) kill(pid, SIGKILL);
  Exit();
}

void THelperProcess::Exit() {
  if (toHelper >= 0) close(toHelper);
  if (fromHelper >= 0) close(fromHelper);
  toHelper = fromHelper = -1;
  if (pid > 0) waitpid(pid, nullptr, 0);
  pid = -1;
}
