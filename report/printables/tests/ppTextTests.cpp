#include <gtest/gtest.h>

#include <functional>

#include "ppCtrls.h"
#include "ppGroup.h"
#include "ppPrintablesKit.h"
#include "ppSubReport.h"
#include "ppVar.h"

namespace {

// The text of the first command on each page made by the component.
std::vector<std::string> TextsOf(const std::vector<std::unique_ptr<TppPage>>& pages, const TComponent* component) {
  std::vector<std::string> texts;
  for (const auto& page : pages)
    page->ForEachDrawCommand([&](TppDrawCommand* c) {
      if (auto* t = dynamic_cast<TppDrawText*>(c); t && t->Component == component) texts.push_back(t->Text);
    });
  return texts;
}

TEST(TextTest, BlankWhenZeroHidesNumericZerosButNotTheTextZero) {
  const struct {
    const char* Field;
    bool Blank;
    const char* Expected;
  } cases[] = {
      {"ZERO", true, ""},      {"ZEROINT", true, ""},  {"ZEROTEXT", true, "0"},
      {"ZERO", false, "0"},    {"PAGES", true, "2"},   {"OWNER", true, "Owner1"},
  };
  for (const auto& c : cases) {
    TPrintablesFixture f(Rows(1));
    auto* text = f.Add<TppDBText>(f.Detail, 0, 0, mm(40), mm(5));
    text->SetDataPipeline(f.Pipeline);
    text->SetDataField(c.Field);
    text->SetBlankWhenZero(c.Blank);
    const auto pages = f.PrintAll();
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(TextsOf(pages, text), std::vector<std::string>{c.Expected}) << c.Field << " " << c.Blank;
  }
}

TEST(TextTest, DataCalculationsOverFiveThreeSevenAndOverNoRows) {
  const struct {
    TppDBCalcType Type;
    std::vector<int> Values;
    bool Blank;
    const char* Expected;
  } cases[] = {
      {dcSum, {5, 3, 7}, false, "15"},     {dcMinimum, {5, 3, 7}, false, "3"}, {dcMaximum, {5, 3, 7}, false, "7"},
      {dcCount, {5, 3, 7}, false, "3"},    {dcAverage, {5, 3, 7}, false, "5"}, {dcAverage, {}, false, "0"},
      {dcAverage, {}, true, ""},
  };
  for (const auto& c : cases) {
    std::vector<TJobRow> rows;
    for (int v : c.Values) rows.push_back(TJobRow{"A", v, ""});
    TPrintablesFixture f(rows);
    f.Report->SetNoDataBehaviors(TppNoDataBehaviors{ndBlankReport});
    auto* summary = new TppSummaryBand(f.Report);
    summary->SetReport(f.Report);
    summary->SetmmHeight(mm(10));
    auto* calc = f.Add<TppDBCalc>(summary, 0, 0, mm(40), mm(5));
    calc->SetDataPipeline(f.Pipeline);
    calc->SetDataField("PAGES");
    calc->SetDBCalcType(c.Type);
    calc->SetBlankWhenZero(c.Blank);
    const auto pages = f.PrintAll();
    EXPECT_EQ(TextsOf(pages, calc), std::vector<std::string>{c.Expected}) << int(c.Type) << " " << c.Values.size();
  }
}

TEST(TextTest, ALookAheadTotalInTheGroupHeaderIsTheGroupsFinalSumOnEveryPage) {
  // Three owners of 40 jobs each: every group runs over more than a page.
  TPrintablesFixture f(Rows(120, 40));
  TppGroup* group = f.AddGroup("OWNER", mm(10), mm(10));
  group->SetReprintOnSubsequentPage(true);
  auto* total = f.Add<TppDBCalc>(group->HeaderBand(), 0, 0, mm(40), mm(5));
  total->SetDataPipeline(f.Pipeline);
  total->SetDataField("PAGES");
  total->SetResetGroup(group);
  total->SetLookAhead(true);
  ASSERT_EQ(f.Report->PassSetting(), psTwoPass);
  auto* owner = f.Add<TppDBText>(group->HeaderBand(), mm(50), 0, mm(40), mm(5));
  owner->SetDataPipeline(f.Pipeline);
  owner->SetDataField("OWNER");
  f.Add<TppDBText>(f.Detail, 0, 0, mm(40), mm(5))->SetDataPipeline(f.Pipeline);
  std::map<std::string, int> sums;
  for (const TJobRow& row : Rows(120, 40)) sums[row.Owner] += row.Pages;

  const auto pages = f.PrintAll();
  ASSERT_GT(pages.size(), 3u);
  int headers = 0;
  for (const auto& page : pages) {
    std::vector<std::string> owners, values;
    page->ForEachDrawCommand([&](TppDrawCommand* c) {
      auto* t = dynamic_cast<TppDrawText*>(c);
      if (t && t->Component == owner) owners.push_back(t->Text);
      if (t && t->Component == total) values.push_back(t->Text);
    });
    ASSERT_EQ(owners.size(), values.size());
    for (size_t i = 0; i < owners.size(); ++i, ++headers)
      EXPECT_EQ(values[i], std::to_string(sums[owners[i]])) << owners[i] << " on page " << page->AbsolutePageNo;
  }
  EXPECT_GE(headers, 4);
}

TEST(TextTest, PageNOfMNumbersEveryPageAgainstTheLastOne) {
  TPrintablesFixture f(Rows(240));
  auto* number = f.Add<TppSystemVariable>(f.Footer, 0, 0, mm(60), mm(5));
  number->SetVarType(vtPageSetDesc);
  ASSERT_EQ(f.Report->PassSetting(), psTwoPass);
  const auto pages = f.PrintAll();
  ASSERT_EQ(pages.size(), 11u);
  std::vector<std::unique_ptr<TppPage>> third;
  third.push_back(std::make_unique<TppPage>(nullptr));
  third.back()->Assign(pages[2].get());
  third.back()->UpdateLookAheadDrawCommands(nullptr);
  EXPECT_EQ(TextsOf(third, number), std::vector<std::string>{"Page 3 of 11"});
}

}  // namespace

