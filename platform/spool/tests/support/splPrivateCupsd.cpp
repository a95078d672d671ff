#include "splPrivateCupsd.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

bool WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  return static_cast<bool>(out);
}

std::vector<char*> ArgvOf(const std::vector<std::string>& argv) {
  std::vector<char*> result;
  for (const auto& a : argv) result.push_back(const_cast<char*>(a.c_str()));
  result.push_back(nullptr);
  return result;
}

void PauseMs(int ms) { ::poll(nullptr, 0, ms); }

}  // namespace

TPrivateCupsd::TPrivateCupsd() {
  char pattern[] = "/tmp/orvelle-cupsd-XXXXXX";
  if (::mkdtemp(pattern)) {
    folder_ = pattern;
    socket_ = folder_ + "/cups.sock";
  } else {
    error_ = std::string("mkdtemp: ") + std::strerror(errno);
  }
}

TPrivateCupsd::~TPrivateCupsd() {
  Stop();
  if (!folder_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
}

CupsConfig TPrivateCupsd::Config(const std::string& LocalServer) const {
  CupsConfig config;
  config.LocalServer = LocalServer;
  config.LocalHost = socket_;
  config.PollIntervalMs = 50;
  return config;
}

bool TPrivateCupsd::WriteConfiguration() {
  for (const char* sub : {"spool", "spool/tmp", "cache", "state", "log", "out"})
    std::filesystem::create_directories(folder_ + "/" + sub);
  // Filters and backends run as the daemon's unprivileged user.
  ::chmod(folder_.c_str(), 0755);
  ::chmod((folder_ + "/out").c_str(), 0777);
  const std::string& f = folder_;
  const std::string daemon =
      "LogLevel warn\n"
      "Listen " + socket_ + "\n"
      "Browsing No\n"
      "BrowseLocalProtocols none\n"
      "DefaultAuthType None\n"
      "WebInterface No\n"
      "AccessLogLevel all\n"
      "MaxLogSize 0\n"
      "PreserveJobHistory Yes\n"
      "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
      "<Policy default>\n"
      "  JobPrivateAccess all\n  JobPrivateValues none\n"
      "  SubscriptionPrivateAccess all\n  SubscriptionPrivateValues none\n" +
      std::string(refuseSubscriptions_ ? "  <Limit Create-Printer-Subscriptions Create-Job-Subscriptions>\n"
                                         "    AuthType Basic\n    Require user @nosuchgroup\n  </Limit>\n"
                                       : "") +
      "  <Limit All>\n    Order deny,allow\n  </Limit>\n"
      "</Policy>\n";
  std::string files =
      "ServerRoot " + f + "\nRequestRoot " + f + "/spool\nTempDir " + f + "/spool/tmp\nCacheDir " + f +
      "/cache\nStateDir " + f + "/state\nErrorLog " + f + "/log/error_log\nAccessLog " + f +
      "/log/access_log\nPageLog " + f + "/log/page_log\nPrintcap " + f + "/printcap\nFileDevice Yes\n";
  return WriteText(f + "/cupsd.conf", daemon) && WriteText(f + "/cups-files.conf", files);
}

bool TPrivateCupsd::Start() {
  if (folder_.empty() || pid_ > 0) return pid_ > 0;
  if (!WriteConfiguration()) {
    error_ = "cannot write the configuration in " + folder_;
    return false;
  }
  const std::vector<std::string> argv = {"cupsd", "-f", "-c", folder_ + "/cupsd.conf", "-s",
                                         folder_ + "/cups-files.conf"};
  const std::string log = folder_ + "/log/cupsd.out";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  auto args = ArgvOf(argv);
  const int rc = ::posix_spawnp(&pid_, "cupsd", &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    pid_ = -1;
    error_ = std::string("cannot start cupsd: ") + std::strerror(rc);
    return false;
  }
  if (WaitUntilListening(20000)) return true;
  std::ifstream in(folder_ + "/log/error_log");
  error_ = "cupsd did not come up: " + std::string(std::istreambuf_iterator<char>(in), {});
  Kill();
  return false;
}

std::string TPrivateCupsd::AccessLog() const {
  std::ifstream in(folder_ + "/log/access_log");
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool TPrivateCupsd::WaitUntilListening(int TimeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(TimeoutMs);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socket_.c_str(), sizeof address.sun_path - 1);
  while (Clock::now() < deadline) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return false;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool connected = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0) ::close(fd);
    if (connected) return true;
    PauseMs(20);
  }
  return false;
}

