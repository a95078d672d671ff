#include <gtest/gtest.h>

#include "dbFieldDefs.h"
#include "dbParams.h"
#include "dbTestSupport.h"
#include "rtlStringList.h"

TEST(FieldDefs, NamesAreCheckedAndCompared) {
  TFieldDefs defs(nullptr);
  defs.Add("Name", ftString, 40, true);
  EXPECT_EQ(ErrorOf([&] { defs.Add("NAME", ftInteger); }), "Duplicate field name 'NAME'");
  EXPECT_EQ(ErrorOf([&] { defs.Add("", ftInteger); }), "Field name missing");
  EXPECT_EQ(ErrorOf([&] { defs.Add("Bad", ftString, -1); }), "Invalid field size");
  defs.Add("Count", ftInteger);
  EXPECT_EQ(defs.IndexOf("count"), 1);
  EXPECT_EQ(defs[1]->FieldNo(), 2);
  EXPECT_EQ(ErrorOf([&] { defs.Find("Missing"); }), "Field 'Missing' not found");
  EXPECT_EQ(ErrorOf([&] { defs[1]->SetName("name"); }), "Duplicate field name 'name'");

  TFieldDefs copy(nullptr);
  copy.Assign(&defs);
  EXPECT_TRUE(copy.SameAs(defs));
  copy[0]->SetSize(41);
  EXPECT_FALSE(copy.SameAs(defs));
  copy.Delete(0);
  EXPECT_EQ(copy.Count(), 1);
  EXPECT_EQ(ErrorOf([&] { copy.Items(5); }), "Field index out of range");
}

TEST(FieldDefs, ADataSetRebuildsThemOnDemand) {
  auto people = MakePeople(0);
  EXPECT_TRUE(people->FieldDefs().Updated());
  EXPECT_EQ(people->FieldDefs().Count(), 7);
  people->DataEvent(dePropertyChange, 0);
  EXPECT_FALSE(people->FieldDefs().Updated());
  people->FieldDefs().Update();
  EXPECT_TRUE(people->FieldDefs().Updated());
  EXPECT_EQ(people->FieldDefs().Find("born")->DataType(), ftDate);

  // Field names come from the fields, or from the definitions while closed.
  TStringList names;
  people->GetFieldNames(names);
  EXPECT_EQ(names.Count(), 7);
  EXPECT_EQ(names[6], "ACTIVE");
  people->Close();
  names.Add("stale");
  people->GetFieldNames(names);
  EXPECT_EQ(names.Count(), 7);
  EXPECT_EQ(names[0], "ID");
}

TEST(IndexDefs, FindByNameAndByFields) {
  TIndexDefs defs(nullptr);
  defs.Add("", "ID", {ixPrimary, ixUnique});
  defs.Add("ByName", "Name;Born", {ixCaseInsensitive});
  EXPECT_EQ(ErrorOf([&] { defs.Add("byname", "X", {}); }), "Duplicate index name 'byname'");
  EXPECT_EQ(defs.Find("BYNAME")->Fields(), "Name;Born");
  EXPECT_EQ(ErrorOf([&] { defs.Find("ByDate"); }), "Index 'ByDate' not found");
  EXPECT_EQ(defs.GetIndexForFields("name", true), defs[1]);
  EXPECT_EQ(defs.GetIndexForFields("name", false), nullptr);
  EXPECT_EQ(defs.GetIndexForFields("Born", true), nullptr);
  EXPECT_EQ(defs.FindIndexForFields("NAME; born"), defs[1]);
  EXPECT_EQ(ErrorOf([&] { defs.FindIndexForFields("Name"); }), "No index for fields 'Name'");

  TIndexDefs copy(nullptr);
  copy.Assign(&defs);
  EXPECT_TRUE(copy.SameAs(defs));
  copy[1]->SetOptions({});
  EXPECT_FALSE(copy.SameAs(defs));
  copy.Assign(&defs);
  copy[1]->SetName("BYNAME");  // a name in other letters is another name here
  EXPECT_FALSE(copy.SameAs(defs));
  EXPECT_EQ(SplitFieldNames(" A ;;B; "), (std::vector<std::string>{"A", "B"}));
}

TEST(Params, TypedValuesNamesAndCopies) {
  TParams params;
  TParam* p1 = params.CreateParam(ftUnknown, "p1", ptInput);
  params.CreateParam(ftUnknown, "Owner", ptUnknown);
  EXPECT_TRUE(p1->IsNull());
  EXPECT_FALSE(p1->Bound());
  p1->SetAsInteger(5);
  EXPECT_EQ(p1->DataType(), ftInteger);
  EXPECT_TRUE(p1->Bound());
  EXPECT_FALSE(p1->IsNull());
  EXPECT_EQ(params.ParamByName("P1")->AsInteger(), 5);
  EXPECT_EQ(ErrorOf([&] { params.ParamByName("p3"); }), "Parameter 'p3' not found");
  EXPECT_EQ(ErrorOf([&] { params.Items(2); }), "List index out of bounds (2)");
  p1->SetDataType(ftString);
  EXPECT_TRUE(p1->IsNull());
  EXPECT_EQ(p1->AsDateTime(), 0);
  p1->SetAsBCD(Currency::FromScaled(15000));
  EXPECT_EQ(p1->DataType(), ftBCD);
  EXPECT_EQ(p1->AsBCD(), Currency::FromScaled(15000));

  TParams other;
  other.CreateParam(ftString, "OWNER", ptInput)->SetAsString("upper");
  other.CreateParam(ftString, "Owner", ptInput)->SetAsString("exact");
  params.AssignValues(other);
  EXPECT_EQ(params.ParamByName("Owner")->AsString(), "exact");

  TParams copy;
  copy.Assign(&params);
  EXPECT_TRUE(copy.IsEqual(params));
  copy[0]->SetBound(false);
  EXPECT_FALSE(copy.IsEqual(params));

  TParam* freed = params.CreateParam(ftInteger, "gone", ptInput);
  params.RemoveParam(freed);
  EXPECT_EQ(params.Count(), 2);
  freed->Free();
}

TEST(Params, FromAndToFields) {
  auto people = MakePeople(1);
  TParam param(nullptr, "", ftUnknown, ptUnknown);
  param.AssignField(people->FieldByName("NAME"));
  EXPECT_EQ(param.Name(), "NAME");
  EXPECT_EQ(param.DataType(), ftString);
  EXPECT_EQ(param.AsString(), "Name1");
  param.AssignField(people->FieldByName("NOTE"));
  EXPECT_TRUE(param.IsNull());
  param.SetAsString("written");
  people->Edit();
  param.AssignToField(people->FieldByName("NAME"));
  EXPECT_EQ(people->FieldByName("NAME")->AsString(), "written");
  people->Cancel();
}