namespace {

TEST(TextTest, ATextReachesTextFilesOnlyWhenItAndItsBandSave) {
  const struct {
    bool BandSaves, TextSaves, Expected;
  } cases[] = {{true, true, true}, {false, true, false}, {true, false, false}};
  for (const auto& c : cases) {
    TPrintablesFixture f(Rows(2));
    auto* header = f.Add<TppLabel>(f.Header, 0, 0, mm(40), mm(5));
    header->SetSave(true);
    auto* text = f.Add<TppDBText>(f.Detail, 0, 0, mm(40), mm(5));
    text->SetDataPipeline(f.Pipeline);
    text->SetDataField("OWNER");
    text->SetSave(c.TextSaves);
    f.Detail->SetSave(c.BandSaves);
    std::vector<std::string> saved;
    for (const auto& page : f.PrintAll())
      page->ForEachDrawCommand([&](TppDrawCommand* command) {
        auto* t = dynamic_cast<TppDrawText*>(command);
        if (!t || !t->BandSave || !t->ComponentSave) return;
        EXPECT_EQ(t->BandSaveNo, f.Report->IndexOfBand(f.Detail));
        saved.push_back(t->Text);
      });
    const std::vector<std::string> expected = c.Expected ? std::vector<std::string>{"Owner1", "Owner1"} : std::vector<std::string>{};
    EXPECT_EQ(saved, expected) << c.BandSaves << c.TextSaves;
  }
}

TEST(VariableTest, TypedValuesTakeTheirTypeAndOnlyTheFirstElevenTypesAreTaken) {
  TppVariable variable(nullptr);
  EXPECT_EQ(variable.DataType(), dtString);
  EXPECT_EQ(variable.Value().AsString(), "");
  variable.SetAsInteger(5);
  EXPECT_EQ(variable.DataType(), dtInteger);
  EXPECT_EQ(variable.Value().AsInteger(), 5);
  variable.SetDataType(dtVariant);
  EXPECT_EQ(variable.DataType(), dtInteger);
  variable.SetValue(Variant());
  EXPECT_EQ(variable.AsInteger(), 5);
  variable.SetDataType(dtDouble);
  variable.SetValue(Variant(2.5));
  EXPECT_DOUBLE_EQ(variable.AsDouble(), 2.5);
  EXPECT_EQ(variable.CalcType(), veTraversal);
  EXPECT_EQ(variable.ResetType(), veReportEnd);
}

TEST(VariableTest, OnCalcRunsOnEveryRecordAndOnResetAtTheGroupsEnd) {
  TPrintablesFixture f({{"A", 5, ""}, {"A", 3, ""}, {"B", 7, ""}});
  TppGroup* group = f.AddGroup("OWNER", mm(10), mm(10));
  auto* sum = f.Add<TppVariable>(group->FooterBand(), 0, 0, mm(40), mm(5));
  sum->SetDataType(dtInteger);
  sum->SetResetType(veGroupEnd);
  sum->SetResetComponent(group);
  sum->OnCalc = [&](TObject*, Variant& value) {
    value = Variant(value.AsInteger() + f.Pipeline->GetFieldValue("PAGES").AsInteger());
  };
  const auto pages = f.PrintAll();
  EXPECT_EQ(TextsOf(pages, sum), (std::vector<std::string>{"8", "7"}));
}

TEST(VariableTest, ReportAndColumnMomentsComputeAndResetOncePerReportAndColumn) {
  // 30 rows, 23 details a column: one column makes two pages, two columns
  // of 90 mm hold them on one page.
  const struct {
    int Columns, ColumnCount;
  } layouts[] = {{1, 2}, {2, 2}};
  const struct {
    TppVarEventType Moment;
    bool PerColumn;
  } moments[] = {{veReportStart, false}, {veReportEnd, false}, {veColumnStart, true}, {veColumnEnd, true}};
  for (const auto& l : layouts)
    for (const auto& m : moments) {
      TPrintablesFixture f(Rows(30));
      f.Report->SetColumns(l.Columns);
      if (l.Columns > 1) f.Report->SetColumnWidth(mm(90));
      auto* computed = f.Add<TppVariable>(f.Detail, 0, 0, mm(40), mm(5));
      computed->SetCalcType(m.Moment);
      computed->SetResetType(veGroupEnd);
      auto* reset = f.Add<TppVariable>(f.Detail, mm(50), 0, mm(40), mm(5));
      reset->SetCalcType(veGroupEnd);
      reset->SetResetType(m.Moment);
      int calcs = 0, resets = 0;
      computed->OnCalc = [&](TObject*, Variant&) { ++calcs; };
      reset->OnReset = [&](TObject*, Variant&) { ++resets; };
      f.PrintAll();
      const int expected = m.PerColumn ? l.ColumnCount : 1;
      EXPECT_EQ(calcs, expected) << l.Columns << " " << int(m.Moment);
      EXPECT_EQ(resets, expected) << l.Columns << " " << int(m.Moment);
    }
}

TEST(VariableTest, VariablesOfABandComputeInTheirCalcOrder) {
  const struct {
    std::vector<int> Orders;
    std::string Sequence;
  } cases[] = {{{0, 1, 2}, "ABC"}, {{2, 1, 0}, "CBA"}, {{1, 0, 2}, "BAC"}, {{-1, -1, -1}, "ABC"}};
  for (const auto& c : cases) {
    TPrintablesFixture f(Rows(1));
    std::string sequence;
    std::vector<TppVariable*> variables;
    for (const char* name : {"A", "B", "C"}) {
      auto* variable = f.Add<TppVariable>(f.Detail, mm(50) * int(variables.size()), 0, mm(40), mm(5));
      variable->OnCalc = [&sequence, name](TObject*, Variant&) { sequence += name; };
      variables.push_back(variable);
    }
    for (size_t i = 0; i < variables.size(); ++i)
      if (c.Orders[i] >= 0) variables[i]->SetCalcOrder(c.Orders[i]);
    for (size_t i = 0; i < variables.size(); ++i)
      if (c.Orders[i] >= 0) {
        EXPECT_EQ(variables[i]->CalcOrder(), c.Orders[i]) << c.Sequence;
      }
    f.PrintAll();
    EXPECT_EQ(sequence, c.Sequence);
    // A second run follows an order changed since the first.
    variables[0]->SetCalcOrder(2);
    variables[1]->SetCalcOrder(0);
    variables[2]->SetCalcOrder(1);
    sequence.clear();
    f.PrintAll();
    EXPECT_EQ(sequence, "BCA") << c.Sequence;
  }
}

TEST(VariableTest, APageRecordGivesBackTheWholeTextWhateverItsLength) {
  for (const size_t length : {0u, 31u, 32u, 300u}) {
    TppVariable variable(nullptr);
    std::string text(length, 'x');
    for (size_t i = 0; i < length; ++i) text[i] = static_cast<char>('a' + i % 26);
    std::vector<uint8_t> first(static_cast<size_t>(variable.CacheRecordSize())), second(first.size());
    variable.SetAsString(text);
    variable.CaptureState(first.data());
    variable.SetAsString(text + "!");
    variable.CaptureState(second.data());
    // Made again out of order: the first page's value after the second's.
    variable.ApplyState(first.data());
    EXPECT_EQ(variable.AsString(), text) << length;
    variable.ApplyState(second.data());
    EXPECT_EQ(variable.AsString(), text + "!") << length;
  }
}

TEST(VariableTest, OutsidePrintingPageNumbersShowOne) {
  TPrintablesFixture f(Rows(1));
  auto* number = f.Add<TppSystemVariable>(f.Footer, 0, 0, mm(40), mm(5));
  for (TppVarType type : {vtPageNo, vtPageCount}) {
    number->SetVarType(type);
    EXPECT_EQ(number->GetText(), "1") << int(type);
  }
}

TEST(TextTest, RepeatedValuesAreSuppressedOrPrintedOnceAtTheTopOfTheNextPage) {
  // One owner over two pages (23 detail bands a page).
  const struct {
    bool Reprint;
    std::vector<std::string> Page1, Page2;
  } cases[] = {{false, {"Owner1"}, {}}, {true, {"Owner1"}, {"Owner1"}}};
  for (const auto& c : cases) {
    TPrintablesFixture f(Rows(30));
    auto* owner = f.Add<TppDBText>(f.Detail, 0, 0, mm(40), mm(5));
    owner->SetDataPipeline(f.Pipeline);
    owner->SetDataField("OWNER");
    owner->SetSuppressRepeatedValues(true);
    owner->SetReprintOnSubsequent(c.Reprint);
    const auto pages = f.PrintAll();
    ASSERT_EQ(pages.size(), 2u);
    std::vector<std::unique_ptr<TppPage>> first, second;
    first.push_back(std::make_unique<TppPage>(nullptr));
    first.back()->Assign(pages[0].get());
    second.push_back(std::make_unique<TppPage>(nullptr));
    second.back()->Assign(pages[1].get());
    EXPECT_EQ(TextsOf(first, owner), c.Page1) << c.Reprint;
    EXPECT_EQ(TextsOf(second, owner), c.Page2) << c.Reprint;
  }
}

TEST(TextTest, ALabelSizesToItsCaptionKeepingTheEdgeItIsAlignedTo) {
  const struct {
    TAlignment Alignment;
    bool KeepsLeft, KeepsRight;
  } cases[] = {{taLeftJustify, true, false}, {taRightJustify, false, true}, {taCenter, false, false}};
  for (const auto& c : cases) {
    TppLabel label(nullptr);
    label.SetAlignment(c.Alignment);
    label.SetmmLeft(mm(50));
    label.SetCaption("A");
    const int left = label.mmLeft(), right = label.mmLeft() + label.mmWidth();
    label.SetCaption("A much longer caption");
    EXPECT_GT(label.mmWidth(), right - left);
    EXPECT_EQ(label.mmLeft() == left, c.KeepsLeft) << int(c.Alignment);
    EXPECT_EQ(label.mmLeft() + label.mmWidth() == right, c.KeepsRight) << int(c.Alignment);
  }
  TppLabel label(nullptr);
  label.SetTextAlignment(taFullJustified);
  EXPECT_EQ(label.TextAlignment(), taLeftJustified);
  label.SetAlignment(taCenter);
  EXPECT_EQ(label.TextAlignment(), taCentered);
}

}  // namespace

