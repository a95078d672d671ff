// The real program, offscreen, against a private CUPS daemon.

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "osHelperProcess.h"
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

  std::string DataFolder() const { return folder.Path() + "/home/DATA"; }

  // Until the program has looked at the server twice more: what ended
  // before has reached it.
  bool WaitForTwoLooks() {
    const size_t looks = Count(cupsd.AccessLog(), "Get-Notifications");
    return WaitFor([&] { return Count(cupsd.AccessLog(), "Get-Notifications") >= looks + 2; }, 30000);
  }

  // Until CUPS lists each job as completed.
  bool WaitCompleted(const std::string& queue, const std::vector<uint32_t>& ids) {
    return WaitFor(
        [&] {
          std::string completed;
          cupsd.Run({"lpstat", "-h", cupsd.Socket(), "-W", "completed", "-o", queue}, &completed);
          for (uint32_t id : ids)
            if (completed.find(queue + "-" + std::to_string(id) + " ") == std::string::npos) return false;
          return true;
        },
        30000);
  }

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

// Killed while the jobs it saw end could not be written (another process
// held the table), stopped while more jobs ended, and started again while
// held jobs are released: every job is one row, and one alert counts those
// taken from the server's history. An orderly stop writes a waiting job
// unfinished; when it prints after the next start, that row takes its end.
TEST_F(ProgramRun, JobsLostToAKillOrEndedWhileStoppedAreEachOneRowAfterTheRestart) {
  ASSERT_TRUE(cupsd.Start()) << cupsd.Error();
  ASSERT_TRUE(cupsd.AddQueue("office"));
  const std::string file = cupsd.WriteFile("page.txt", 500);
  std::set<uint32_t> ids;
  std::vector<uint32_t> held, ended;
  pid_t program = Start();
  ASSERT_TRUE(WaitFor([&] { return Count(cupsd.AccessLog(), "Get-Notifications") > 0; }, 30000)) << cupsd.AccessLog();
  for (int i = 0; i < 3; ++i) held.push_back(cupsd.Submit("office", file, "held " + std::to_string(i), true));
  {
    THelperProcess other(JOBS_WRITER_HELPER);
    ASSERT_EQ(other.AskLine("hold " + DataFolder()), "ok");
    for (int i = 0; i < 5; ++i) ended.push_back(cupsd.Submit("office", file, "pending " + std::to_string(i)));
    ASSERT_TRUE(WaitCompleted("office", ended));
    ASSERT_TRUE(WaitForTwoLooks());
    ASSERT_EQ(kill(program, SIGKILL), 0);
    EXPECT_EQ(WaitExit(program, 20000), 128 + SIGKILL);
    ASSERT_EQ(other.AskLine("release"), "ok");
  }
  EXPECT_EQ(JobsColumnIn(DataFolder(), "JobID"), std::vector<std::string>{}) << "nothing could be written";
  // While stopped: more jobs end, one that waited prints.
  for (int i = 0; i < 5; ++i) ended.push_back(cupsd.Submit("office", file, "while stopped " + std::to_string(i)));
  ASSERT_TRUE(cupsd.Release(held[0]));
  ended.push_back(held[0]);
  ASSERT_TRUE(WaitCompleted("office", ended));

  program = Start();
  // Released as the program starts: before or after its watch opens.
  for (size_t i = 1; i < 3; ++i) {
    ASSERT_TRUE(cupsd.Release(held[i]));
    ended.push_back(held[i]);
  }
  ids.insert(ended.begin(), ended.end());
  ASSERT_EQ(ids.size(), 13u);
  ASSERT_TRUE(WaitFor([&] { return JobsRowCountIn(DataFolder()) >= 13; }, 60000))
      << JobsRowCountIn(DataFolder()) << " rows\n"
      << ReadFile(folder.Path() + "/home/ALERTS.LOG") << ReadFile(folder.Path() + "/stderr.log");
  // An orderly stop while a job the program saw queued waits.
  const uint32_t waiting = cupsd.Submit("office", file, "waiting", true);
  ASSERT_TRUE(WaitForTwoLooks());
  ASSERT_EQ(kill(program, SIGTERM), 0);
  ASSERT_EQ(WaitExit(program, 30000), 0) << ReadFile(folder.Path() + "/stderr.log");
  const std::vector<std::string> printedAtStop = JobsColumnIn(DataFolder(), "JobPrinted");
  EXPECT_EQ(std::count(printedAtStop.begin(), printedAtStop.end(), "False"), 1);

  program = Start();
  ASSERT_TRUE(WaitFor([&] { return Count(cupsd.AccessLog(), "Get-Notifications") > 0; }, 30000));
  ASSERT_TRUE(cupsd.Release(waiting));
  ids.insert(waiting);
  ASSERT_TRUE(WaitCompleted("office", {waiting}));
  ASSERT_TRUE(WaitForTwoLooks());
  ASSERT_EQ(kill(program, SIGTERM), 0);
  ASSERT_EQ(WaitExit(program, 30000), 0);

  const std::vector<std::string> rowIds = JobsColumnIn(DataFolder(), "JobID");
  std::multiset<uint32_t> rows;
  for (const std::string& id : rowIds) rows.insert(uint32_t(std::stoul(id)));
  EXPECT_EQ(rows, std::multiset<uint32_t>(ids.begin(), ids.end()));
  const std::vector<std::string> printed = JobsColumnIn(DataFolder(), "JobPrinted");
  EXPECT_EQ(std::count(printed.begin(), printed.end(), "True"), 14) << "each row holds its job's end";
  // The first restart took the jobs the kill lost and those that ended
  // meanwhile from the history (the released ones too, when they ended
  // before the watch opened): one alert counts them.
  const std::string log = ReadFile(folder.Path() + "/home/ALERTS.LOG");
  const std::string told = "job(s) that ended while they were not watched";
  ASSERT_EQ(Count(log, told), 1u) << log;
  const size_t at = log.find(told);
  const int count = std::stoi(log.substr(log.rfind(' ', at - 2) + 1));
  EXPECT_GE(count, 11) << log;
  EXPECT_LE(count, 13) << log;
}
