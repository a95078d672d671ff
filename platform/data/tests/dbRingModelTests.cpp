// The buffer ring against a model: random navigation, edits, inserts,
// deletes, a record filter switched on and off and links changing their
// window sizes, each step checked against a plain list of IDs and a
// position. Every row a grid shows must be the record the model has there.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "dbTestSupport.h"

namespace {

// Records whose ID is a multiple of three are hidden while filtered.
bool Visible(int id) { return id % 3 != 0; }

struct TModel {
  std::vector<int> ids;  // every record, in stored order
  bool filtered = false;
  int pos = 0;  // within View()
  bool bof = true;
  bool eof = true;

  std::vector<int> View() const {
    if (!filtered) return ids;
    std::vector<int> view;
    for (int id : ids)
      if (Visible(id)) view.push_back(id);
    return view;
  }
  int Count() const { return static_cast<int>(View().size()); }
  bool Empty() const { return Count() == 0; }
  int Current() const { return View()[size_t(pos)]; }
  void Settle() {
    // After a resync the ring knows no end; an empty one is at both.
    bof = eof = Empty();
    pos = Empty() ? 0 : std::clamp(pos, 0, Count() - 1);
  }
};

int CurrentId(TDataSet& dataSet) { return dataSet.FieldByName("ID")->AsInteger(); }

void CheckAgainstModel(TMemoryDataSet& people, const TModel& model, const std::vector<TRecordingLink*>& grids,
                       int step) {
  ASSERT_EQ(people.IsEmpty(), model.Empty()) << "step " << step;
  EXPECT_EQ(people.Bof(), model.bof) << "step " << step;
  EXPECT_EQ(people.Eof(), model.eof) << "step " << step;
  EXPECT_EQ(people.RecordCount(), model.Count()) << "step " << step;
  if (model.Empty()) return;
  const std::vector<int> view = model.View();
  ASSERT_EQ(CurrentId(people), model.Current()) << "step " << step;
  EXPECT_EQ(people.RecNo(), model.pos + 1) << "step " << step;
  for (TRecordingLink* grid : grids) {
    const int active = grid->ActiveRecord();
    ASSERT_GE(active, 0) << "step " << step;
    ASSERT_LT(active, grid->BufferCount()) << "step " << step;
    const int first = model.pos - active;
    ASSERT_GE(first, 0) << "step " << step;
    for (int row = 0; row < grid->RecordCount(); ++row) {
      grid->SetActiveRecord(row);
      ASSERT_LT(first + row, static_cast<int>(view.size())) << "step " << step;
      EXPECT_EQ(CurrentId(people), view[size_t(first + row)]) << "step " << step << " row " << row;
    }
    grid->SetActiveRecord(active);
    // A window shows as many records as the data has around it.
    const int available = static_cast<int>(view.size()) - first;
    EXPECT_EQ(grid->RecordCount(), std::min(grid->BufferCount(), available)) << "step " << step;
  }
}

}  // namespace

TEST(DataSetBufferRing, RandomStepsAgreeWithAModel) {
  auto people = MakePeople(0);
  people->SetOnFilterRecord(
      TFilterRecordEvent([](TDataSet* d, bool& accept) { accept = Visible(d->FieldByName("ID")->AsInteger()); }));
  TDataSource source(nullptr);
  source.SetDataSet(people.get());
  TRecordingLink small, large;
  small.SetBufferCount(3);
  large.SetBufferCount(7);
  small.SetDataSource(&source);
  std::vector<TRecordingLink*> grids{&small};

  TModel model;
  int nextId = 1;
  std::mt19937 random(20261207);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };

  for (int step = 0; step < 3000; ++step) {
    const int n = model.Count();
    const int op = pick(12);
    SCOPED_TRACE("operation " + std::to_string(op));
    switch (op) {
      case 0:
        people->First();
        model.pos = 0;
        model.bof = true;
        model.eof = model.Empty();
        break;
      case 1:
        people->Last();
        model.pos = std::max(n - 1, 0);
        model.eof = true;
        model.bof = model.Empty();
        break;
      case 2:
      case 3: {
        const int distance = pick(13) - 6;
        const int moved = people->MoveBy(distance);
        int expected = 0;
        if (!model.Empty() && ((distance > 0 && !model.eof) || (distance < 0 && !model.bof))) {
          const int target = model.pos + distance;
          const int reached = std::clamp(target, 0, n - 1);
          expected = reached - model.pos;
          model.pos = reached;
          model.bof = target < 0;
          model.eof = target > n - 1;
        }
        EXPECT_EQ(moved, expected) << "step " << step;
        break;
      }
      case 4: {
        // While filtered, only records the filter shows are added.
        int id = nextId++;
        if (model.filtered && !Visible(id)) id = nextId++;
        if (pick(2) == 0 || model.Empty()) {
          AppendPerson(*people, id);
          model.ids.push_back(id);
          model.pos = model.Count() - 1;
        } else {
          people->Insert();
          people->FieldByName("ID")->SetAsInteger(id);
          people->Post();
          const auto at = std::find(model.ids.begin(), model.ids.end(), model.Current());
          model.ids.insert(at, id);
        }
        model.Settle();
        break;
      }
      case 5:
        if (model.Empty()) break;
        people->Delete();
        model.ids.erase(std::find(model.ids.begin(), model.ids.end(), model.Current()));
        model.Settle();
        break;
      case 6:
        if (model.Empty()) break;
        people->Edit();
        people->FieldByName("NAME")->SetAsString("Step" + std::to_string(step));
        if (pick(2) == 0)
          people->Post();
        else
          people->Cancel();
        model.Settle();
        break;
      case 7: {
        if (model.Empty()) break;
        const int index = pick(n);
        ASSERT_TRUE(people->Locate("ID", model.View()[size_t(index)], {}));
        model.pos = index;
        model.Settle();
        break;
      }
      case 8:
        // Links come and go and change their window sizes.
        if (large.DataSource()) {
          large.SetDataSource(nullptr);
          grids.erase(std::remove(grids.begin(), grids.end(), &large), grids.end());
        } else {
          large.SetBufferCount(2 + pick(9));
          large.SetDataSource(&source);
          grids.push_back(&large);
        }
        break;
      case 9:
        small.SetBufferCount(1 + pick(5));
        break;
      case 10: {
        if (model.Empty()) break;
        const int target = 1 + pick(n);
        people->SetRecNo(target);
        if (target == model.pos + 1) break;  // already there: nothing moves
        model.pos = target - 1;
        model.Settle();
        break;
      }
      case 11:
        if (pick(4) != 0) break;  // now and then
        model.filtered = !model.filtered;
        people->SetFiltered(model.filtered);
        model.pos = 0;
        model.bof = true;
        model.eof = model.Empty();
        break;
    }
    CheckAgainstModel(*people, model, grids, step);
    if (HasFatalFailure()) return;
  }
  EXPECT_GT(model.ids.size(), 0u);
}
