#include <gtest/gtest.h>

#include <algorithm>

#include "dbTestSupport.h"

namespace {

int Count(const std::vector<std::string>& events, const std::string& name) {
  return static_cast<int>(std::count(events.begin(), events.end(), name));
}

}  // namespace

TEST(DataEvents, LinksHearStateRecordAndFieldChanges) {
  auto people = MakePeople(3);
  TDataSource source(nullptr);
  std::vector<TField*> sourceChanges;
  source.OnDataChange = [&](TDataSource*, TField* field) { sourceChanges.push_back(field); };
  int stateChanges = 0;
  source.OnStateChange = [&](TObject*) { ++stateChanges; };
  source.SetDataSet(people.get());
  TRecordingLink link;
  link.SetDataSource(&source);
  EXPECT_EQ(link.Events, (std::vector<std::string>{"active"}));
  EXPECT_EQ(stateChanges, 1);

  link.Events.clear();
  people->Edit();
  EXPECT_EQ(link.Events, (std::vector<std::string>{"browse", "editing", "record"}));
  EXPECT_EQ(source.State(), dsEdit);
  link.Events.clear();
  TField* name = people->FieldByName("NAME");
  name->SetAsString("Changed");
  EXPECT_EQ(link.Events, (std::vector<std::string>{"record"}));
  EXPECT_EQ(link.LastChangedField, name);
  EXPECT_EQ(sourceChanges.back(), name);
  link.Events.clear();
  people->Post();
  // The controls are asked for their pending edits, then told of the end.
  EXPECT_EQ(Count(link.Events, "update"), 1);
  EXPECT_GE(Count(link.Events, "browse"), 1);
  EXPECT_EQ(Count(link.Events, "not editing"), 1);
  EXPECT_GE(Count(link.Events, "changed"), 1);

  link.Events.clear();
  people->Close();
  EXPECT_EQ(link.Events, (std::vector<std::string>{"inactive"}));
  EXPECT_FALSE(link.Active());
  people->Open();
  EXPECT_TRUE(link.Active());

  // A disabled source tells its links the dataset is inactive.
  source.SetEnabled(false);
  EXPECT_FALSE(link.Active());
  source.SetEnabled(true);
  EXPECT_TRUE(link.Active());
}

TEST(DataEvents, DisabledControlsHearOneChangeAtTheEnd) {
  auto people = MakePeople(10);
  TDataSource source(nullptr);
  source.SetDataSet(people.get());
  TRecordingLink link;
  link.SetDataSource(&source);
  link.Events.clear();

  people->DisableControls();
  people->DisableControls();
  EXPECT_TRUE(people->ControlsDisabled());
  people->Next();
  AppendPerson(*people, 11);
  people->EnableControls();
  EXPECT_TRUE(link.Events.empty());
  people->EnableControls();
  EXPECT_EQ(link.Events, (std::vector<std::string>{"changed"}));
  EXPECT_FALSE(people->ControlsDisabled());
}

TEST(DataEvents, FieldDataLinkFollowsItsField) {
  auto people = MakePeople(3);
  TDataSource source(nullptr);
  source.SetDataSet(people.get());
  TFieldDataLink link;
  int dataChanges = 0;
  link.OnDataChange = [&](TObject*) { ++dataChanges; };
  link.SetDataSource(&source);
  link.SetFieldName("NAME");
  ASSERT_NE(link.Field(), nullptr);
  EXPECT_EQ(link.Field()->AsString(), "Name1");
  EXPECT_TRUE(link.CanModify());

  dataChanges = 0;
  people->Next();
  EXPECT_EQ(dataChanges, 1);
  people->Edit();
  dataChanges = 0;
  people->FieldByName("AMOUNT")->SetAsFloat(1);  // another field: not ours
  EXPECT_EQ(dataChanges, 0);
  people->FieldByName("NAME")->SetAsString("Mine");
  EXPECT_EQ(dataChanges, 1);
  people->Cancel();

  // A control's pending text reaches its field when the record is posted.
  std::string controlText = "Typed";
  link.OnUpdateData = [&](TObject*) { link.Field()->SetAsString(controlText); };
  EXPECT_TRUE(link.Edit());
  link.Modified();
  EXPECT_TRUE(link.IsModified());
  people->Post();
  EXPECT_FALSE(link.IsModified());
  EXPECT_EQ(people->FieldByName("NAME")->AsString(), "Typed");
  // Without AutoEdit a control cannot start editing.
  source.SetAutoEdit(false);
  EXPECT_FALSE(link.Edit());
  EXPECT_EQ(people->State(), dsBrowse);

  link.SetFieldName("NOSUCH");
  EXPECT_EQ(link.Field(), nullptr);
  people->Close();
  link.SetFieldName("NAME");
  EXPECT_EQ(link.Field(), nullptr);
}

TEST(DataEvents, CircularLinksAreRefused) {
  auto master = MakePeople(1);
  auto detail = MakePeople(1);
  TDataSource masterSource(nullptr);
  masterSource.SetDataSet(master.get());
  TDataSource detailSource(nullptr);
  detailSource.SetDataSet(detail.get());
  detail->SetMasterSource(&masterSource);
  EXPECT_TRUE(detail->IsLinkedTo(&masterSource));
  EXPECT_TRUE(detailSource.IsLinkedTo(master.get()));
  // The master may not follow its own detail.
  master->SetMasterSource(&detailSource);
  EXPECT_EQ(ErrorOf([&] { masterSource.SetDataSet(detail.get()); }), "Circular datalinks are not allowed");
  master->SetMasterSource(nullptr);
}

TEST(DataEvents, ASourceOutlivesItsDataSetAndALinkItsSource) {
  TRecordingLink link;
  {
    TDataSource source(nullptr);
    {
      auto people = MakePeople(2);
      source.SetDataSet(people.get());
      link.SetDataSource(&source);
      EXPECT_TRUE(link.Active());
    }
    EXPECT_EQ(source.DataSet(), nullptr);
    EXPECT_FALSE(link.Active());
  }
  EXPECT_EQ(link.DataSource(), nullptr);
}
