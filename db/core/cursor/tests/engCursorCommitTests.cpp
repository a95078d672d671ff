#include <array>
#include <memory>
#include <string>
#include <vector>

#include "engCursorWriteTestSupport.h"
#include "engTableTestSupport.h"

namespace {

// What the cursor under test is set to see: its order, a range on that
// order's first field, a filter.
struct TView {
  const char* Index;  // nullptr: natural order
  bool Range;
  const char* Filter;  // nullptr: none
};

// Who else writes: nobody, another cursor of the process inside the same
// transaction (on a shared table, or as a twin on one the cursor holds
// exclusively), or, between two commits, a cursor of another session or
// another process.
enum class TOtherWriter { None, SameTransaction, ExclusiveTwin, OtherSession, OtherProcess };

// The views both tests walk: natural order with and without a filter, a
// range over the whole table with one, and ranges on the name and group
// indexes, the last with a filter that keeps out one record.
std::array<TView, 5> Views(const char* withoutOne) {
  return {{{nullptr, false, nullptr},
           {nullptr, false, "GRP < 50"},
           {"", false, "GRP >= 20"},
           {"ByName", true, nullptr},
           {"ByGrp", true, withoutOne}}};
}

}  // namespace

class CursorCommitTest : public CursorWriteTest {
protected:
  // Another cursor of this process on the table, as its twins share one
  // the first holds exclusively.
  TDataCursor& OpenAlongside(const std::string& table, bool exclusive) {
    TDataCursor& cursor = NewCursor(table, exclusive);
    cursor.SetOverrideExclusive(exclusive);
    cursor.Open();
    return cursor;
  }
  static void Show(TDataCursor& cursor, const TView& view) {
    if (view.Index) cursor.SetIndexName(view.Index);
    else cursor.SetIndexNo(NaturalOrderIndex);
    if (view.Range) {
      int32_t from = 20, to = 70;
      if (std::string(view.Index) == "ByName")
        cursor.SetRange(Record(cursor, {nullptr, "N120"}).data(), 2, Record(cursor, {nullptr, "N60"}).data(), 2);
      else
        cursor.SetRange(Record(cursor, {nullptr, nullptr, &from}).data(), 1,
                        Record(cursor, {nullptr, nullptr, &to}).data(), 1);
    }
    if (view.Filter) cursor.Filters().ActivateFilter(cursor.Filters().AddFilter(view.Filter));
  }
  // Both ways, and the count (as the walks' operations left it), as a
  // cursor opened now with the same view.
  void ExpectSeenAsAfresh(TDataCursor& cursor, const TView& view, const std::string& table) {
    TDataCursor& fresh = OpenAlongside(table, cursor.Table()->IsExclusive());
    Show(fresh, view);
    EXPECT_EQ(Walk(cursor), Walk(fresh));
    EXPECT_EQ(Walk(cursor, false), Walk(fresh, false));
    EXPECT_EQ(cursor.GetRecordCount(), fresh.GetRecordCount());
    fresh.Close(TTemporaryContents::Keep);
  }
};

