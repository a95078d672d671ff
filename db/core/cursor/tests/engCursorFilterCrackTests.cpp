// A filter change that leaves the cursor at a crack: what every operation
// after it finds there is what it found when the crack's key was looked
// up at once. Each case runs on two tables of equal rows: one cursor is
// left as the change leaves it, the other is put at the same crack by an
// explicit SetToBegin or SetToEnd, which always walks to the edge.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engCursorFilterTestSupport.h"

namespace {

// What an operation can see of a cursor's place.
struct TPlace {
  bool OnRecord, AtBeginning, AtEnd;
  int32_t Id, Sequence;
  std::vector<uint8_t> Bookmark;
  bool operator==(const TPlace&) const = default;
};

class CursorFilterCrackTest : public CursorFilterTest {
protected:
  TDataCursor* left = nullptr;     // as the filter change leaves it
  TDataCursor* settled = nullptr;  // put at the crack explicitly

  // IDs 1 .. 30 (GRP = ID mod 5) in both tables.
  void SetUp() override {
    CursorFilterTest::SetUp();
    Fill(30, "LEFT");
    left = cursor;
    Fill(30, "SETTLED");
    settled = cursor;
  }

  static TPlace PlaceOf(TDataCursor& on) {
    TPlace place{on.OnRecord(), on.AtBeginning(), on.AtEnd(), on.OnRecord() ? IdOf(on) : 0, on.GetSequenceNo(), {}};
    place.Bookmark.resize(size_t(on.GetBookmarkSize()));
    on.GetBookmark(place.Bookmark.data());
    return place;
  }

  using TStep = std::function<void(TDataCursor&)>;

  // Both cursors: order, end, the filter change; then the settled one is
  // put at its crack; then the follow-up on both.
  void ExpectAlike(const std::string& what, const std::string& order, bool atEnd, const TStep& change,
                   const TStep& followUp) {
    SCOPED_TRACE(what + " in order '" + order + "' at the " + (atEnd ? "end" : "beginning"));
    for (TDataCursor* on : {left, settled}) {
      on->Filters().DropFilter(nullptr);
      on->ResetRange();
      on->SetIndexName(order);
      if (atEnd) on->SetToEnd();
      else on->SetToBegin();
      change(*on);
    }
    if (atEnd) settled->SetToEnd();
    else settled->SetToBegin();
    for (TDataCursor* on : {left, settled}) followUp(*on);
    EXPECT_EQ(PlaceOf(*left), PlaceOf(*settled));
  }
};

TEST_F(CursorFilterCrackTest, EveryOperationFindsTheCrackAFilterChangeLeft) {
  auto activate = [](const std::string& text) {
    return [text](TDataCursor& on) { on.Filters().ActivateFilter(on.Filters().AddFilter(text)); };
  };
  auto then = [](const TStep& first, const TStep& second) {
    return [first, second](TDataCursor& on) {
      first(on);
      second(on);
    };
  };
  const std::vector<std::pair<std::string, TStep>> changes = {
      {"an index-served filter", activate("GRP = 2")},
      {"a range of one column", activate("ID >= 12 AND ID <= 20")},
      {"a scanned filter", activate("NAME LIKE '%1%'")},
      {"a filter that shows nothing", activate("GRP = 9")},
      {"two filters", then(activate("GRP = 2"), activate("ID > 10"))},
      // The crack the narrower view left lies past the first key of the wider.
      {"one of two filters dropped", [](TDataCursor& on) {
         on.Filters().ActivateFilter(on.Filters().AddFilter("GRP = 2"));
         TFilter* narrow = on.Filters().AddFilter("ID > 10 AND ID < 20");
         on.Filters().ActivateFilter(narrow);
         if (on.AtEnd()) on.SetToEnd();
         else on.SetToBegin();
         on.Filters().DropFilter(narrow);
       }},
      {"a filter dropped", then(activate("GRP = 2"), [](TDataCursor& on) { on.Filters().DropFilter(nullptr); })},
      {"a filter switched off", then(activate("GRP = 2"), [](TDataCursor& on) { on.Filters().DeactivateFilter(nullptr); })},
  };
  const int32_t low = 9;
  const int32_t high = 21;
  const std::vector<std::pair<std::string, TStep>> followUps = {
      {"nothing", [](TDataCursor&) {}},
      {"one forward", [](TDataCursor& on) { on.MoveBy(1); }},
      {"one back", [](TDataCursor& on) { on.MoveBy(-1); }},
      {"three forward", [](TDataCursor& on) { on.MoveBy(3); }},
      {"three back", [](TDataCursor& on) { on.MoveBy(-3); }},
      {"a range", [&](TDataCursor& on) {
         if (on.IsNaturalOrder() || on.GetIndexName() != "") return;
         on.SetRange(Record(on, {&low}).data(), 1, Record(on, {&high}).data(), 1);
       }},
      {"the range reset", [](TDataCursor& on) { on.ResetRange(); }},
      {"another order", [](TDataCursor& on) { on.SetIndexName("ByName"); }},
      {"sequence number 2", [](TDataCursor& on) { on.SetToSequenceNo(2); }},
      {"another filter", activate("ID < 25")},
      {"the bookmark gone to", [](TDataCursor& on) {
         std::vector<uint8_t> bookmark(size_t(on.GetBookmarkSize()));
         on.GetBookmark(bookmark.data());
         on.GotoBookmark(bookmark.data(), TKeyMatch::Nearest);
       }},
      {"a refresh", [](TDataCursor& on) { on.RefreshPosition(); }},
      {"an insert", [](TDataCursor& on) { Insert(on, 40, "N40", 2); }},
  };
  for (const char* order : {"", "ByGrp", "ByName"})
    for (const bool atEnd : {false, true})
      for (const auto& [changeName, change] : changes)
        for (const auto& [followName, followUp] : followUps) {
          ExpectAlike(changeName + ", then " + followName, order, atEnd, change, followUp);
          if (followName == "an insert")
            for (TDataCursor* on : {left, settled}) {
              on->Filters().DropFilter(nullptr);
              ASSERT_TRUE(Find(*on, 40));
              on->DeleteRecord(Current(*on).data());
            }
        }
}

}  // namespace
