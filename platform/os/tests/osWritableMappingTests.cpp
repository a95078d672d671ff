#include "osWritableMapping.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "osFile.h"
#include "osFileTestText.h"
#include "osSettingsTestFolder.h"

namespace {

constexpr size_t Width = OsWritableMapping::StoreWidth;

// A second open file description of the same file: another program's view.
class TOtherOpener {
public:
  explicit TOtherOpener(const std::string& path) : fd(open(path.c_str(), O_RDWR)) {}
  ~TOtherOpener() { close(fd); }
  std::string Read(off_t offset, size_t count) const {
    std::string text(count, '?');
    const ssize_t done = pread(fd, text.data(), count, offset);
    text.resize(done < 0 ? 0 : size_t(done));
    return text;
  }
  bool Cut(off_t size) { return ftruncate(fd, size) == 0; }
  off_t Size() const {
    struct stat status {};
    return fstat(fd, &status) == 0 ? status.st_size : -1;
  }

private:
  int fd;
};

// What a forked process reads at offset with a read call of its own.
std::string ReadInAnotherProcess(const std::string& path, off_t offset, size_t count) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return "<no pipe>";
  const pid_t child = fork();
  if (child == 0) {
    const std::string text = TOtherOpener(path).Read(offset, count);
    const ssize_t written = write(pipeEnds[1], text.data(), text.size());
    _exit(written == ssize_t(text.size()) ? 0 : 1);
  }
  close(pipeEnds[1]);
  std::string text(count, '?');
  size_t done = 0;
  for (ssize_t n; done < count && (n = read(pipeEnds[0], text.data() + done, count - done)) > 0;) done += size_t(n);
  close(pipeEnds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  text.resize(done);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? text : "<child failed>";
}

std::string Window(char fill) { return std::string(Width, fill); }

// A file of the given bytes in a fresh folder, opened as given, and a
// mapping to store through; skipped where stores in place do not exist.
class OsWritableMappingTest : public ::testing::Test {
protected:
  void SetUp() override {
    }
  void OpenFilled(const std::string& name, const std::string& bytes, OsFileAccess access = OsFileAccess::ReadWrite) {
    path = folder.Path() + "/" + name;
    WriteText(path, bytes);
    ASSERT_EQ(file.Open(path, access, OsFileShare::Shared), ERROR_SUCCESS);
  }

  TTestFolder folder;
  std::string path;
  OsFile file;
  OsWritableMapping mapping;
};

}  // namespace

// A store lands whole, across a boundary of memory pages too, in the same
// bytes other openers and other processes read at once; the bytes around
// it keep theirs.
TEST_F(OsWritableMappingTest, StoresAreWhatOtherOpenersAndProcessesReadAtOnce) {
  ASSERT_NO_FATAL_FAILURE(OpenFilled("ORDERS.IDX", std::string(3 * 4096, '.')));
  TOtherOpener other(path);

  ASSERT_TRUE(file.StoreInPlace(mapping, 100, Window('a').data()));
  EXPECT_EQ(other.Read(99, Width + 2), "." + Window('a') + ".");
  const off_t across = 4096 - 5;
  ASSERT_TRUE(file.StoreInPlace(mapping, across, Window('b').data()));
  EXPECT_EQ(ReadInAnotherProcess(path, across - 1, Width + 2), "." + Window('b') + ".");
  ASSERT_TRUE(file.StoreInPlace(mapping, 3 * 4096 - Width, Window('c').data()));
  EXPECT_EQ(other.Size(), 3 * 4096);
  mapping.Unmap();
  file.Close();
  const std::string text = ReadText(path);
  EXPECT_EQ(text.substr(100, Width), Window('a'));
  EXPECT_EQ(text.substr(size_t(across), Width), Window('b'));
  EXPECT_EQ(text.substr(3 * 4096 - Width), Window('c'));
}

// A file that grew past what was mapped is mapped again to take a store
// beyond it, and the stores before and after the growth are all kept.
TEST_F(OsWritableMappingTest, AStoreBeyondTheMappingMapsTheGrownFileAgain) {
  ASSERT_NO_FATAL_FAILURE(OpenFilled("GROWN.IDX", std::string(8192, '.')));
  ASSERT_TRUE(file.StoreInPlace(mapping, 4000, Window('a').data()));

  // Far beyond any first mapping of an 8 KiB file.
  const int64_t far = int64_t(1) << 28;
  ASSERT_EQ(file.SetEnd(far + 4096), ERROR_SUCCESS);
  ASSERT_TRUE(file.StoreInPlace(mapping, far + 10, Window('b').data()));
  ASSERT_TRUE(file.StoreInPlace(mapping, 4000 + Width, Window('c').data()));

  TOtherOpener other(path);
  EXPECT_EQ(other.Read(4000, 2 * Width), Window('a') + Window('c'));
  EXPECT_EQ(other.Read(far + 9, Width + 2), std::string(1, '\0') + Window('b') + std::string(1, '\0'));
  ASSERT_EQ(file.SetEnd(0), ERROR_SUCCESS);
}

