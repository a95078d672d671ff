#pragma once
// Cursors with filters over the groups table: GRP = ID mod 5, NAME "N" and
// the ID.

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

#include "engCursorWriteTestSupport.h"
#include "engExpCodes.h"
#include "engExpToken.h"

inline constexpr int32_t Jan31Of2004 = 731611;

class CursorFilterTest : public CursorWriteTest {
protected:
  TDataCursor* cursor = nullptr;

  // IDs 1 .. count in the groups table.
  void Fill(int count, const std::string& table = "JOBS") {
    CreateGroups(table);
    cursor = &OpenCursor(table);
    for (int id = 1; id <= count; ++id) Insert(*cursor, id, "N" + std::to_string(id), id % 5);
  }
  // Twenty records with "GRP = 2" active; the table BYSLOT is walked in
  // natural order, any other by its primary index.
  void FillFilteredByGroupTwo(const std::string& table) {
    Fill(20, table);
    if (table == "BYSLOT") cursor->SetIndexNo(NaturalOrderIndex);
    Activate("GRP = 2");
    EXPECT_EQ(Visible(), (std::vector<int32_t>{2, 7, 12, 17}));
  }
  static std::vector<int32_t> IdsWhere(int count, bool (*accept)(int32_t id)) {
    std::vector<int32_t> ids;
    for (int32_t id = 1; id <= count; ++id)
      if (accept(id)) ids.push_back(id);
    return ids;
  }

  TFilter* Add(const std::string& text, const TCursorFilterOptions& options = {}) {
    return cursor->Filters().AddFilter(text, options);
  }
  TFilter* Activate(const std::string& text, const TCursorFilterOptions& options = {}) {
    TFilter* filter = Add(text, options);
    cursor->Filters().ActivateFilter(filter);
    return filter;
  }

  // A condition prepared for the cursor's table, as UpdateFilter takes it.
  TExpTreePtr Condition(const std::string& text) { return TExpTreePtr(cursor->Filters().PrepareFilterText(text)); }

  // The IDs forward; the backward walk and the count must agree with it,
  // and in natural order the sequence numbers of the first, middle and
  // last records.
  std::vector<int32_t> Visible() {
    std::vector<int32_t> ids = Walk(*cursor);
    std::vector<int32_t> backward = Walk(*cursor, false);
    std::reverse(backward.begin(), backward.end());
    EXPECT_EQ(backward, ids);
    const int32_t count = int32_t(ids.size());
    EXPECT_EQ(cursor->GetRecordCount(), count);
    if (cursor->GetIndexNo() == NaturalOrderIndex && count > 0) {
      for (int32_t n : {1, (count + 1) / 2, count}) {
        cursor->SetToSequenceNo(n);
        EXPECT_EQ(IdOf(*cursor), ids[size_t(n - 1)]) << n;
        EXPECT_EQ(cursor->GetSequenceNo(), n);
      }
    }
    return ids;
  }
  // The IDs a condition alone lets through, as Visible finds them; the
  // condition is dropped again.
  std::vector<int32_t> VisibleWith(const std::string& text) {
    TFilter* filter = Activate(text);
    std::vector<int32_t> ids = Visible();
    cursor->Filters().DropFilter(filter);
    return ids;
  }
  // Each condition lets some records through, and exactly the ones it lets
  // through when joined with an always-true test of another column, which
  // no shortcut for one column's condition can serve.
  void ExpectAloneAsJoined(std::initializer_list<const char*> texts) {
    for (const char* text : texts) {
      SCOPED_TRACE(text);
      const std::vector<int32_t> ids = VisibleWith(text);
      EXPECT_FALSE(ids.empty());
      EXPECT_EQ(ids, VisibleWith(std::string("(") + text + ") AND ID = ID"));
    }
  }
};
