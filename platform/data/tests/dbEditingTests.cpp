#include <gtest/gtest.h>

#include "dbTestSupport.h"

TEST(DataSetEditing, EditPostAndCancel) {
  auto people = MakePeople(5);
  people->MoveBy(1);
  people->Edit();
  EXPECT_EQ(people->State(), dsEdit);
  people->FieldByName("NAME")->SetAsString("Changed");
  EXPECT_TRUE(people->Modified());
  EXPECT_EQ(people->FieldByName("NAME")->OldValue().AsString(), "Name2");
  EXPECT_EQ(people->FieldByName("NAME")->NewValue().AsString(), "Changed");
  people->Post();
  EXPECT_EQ(people->State(), dsBrowse);
  EXPECT_EQ(people->FieldByName("NAME")->AsString(), "Changed");
  EXPECT_EQ(people->FieldByName("ID")->AsInteger(), 2);

  // Several fields at once, by a list of names.
  people->Edit();
  people->SetFieldValues("NAME;AMOUNT", VarArrayOf({"Both", 7.5}));
  Variant both = people->FieldValues("name;amount");
  EXPECT_EQ(both.Element(0).AsString(), "Both");
  EXPECT_EQ(both.Element(1).AsFloat(), 7.5);
  EXPECT_EQ(people->FieldValues("ID").AsInteger(), 2);
  people->Post();

  people->Edit();
  people->FieldByName("NAME")->SetAsString("Dropped");
  people->Cancel();
  EXPECT_EQ(people->FieldByName("NAME")->AsString(), "Both");

  // Moving away posts a modified record and cancels an unmodified one.
  people->Edit();
  people->FieldByName("AMOUNT")->SetAsFloat(99);
  people->Next();
  people->Prior();
  EXPECT_EQ(people->FieldByName("AMOUNT")->AsFloat(), 99);
  const int posts = people->PostCalls;
  people->Edit();
  people->Next();
  EXPECT_EQ(people->PostCalls, posts);
}

TEST(DataSetEditing, InsertAppendAndDelete) {
  auto people = MakePeople(3);
  people->MoveBy(1);
  people->Insert();
  EXPECT_EQ(people->State(), dsInsert);
  EXPECT_EQ(people->RecNo(), -1);
  EXPECT_TRUE(people->FieldByName("NAME")->OldValue().IsNull());
  people->FieldByName("ID")->SetAsInteger(10);
  people->Post();
  EXPECT_EQ(people->FieldByName("ID")->AsInteger(), 10);
  EXPECT_EQ(WalkIds(*people), (std::vector<int>{1, 10, 2, 3}));

  people->First();
  AppendPerson(*people, 11);
  EXPECT_EQ(people->FieldByName("ID")->AsInteger(), 11);
  EXPECT_EQ(WalkIds(*people), (std::vector<int>{1, 10, 2, 3, 11}));

  people->First();
  people->Next();
  people->Delete();
  EXPECT_EQ(people->FieldByName("ID")->AsInteger(), 2);
  people->Last();
  people->Delete();
  EXPECT_EQ(people->FieldByName("ID")->AsInteger(), 3);
  EXPECT_EQ(WalkIds(*people), (std::vector<int>{1, 2, 3}));

  // Deleting while inserting drops the new record.
  people->Insert();
  people->Delete();
  EXPECT_EQ(people->State(), dsBrowse);
  EXPECT_EQ(people->StoredCount(), 3);

  // Edit on an empty dataset inserts.
  auto empty = MakePeople(0);
  empty->Edit();
  EXPECT_EQ(empty->State(), dsInsert);
}

TEST(DataSetEditing, RequiredFieldsAndWrongStates) {
  auto people = MakePeople(2);
  people->Append();
  people->FieldByName("NAME")->SetAsString("No id");
  EXPECT_EQ(ErrorOf([&] { people->Post(); }), "Field 'ID' must have a value");
  EXPECT_EQ(people->State(), dsInsert);
  people->FieldByName("ID")->SetDisplayLabel("Number");
  EXPECT_EQ(ErrorOf([&] { people->Post(); }), "Field 'Number' must have a value");
  people->FieldByName("ID")->SetAsInteger(3);
  people->Post();
  EXPECT_EQ(people->StoredCount(), 3);

  EXPECT_EQ(ErrorOf([&] { people->FieldByName("NAME")->SetAsString("x"); }), "Dataset not in edit or insert mode");
  people->FieldByName("NAME")->SetReadOnly(true);
  people->Edit();
  EXPECT_EQ(ErrorOf([&] { people->FieldByName("NAME")->SetAsString("x"); }), "Field 'NAME' cannot be modified");
  people->Cancel();

  people->SetReadOnly(true);
  EXPECT_EQ(ErrorOf([&] { people->Edit(); }), "Cannot modify a read-only dataset");
  EXPECT_EQ(ErrorOf([&] { people->Append(); }), "Cannot modify a read-only dataset");
  people->Close();
  EXPECT_EQ(ErrorOf([&] { people->First(); }), "Cannot perform this operation on a closed dataset");
}

