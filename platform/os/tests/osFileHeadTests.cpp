#include "osFileHead.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

#include "osFile.h"
#include "osFileTestText.h"
#include "osSettingsTestFolder.h"

namespace {

std::string HeadText(const OsFileHead& head, size_t count) {
  std::string text(count, '?');
  if (!head.Read(text.data(), count)) return "<failed>";
  return text;
}

TEST(OsFileHead, ShowsWhatAnotherDescriptionWritesAtOnce) {
  TTestFolder folder;
  const std::string path = folder.Path() + "/ORDERS.IDX";
  WriteText(path, "count=1;rest");
  OsFile file;
  ASSERT_EQ(file.Open(path, OsFileAccess::ReadWrite, OsFileShare::Shared), ERROR_SUCCESS);
  OsFileHead head;
  ASSERT_EQ(file.MapHead(head), OsFileHeadMap::Mapped);
  EXPECT_EQ(HeadText(head, 7), "count=1");

  TOtherWriter other(path);
  ASSERT_TRUE(other.Write(0, "count=2"));
  EXPECT_EQ(HeadText(head, 7), "count=2");
  // Bytes past the end of the file read as zeros; a count beyond the page is refused.
  EXPECT_EQ(HeadText(head, 14), std::string("count=2;rest\0\0", 14));
  EXPECT_EQ(HeadText(head, size_t(sysconf(_SC_PAGESIZE)) + 1), "<failed>");
  head.Unmap();
  EXPECT_EQ(HeadText(head, 1), "<failed>");
}

TEST(OsFileHead, AnEmptyFileIsMappedOnceItHasBytes) {
  TTestFolder folder;
  const std::string path = folder.Path() + "/EMPTY.DAT";
  WriteText(path, "");
  OsFile file;
  ASSERT_EQ(file.Open(path, OsFileAccess::ReadWrite, OsFileShare::Shared), ERROR_SUCCESS);
  OsFileHead head;
  EXPECT_EQ(file.MapHead(head), OsFileHeadMap::Empty);
  EXPECT_FALSE(head.IsMapped());
  size_t done = 0;
  ASSERT_EQ(file.Write(0, "abc", 3, done), ERROR_SUCCESS);
  EXPECT_EQ(file.MapHead(head), OsFileHeadMap::Mapped);
  EXPECT_EQ(HeadText(head, 3), "abc");
}

TEST(OsFileHead, AFileCutToNothingFailsTheReadAndOtherBusErrorsStillEndTheProcess) {
  TTestFolder folder;
  const std::string path = folder.Path() + "/CUT.BLB";
  WriteText(path, "header");
  OsFile file;
  ASSERT_EQ(file.Open(path, OsFileAccess::ReadWrite, OsFileShare::Shared), ERROR_SUCCESS);
  OsFileHead head;
  ASSERT_EQ(file.MapHead(head), OsFileHeadMap::Mapped);

  TOtherWriter other(path);
  ASSERT_TRUE(other.Cut(0));
  EXPECT_EQ(HeadText(head, 4), "<failed>");
  EXPECT_EQ(HeadText(head, 4), "<failed>");
  ASSERT_TRUE(other.Write(0, "again"));
  EXPECT_EQ(HeadText(head, 5), "again");

  // A bus error outside a guarded read is not swallowed.
  ASSERT_TRUE(other.Cut(0));
  EXPECT_DEATH(
      {
        const int fd = open(path.c_str(), O_RDONLY);
        const auto* page = static_cast<const volatile char*>(mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0));
        std::printf("%d\n", page[0]);
      },
      "");
}

}  // namespace