#include "ppPrinterSetup.h"
#include "ppUtils.h"

namespace {

TEST(VariableTest, EverySystemVariableKindPrintsItsValue) {
  TPrintablesFixture f(Rows(30));
  f.Report->PrinterSetup()->SetDocumentName("Usage");
  const TppPageInfo second{2, 2, EncodeDate(2026, 3, 14) + 0.5};
  const struct {
    TppVarType Type;
    std::string Expected;  // on page 2 of 2
  } cases[] = {
      {vtDocumentName, "Usage"},
      {vtPrintDateTime, ppSystemVariableText(vtPrintDateTime, &second, NeutralFormatSettings())},
      {vtPageCount, "2"},
      {vtPageSet, "2 of 2"},
      {vtPageSetDesc, "Page 2 of 2"},
      {vtPageNo, "2"},
      {vtPageNoDesc, "Page 2"},
  };
  std::vector<TppSystemVariable*> variables;
  int top = 0;
  for (const auto& c : cases) {
    auto* variable = f.Add<TppSystemVariable>(f.Footer, 0, top, mm(60), mm(2));
    variable->SetVarType(c.Type);
    variables.push_back(variable);
    top += mm(2);
  }
  auto pages = f.PrintAll();
  ASSERT_EQ(pages.size(), 2u);
  std::vector<std::unique_ptr<TppPage>> last;
  last.push_back(std::make_unique<TppPage>(nullptr));
  last.back()->Assign(pages[1].get());
  last.back()->UpdateLookAheadDrawCommands(nullptr);
  for (size_t i = 0; i < variables.size(); ++i)
    EXPECT_EQ(TextsOf(last, variables[i]), std::vector<std::string>{cases[i].Expected}) << int(cases[i].Type);
}

}  // namespace

