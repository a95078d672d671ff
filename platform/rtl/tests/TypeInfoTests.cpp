#include <gtest/gtest.h>

#include <string>

#include "rtlStreamTestClasses.h"
#include "rtlTypeInfo.h"

namespace {

std::string PropertyErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EPropertyError& e) {
    return e.Message;
  }
  return "(no EPropertyError)";
}

}  // namespace

TEST(TypeInfo, PropertiesDescribeTheirKindTypeAndDefaultInDeclarationOrderAncestorsFirst) {
  const TClassInfo& info = TTestBand::StaticClassType();
  std::vector<std::string> names;
  for (const TPropInfo* p : info.Properties()) names.push_back(p->Name());
  EXPECT_EQ(names, (std::vector<std::string>{"Name", "Tag", "Height", "Children"}));

  const TClassInfo& report = TTestReport::StaticClassType();
  struct TExpect {
    const char* name;
    TTypeKind kind;
    const char* typeName;
  };
  const TExpect expected[] = {
      {"Title", tkString, "String"},       {"Copies", tkInteger, "Integer"},
      {"Landscape", tkEnumeration, "Boolean"}, {"Shape", tkEnumeration, "TTestShape"},
      {"Scale", tkFloat, "Double"},        {"Ratio", tkFloat, "Single"},
      {"Precise", tkFloat, "Extended"},    {"Price", tkFloat, "Currency"},
      {"Printed", tkFloat, "TDateTime"},   {"Big", tkInt64, "Int64"},
      {"Letter", tkChar, "Char"},          {"Value", tkVariant, "Variant"},
      {"Font", tkClass, "TTestFont"},      {"Pipeline", tkClass, "TComponent"},
      {"OnPrint", tkMethod, "TMethod"},
  };
  for (const TExpect& e : expected) {
    const TPropInfo* p = report.FindProperty(e.name);
    ASSERT_NE(p, nullptr) << e.name;
    EXPECT_EQ(p->Kind(), e.kind) << e.name;
    EXPECT_EQ(p->TypeName(), e.typeName) << e.name;
  }
  EXPECT_EQ(report.FindProperty("copies"), report.FindProperty("Copies"));
  EXPECT_TRUE(report.FindProperty("Copies")->HasDefault());
  EXPECT_EQ(report.FindProperty("Copies")->Default(), 1);
  EXPECT_FALSE(report.FindProperty("Title")->HasDefault());
  EXPECT_EQ(report.FindProperty("Font")->PropClass(), &TTestFont::StaticClassType());
  EXPECT_EQ(report.FindProperty("Nope"), nullptr);
  EXPECT_EQ(report.FindMethod("reportprint")->Name(), "ReportPrint");

  const TEnumTypeInfo& shapes = *report.FindProperty("Shape")->EnumType();
  EXPECT_EQ(shapes.Count(), 3);
  EXPECT_EQ(shapes.NameOf(2), "tsRoundRect");
  EXPECT_EQ(shapes.NameOf(3), "");
  EXPECT_EQ(shapes.ValueOf("TSELLIPSE"), 1);
  EXPECT_EQ(shapes.ValueOf("tsCircle"), -1);
}

