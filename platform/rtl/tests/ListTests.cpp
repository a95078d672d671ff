#include <gtest/gtest.h>

#include <cstdint>
#include <functional>

#include "rtlExceptions.h"
#include "rtlLists.h"
#include "rtlStrUtils.h"
#include "rtlStringList.h"

namespace {

// Items are elements of one array, named by their index.
int gValues[10];
int* P(int n) { return &gValues[n]; }
int N(const int* p) { return p ? static_cast<int>(p - gValues) : 0; }

std::string Contents(const TList<int>& list) {
  std::string text;
  for (int i = 0; i < list.Count(); ++i) text += std::to_string(N(list[i])) + " ";
  return text;
}

std::string ListIndexErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const EListError& e) {
    return e.Message;
  } catch (const EStringListError& e) {
    return e.Message;
  }
  return "no error";
}

}  // namespace

TEST(List, EditingAndBounds) {
  TList<int> list;
  for (int i = 1; i <= 5; ++i) list.Add(P(i));
  list.Insert(0, P(9));
  list.Delete(3);
  list.Exchange(0, 1);
  list.Move(0, 4);
  EXPECT_EQ("9 2 4 5 1 ", Contents(list));
  EXPECT_EQ(2, list.Remove(P(4)));
  EXPECT_EQ(-1, list.Remove(P(4)));
  EXPECT_EQ(9, N(list.First()));
  EXPECT_EQ(1, N(list.Last()));
  EXPECT_EQ("List index out of bounds (4)", ListIndexErrorOf([&] { list.Items(4); }));
  EXPECT_EQ("List index out of bounds (-1)", ListIndexErrorOf([&] { list.Delete(-1); }));
  list.Clear();
  EXPECT_EQ("List index out of bounds (0)", ListIndexErrorOf([&] { list.First(); }));
  EXPECT_EQ(0, list.Capacity());
}

TEST(List, GrowthCountAndPack) {
  TList<int> list;
  std::vector<int> capacities;
  for (int i = 0; i < 30; ++i) {
    list.Add(nullptr);
    if (capacities.empty() || capacities.back() != list.Capacity()) capacities.push_back(list.Capacity());
  }
  EXPECT_EQ((std::vector<int>{4, 8, 12, 28, 44}), capacities);
  list.SetItems(3, P(3));
  list.SetItems(7, P(7));
  list.Pack();
  EXPECT_EQ("3 7 ", Contents(list));
  list.SetCount(4);
  EXPECT_EQ("3 7 0 0 ", Contents(list));
  EXPECT_THROW(list.SetCapacity(3), EListError);
}

TEST(List, SortTakesAnyCompare) {
  TList<int> list;
  for (int n : {5, 3, 9, 1, 7, 3, 8}) list.Add(P(n));
  list.Sort([](int* a, int* b) { return N(a) - N(b); });
  EXPECT_EQ("1 3 3 5 7 8 9 ", Contents(list));
  // A compare that is no order misplaces items but stays within the list.
  list.Sort([](int*, int*) { return -1; });
  EXPECT_EQ(7, list.Count());
}

TEST(StringList, SortedDuplicatesAndFind) {
  TStringList list;
  list.SetSorted(true);
  for (const char* s : {"pear", "Apple", "fig", "apple"}) list.Add(s);
  EXPECT_EQ("Apple\r\nfig\r\npear\r\n", list.Text());  // "apple" ignored as a duplicate
  int index;
  EXPECT_TRUE(list.Find("FIG", index));
  EXPECT_EQ(1, index);
  EXPECT_FALSE(list.Find("kiwi", index));
  EXPECT_EQ(2, index);
  EXPECT_EQ("Operation not allowed on sorted string list", ListIndexErrorOf([&] { list.Insert(0, "x"); }));
  list.Duplicates = dupError;
  EXPECT_EQ("String list does not allow duplicates", ListIndexErrorOf([&] { list.Add("PEAR"); }));
  list.Duplicates = dupAccept;
  list.Add("APPLE");
  EXPECT_EQ(4, list.Count());
  list.SetCaseSensitive(true);
  EXPECT_EQ("APPLE Apple fig pear ", [&] {
    std::string s;
    for (int i = 0; i < list.Count(); ++i) s += list[i] + " ";
    return s;
  }());
  EXPECT_EQ(-1, list.IndexOf("apple"));
  EXPECT_EQ("List index out of bounds (9)", ListIndexErrorOf([&] { list.Get(9); }));
}

TEST(StringList, CustomSortMovesObjectsAlong) {
  TStringList list;
  TObject a, b, c;
  list.AddObject("b", &b);
  list.AddObject("c", &c);
  list.AddObject("a", &a);
  list.CustomSort([](TStringList& l, int i, int j) { return CompareStr(l[j], l[i]); });
  EXPECT_EQ("c\r\nb\r\na\r\n", list.Text());
  EXPECT_EQ(&a, list.GetObject(2));
  EXPECT_EQ(1, list.IndexOfObject(&b));
}

TEST(StringList, NamesAndValues) {
  TStringList list;
  list.SetText("Path=/tmp\nName=Jobs=Table\nflag\n");
  EXPECT_EQ("Path", list.Names(0));
  EXPECT_EQ("", list.Names(2));
  EXPECT_EQ("Jobs=Table", list.Values("NAME"));
  EXPECT_EQ("", list.Values("missing"));
  list.SetValue("path", "/var");
  list.SetValue("New", "1");
  list.SetValue("Name", "");
  EXPECT_EQ("path=/var\r\nflag\r\nNew=1\r\n", list.Text());
  EXPECT_EQ(2, list.IndexOfName("new"));
}

TEST(StringList, TextForms) {
  TStringList list;
  list.SetText("a\r\nb\nc\rd\r\n\r\ne");
  EXPECT_EQ(6, list.Count());
  EXPECT_EQ("a\r\nb\r\nc\r\nd\r\n\r\ne\r\n", list.Text());
  list.SetText("\n\n");
  EXPECT_EQ(2, list.Count());

  list.SetCommaText(R"(one, "two, three" "say ""hi""",,last,)");
  EXPECT_EQ(6, list.Count());
  EXPECT_EQ("two, three", list[1]);
  EXPECT_EQ("say \"hi\"", list[2]);
  EXPECT_EQ("", list[3]);
  EXPECT_EQ("", list[5]);
  EXPECT_EQ(R"(one,"two, three","say ""hi""","",last,"")", list.CommaText());

  list.Delimiter = ';';
  list.QuoteChar = '\'';
  list.SetDelimitedText("x;'y;z'");
  EXPECT_EQ("x;'y;z'", list.DelimitedText());
  EXPECT_EQ("x,y;z", list.CommaText());
}

TEST(StringList, ChangeNotifications) {
  TStringList list;
  int changes = 0;
  list.OnChange = [&](TStrings&) { ++changes; };
  list.Add("a");
  list.Add("b");
  EXPECT_EQ(2, changes);
  list.BeginUpdate();
  list.Add("c");
  list.Delete(0);
  list.EndUpdate();
  EXPECT_EQ(3, changes);
  // A failing change inside a bracket still closes it.
  list.SetSorted(true);
  list.Duplicates = dupError;
  EXPECT_THROW(list.SetCommaText("x,x"), EStringListError);
  list.Add("y");
  EXPECT_GT(changes, 4);
}
