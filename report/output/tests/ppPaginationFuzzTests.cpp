// Random reports (paper, margins, band heights, groups and their options,
// columns, record counts, one or two passes) checked against what every
// report must hold, whatever its layout.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <random>

#include "dbField.h"
#include "ppBands.h"
#include "ppDrwCmd.h"
#include "ppGenerationKit.h"
#include "ppGroup.h"
#include "ppPrinterSetup.h"

namespace {

constexpr int MaxGroups = 3;

struct TLayout {
  int PaperHeight, PaperWidth, MarginTop, MarginBottom, MarginLeft, MarginRight;
  int Columns = 1, ColumnWidth = 0;
  bool LeftToRight = false;
  bool TwoPass = false;
  int Records = 0;
  // -1: no such band.
  int Title = -1, Summary = -1, ColumnHeader = -1, ColumnFooter = -1;
  bool TitleNewPage = false, TitleVisible = true, SummaryNewPage = false, SummaryVisible = true;
  int Header = 0, Footer = 0, Detail = 0;
  bool HeaderFirst = true, HeaderLast = true, FooterFirst = true, FooterLast = true;
  struct TGroupLayout {
    int HeaderHeight, FooterHeight;
    bool NewPage, NewColumn, KeepTogether, Reprint;
    int NewPageThreshold, NewColumnThreshold;
  };
  std::vector<TGroupLayout> Groups;
  // Per record, the key of each group (unique across the run).
  std::vector<std::array<int, MaxGroups>> Keys;
};

std::string Describe(const TLayout& l) {
  std::string s = "paper " + std::to_string(l.PaperWidth) + "x" + std::to_string(l.PaperHeight) + " margins " +
                  std::to_string(l.MarginTop) + "/" + std::to_string(l.MarginBottom) + " columns " +
                  std::to_string(l.Columns) + "@" + std::to_string(l.ColumnWidth) + (l.LeftToRight ? " across" : "") +
                  (l.TwoPass ? " two-pass" : "") +
                  " records " + std::to_string(l.Records) + " header " + std::to_string(l.Header) +
                  (l.HeaderFirst ? "" : " !first") + (l.HeaderLast ? "" : " !last") + " footer " +
                  std::to_string(l.Footer) + (l.FooterFirst ? "" : " !first") + (l.FooterLast ? "" : " !last") +
                  " detail " + std::to_string(l.Detail) + " title " + std::to_string(l.Title) +
                  (l.TitleNewPage ? " newpage" : "") + (l.TitleVisible ? "" : " hidden") + " summary " +
                  std::to_string(l.Summary) + (l.SummaryNewPage ? " newpage" : "") +
                  (l.SummaryVisible ? "" : " hidden") + " colheader " + std::to_string(l.ColumnHeader) +
                  " colfooter " + std::to_string(l.ColumnFooter);
  for (const auto& g : l.Groups)
    s += " | group " + std::to_string(g.HeaderHeight) + "/" + std::to_string(g.FooterHeight) +
         (g.NewPage ? " newpage" : "") + (g.NewColumn ? " newcolumn" : "") + (g.KeepTogether ? " keep" : "") +
         (g.Reprint ? " reprint" : "") + " thresholds " + std::to_string(g.NewPageThreshold) + "/" +
         std::to_string(g.NewColumnThreshold);
  return s;
}

TLayout RandomLayout(std::mt19937& rng) {
  const auto pick = [&rng](int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); };
  const auto chance = [&rng](double p) { return std::bernoulli_distribution(p)(rng); };
  // Heights in quarter millimetres, small enough that any band fits a page.
  const auto height = [&](int lowMM, int highMM) { return pick(lowMM * 4, highMM * 4) * 250; };
  TLayout l;
  l.PaperHeight = mm(pick(150, 300));
  l.PaperWidth = mm(pick(100, 300));
  l.MarginTop = height(0, 20);
  l.MarginBottom = height(0, 20);
  l.MarginLeft = height(0, 15);
  l.MarginRight = height(0, 15);
  if (chance(0.5)) {
    l.Columns = pick(2, 4);
    const int printable = l.PaperWidth - l.MarginLeft - l.MarginRight;
    // Sometimes fewer columns fit than asked for.
    l.ColumnWidth = std::max(mm(10), printable / pick(l.Columns - 1, l.Columns));
    l.LeftToRight = chance(0.3);
  }
  l.TwoPass = chance(0.5);
  l.Records = chance(0.1) ? 0 : pick(1, 300);
  l.Header = height(0, 12);
  l.Footer = height(0, 12);
  l.Detail = height(2, 12);
  l.HeaderFirst = !chance(0.2);
  l.HeaderLast = !chance(0.2);
  l.FooterFirst = !chance(0.2);
  l.FooterLast = !chance(0.4);
  if (chance(0.4)) {
    l.Title = height(0, 12);
    l.TitleNewPage = chance(0.3);
    l.TitleVisible = !chance(0.2);
  }
  if (chance(0.4)) {
    l.Summary = height(0, 12);
    l.SummaryNewPage = chance(0.3);
    l.SummaryVisible = !chance(0.2);
  }
  if (chance(0.3)) l.ColumnHeader = height(0, 10);
  if (chance(0.3)) l.ColumnFooter = height(0, 10);
  const int groups = pick(0, MaxGroups);
  std::array<double, MaxGroups> breakChance{};
  for (int g = 0; g < groups; ++g) {
    TLayout::TGroupLayout group{height(0, 12), height(0, 12), chance(0.2), chance(0.2), chance(0.3), chance(0.5),
                                chance(0.2) ? height(10, 60) : 0, chance(0.15) ? height(10, 60) : 0};
    l.Groups.push_back(group);
    breakChance[static_cast<size_t>(g)] = pick(2, 40) / 100.0;
  }
  std::array<int, MaxGroups> key{};
  int next = 0;
  for (int r = 0; r < l.Records; ++r) {
    bool broken = r == 0;
    for (int g = 0; g < groups; ++g) {
      broken = broken || chance(breakChance[static_cast<size_t>(g)]);
      if (broken) key[static_cast<size_t>(g)] = ++next;
    }
    l.Keys.push_back(key);
  }
  return l;
}