namespace {

TEST(VariableTest, EachTypeKeepsItsOwnValueAndValueReadsTheOneDataTypeChooses) {
  TppVariable variable(nullptr);
  variable.SetAsInteger(5);
  variable.SetAsString("abc");
  variable.SetAsDouble(2.5);
  variable.SetAsBoolean(true);
  variable.SetAsChar('q');
  variable.SetAsCurrency(Currency::FromInt(7));
  variable.SetAsDate(46000);
  variable.SetAsExtended(1.25L);
  variable.SetAsSingle(0.5f);
  EXPECT_EQ(variable.DataType(), dtSingle);
  const struct {
    TppDataType Type;
    Variant Expected;
  } cases[] = {
      {dtInteger, Variant(5)},         {dtString, Variant("abc")},   {dtDouble, Variant(2.5)},
      {dtBoolean, Variant(true)},      {dtChar, Variant("q")},       {dtCurrency, Variant(Currency::FromInt(7))},
      {dtDate, Variant::FromDate(46000)}, {dtExtended, Variant(1.25)}, {dtSingle, Variant(0.5)},
  };
  for (const auto& c : cases) {
    variable.SetDataType(c.Type);
    EXPECT_EQ(variable.Value().AsString(), c.Expected.AsString()) << int(c.Type);
    EXPECT_EQ(variable.Value().VarType(), c.Expected.VarType()) << int(c.Type);
  }
  // Written values convert into the chosen type's field only.
  const struct {
    TppDataType Type;
    Variant Written;
    std::string Read;
  } writes[] = {{dtChar, Variant("xyz"), "x"}, {dtInteger, Variant("42"), "42"}, {dtString, Variant(3), "3"},
                {dtBoolean, Variant(1), "True"}, {dtDouble, Variant("0.25"), "0.25"}};
  for (const auto& w : writes) {
    variable.SetDataType(w.Type);
    variable.SetValue(w.Written);
    EXPECT_EQ(variable.Value().AsString(), w.Read) << int(w.Type);
  }
  EXPECT_EQ(variable.AsInteger(), 42);
  EXPECT_EQ(variable.AsString(), "3");
  // A value that does not convert leaves the field as it was.
  variable.SetDataType(dtInteger);
  EXPECT_THROW(variable.SetValue(Variant("many")), Exception);
  EXPECT_EQ(variable.AsInteger(), 42);
}

TEST(VariableTest, APageRecordGivesBackTheValueOfEveryType) {
  const struct {
    TppDataType Type;
    std::function<void(TppVariable&)> Set;
  } cases[] = {
      {dtBoolean, [](TppVariable& v) { v.SetAsBoolean(true); }},
      {dtChar, [](TppVariable& v) { v.SetAsChar('z'); }},
      {dtCurrency, [](TppVariable& v) { v.SetAsCurrency(Currency{123456789012345}); }},
      {dtDateTime, [](TppVariable& v) { v.SetAsDateTime(46000.75); }},
      {dtExtended, [](TppVariable& v) { v.SetAsExtended(1.0L / 3); }},
      {dtInteger, [](TppVariable& v) { v.SetAsInteger(-17); }},
      {dtSingle, [](TppVariable& v) { v.SetAsSingle(0.1f); }},
      {dtDouble, [](TppVariable& v) { v.SetAsDouble(1e300); }},
  };
  for (const auto& c : cases) {
    TppVariable variable(nullptr);
    c.Set(variable);
    ASSERT_EQ(variable.DataType(), c.Type);
    std::vector<uint8_t> record(static_cast<size_t>(variable.CacheRecordSize()));
    variable.CaptureState(record.data());
    const bool boolean = variable.AsBoolean();
    const char character = variable.AsChar();
    const int64_t currency = variable.AsCurrency().Scaled;
    const TDateTime when = variable.AsDateTime();
    const long double extended = variable.AsExtended();
    const int integer = variable.AsInteger();
    const float single = variable.AsSingle();
    const double real = variable.AsDouble();
    variable.SetAsString("other");
    variable.SetDataType(c.Type);
    switch (c.Type) {
      case dtBoolean: variable.SetAsBoolean(false); break;
      case dtChar: variable.SetAsChar('a'); break;
      case dtCurrency: variable.SetAsCurrency(Currency{}); break;
      case dtDateTime: variable.SetAsDateTime(1); break;
      case dtExtended: variable.SetAsExtended(0); break;
      case dtInteger: variable.SetAsInteger(0); break;
      case dtSingle: variable.SetAsSingle(0); break;
      default: variable.SetAsDouble(0); break;
    }
    variable.ApplyState(record.data());
    EXPECT_EQ(variable.DataType(), c.Type);
    EXPECT_EQ(variable.AsBoolean(), boolean) << int(c.Type);
    EXPECT_EQ(variable.AsChar(), character) << int(c.Type);
    EXPECT_EQ(variable.AsCurrency().Scaled, currency) << int(c.Type);
    EXPECT_EQ(variable.AsDateTime(), when) << int(c.Type);
    EXPECT_EQ(variable.AsExtended(), extended) << int(c.Type);
    EXPECT_EQ(variable.AsInteger(), integer) << int(c.Type);
    EXPECT_EQ(variable.AsSingle(), single) << int(c.Type);
    EXPECT_EQ(variable.AsDouble(), real) << int(c.Type);
  }
}

TEST(VariableTest, MovingToACalcOrSaveOrderShiftsTheOthersAndKeepsEveryPlaceOnce) {
  const struct {
    int Moved;  // A, B, C, D = 0..3
    int To;
    std::string Order;
  } cases[] = {{2, 0, "CABD"}, {0, 3, "BCDA"}, {3, 1, "ADBC"}, {1, 99, "ACDB"}, {2, -5, "CABD"}, {1, 1, "ABCD"}};
  for (const auto& c : cases) {
    TPrintablesFixture f(Rows(1));
    std::vector<TppVariable*> variables;
    std::string sequence;
    for (const char* name : {"A", "B", "C", "D"}) {
      auto* v = f.Add<TppVariable>(f.Detail, mm(45) * int(variables.size()), 0, mm(40), mm(5));
      v->OnCalc = [&sequence, name](TObject*, Variant&) { sequence += name; };
      variables.push_back(v);
    }
    variables[static_cast<size_t>(c.Moved)]->SetCalcOrder(c.To);
    std::string byOrder(4, '?');
    for (size_t i = 0; i < variables.size(); ++i) {
      const int order = variables[i]->CalcOrder();
      ASSERT_GE(order, 0);
      ASSERT_LT(order, 4);
      byOrder[static_cast<size_t>(order)] = static_cast<char>('A' + i);
    }
    EXPECT_EQ(byOrder, c.Order) << c.Moved << " to " << c.To;
    f.PrintAll();
    EXPECT_EQ(sequence, c.Order) << c.Moved << " to " << c.To;

    // The band's saved texts move the same way in their save order.
    std::vector<TppLabel*> texts;
    for (int i = 0; i < 4; ++i) {
      auto* text = f.Add<TppLabel>(f.Header, mm(45) * i, 0, mm(40), mm(5));
      text->SetSave(true);
      texts.push_back(text);
    }
    texts[static_cast<size_t>(c.Moved)]->SetSaveOrder(c.To);
    std::string bySave(4, '?');
    for (size_t i = 0; i < texts.size(); ++i) {
      const int order = texts[i]->SaveOrder();
      ASSERT_GE(order, 0);
      ASSERT_LT(order, 4);
      bySave[static_cast<size_t>(order)] = static_cast<char>('A' + i);
    }
    EXPECT_EQ(bySave, c.Order) << "save order: " << c.Moved << " to " << c.To;
  }
}

// Each instance of a child report keeps its own look-ahead values: the
// total every detail line of an instance shows ahead is that instance's.
TEST(VariableTest, EachChildReportInstanceLooksAheadToItsOwnTotal) {
  TPrintablesFixture f({{"A", 2, ""}, {"B", 5, ""}, {"C", 3, ""}});
  TPrintablesFixture childRows(Rows(4));
  f.Report->SetPassSetting(psTwoPass);
  f.Detail->SetPrintHeight(phDynamic);
  auto* sub = f.Add<TppSubReport>(f.Detail, 0, 0, mm(100), mm(10));
  sub->SetDataPipeline(childRows.Pipeline);
  TppChildReport* child = sub->Report();
  child->SetPassSetting(psTwoPass);
  TppBand* childDetail = child->GetBand(btDetail);
  childDetail->SetmmHeight(mm(6));
  auto* total = f.Add<TppVariable>(childDetail, 0, 0, mm(40), mm(5));
  total->SetDataType(dtInteger);
  total->SetResetType(veReportStart);
  total->SetLookAhead(true);
  // Four child rows, each adding the parent row's pages.
  total->OnCalc = [&](TObject*, Variant& value) {
    value = Variant(value.AsInteger() + f.Pipeline->GetFieldValue("PAGES").AsInteger());
  };
  const auto pages = f.PrintAll();
  EXPECT_EQ(TextsOf(pages, total), (std::vector<std::string>{"8", "8", "8", "8", "20", "20", "20", "20", "12", "12",
                                                            "12", "12"}));
}

}  // namespace

