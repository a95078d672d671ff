// The real program, offscreen, against a private CUPS daemon.

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "osSettingsTestFolder.h"
#include "appJobsTable.h"
#include "osProgram.h"
#include "osSyncTicks.h"
#include "splPrivateCupsd.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Waits for the child's end; its exit status, -1 after limitMs.
int WaitExit(pid_t pid, uint32_t limitMs) {
  const uint32_t start = GetTickCount();
  for (;;) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (GetTickCount() - start > limitMs) return -1;
    usleep(10000);
  }
}

size_t Count(const std::string& text, const std::string& word) {
  size_t count = 0;
  for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++count;
  return count;
}

bool WaitFor(const std::function<bool()>& condition, uint32_t limitMs) {
  const uint32_t start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start > limitMs) return false;
    usleep(20000);
  }
  return true;
}

class ProgramRun : public ::testing::Test {
protected:
  TTestFolder folder;
  TPrivateCupsd cupsd;

  pid_t Start() {
    const pid_t pid = fork();
    if (pid == 0) {
      setenv("ORVELLE_HOME", (folder.Path() + "/home").c_str(), 1);
      setenv("XDG_CONFIG_HOME", (folder.Path() + "/config").c_str(), 1);
      setenv("XDG_RUNTIME_DIR", folder.Path().c_str(), 1);
      setenv("CUPS_SERVER", cupsd.Socket().c_str(), 1);
      unsetenv("DISPLAY");
      unsetenv("WAYLAND_DISPLAY");
      unsetenv("QT_QPA_PLATFORM");
      if (const int log = open((folder.Path() + "/stderr.log").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600); log >= 0)
        dup2(log, STDERR_FILENO);
      execl(ORVELLE_PROGRAM, ORVELLE_PROGRAM, nullptr);
      _exit(127);
    }
    return pid;
  }
};

}  // namespace

TEST_F(ProgramRun, StartsOffscreenRecordsAPrintedJobAsksASecondStartToShowItselfAndEndsInOrderOnSigterm) {
  ASSERT_TRUE(cupsd.Start()) << cupsd.Error();
  ASSERT_TRUE(cupsd.AddQueue("office"));
  const pid_t first = Start();
  ASSERT_GT(first, 0);
  // Watching: the program's subscription is asked for its news.
  ASSERT_TRUE(WaitFor([&] { return Count(cupsd.AccessLog(), "Get-Notifications") > 0; }, 30000))
      << cupsd.AccessLog();
  EXPECT_GT(cupsd.Submit("office", cupsd.WriteFile("page.txt", 2000), "end to end"), 0u);
  // Recorded: the program's next looks after the job ended.
  const size_t looks = Count(cupsd.AccessLog(), "Get-Notifications");
  ASSERT_TRUE(WaitFor([&] { return Count(cupsd.AccessLog(), "Get-Notifications") >= looks + 2; }, 30000));

  const pid_t second = Start();
  EXPECT_EQ(WaitExit(second, 20000), 0) << "a second start hands over and ends";

  ASSERT_EQ(kill(first, SIGTERM), 0);
  EXPECT_EQ(WaitExit(first, 30000), 0);
  const std::string log = ReadFile(folder.Path() + "/home/ALERTS.LOG");
  EXPECT_NE(log.find("CLOSE LOG"), std::string::npos) << log;
  const std::string settings = ReadFile(folder.Path() + "/config/Morvane/settings.ini");
  EXPECT_NE(settings.find("TreeListColumn0="), std::string::npos) << "settings written at the end";
  EXPECT_EQ(JobsColumnIn(folder.Path() + "/home/DATA", "Doc"), std::vector<std::string>{"end to end"}) << log;
  const std::string errors = ReadFile(folder.Path() + "/stderr.log");
  EXPECT_EQ(errors.find("propagateSizeHints"), std::string::npos) << "a headless run says nothing it need not\n" << errors;
}