std::string Key(int group, int key) { return std::to_string(group) + ":" + std::to_string(key); }

std::unique_ptr<TMemoryDataSet, TObjectFree> MakeData(const TLayout& l) {
  std::unique_ptr<TMemoryDataSet, TObjectFree> data(new TMemoryDataSet());
  data->DefineField("ID", ftString, 8);
  for (int g = 0; g < MaxGroups; ++g) {
    data->DefineField("K" + std::to_string(g), ftString, 12);
    data->DefineField("H" + std::to_string(g), ftString, 12);
    data->DefineField("F" + std::to_string(g), ftString, 12);
  }
  data->Open();
  for (int r = 0; r < l.Records; ++r) {
    data->Append();
    data->FieldByName("ID")->SetAsString("D" + std::to_string(r + 1));
    for (int g = 0; g < static_cast<int>(l.Groups.size()); ++g) {
      const std::string key = Key(g, l.Keys[static_cast<size_t>(r)][static_cast<size_t>(g)]);
      data->FieldByName("K" + std::to_string(g))->SetAsString(key);
      data->FieldByName("H" + std::to_string(g))->SetAsString("H" + key);
      data->FieldByName("F" + std::to_string(g))->SetAsString("F" + key);
    }
    data->Post();
  }
  data->First();
  return data;
}

// Each band carries one text as high as the band: its commands are the
// bands' places on the page.
void AddBandText(TReportFixture& f, TppBand* band, const std::string& text, bool isField) {
  TTestText* c = f.AddText(band, text, isField, 0, band->mmHeight());
  c->SetmmWidth(mm(5));
}