TEST(DataSetEditing, ErrorEventsFailAbortOrRetry) {
  auto people = MakePeople(2);
  std::vector<std::string> seen;
  TDataAction answer = daRetry;
  people->OnPostError = [&](TDataSet*, EDatabaseError& e, TDataAction& action) {
    seen.push_back(e.Message);
    action = answer;
  };

  // Retry: the post runs again and succeeds.
  people->FailPost = {1, "Disk full"};
  people->Edit();
  people->FieldByName("NAME")->SetAsString("Retried");
  people->Post();
  EXPECT_EQ(seen, (std::vector<std::string>{"Disk full"}));
  EXPECT_EQ(people->FieldByName("NAME")->AsString(), "Retried");

  // The required-field check goes through the same event.
  seen.clear();
  answer = daFail;
  people->Append();
  EXPECT_EQ(ErrorOf([&] { people->Post(); }), "Field 'ID' must have a value");
  EXPECT_EQ(seen, (std::vector<std::string>{"Field 'ID' must have a value"}));

  // Abort: the silent exception, and the record stays in insert state.
  answer = daAbort;
  people->FieldByName("ID")->SetAsInteger(3);
  people->FailPost = {1, "Locked"};
  EXPECT_THROW(people->Post(), EAbort);
  EXPECT_EQ(people->State(), dsInsert);
  people->Post();
  EXPECT_EQ(people->StoredCount(), 3);

  bool editErrorSeen = false;
  people->OnEditError = [&](TDataSet*, EDatabaseError&, TDataAction& action) {
    editErrorSeen = true;
    action = daFail;
  };
  people->FailEdit = {1, "Record locked by another user"};
  EXPECT_EQ(ErrorOf([&] { people->Edit(); }), "Record locked by another user");
  EXPECT_TRUE(editErrorSeen);
  EXPECT_EQ(people->State(), dsBrowse);

  int deleteTries = 0;
  people->OnDeleteError = [&](TDataSet*, EDatabaseError&, TDataAction& action) {
    ++deleteTries;
    action = daRetry;
  };
  people->FailDelete = {2, "Busy"};
  people->Delete();
  EXPECT_EQ(deleteTries, 2);
  EXPECT_EQ(people->StoredCount(), 2);
}

TEST(DataSetEditing, EventsComeInOrder) {
  auto people = MakePeople(2);
  std::vector<std::string> events;
  auto note = [&](const char* name) { return [&events, name](TDataSet*) { events.push_back(name); }; };
  people->BeforeInsert = note("BeforeInsert");
  people->OnNewRecord = [&](TDataSet* d) {
    events.push_back("OnNewRecord");
    d->FieldByName("ID")->SetAsInteger(42);
  };
  people->AfterInsert = note("AfterInsert");
  people->BeforePost = note("BeforePost");
  people->AfterPost = note("AfterPost");
  people->BeforeScroll = note("BeforeScroll");
  people->AfterScroll = note("AfterScroll");
  people->BeforeCancel = note("BeforeCancel");
  people->AfterCancel = note("AfterCancel");
  people->Append();
  EXPECT_FALSE(people->Modified());  // OnNewRecord's values are no edit
  people->Post();
  EXPECT_EQ(events, (std::vector<std::string>{"BeforeInsert", "BeforeScroll", "OnNewRecord", "AfterInsert",
                                              "AfterScroll", "BeforePost", "AfterPost"}));
  EXPECT_EQ(people->FieldByName("ID")->AsInteger(), 42);
  events.clear();
  people->Insert();
  people->Cancel();
  EXPECT_EQ(events, (std::vector<std::string>{"BeforeInsert", "BeforeScroll", "OnNewRecord", "AfterInsert",
                                              "AfterScroll", "BeforeCancel", "BeforeScroll", "AfterCancel",
                                              "AfterScroll"}));
}

TEST(DataSetEditing, AFailingOnNewRecordLeavesTheDataSetBrowsing) {
  auto people = MakePeople(3);
  people->Next();
  people->OnNewRecord = [](TDataSet*) { throw EDatabaseError("No new records today"); };
  EXPECT_EQ(ErrorOf([&] { people->Insert(); }), "No new records today");
  EXPECT_EQ(people->State(), dsBrowse);
  EXPECT_EQ(people->FieldByName("ID")->AsInteger(), 2);
  people->OnNewRecord = nullptr;
  EXPECT_EQ(WalkIds(*people), (std::vector<int>{1, 2, 3}));

  // A failed jump to a bookmark leaves navigation where it was.
  people->First();
  TBookmark first = people->GetBookmark();
  people->Next();
  TBookmark second = people->GetBookmark();
  people->Delete();
  EXPECT_EQ(ErrorOf([&] { people->GotoBookmark(second); }), "Record not found");
  people->Next();
  EXPECT_TRUE(people->Eof());
  EXPECT_EQ(people->FieldByName("ID")->AsInteger(), 3);
  people->GotoBookmark(first);
  EXPECT_EQ(people->FieldByName("ID")->AsInteger(), 1);
}
