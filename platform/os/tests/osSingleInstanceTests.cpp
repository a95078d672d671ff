#include <condition_variable>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "osSettingsTestFolder.h"
#include "osSingleInstance.h"

namespace {

const char kMutex[] = "Orvelle_MUTEX";

// The probe program as a child with a pipe to its stdin and one from its stdout.
class TProbe {
public:
  TProbe() {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) std::abort();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    char* argv[] = {const_cast<char*>(OS_SINGLE_INSTANCE_PROBE), const_cast<char*>(kMutex), nullptr};
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ) != 0) std::abort();
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    toChild = in[1];
    fromChild = out[0];
  }
  ~TProbe() {
    CloseInput();
    close(fromChild);
    if (pid > 0) waitpid(pid, nullptr, 0);
  }

  // The next line the probe printed; empty at its end.
  std::string ReadLine() {
    std::string line;
    char c;
    while (read(fromChild, &c, 1) == 1 && c != '\n') line += c;
    return line;
  }
  void CloseInput() {
    if (toChild >= 0) close(toChild);
    toChild = -1;
  }
  void Kill() {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
  }

private:
  pid_t pid = -1;
  int toChild = -1;
  int fromChild = -1;
};

class SingleInstanceTest : public ::testing::Test {
protected:
  TTestFolder folder;
  TScopedEnv runtime{"XDG_RUNTIME_DIR", folder.Path()};
};

TEST_F(SingleInstanceTest, ASecondProcessIsRefusedAndTheFirstIsAskedToShow) {
  TSingleInstance first(kMutex);
  ASSERT_EQ(first.Claim(), TInstanceClaim::First);
  std::mutex mutex;
  std::condition_variable changed;
  int requests = 0;
  first.SetShowHandler([&] {
    std::lock_guard<std::mutex> guard(mutex);
    ++requests;
    changed.notify_all();
  });

  TProbe second;
  EXPECT_EQ(second.ReadLine(), "shown");
  std::unique_lock<std::mutex> lock(mutex);
  EXPECT_TRUE(changed.wait_for(lock, std::chrono::seconds(10), [&] { return requests == 1; }));
}

TEST_F(SingleInstanceTest, AnotherProcessHoldsUntilItEnds) {
  TProbe holder;
  ASSERT_EQ(holder.ReadLine(), "first");
  {
    TSingleInstance second(kMutex);
    EXPECT_EQ(second.Claim(), TInstanceClaim::ShownOther);
    EXPECT_EQ(holder.ReadLine(), "show");
  }
  holder.CloseInput();
  EXPECT_EQ(holder.ReadLine(), "");  // the probe has ended
  TSingleInstance next(kMutex);
  EXPECT_EQ(next.Claim(), TInstanceClaim::First);
}

TEST_F(SingleInstanceTest, AHolderWithoutWindowShowsNothing) {
  TSingleInstance first(kMutex);
  ASSERT_EQ(first.Claim(), TInstanceClaim::First);
  TProbe second;
  EXPECT_EQ(second.ReadLine(), "notfound");
}

TEST_F(SingleInstanceTest, AKilledHolderLeavesNoClaimBehind) {
  TProbe holder;
  ASSERT_EQ(holder.ReadLine(), "first");
  holder.Kill();
  EXPECT_TRUE(std::filesystem::exists(folder.Path() + "/Orvelle_MUTEX.sock"));
  TSingleInstance next(kMutex);
  EXPECT_EQ(next.Claim(), TInstanceClaim::First);
  TProbe second;
  EXPECT_EQ(second.ReadLine(), "notfound");
}

TEST(RuntimeFolder, FallsBackToAPrivateFolderInTmp) {
  TScopedEnv runtime("XDG_RUNTIME_DIR", std::nullopt);
  std::string folder = RuntimeFolder();
  EXPECT_EQ(folder, "/tmp/orvelle-" + std::to_string(getuid()));
  EXPECT_EQ(std::filesystem::status(folder).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_all);
}

}  // namespace