template <class TBand>
TBand* AddBand(TReportFixture& f, int height) {
  auto* band = new TBand(f.Report);
  band->SetReport(f.Report);
  band->SetmmHeight(height);
  return band;
}

void Build(TReportFixture& f, const TLayout& l) {
  auto data = MakeData(l);
  f.Source->SetDataSet(data.get());
  f.Data = std::move(data);
  TppPrinterSetup* setup = f.Report->PrinterSetup();
  setup->SetPaperHeight(l.PaperHeight);
  setup->SetPaperWidth(l.PaperWidth);
  setup->SetMarginTop(l.MarginTop);
  setup->SetMarginBottom(l.MarginBottom);
  setup->SetMarginLeft(l.MarginLeft);
  setup->SetMarginRight(l.MarginRight);
  if (l.Columns > 1) {
    f.Report->SetColumns(l.Columns);
    f.Report->SetColumnWidth(l.ColumnWidth);
    if (l.LeftToRight) static_cast<TppDetailBand*>(f.Detail)->SetColumnTraversal(ctLeftToRight);
  }
  f.Report->SetPassSetting(l.TwoPass ? psTwoPass : psOnePass);
  f.Header->SetmmHeight(l.Header);
  f.Footer->SetmmHeight(l.Footer);
  f.Detail->SetmmHeight(l.Detail);
  static_cast<TppPageBand*>(f.Header)->SetPrintOnFirstPage(l.HeaderFirst);
  static_cast<TppPageBand*>(f.Header)->SetPrintOnLastPage(l.HeaderLast);
  static_cast<TppPageBand*>(f.Footer)->SetPrintOnFirstPage(l.FooterFirst);
  static_cast<TppPageBand*>(f.Footer)->SetPrintOnLastPage(l.FooterLast);
  AddBandText(f, f.Header, "PH", false);
  AddBandText(f, f.Footer, "PF", false);
  AddBandText(f, f.Detail, "ID", true);
  if (l.Title >= 0) {
    auto* title = AddBand<TppTitleBand>(f, l.Title);
    title->SetNewPage(l.TitleNewPage);
    title->SetVisible(l.TitleVisible);
    AddBandText(f, title, "T", false);
  }
  if (l.Summary >= 0) {
    auto* summary = AddBand<TppSummaryBand>(f, l.Summary);
    summary->SetNewPage(l.SummaryNewPage);
    summary->SetVisible(l.SummaryVisible);
    AddBandText(f, summary, "S", false);
  }
  if (l.ColumnHeader >= 0) AddBandText(f, AddBand<TppColumnHeaderBand>(f, l.ColumnHeader), "CH", false);
  if (l.ColumnFooter >= 0) AddBandText(f, AddBand<TppColumnFooterBand>(f, l.ColumnFooter), "CF", false);
  for (int g = 0; g < static_cast<int>(l.Groups.size()); ++g) {
    const auto& o = l.Groups[static_cast<size_t>(g)];
    TppGroup* group = f.AddGroup("K" + std::to_string(g), o.HeaderHeight, o.FooterHeight);
    group->SetNewPage(o.NewPage);
    group->SetNewColumn(o.NewColumn);
    group->SetKeepTogether(o.KeepTogether);
    group->SetReprintOnSubsequentPage(o.Reprint);
    group->SetReprintOnSubsequentColumn(o.Reprint);
    group->SetmmNewPageThreshold(o.NewPageThreshold);
    group->SetmmNewColumnThreshold(o.NewColumnThreshold);
    AddBandText(f, group->HeaderBand(), "H" + std::to_string(g), true);
    AddBandText(f, group->FooterBand(), "F" + std::to_string(g), true);
  }
}

