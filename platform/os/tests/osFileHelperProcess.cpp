#include "osFileHelperProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

extern char** environ;

namespace {

constexpr int kAnswerTimeoutMs = 20000;

void Check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(what);
}

}  // namespace

OsFileHelperProcess::OsFileHelperProcess() {
  int input[2], output[2];
  Check(pipe2(input, O_CLOEXEC) == 0 && pipe2(output, O_CLOEXEC) == 0, "pipe");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
  char* argv[] = {const_cast<char*>(OS_LOCK_HELPER), nullptr};
  const int spawned = posix_spawn(&pid_, OS_LOCK_HELPER, &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(input[0]);
  close(output[1]);
  toHelper_ = input[1];
  fromHelper_ = output[0];
  Check(spawned == 0, "spawn " OS_LOCK_HELPER);
  Check(Answer() == "ready", "helper did not get ready");
}

OsFileHelperProcess::~OsFileHelperProcess() {
  close(toHelper_);
  close(fromHelper_);
  if (pid_ > 0) waitpid(pid_, nullptr, 0);
}

void OsFileHelperProcess::Send(const std::string& command) {
  const std::string line = command + "\n";
  Check(write(toHelper_, line.data(), line.size()) == static_cast<ssize_t>(line.size()), "write to helper");
}

std::string OsFileHelperProcess::Answer() {
  for (;;) {
    if (const auto end = pending_.find('\n'); end != std::string::npos) {
      std::string line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      return line;
    }
    pollfd ready{fromHelper_, POLLIN, 0};
    Check(poll(&ready, 1, kAnswerTimeoutMs) == 1, "helper did not answer in time");
    char buffer[4096];
    const ssize_t got = read(fromHelper_, buffer, sizeof buffer);
    Check(got > 0, "helper ended without answering");
    pending_.append(buffer, static_cast<size_t>(got));
  }
}

std::string OsFileHelperProcess::Ask(const std::string& command) {
  Send(command);
  return Answer();
}

OsError OsFileHelperProcess::AskCode(const std::string& command) {
  return static_cast<OsError>(std::stoul(Ask(command)));
}

void OsFileHelperProcess::Kill() {
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}