TEST(TypeInfo, ValuesAreReadAndWrittenByNameAndCheckedAgainstTheirType) {
  TObjectPtr<TTestReport> r(new TTestReport(nullptr));
  SetPropValue(*r, "Copies", int64_t{4});
  EXPECT_EQ(r->copies, 4);
  EXPECT_EQ(std::get<int64_t>(GetPropValue(*r, "copies")), 4);
  SetPropValue(*r, "Shape", int64_t{tsRoundRect});
  EXPECT_EQ(r->shape, tsRoundRect);
  SetPropValue(*r, "Title", std::string("Sums"));
  EXPECT_EQ(std::get<std::string>(GetPropValue(*r, "Title")), "Sums");
  SetPropValue(*r, "Price", 2.5L);  // floats convert to currency
  EXPECT_EQ(r->price.Scaled, 25000);
  SetPropValue(*r, "Scale", int64_t{2});  // and integers to floats
  EXPECT_EQ(r->scale, 2.0);
  SetPropValue(*r, "Landscape", int64_t{1});
  EXPECT_TRUE(r->landscape);

  // Out of range, wrong kind, wrong class: refused, the value unchanged.
  EXPECT_EQ(PropertyErrorOf([&] { SetPropValue(*r, "Shape", int64_t{3}); }), "Invalid property value");
  EXPECT_EQ(PropertyErrorOf([&] { SetPropValue(*r, "Copies", int64_t{1} << 40); }), "Invalid property value");
  EXPECT_EQ(PropertyErrorOf([&] { SetPropValue(*r, "Landscape", int64_t{2}); }), "Invalid property value");
  EXPECT_EQ(PropertyErrorOf([&] { SetPropValue(*r, "Title", int64_t{1}); }), "Invalid property value");
  EXPECT_EQ(PropertyErrorOf([&] { SetPropValue(*r, "Font", static_cast<TObject*>(r.get())); }),
            "Invalid property value");
  EXPECT_EQ(PropertyErrorOf([&] { SetPropValue(*r, "Price", 1e300L); }), "Invalid property value");
  EXPECT_EQ(PropertyErrorOf([&] { GetPropValue(*r, "Nope"); }), "Property Nope does not exist");
  EXPECT_EQ(r->shape, tsRoundRect);
  EXPECT_EQ(r->copies, 4);

  // Sets take only bits of their elements.
  TTestFont font;
  const TPropInfo& style = GetPropInfo(font, "Style");
  style.SetValue(font, int64_t{0b101});
  EXPECT_EQ(font.style, (TTestStyles{fsBold, fsUnderline}));
  EXPECT_EQ(PropertyErrorOf([&] { style.SetValue(font, int64_t{0b10000}); }), "Invalid property value");
}

TEST(TypeInfo, EventsTakePublishedMethodsOfTheirOwnSignatureOnly) {
  TObjectPtr<TTestReport> r(new TTestReport(nullptr));
  const TMethod print{r.get(), r->ClassType().FindMethod("ReportPrint")};
  SetPropValue(*r, "OnPrint", print);
  ASSERT_TRUE(r->onPrint);
  r->onPrint(nullptr);
  EXPECT_EQ(r->printCount, 1);
  EXPECT_EQ(std::get<TMethod>(GetPropValue(*r, "OnPrint")), print);

  const TMethod calc{r.get(), r->ClassType().FindMethod("ReportCalc")};
  EXPECT_EQ(PropertyErrorOf([&] { SetPropValue(*r, "OnPrint", calc); }), "Invalid property value");
  EXPECT_EQ(std::get<TMethod>(GetPropValue(*r, "OnPrint")), print);

  // A handler set by code has no method to stream.
  r->onPrint = [](TObject*) {};
  EXPECT_TRUE(r->onPrint);
  EXPECT_FALSE(std::get<TMethod>(GetPropValue(*r, "OnPrint")));
  SetPropValue(*r, "OnPrint", TMethod{});
  EXPECT_FALSE(r->onPrint);
}

TEST(TypeInfo, StoredAndDefaultDecideWhatAWriterLeavesOut) {
  TObjectPtr<TTestReport> r(new TTestReport(nullptr));
  const TClassInfo& info = r->ClassType();
  EXPECT_TRUE(info.FindProperty("Copies")->IsDefaultValue(*r));     // 1, its default
  EXPECT_FALSE(info.FindProperty("Color")->IsDefaultValue(*r));     // no default: always written
  EXPECT_TRUE(info.FindProperty("Title")->IsDefaultValue(*r));      // empty
  EXPECT_TRUE(info.FindProperty("Scale")->IsDefaultValue(*r));      // zero
  EXPECT_TRUE(info.FindProperty("Value")->IsDefaultValue(*r));      // unassigned
  EXPECT_TRUE(info.FindProperty("OnPrint")->IsDefaultValue(*r));
  EXPECT_TRUE(info.FindProperty("Pipeline")->IsDefaultValue(*r));
  EXPECT_FALSE(info.FindProperty("Hidden")->IsStored(*r));
  EXPECT_TRUE(info.FindProperty("Title")->IsStored(*r));
}

TEST(TypeInfo, ReadOnlyPropertiesAreReadButNeverWrittenOrStreamed) {
  TObjectPtr<TTestBand> band(new TTestBand(nullptr));
  auto* label = new TTestLabel(band.get());
  label->SetParentNode(band.get());
  EXPECT_EQ(std::get<int64_t>(GetPropValue(*band, "Children")), 1);
  EXPECT_EQ(PropertyErrorOf([&] { SetPropValue(*band, "Children", int64_t{2}); }), "Property is read-only");
}