void TPrivateCupsd::Reap(int TimeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(TimeoutMs);
  while (pid_ > 0) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return;
    }
    if (Clock::now() >= deadline) return;
    PauseMs(10);
  }
}

void TPrivateCupsd::Stop() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  ::kill(pid_, SIGCONT);
  Reap(10000);
  Kill();
}

void TPrivateCupsd::Kill() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
}

void TPrivateCupsd::Pause() {
  if (pid_ > 0) ::kill(pid_, SIGSTOP);
}

void TPrivateCupsd::Resume() {
  if (pid_ > 0) ::kill(pid_, SIGCONT);
}

int TPrivateCupsd::Run(const std::vector<std::string>& Argv, std::string* Output) {
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
  auto args = ArgvOf(Argv);
  pid_t child = -1;
  const int rc = ::posix_spawnp(&child, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  if (rc != 0) {
    ::close(pipeFds[0]);
    return -1;
  }
  std::string text;
  const auto deadline = Clock::now() + std::chrono::seconds(30);
  bool killed = false;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd p{pipeFds[0], POLLIN, 0};
    if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) == 0) {
      ::kill(child, SIGKILL);
      killed = true;
      break;
    }
    char buffer[4096];
    const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  ::close(pipeFds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (Output) *Output = text;
  if (killed || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

bool TPrivateCupsd::AddQueue(const std::string& Queue, const std::string& Location, const std::string& Info) {
  std::vector<std::string> argv = {"lpadmin", "-h", socket_, "-p", Queue, "-E",
                                   "-v", "file://" + folder_ + "/out/" + Queue, "-m", "raw"};
  if (!Location.empty()) argv.insert(argv.end(), {"-L", Location});
  if (!Info.empty()) argv.insert(argv.end(), {"-D", Info});
  return Run(argv) == 0;
}

bool TPrivateCupsd::DisableQueue(const std::string& Queue) {
  return Run({"cupsdisable", "-h", socket_, Queue}) == 0;
}

bool TPrivateCupsd::EnableQueue(const std::string& Queue) { return Run({"cupsenable", "-h", socket_, Queue}) == 0; }

std::string TPrivateCupsd::WriteFile(const std::string& Name, size_t Bytes) {
  const std::string path = folder_ + "/" + Name;
  std::string text(Bytes, 'x');
  for (size_t i = 79; i < Bytes; i += 80) text[i] = '\n';
  WriteText(path, text);
  return path;
}

uint32_t TPrivateCupsd::Submit(const std::string& Queue, const std::string& File, const std::string& Title,
                               bool Hold) {
  std::vector<std::string> argv = {"lp", "-h", socket_, "-d", Queue, "-t", Title};
  if (Hold) argv.insert(argv.end(), {"-H", "hold"});
  argv.push_back(File);
  std::string output;
  if (Run(argv, &output) != 0) return 0;
  std::smatch match;
  if (!std::regex_search(output, match, std::regex("request id is .*-([0-9]+)"))) return 0;
  return static_cast<uint32_t>(std::stoul(match[1]));
}

bool TPrivateCupsd::Cancel(uint32_t JobId) { return Run({"cancel", "-h", socket_, std::to_string(JobId)}) == 0; }

bool TPrivateCupsd::Release(uint32_t JobId) {
  return Run({"lp", "-h", socket_, "-i", std::to_string(JobId), "-H", "resume"}) == 0;
}