namespace {

// Footer totals reset by a group or at each page's end come out the same
// when pages are made again out of order as in sequence.
TEST(TextTest, FooterTotalsOfPagesMadeAgainOutOfOrderMatchTheSequence) {
  const struct {
    bool ByGroup;
    TppVarEventType VariableReset;
  } cases[] = {{true, vePageEnd}, {false, vePageEnd}, {true, veGroupEnd}};
  for (const auto& c : cases) {
    TPrintablesFixture f(Rows(120, 17));
    TppGroup* group = f.AddGroup("OWNER", mm(10), mm(10));
    auto* sum = f.Add<TppDBCalc>(f.Footer, 0, 0, mm(40), mm(5));
    sum->SetDataPipeline(f.Pipeline);
    sum->SetDataField("PAGES");
    if (c.ByGroup) sum->SetResetGroup(group);
    auto* subtotal = f.Add<TppVariable>(f.Footer, mm(50), 0, mm(40), mm(5));
    subtotal->SetDataType(dtInteger);
    subtotal->SetResetType(c.VariableReset);
    if (c.VariableReset == veGroupEnd) subtotal->SetResetComponent(group);
    subtotal->OnCalc = [&](TObject*, Variant& value) {
      value = Variant(value.AsInteger() + f.Pipeline->GetFieldValue("PAGES").AsInteger());
    };
    const auto pages = f.PrintAll();
    ASSERT_GT(pages.size(), 4u);
    for (const int page : {4, 2, 3, 1, 5}) {
      const auto single = f.Request(psSinglePage, page);
      ASSERT_EQ(single.size(), 1u);
      EXPECT_EQ(Texts(*single[0]), Texts(*pages[static_cast<size_t>(page - 1)])) << page << " " << c.ByGroup;
    }
  }
}

}  // namespace
