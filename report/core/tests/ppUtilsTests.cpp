#include <gtest/gtest.h>

#include "ppMessages.h"
#include "ppRegList.h"
#include "ppUtils.h"
#include "rtlClasses.h"
#include "rtlStreams.h"
#include "rtlStringList.h"

TEST(PageList, ParsesNumbersAndRanges) {
  struct Case {
    const char* Text;
    const char* Expected;  // trimmed entries joined by commas
  };
  const Case cases[] = {{"1,3,5-7", "1,3,5,6,7"}, {"7-5", "5,7"}, {"3,3", "3"},
                        {"10,9,2", "2,9,10"},    {"a5b-", "5"},   {"", ""},
                        {"4-", "4"},             {"-4", "4"},     {"2-2", "2"}};
  for (const Case& c : cases) {
    TStringList list;
    ASSERT_TRUE(ppParsePageList(c.Text, list, true));
    list.Delimiter = ',';
    std::string joined;
    for (int i = 0; i < list.Count(); ++i) joined += (i ? "," : "") + list.Get(i);
    EXPECT_EQ(joined, c.Expected) << c.Text;
  }
  TStringList padded;
  ppParsePageList("12,3", padded, false);
  ASSERT_EQ(padded.Count(), 2);
  EXPECT_EQ(padded.Get(0), "       3");
  EXPECT_EQ(padded.Get(1), "      12");
}

TEST(PageList, HugeRangesAndNumbersAreRefusedOrClamped) {
  TStringList list;
  EXPECT_FALSE(ppParsePageList("1-2000000000", list, true));
  EXPECT_EQ(list.Count(), 0);
  EXPECT_TRUE(ppParsePageList("99999999999999999999999", list, true));
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Get(0), std::to_string(ppMaxPageNumber));
  EXPECT_TRUE(ppParsePageList("1-" + std::to_string(ppMaxPageListCount), list, true));
  EXPECT_EQ(list.Count(), ppMaxPageListCount);
}

TEST(UniqueNames, SmallestFreeNumberAmongTheSameClass) {
  TObjectPtr<TComponent> owner(new TComponent(nullptr));
  auto* a = new TComponent(owner.get());
  a->SetName("Label1");
  auto* b = new TComponent(owner.get());
  b->SetName("Label3");
  auto* c = new TComponent(owner.get());
  EXPECT_EQ(ppMakeUniqueName(owner.get(), "Label", c), "Label2");
  c->SetName("Label2");
  auto* d = new TComponent(owner.get());
  EXPECT_EQ(ppMakeUniqueName(owner.get(), "Label", d), "Label4");
  EXPECT_EQ(ppMakeUniqueName(nullptr, "Label", d), "Label");
  EXPECT_EQ(ppMakeUniqueName(owner.get(), "Shape", d), "Shape1");
}

TEST(TextHelpers, FitCapitalizeVersionAndLists) {
  EXPECT_EQ(ppFitText("ab", 5, 2), "  ab ");
  EXPECT_EQ(ppFitText("abcdef", 3, 0), "abc");
  EXPECT_EQ(ppFitText("ab", 4, 1), "  ab");
  EXPECT_EQ(ppFitText("ab", 4, 0), "ab  ");
  EXPECT_EQ(ppCapitalize("hELLO big_world"), "Hello Big World");
  EXPECT_EQ(ppVersionToInteger("5.56"), 5560);
  EXPECT_EQ(ppVersionToInteger("4"), 4000);
  EXPECT_EQ(ppVersionToInteger("6.03 beta"), 6030);
  EXPECT_EQ(ppClassNameShort("TppLabel"), "Label");
  EXPECT_EQ(ppClassNameNoPrefix("TppLabel"), "ppLabel");
  EXPECT_DOUBLE_EQ(ppScaleToFit(100, 50, 50, 50), 0.5);
  EXPECT_DOUBLE_EQ(ppScaleToFit(100, 50, 0, 50), 0);
  TStringList items;
  ppParseCommaList("a,b,,c", items);
  EXPECT_EQ(items.Count(), 4);
  ppParseCommaList("a,", items);
  EXPECT_EQ(items.Count(), 1);
  EXPECT_EQ(ppExtractPath("/tmp/x/report.rtm"), "/tmp/x/");
  TFormatSettings settings;
  EXPECT_DOUBLE_EQ(ppStrToDateTime("1899-12-31 12:00:00", settings), 1.5);
  EXPECT_THROW(ppStrToDateTime("someday", settings), EConvertError);
  TMemoryStream stream;
  stream.WriteBuffer("old", 3);
  ppWriteStringsToStream(items, stream);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(stream.Memory()), static_cast<size_t>(stream.Size())), "a\r\n");
}

TEST(SystemVariables, PageTextsFromMessages) {
  const TppPageInfo info{3, 10, 0};
  const TFormatSettings settings;
  EXPECT_EQ(ppSystemVariableText(vtPageSet, &info, settings), "3 of 10");
  EXPECT_EQ(ppSystemVariableText(vtPageSetDesc, &info, settings), "Page 3 of 10");
  EXPECT_EQ(ppSystemVariableText(vtPageNoDesc, &info, settings), "Page 3");
  EXPECT_EQ(ppSystemVariableText(vtPageCount, nullptr, settings), "1");
  EXPECT_EQ(ppSystemVariableText(vtDocumentName, &info, settings), "");
  EXPECT_EQ(ppSystemVariableText(vtPrintDateTime, &info, settings), "1899-12-30");
  EXPECT_EQ(ppVarEventToEventID(veGroupBeforeFooter), 30);
  EXPECT_EQ(ppVarEventToEventID(static_cast<TppVarEventType>(40)), 35);
  EXPECT_EQ(ppBandKindToType(2), 3);
  EXPECT_EQ(ppBandKindToType(9), 0);
}

TEST(RegList, StaysSortedAndTellsItsObservers) {
  struct TCounter : TppRegListObserver {
    int changes = 0;
    void RegListChanged(TppRegList&) override { ++changes; }
  } counter;
  TppRegList list;
  list.AddObserver(&counter);
  list.AddObserver(&counter);
  list.Add("TppLabel");
  list.Add("TppDBText");
  list.Insert(0, "TppShape");
  EXPECT_EQ(list.Get(0), "TppDBText");
  EXPECT_EQ(list.Get(2), "TppShape");
  list.Delete(0);
  EXPECT_EQ(counter.changes, 4);
  list.RemoveObserver(&counter);
  list.Add("TppMemo");
  EXPECT_EQ(counter.changes, 4);
}