// What the data bands print, in order: headers at each key change (the
// outermost broken group and all inside it), details, footers innermost
// first when a key changes and at the end.
std::vector<std::string> ExpectedStream(const TLayout& l) {
  std::vector<std::string> out;
  if (l.Title >= 0 && l.TitleVisible) out.push_back("T");
  const int groups = static_cast<int>(l.Groups.size());
  const auto footers = [&](int record, int from) {
    for (int g = groups - 1; g >= from; --g)
      out.push_back("F" + Key(g, l.Keys[static_cast<size_t>(record)][static_cast<size_t>(g)]));
  };
  for (int r = 0; r < l.Records; ++r) {
    int from = groups;
    for (int g = 0; g < groups && from == groups; ++g)
      if (r == 0 || l.Keys[static_cast<size_t>(r)][static_cast<size_t>(g)] !=
                        l.Keys[static_cast<size_t>(r - 1)][static_cast<size_t>(g)])
        from = g;
    if (r > 0) footers(r - 1, from);
    for (int g = from; g < groups; ++g)
      out.push_back("H" + Key(g, l.Keys[static_cast<size_t>(r)][static_cast<size_t>(g)]));
    out.push_back("D" + std::to_string(r + 1));
  }
  if (l.Records > 0) footers(l.Records - 1, 0);
  if (l.Summary >= 0 && l.SummaryVisible) out.push_back("S");
  return out;
}

struct TPlaced {
  std::string Text;
  int Page, Left, Top, Height;
  bool Reprint = false;
};

bool IsPageBand(const std::string& text) { return text == "PH" || text == "PF" || text == "CH" || text == "CF"; }

int GroupOf(const std::string& text) { return text[1] - '0'; }

