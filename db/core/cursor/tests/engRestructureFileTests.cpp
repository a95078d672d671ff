// The exchange of a copied table's files for the old ones: a failure at
// any step loses nothing, and a work folder on another file system is
// copied from.

#include "engErrorCodes.h"
#include "engRestructureTestSupport.h"

namespace {

// Fails the n-th changing file operation (from 1); 0 fails none.
class TFailingFileOps : public TTableFileOps {
public:
  explicit TFailingFileOps(int failAt, bool crossDevice = false) : failAt(failAt), crossDevice(crossDevice) {}
  int Calls = 0;

  int32_t Rename(const std::string& name, const std::string& newName, bool inMemory) override {
    if (Fails()) return -9218;
    if (crossDevice && std::filesystem::path(name).parent_path() != std::filesystem::path(newName).parent_path())
      return -int32_t(EngErrNotSameDevice);
    return TTableFileOps::Rename(name, newName, inMemory);
  }
  int32_t Copy(const std::string& name, const std::string& newName, bool inMemory) override {
    return Fails() ? -9218 : TTableFileOps::Copy(name, newName, inMemory);
  }
  int32_t Delete(const std::string& name, bool inMemory) override {
    return Fails() ? -9218 : TTableFileOps::Delete(name, inMemory);
  }

private:
  int failAt;
  bool crossDevice;
  bool Fails() { return ++Calls == failAt; }
};

}  // namespace

TEST_F(RestructureTest, FailureAtEachStepOfTheExchangeKeepsTheOldTable) {
  CreatePeopleWith({"Ann", "Bob"});
  TFailingFileOps counting(0, true);
  {
    TNewDefinition definition({{"ID", IntType}, {"NAME", StrType, 30}}, {1, 2}, {{"", {1}}});
    Restructure(definition, true, &counting);
  }
  const int steps = counting.Calls;
  ASSERT_GE(steps, 8);  // two backups, two copies with deletes, two backup deletes
  for (int failAt = 1; failAt <= steps; ++failAt) {
    SCOPED_TRACE(failAt);
    std::filesystem::remove(PathOf("PEOPLE.DBK"));
    std::filesystem::remove(PathOf("PEOPLE.IBK"));
    TFailingFileOps failing(failAt, true);
    TNewDefinition definition({{"ID", IntType}, {"NAME", StrType, 40}}, {1, 2}, {{"", {1}}});
    const uint16_t error = ErrorOf([&] { Restructure(definition, true, &failing); });
    EXPECT_EQ(TableRows(), (Rows{{"1", "Ann"}, {"2", "Bob"}}));
    // Only the deletes of the backups come after the new files are in place.
    const bool newInPlace = failAt > steps - 2;
    if (!newInPlace) {
      EXPECT_NE(error, 0);
    }
    TDataCursor& cursor = OpenCursor("PEOPLE", true);
    uint8_t desc[FieldDescSize];
    cursor.GetTableFieldDesc(2, desc);
    EXPECT_EQ(desc[FieldDescDeclaredSizeOffset], newInPlace ? 40 : 30);
    cursor.Close(TTemporaryContents::Discard);
    if (!newInPlace) {
      EXPECT_FALSE(FileExists("PEOPLE.DBK") || FileExists("PEOPLE.IBK"));
    }
    EXPECT_TRUE(WorkFolderEmpty());
  }
}

TEST_F(RestructureTest, WorkFolderOnAnotherFileSystemIsCopiedFrom) {
  CreatePeopleWith({"Ann", "Bob"});
  TFailingFileOps crossDevice(0, true);
  TNewDefinition definition({{"ID", IntType}, {"NAME", StrType, 30}}, {1, 2}, {{"", {1}}});
  Restructure(definition, false, &crossDevice);
  EXPECT_EQ(TableRows(), (Rows{{"1", "Ann"}, {"2", "Bob"}}));
  EXPECT_TRUE(FileExists("PEOPLE.DBK"));
  EXPECT_TRUE(FileExists("PEOPLE.IBK"));
  EXPECT_TRUE(WorkFolderEmpty());
}