// A cursor that writes one record per transaction and commits it, as a
// single-row INSERT does, keeps its bitmaps and counts by the records it
// wrote and carries its view over its own commit: it must see exactly what
// a fresh cursor sees, whichever records its writes moved into or out of
// its range and filter, and whoever else wrote in between, in its
// transaction or between its commits.
TEST_F(CursorCommitTest, ACursorCommittingItsWritesSeesWhatAFreshCursorSees) {
  const std::array<TView, 5> views = Views("ID <> 1004");
  const TOtherWriter others[] = {TOtherWriter::None, TOtherWriter::SameTransaction, TOtherWriter::ExclusiveTwin,
                                 TOtherWriter::OtherSession, TOtherWriter::OtherProcess};
  int n = 0;
  for (const TView& view : views) {
    for (TOtherWriter other : others) {
      const std::string table = "COMMIT" + std::to_string(n);
      SCOPED_TRACE(table);
      ++n;
      CreateGroups(table);
      const bool exclusive = other == TOtherWriter::ExclusiveTwin;
      TDataCursor& cursor = OpenCursor(table, exclusive);
      for (int32_t id = 1; id <= 150; ++id) Insert(cursor, id, "N" + std::to_string(id), id % 100);
      Show(cursor, view);
      TDataCursor& neighbour = OpenAlongside(table, exclusive);
      TDataSession* otherSession = nullptr;
      CreateEngineSession(otherSession);
      std::unique_ptr<TDataSession, void (*)(TDataSession*)> ownedSession(otherSession, FreeEngineSession);
      std::unique_ptr<TDataCursor> stranger(new TDataCursor(otherSession->OpenDirectory("", folder)));
      stranger->SetOpenOptions({.TableName = table});
      if (!exclusive) stranger->Open();
      std::unique_ptr<TableHelperProcess> process;
      if (other == TOtherWriter::OtherProcess) {
        process = std::make_unique<TableHelperProcess>();
        ASSERT_EQ(process->Ask("cursor " + folder + " " + table + " shared"), 0u);
      }
      for (int32_t round = 0; round < 12; ++round) {
        SCOPED_TRACE(round);
        directory->StartTransaction();
        const int32_t id = 1000 + round;
        Insert(cursor, id, (round % 2 ? "Z" : "N") + std::to_string(id), round * 13 % 100);
        // The third visible record moves to another group and out of the
        // name range; the fifth goes.
        cursor.SetToBegin();
        cursor.MoveBy(3);
        if (round % 3 == 1 && cursor.OnRecord()) {
          std::vector<uint8_t> record = Current(cursor);
          const int32_t moved = IdOf(cursor);
          record = Row(cursor, moved, "A" + std::to_string(moved), (IntField(cursor, record.data(), 3) + 50) % 100);
          cursor.ModifyRecord(record.data());
        }
        cursor.SetToBegin();
        cursor.MoveBy(5);
        if (round % 4 == 2 && cursor.OnRecord()) cursor.DeleteRecord(Current(cursor).data());
        if (other == TOtherWriter::SameTransaction || exclusive)
          Insert(neighbour, 2000 + round, "N" + std::to_string(2000 + round), 10);
        directory->Commit(true);
        // A foreign write follows every other commit straight away: the
        // cursor's next write is what meets it, not a look in between.
        const bool foreign = other == TOtherWriter::OtherSession || other == TOtherWriter::OtherProcess;
        if (!foreign || round % 2 == 1) ExpectSeenAsAfresh(cursor, view, table);
        if (other == TOtherWriter::OtherSession && round % 2 == 0)
          Insert(*stranger, 3000 + round, "N" + std::to_string(3000 + round), 30);
        if (other == TOtherWriter::OtherProcess && round % 2 == 0) {
          ASSERT_EQ(process->Ask("insert " + std::to_string(4000 + round) + " 1"), 0u);
        }
      }
      if (process) {
        ASSERT_EQ(process->Ask("closecursor"), 0u);
      }
      stranger.reset();
      neighbour.Close(TTemporaryContents::Keep);
      cursor.Close(TTemporaryContents::Keep);
    }
  }
}

// Twins of a table held exclusively (a clone, or a cursor opened over the
// exclusive hold) share it with nobody outside the process, yet each one's
// insert, modify and delete, made outside any transaction, must reach the
// other's count, walks both ways, key search, range and filter at once.
TEST_F(CursorCommitTest, TwinsOfAnExclusiveTableSeeEachOthersChanges) {
  const std::array<TView, 5> views = Views("ID <> 40");
  int n = 0;
  for (const TView& view : views) {
    for (const bool cloned : {true, false}) {
      const std::string table = "TWINS" + std::to_string(n++);
      SCOPED_TRACE(table);
      CreateGroups(table);
      TDataCursor& cursor = OpenCursor(table, true);
      for (int32_t id = 1; id <= 120; ++id) Insert(cursor, id, "N" + std::to_string(id), id % 100);
      Show(cursor, view);
      TDataCursor* twin = nullptr;
      if (cloned) {
        cursors.emplace_back(cursor.Clone());
        twin = cursors.back().get();
      } else {
        twin = &OpenAlongside(table, true);
        Show(*twin, view);
      }
      // Each writes in turn; the other has walked and counted just before.
      for (int32_t round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        TDataCursor& writer = round % 2 ? *twin : cursor;
        TDataCursor& reader = round % 2 ? cursor : *twin;
        ExpectSeenAsAfresh(reader, view, table);
        const int32_t id = 500 + round;
        Insert(writer, id, "N" + std::to_string(id), round * 7 % 100);
        writer.SetToBegin();
        writer.MoveBy(2);
        if (writer.OnRecord()) {
          std::vector<uint8_t> record = Current(writer);
          const int32_t moved = IdOf(writer);
          record = Row(writer, moved, "A" + std::to_string(moved), (IntField(writer, record.data(), 3) + 50) % 100);
          writer.ModifyRecord(record.data());
        }
        writer.SetToBegin();
        writer.MoveBy(4);
        int32_t gone = -1;
        if (writer.OnRecord()) {
          gone = IdOf(writer);
          writer.DeleteRecord(Current(writer).data());
        }
        ExpectSeenAsAfresh(reader, view, table);
        // A search through the primary order (under the view's filter)
        // finds what it finds on a fresh cursor; the view is put back after.
        TDataCursor& fresh = OpenAlongside(table, true);
        Show(fresh, view);
        for (const int32_t key : {id, gone}) EXPECT_EQ(Find(reader, key), Find(fresh, key)) << key;
        fresh.Close(TTemporaryContents::Keep);
        Show(reader, {view.Index, view.Range, nullptr});
      }
      // The twin saw a change of a transaction; a rollback takes it back.
      directory->StartTransaction();
      Insert(cursor, 900, "N900", 30);
      ExpectSeenAsAfresh(*twin, view, table);
      directory->Rollback();
      ExpectSeenAsAfresh(*twin, view, table);
      if (!cloned) twin->Close(TTemporaryContents::Keep);
      cursor.Close(TTemporaryContents::Keep);
    }
  }
}