void CheckReport(const TLayout& l, const std::vector<std::unique_ptr<TppPage>>& pages, const std::string& context) {
  SCOPED_TRACE(context);
  ASSERT_FALSE(pages.empty());
  const int count = static_cast<int>(pages.size());
  const int footerTop = l.PaperHeight - l.MarginBottom - l.Footer;
  std::vector<TPlaced> placed;
  for (int p = 0; p < count; ++p) {
    const TppPage& page = *pages[static_cast<size_t>(p)];
    // Page n of m: the count is known on every page in two passes, on the
    // last one always.
    EXPECT_EQ(page.AbsolutePageNo, p + 1);
    if (l.TwoPass || p + 1 == count) {
      EXPECT_EQ(page.AbsolutePageCount, count) << "page " << p + 1;
    }
    EXPECT_EQ(page.LastPage, p + 1 == count) << "page " << p + 1;
    const bool first = p == 0, last = p + 1 == count;
    std::vector<TPlaced> onPage;
    page.ForEachDrawCommand([&](TppDrawCommand* c) {
      if (auto* t = dynamic_cast<TppDrawText*>(c)) onPage.push_back({t->Text, p + 1, c->Left(), c->Top(), c->Height()});
    });
    bool footer = false, data = false;
    for (size_t i = 0; i < onPage.size(); ++i) {
      const TPlaced& a = onPage[i];
      EXPECT_GE(a.Top, l.MarginTop) << a.Text << " on page " << a.Page;
      EXPECT_LE(a.Top + a.Height, l.PaperHeight - l.MarginBottom) << a.Text << " on page " << a.Page;
      for (size_t k = i + 1; k < onPage.size(); ++k) {
        const TPlaced& b = onPage[k];
        const bool apart = a.Left != b.Left || a.Height == 0 || b.Height == 0 || a.Top + a.Height <= b.Top ||
                           b.Top + b.Height <= a.Top;
        EXPECT_TRUE(apart) << a.Text << "@" << a.Top << " overlaps " << b.Text << "@" << b.Top << " on page "
                           << a.Page;
      }
      if (a.Text == "PF") {
        footer = true;
        EXPECT_EQ(a.Top, footerTop) << "page " << a.Page;
      }
      if (!IsPageBand(a.Text)) data = true;
    }
    const bool footerExpected = !(first && !l.FooterFirst) && !(last && !l.FooterLast);
    EXPECT_EQ(footer, footerExpected) << "page " << p + 1;
    // The column footers stand on the page footer (or the bottom margin;
    // on the last page, columns that ended before it was known, or a page
    // laid out with the footer's room kept, keep that room).
    for (const TPlaced& c : onPage)
      if (c.Text == "CF" && (footer || !last || c.Top + c.Height != footerTop)) {
        EXPECT_EQ(c.Top + c.Height, footer ? footerTop : footerTop + l.Footer) << "page " << p + 1;
      }
    // No page holds nothing but page and column bands (a report without
    // records prints its one blank page).
    if (l.Records > 0) {
      EXPECT_TRUE(data) << "page " << p + 1 << " holds no data band";
    }
    placed.insert(placed.end(), onPage.begin(), onPage.end());
  }
  if (l.Records == 0) {
    EXPECT_EQ(count, 1);
    return;
  }

  // Reprinted group headers repeat the header of the group still open, at
  // the top of a page or column, and only when the group asks for it.
  std::array<std::string, MaxGroups> open;
  std::vector<std::string> stream;
  std::map<std::pair<int, int>, bool> dataInColumn;
  for (TPlaced& c : placed) {
    if (IsPageBand(c.Text)) continue;
    const bool header = c.Text[0] == 'H', footer = c.Text[0] == 'F';
    if (header && open[static_cast<size_t>(GroupOf(c.Text))] == c.Text.substr(1)) {
      c.Reprint = true;
      EXPECT_TRUE(l.Groups[static_cast<size_t>(GroupOf(c.Text))].Reprint) << c.Text << " on page " << c.Page;
      EXPECT_FALSE((dataInColumn[{c.Page, c.Left}])) << "reprinted " << c.Text << " below data on page " << c.Page;
      continue;
    }
    if (header) open[static_cast<size_t>(GroupOf(c.Text))] = c.Text.substr(1);
    if (footer) open[static_cast<size_t>(GroupOf(c.Text))].clear();
    dataInColumn[{c.Page, c.Left}] = true;
    stream.push_back(c.Text);
  }
  // Every record exactly once and in order, each group's header and footer
  // exactly at its key changes, title first and summary last.
  const std::vector<std::string> expected = ExpectedStream(l);
  if (stream != expected) {
    size_t i = 0;
    while (i < stream.size() && i < expected.size() && stream[i] == expected[i]) ++i;
    const auto from = [i](const std::vector<std::string>& v) {
      std::string s;
      for (size_t k = i; k < v.size() && k < i + 8; ++k) s += v[k] + " ";
      return s + "(" + std::to_string(v.size()) + " in all)";
    };
    ADD_FAILURE() << "the data bands differ at " << i << ": printed " << from(stream) << ", expected "
                  << from(expected);
  }

  // Title and summary with NewPage stand apart from the data.
  for (const TPlaced& c : placed) {
    if (c.Text == "T" && l.TitleNewPage)
      for (const TPlaced& d : placed)
        if (d.Page == c.Page && &d != &c && !IsPageBand(d.Text)) ADD_FAILURE() << "title shares page 1 with " << d.Text;
    if (c.Text == "S" && l.SummaryNewPage && l.Records > 0)
      for (const TPlaced& d : placed)
        if (d.Page == c.Page && &d != &c && !IsPageBand(d.Text) && !d.Reprint)
          ADD_FAILURE() << "summary shares page " << c.Page << " with " << d.Text;
  }

  // A kept-together group that fits a fresh page is never split.
  const int groups = static_cast<int>(l.Groups.size());
  int fresh = l.PaperHeight - l.MarginTop - l.MarginBottom - l.Header - l.Footer - std::max(l.ColumnHeader, 0) -
              std::max(l.ColumnFooter, 0);
  for (int g = 0; g < groups; ++g) {
    const auto& o = l.Groups[static_cast<size_t>(g)];
    // A group inside that asks for its own page or column breaks it.
    bool innerBreaks = false;
    for (int inner = g + 1; inner < groups; ++inner) {
      const auto& i = l.Groups[static_cast<size_t>(inner)];
      innerBreaks = innerBreaks || i.NewPage || i.NewColumn || i.NewPageThreshold > 0 || i.NewColumnThreshold > 0;
    }
    if (o.KeepTogether && !innerBreaks) {
      std::map<std::string, std::vector<const TPlaced*>> members;
      std::string current;
      for (const TPlaced& c : placed) {
        if (IsPageBand(c.Text) || c.Reprint) continue;
        if (c.Text[0] == 'H' && GroupOf(c.Text) == g) current = c.Text.substr(1);
        if (!current.empty() && c.Text != "T" && c.Text != "S") members[current].push_back(&c);
        if (c.Text[0] == 'F' && GroupOf(c.Text) == g) current.clear();
      }
      for (const auto& [key, bands] : members) {
        int needed = 0;
        for (const TPlaced* b : bands) needed += b->Height;
        if (needed > fresh) continue;
        for (const TPlaced* b : bands)
          EXPECT_TRUE(b->Page == bands.front()->Page && (l.LeftToRight || b->Left == bands.front()->Left))
              << "group " << key << " split at " << b->Text << " (needs " << needed << " of " << fresh << ")";
      }
    }
    // Reprinted outer headers take room at the top of every fresh page.
    if (o.Reprint) fresh -= o.HeaderHeight;
  }
}

