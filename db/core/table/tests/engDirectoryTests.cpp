// Temporary table names in a folder that several processes share.

#include <filesystem>
#include <fstream>

#include "engTableTestSupport.h"
#include "osThreadContext.h"

namespace {

class DirectoryTest : public TableTest {};

// Another process asking at the same moment starts from the same thread id
// digits: a name handed out must already be taken on disk, not merely free.
TEST_F(DirectoryTest, ATemporaryNameIsClaimedOnDiskBeforeItIsHandedOut) {
  const std::string prefix = std::to_string(GetCurrentThreadId()).substr(0, 5);
  const std::string first = directory->GetTempTableName(false);
  EXPECT_TRUE(std::filesystem::exists(PathOf(first)));
  const std::string second = directory->GetTempTableName(false);
  EXPECT_NE(second, first);

  // The claimed file is the table's to take: creating it over the claim works.
  CreateTable(first.substr(0, first.size() - 4));
  EXPECT_TRUE(directory->TableExists(first, false));

  // A name taken by a file someone else made is skipped, never emptied.
  const std::string third = prefix + "2.DAT";
  ASSERT_NE(second, third);
  std::filesystem::remove(PathOf(second));
  { std::ofstream(PathOf(third)) << "theirs"; }
  EXPECT_EQ(directory->GetTempTableName(false), second);
  EXPECT_NE(directory->GetTempTableName(false), third);
  EXPECT_EQ(std::filesystem::file_size(PathOf(third)), 6u);
}

TEST_F(DirectoryTest, AMemoryNameLeavesTheFolderAlone) {
  const std::string name = directory->GetTempTableName(true);
  EXPECT_FALSE(std::filesystem::exists(PathOf(name)));
}

}  // namespace
