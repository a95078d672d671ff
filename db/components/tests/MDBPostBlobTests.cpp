// A posted record gives its BLOB values back to the cursor, which holds
// only a few open at a time: appends with memos go on without limit.

#include <gtest/gtest.h>

#include "MDBTableTestSupport.h"

namespace {

class PostBlobTest : public TableTest {};

TEST_F(PostBlobTest, ManyAppendsAndEditsWithMemosKeepEveryValue) {
  TObjectPtr<TMDBTable> table = CreatePeople();
  table->Open();
  constexpr int Rows = 200;  // well beyond the cursor's open BLOBs
  for (int i = 1; i <= Rows; ++i) {
    table->Append();
    table->FieldByName("ID")->SetAsInteger(i);
    table->FieldByName("NOTES")->SetAsString("note " + std::to_string(i));
    table->Post();
  }
  for (table->First(); !table->Eof(); table->Next()) {
    table->Edit();
    table->FieldByName("NOTES")->SetAsString(table->FieldByName("NOTES")->AsString() + "!");
    table->Post();
  }
  table->Close();
  table->Open();
  EXPECT_EQ(table->RecordCount(), Rows);
  table->Last();
  EXPECT_EQ(table->FieldByName("NOTES")->AsString(), "note 200!");
}

}  // namespace