// A page in short: its numbers and each text at its place.
std::string Outline(const TppPage& page, bool withCount) {
  std::string s = std::to_string(page.AbsolutePageNo) + (withCount ? "/" + std::to_string(page.AbsolutePageCount) : "") +
                  (page.LastPage ? " last" : "");
  page.ForEachDrawCommand([&](TppDrawCommand* c) {
    if (auto* t = dynamic_cast<TppDrawText*>(c))
      s += " " + t->Text + "@" + std::to_string(c->Left()) + "," + std::to_string(c->Top());
  });
  return s;
}

void RunSeed(unsigned seed) {
  std::mt19937 rng(seed);
  const TLayout layout = RandomLayout(rng);
  TReportFixture f(0);
  Build(f, layout);
  const std::string context = "seed " + std::to_string(seed) + ": " + Describe(layout);
  const auto pages = f.PrintAll();
  CheckReport(layout, pages, context);
  if (::testing::Test::HasFailure()) return;
  // Asked for again, every page knows the count (one pass too: only its
  // last page may change, now that it is known); asked for one at a time,
  // out of order, each equals its page of that run.
  const auto again = f.Request(psAll);
  ASSERT_EQ(again.size(), pages.size()) << context;
  for (size_t i = 0; i < pages.size(); ++i)
    if (layout.TwoPass || i + 1 < pages.size()) {
      ASSERT_EQ(Outline(*again[i], layout.TwoPass), Outline(*pages[i], layout.TwoPass)) << context;
    }
  CheckReport(layout, again, context + " (asked again)");
  std::vector<int> order(pages.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i) + 1;
  std::shuffle(order.begin(), order.end(), rng);
  order.resize(std::min<size_t>(order.size(), 4));
  for (const int n : order) {
    const auto single = f.Request(psSinglePage, n);
    ASSERT_EQ(single.size(), 1u) << context;
    ASSERT_EQ(Outline(*single[0], true), Outline(*again[static_cast<size_t>(n - 1)], true)) << context;
    EXPECT_EQ(PageBytes(*single[0]), PageBytes(*again[static_cast<size_t>(n - 1)])) << context << " page " << n;
  }
}

// A few seconds in an ordinary build; the sanitizers run it ten times
// slower, and fewer reports keep the suite within its time there.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr unsigned Seeds = 150;
#else
constexpr unsigned Seeds = 1000;
#endif

TEST(PaginationFuzz, RandomReportsHoldEveryInvariant) {
  for (unsigned seed = 1; seed <= Seeds && !HasFailure(); ++seed) RunSeed(seed);
}

}  // namespace
