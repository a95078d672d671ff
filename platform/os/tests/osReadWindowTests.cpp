#include "osReadWindow.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "osFile.h"
#include "osFileTestText.h"
#include "osSettingsTestFolder.h"

namespace {

std::string Pattern(size_t count, char first) {
  std::string text(count, ' ');
  for (size_t i = 0; i < count; ++i) text[i] = char(first + i % 23);
  return text;
}

std::string Shown(const OsReadWindow& window, int64_t at, size_t count) {
  if (!window.Covers(at, count)) return "<not covered>";
  return std::string(reinterpret_cast<const char*>(window.At(at)), count);
}

// A stretch kept reads as it did while the file is rewritten, and, kept
// again after it showed the file anew, while the file is cut to nothing (a
// page of the mapping past the file's end would end the process with a bus
// error); the window's pages beyond the stretch go on showing the file.
TEST(OsReadWindow, AKeptStretchKeepsItsBytesThroughChangesAndACut) {
  const size_t page = size_t(sysconf(_SC_PAGESIZE));
  const size_t fileBytes = 5 * page + 100;
  struct TCase {
    const char* Name;
    int64_t MapAt;
    size_t MapCount;
    int64_t KeepAt;
    size_t KeepCount;
  };
  const TCase cases[] = {
      {"from the first byte", 0, fileBytes, 0, 397},
      {"across a page boundary", 17, 4 * page, int64_t(page) - 5, 10},
      {"the last bytes", int64_t(page) + 3, fileBytes - page - 3, int64_t(fileBytes) - 300, 300},
      {"the whole window", 397, 2 * page, 397, 2 * page},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Name);
    TTestFolder folder;
    const std::string path = folder.Path() + "/JOBS.DAT";
    const std::string before = Pattern(fileBytes, 'a');
    WriteText(path, before);
    OsFile file;
    ASSERT_EQ(file.Open(path, OsFileAccess::ReadOnly, OsFileShare::Shared), ERROR_SUCCESS);
    OsReadWindow window;
    ASSERT_TRUE(file.MapWindow(window, test.MapAt, test.MapCount));
    EXPECT_EQ(Shown(window, test.MapAt, test.MapCount), before.substr(size_t(test.MapAt), test.MapCount));
    EXPECT_EQ(Shown(window, test.MapAt + int64_t(test.MapCount) - 1, 2), "<not covered>");

    window.Keep(test.KeepAt, test.KeepCount);
    const std::string after = Pattern(fileBytes, 'A');
    TOtherWriter other(path);
    ASSERT_TRUE(other.Write(0, after));
    EXPECT_EQ(Shown(window, test.KeepAt, test.KeepCount), before.substr(size_t(test.KeepAt), test.KeepCount));
    // A byte on a page the stretch does not reach shows the change.
    const int64_t keptFrom = test.KeepAt / int64_t(page) * int64_t(page);
    const int64_t keptTo = (test.KeepAt + int64_t(test.KeepCount) + int64_t(page) - 1) / int64_t(page) * int64_t(page);
    for (int64_t at : {test.MapAt, test.MapAt + int64_t(test.MapCount) - 1})
      if (at < keptFrom || at >= keptTo) {
        EXPECT_EQ(Shown(window, at, 1), after.substr(size_t(at), 1));
      }

    // Shown again, the stretch is the file's; kept again, it outlives a cut.
    ASSERT_TRUE(window.ShowAgain());
    EXPECT_EQ(Shown(window, test.KeepAt, test.KeepCount), after.substr(size_t(test.KeepAt), test.KeepCount));
    window.Keep(test.KeepAt, test.KeepCount);
    ASSERT_TRUE(other.Cut(0));
    EXPECT_EQ(Shown(window, test.KeepAt, test.KeepCount), after.substr(size_t(test.KeepAt), test.KeepCount));
  }
}

// A page past a cut, touched through a window, reads as zeros and faults
// the window instead of ending the process; touched through any other
// mapping of the file it still ends the process with a bus error. Each
// touch runs in a child process.
TEST(OsReadWindow, APageCutByAnotherProgramReadsAsZerosOnlyInAWindow) {
  const size_t page = size_t(sysconf(_SC_PAGESIZE));
  constexpr int Survived = 0, Wrong = 1, SetUpFailed = 2;
  for (const bool inWindow : {true, false}) {
    SCOPED_TRACE(inWindow ? "in a window" : "in another mapping");
    TTestFolder folder;
    const std::string path = folder.Path() + "/JOBS.DAT";
    WriteText(path, Pattern(4 * page, 'a'));
    OsFile file;
    ASSERT_EQ(file.Open(path, OsFileAccess::ReadOnly, OsFileShare::Shared), ERROR_SUCCESS);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      TOtherWriter other(path);
      OsReadWindow window;
      const int fd = open(path.c_str(), O_RDONLY);
      void* mapped = mmap(nullptr, 4 * page, PROT_READ, MAP_SHARED, fd, 0);
      if (!file.MapWindow(window, 0, 4 * page) || mapped == MAP_FAILED || !other.Cut(off_t(page))) _exit(SetUpFailed);
      if (!inWindow) {
        static_cast<void>(static_cast<const volatile uint8_t*>(mapped)[2 * page + 5]);
        _exit(Survived);
      }
      const bool zeros = *static_cast<const volatile uint8_t*>(window.At(int64_t(2 * page) + 5)) == 0;
      _exit(zeros && window.Faulted() && *window.At(5) == 'f' ? Survived : Wrong);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (inWindow) {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == Survived) << status;
    } else {
      // A sanitizer's handler, installed before ours, reports the bus error
      // and exits instead.
      EXPECT_TRUE(WIFSIGNALED(status) ? WTERMSIG(status) == SIGBUS
                                      : WIFEXITED(status) && WEXITSTATUS(status) != Survived &&
                                            WEXITSTATUS(status) != SetUpFailed)
          << status;
    }
  }
}

}  // namespace
