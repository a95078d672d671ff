#include <gtest/gtest.h>

#include "rtlExceptions.h"
#include "rtlResources.h"

namespace {

const char tableText[] = "CREATE TABLE Jobs";
const TResourceRegistrar tableRegistrar("TEXT", "JobsTable", tableText, sizeof tableText - 1);
const TStringTableRegistrar strings({{12232, "Beginning of file encountered in table '%s'"}, {7, ""}});

}  // namespace

TEST(Resources, LookupIgnoresCase) {
  const TResourceData* table = FindResource("text", "JOBSTABLE");
  ASSERT_NE(nullptr, table);
  EXPECT_EQ("CREATE TABLE Jobs", table->Text());
  EXPECT_EQ(nullptr, FindResource("RCDATA", "JobsTable"));
  EXPECT_EQ(nullptr, FindResource("TEXT", "Jobs"));
  EXPECT_THROW(RegisterResource("Text", "jobstable", "x", 1), Exception);
}

TEST(Resources, StringTable) {
  EXPECT_EQ("Beginning of file encountered in table '%s'", LoadStr(12232));
  EXPECT_EQ("", LoadStr(12233));
  EXPECT_EQ("", LoadStr(7));
}

TEST(Resources, FilesEmbeddedByTheBuild) {
  const TResourceData* greeting = FindResource("TEXT", "greeting");
  ASSERT_NE(nullptr, greeting);
  EXPECT_EQ("Hello from a resource.\r\nSecond line\r\n", greeting->Text());
  const TResourceData* renamed = FindResource("RCDATA", "LAYOUT.SAMPLE");
  ASSERT_NE(nullptr, renamed);
  EXPECT_EQ(greeting->Size, renamed->Size);
}

TEST(Resources, StreamsAreReadOnly) {
  TResourceStream stream("rcdata", "layout.sample");
  EXPECT_EQ(37, stream.Size());
  char first[6] = {};
  stream.ReadBuffer(first, 5);
  EXPECT_STREQ("Hello", first);
  stream.Seek(-2, soFromEnd);
  EXPECT_EQ(2, stream.Read(first, 5));
  EXPECT_THROW(stream.WriteBuffer("x", 1), EStreamError);
  try {
    TResourceStream missing("RCDATA", "NoSuchLayout");
    FAIL();
  } catch (const EResNotFound& e) {
    EXPECT_EQ("Resource NoSuchLayout not found", e.Message);
  }
}
