// A step in index order starts where the kept key was last found rather
// than descending from the root: whatever other cursors, processes or a
// fill changed meanwhile, the step lands where a descent would, with the
// same sequence numbers.

#include <gtest/gtest.h>

#include <string>

#include "engCursorWriteTestSupport.h"
#include "engErrorCodes.h"
#include "engTableTestSupport.h"

namespace {

class CursorKeptKeyTest : public CursorWriteTest {
protected:
  // Even IDs 2 .. last in the groups table.
  TDataCursor& FillEven(const std::string& table, int32_t last, bool exclusive = false) {
    CreateGroups(table);
    TDataCursor& cursor = OpenCursor(table, exclusive);
    for (int32_t id = 2; id <= last; id += 2) Insert(cursor, id, "N" + std::to_string(id), id % 5);
    cursor.SetIndexName("");
    return cursor;
  }
  static void Remove(TDataCursor& writer, int32_t id) {
    ASSERT_TRUE(Find(writer, id));
    writer.DeleteRecord(Current(writer).data());
  }
};

TEST_F(CursorKeptKeyTest, StepsSeeWhatOtherCursorsAndProcessesChangedAroundTheKey) {
  TDataCursor& reader = FillEven("JOBS", 3000);
  TDataCursor& writer = OpenCursor("JOBS");
  reader.SetToBegin();
  reader.MoveBy(1000);
  ASSERT_EQ(IdOf(reader), 2000);
  reader.MoveBy(1);
  EXPECT_EQ(IdOf(reader), 2002);
  EXPECT_EQ(reader.GetSequenceNo(), 1001);

  // Keys before the kept one, enough to split leaves.
  for (int32_t id = 1; id < 1000; id += 2) Insert(writer, id, "N" + std::to_string(id), 1);
  reader.MoveBy(1);
  EXPECT_EQ(IdOf(reader), 2004);
  EXPECT_EQ(reader.GetSequenceNo(), 1502);
  // The next key gone, then the kept one.
  Remove(writer, 2006);
  reader.MoveBy(1);
  EXPECT_EQ(IdOf(reader), 2008);
  Remove(writer, 2008);
  reader.MoveBy(-1);
  EXPECT_EQ(IdOf(reader), 2004);
  EXPECT_EQ(reader.GetSequenceNo(), 1502);

  // Another process's keys before it, seen at the next operation.
  session->StrictChangeDetection = true;
  TableHelperProcess helper;
  ASSERT_EQ(helper.Ask("cursor " + folder + " JOBS shared"), 0u);
  ASSERT_EQ(helper.Ask("insert 1001 1"), 0u);
  ASSERT_EQ(helper.Ask("insert 1003 1"), 0u);
  reader.MoveBy(1);
  EXPECT_EQ(IdOf(reader), 2010);
  EXPECT_EQ(reader.GetSequenceNo(), 1505);
  ASSERT_EQ(helper.Ask("closecursor"), 0u);
}

// The live reader's pattern: from the end a few steps back, then the end
// again. Each step hands out the record it landed on; whatever another
// cursor or process added or changed before the step began is in it.
TEST_F(CursorKeptKeyTest, StepsBackFromTheEndSeeWhatOtherCursorsAndProcessesChanged) {
  TDataCursor& reader = FillEven("BACK", 600);
  TDataCursor& writer = OpenCursor("BACK");
  std::vector<uint8_t> buffer(reader.CursorRecordSize());
  auto prior = [&](int32_t id, int32_t sequence, const std::string& name = {}) {
    ASSERT_EQ(reader.GetPriorRecord(buffer.data()), 0);
    EXPECT_EQ(IntField(reader, buffer.data(), 1), id);
    EXPECT_EQ(IdOf(reader), id);
    EXPECT_EQ(reader.GetSequenceNo(), sequence);
    char text[32] = {};
    bool blank = true;
    reader.GetTableField(2, buffer.data(), blank, text);
    EXPECT_EQ(text, name.empty() ? "N" + std::to_string(id) : name);
  };
  reader.SetToEnd();
  prior(600, 300);
  prior(598, 299);

  // Another cursor: a key just before the kept one, and a new name for
  // the record after that.
  Insert(writer, 597, "N597", 1);
  ASSERT_TRUE(Find(writer, 596));
  std::vector<uint8_t> record = Row(writer, 596, "renamed", 1);
  writer.ModifyRecord(record.data());
  prior(597, 299);
  prior(596, 298, "renamed");

  // Another process: a key before the kept one and one past the end.
  session->StrictChangeDetection = true;
  TableHelperProcess helper;
  ASSERT_EQ(helper.Ask("cursor " + folder + " BACK shared"), 0u);
  ASSERT_EQ(helper.Ask("insert 595 1"), 0u);
  ASSERT_EQ(helper.Ask("insert 601 1"), 0u);
  prior(595, 298);
  reader.SetToEnd();
  prior(601, 303);
  prior(600, 302);
  // The end again, after the other process appended while the reader
  // stood a step back from it.
  ASSERT_EQ(helper.Ask("insert 603 1"), 0u);
  reader.SetToEnd();
  prior(603, 304);
  prior(601, 303);
  ASSERT_EQ(reader.GetNextRecord(buffer.data()), 0);
  EXPECT_EQ(IntField(reader, buffer.data(), 1), 603);
  EXPECT_EQ(reader.GetNextRecord(buffer.data()), EngErrEndOfFile);
  ASSERT_EQ(helper.Ask("closecursor"), 0u);
}

// A cursor at the crack past the last key (before the first) that finds
// keys beyond it on its next operation stays at that edge of what it now
// sees: the next step in hands out the new keys, then the old edge's,
// none skipped.
TEST_F(CursorKeptKeyTest, AnEdgeCrackStaysAtTheEdgeWhenKeysArriveBeyondIt) {
  TDataCursor& reader = FillEven("EDGE", 40);
  TDataCursor& writer = OpenCursor("EDGE");
  std::vector<uint8_t> buffer(reader.CursorRecordSize());
  auto step = [&](bool forward, int32_t id) {
    ASSERT_EQ(forward ? reader.GetNextRecord(buffer.data()) : reader.GetPriorRecord(buffer.data()), 0);
    EXPECT_EQ(IntField(reader, buffer.data(), 1), id);
  };
  reader.SetToEnd();
  Insert(writer, 41, "N41", 1);
  step(false, 41);
  step(false, 40);
  reader.SetToBegin();
  Insert(writer, 1, "N1", 1);
  step(true, 1);
  step(true, 2);

  session->StrictChangeDetection = true;
  TableHelperProcess helper;
  ASSERT_EQ(helper.Ask("cursor " + folder + " EDGE shared"), 0u);
  reader.SetToEnd();
  ASSERT_EQ(helper.Ask("insert 43 2"), 0u);
  step(false, 44);
  step(false, 43);
  step(false, 41);
  reader.SetToBegin();
  ASSERT_EQ(helper.Ask("insert -1 1"), 0u);
  step(true, -1);
  step(true, 1);
  // Nothing new: the crack stays where it was.
  reader.SetToEnd();
  EXPECT_TRUE(reader.AtEnd());
  step(false, 44);
  ASSERT_EQ(helper.Ask("closecursor"), 0u);
}

// A fill writes without the cursor finding its place again: keys added
// in a leaf before the kept key's leaf still count.
TEST_F(CursorKeptKeyTest, StepsDuringAFillCountTheKeysItAdded) {
  TDataCursor& cursor = FillEven("FILL", 6000, true);
  cursor.SetToBegin();
  cursor.MoveBy(2500);
  ASSERT_EQ(IdOf(cursor), 5000);
  cursor.BeginFill();
  for (int32_t id = 1; id < 100; id += 2) Insert(cursor, id, "N" + std::to_string(id), 1);
  cursor.MoveBy(1);
  EXPECT_EQ(IdOf(cursor), 5002);
  EXPECT_EQ(cursor.GetSequenceNo(), 2551);
  cursor.EndFill();
  cursor.MoveBy(1);
  EXPECT_EQ(IdOf(cursor), 5004);
  EXPECT_EQ(cursor.GetSequenceNo(), 2552);
}

}  // namespace