// A store into a page another program cut from the file fails without a
// change and without ending the process; the write call that follows it
// puts the bytes in place, and stores below the cut go on.
TEST_F(OsWritableMappingTest, AStoreIntoACutPageFailsAndTheWriteAfterItKeepsTheBytes) {
  ASSERT_NO_FATAL_FAILURE(OpenFilled("CUT.IDX", std::string(3 * 4096, '.')));
  ASSERT_TRUE(file.StoreInPlace(mapping, 2 * 4096 + 10, Window('a').data()));

  TOtherOpener other(path);
  ASSERT_TRUE(other.Cut(4096));
  const std::string changed = Window('b');
  EXPECT_FALSE(file.StoreInPlace(mapping, 2 * 4096 + 10, changed.data()));
  EXPECT_FALSE(file.StoreInPlace(mapping, 2 * 4096 + 10, changed.data()));
  EXPECT_EQ(other.Size(), 4096);
  size_t done = 0;
  ASSERT_EQ(file.Write(2 * 4096 + 10, changed.data(), Width, done), ERROR_SUCCESS);
  EXPECT_EQ(other.Read(2 * 4096 + 10, Width), changed);

  ASSERT_TRUE(file.StoreInPlace(mapping, 20, Window('c').data()));
  EXPECT_EQ(other.Read(20, Width), Window('c'));
  ASSERT_TRUE(file.StoreInPlace(mapping, 2 * 4096 + 10, Window('d').data()));
  EXPECT_EQ(other.Read(2 * 4096 + 10, Width), Window('d'));
}

// A handle that may not write stores nothing through a mapping either.
TEST_F(OsWritableMappingTest, AReadOnlyHandleStoresNothing) {
  ASSERT_NO_FATAL_FAILURE(OpenFilled("READ.IDX", std::string(4096, '.'), OsFileAccess::ReadOnly));
  EXPECT_FALSE(file.StoreInPlace(mapping, 100, Window('a').data()));
  file.Close();
  EXPECT_EQ(ReadText(path), std::string(4096, '.'));
}

// A mapping stores into so many memory pages and no more: a store into a
// further page is refused and changes nothing, stores into pages taken go
// on, and a file mapped again takes pages anew.
TEST_F(OsWritableMappingTest, StoresIntoMorePagesThanTheMostAreRefused) {
  const size_t page = size_t(sysconf(_SC_PAGESIZE));
  ASSERT_NO_FATAL_FAILURE(OpenFilled("MANY.IDX", std::string((OsWritableMapping::MostPagesStored + 2) * page, '.')));
  TOtherOpener other(path);

  // Across the boundary of the first two pages: both taken by one store.
  ASSERT_TRUE(file.StoreInPlace(mapping, off_t(page) - 8, Window('a').data()));
  for (size_t i = 2; i < OsWritableMapping::MostPagesStored; ++i)
    ASSERT_TRUE(file.StoreInPlace(mapping, off_t(i * page), Window('b').data())) << "page " << i;
  const off_t further = off_t(OsWritableMapping::MostPagesStored * page);
  EXPECT_FALSE(file.StoreInPlace(mapping, further, Window('c').data()));
  EXPECT_EQ(other.Read(further, Width), std::string(Width, '.'));
  // One more page would be taken by a store across the last taken one's end.
  EXPECT_FALSE(file.StoreInPlace(mapping, further - 8, Window('c').data()));
  EXPECT_EQ(other.Read(further - 8, Width), std::string(Width, '.'));
  ASSERT_TRUE(file.StoreInPlace(mapping, off_t(page) + 100, Window('d').data()));
  EXPECT_EQ(other.Read(off_t(page) + 100, Width), Window('d'));

  mapping.Unmap();
  ASSERT_TRUE(file.StoreInPlace(mapping, further, Window('e').data()));
  EXPECT_EQ(other.Read(further, Width), Window('e'));
}
