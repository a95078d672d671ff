// Rich text across pages, with mail merge.
#include <gtest/gtest.h>

#include "ppDrwCmd.h"
#include "ppPrintablesKit.h"
#include "ppPrinterSetup.h"
#include "ppRichText.h"
#include "ppUnits.h"
#include "uiMeasuringCanvas.h"

namespace {

// One line of the text's font (Arial 10) as the component measures it.
int LineHeight() {
  TMeasuringCanvas canvas(ppScreenPixelsPerInch);
  canvas.Font() = TFont{};
  return ppUnitsToMMThousandths(canvas.TextMetrics().Height, utScreenPixels, axVertical, nullptr);
}

struct TPrintedRange {
  int Start, End, Height;
  std::string Text;  // of the range, read back from the command's own RTF
};

// A one-record report whose page has room for linesPerPage lines below its
// top margin; no page bands.
struct TRichReport {
  explicit TRichReport(double linesPerPage, const std::string& rtf) : f(Rows(1)) {
    f.Header->SetVisible(false);
    f.Footer->SetVisible(false);
    rich = f.Add<TppRichText>(f.Detail, 0, 0, mm(100), mm(5));
    rich->SetRichText(rtf);
    rich->SetStretch(true);
    f.Report->PrinterSetup()->SetPaperHeight(mm(20) + static_cast<int>(linesPerPage * LineHeight()));
  }
  // The rich-text ranges of each page (empty where none printed).
  std::vector<std::vector<TPrintedRange>> Pages() {
    std::vector<std::vector<TPrintedRange>> result;
    for (const auto& page : f.PrintAll()) {
      result.emplace_back();
      page->ForEachDrawCommand([&](TppDrawCommand* c) {
        auto* r = dynamic_cast<TppDrawRichText*>(c);
        if (!r) return;
        TMemoryStream& s = r->RichTextStream();
        TRichTextBuffer text;
        text.LoadRichText(std::string(reinterpret_cast<const char*>(s.Memory()), static_cast<size_t>(s.Size())),
                          TFont{});
        result.back().push_back(TPrintedRange{r->StartCharPos, r->EndCharPos, r->Height(),
                                              text.TextRange(r->StartCharPos, r->EndCharPos - r->StartCharPos + 1)});
      });
    }
    return result;
  }
  TPrintablesFixture f;
  TppRichText* rich;
};

std::string Paragraphs(int count) {
  std::string rtf = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 ";
  for (int n = 1; n <= count; ++n)
    rtf += (n % 5 == 0 ? "\\b Bold " : "Line ") + std::to_string(n) + (n % 5 == 0 ? "\\b0" : "") + "\\par ";
  return rtf + "}";
}

std::string LongWords(int count) {
  std::string rtf = "{\\rtf1\\fs20 ";
  for (int n = 0; n < count; ++n) rtf += "word" + std::to_string(n) + (n % 23 == 22 ? "\\par " : " ");
  return rtf + "}";
}

TEST(RichTextTest, PagesContinueWhereThePreviousEndedAndTogetherHoldTheWholeText) {
  const int line = LineHeight();
  const struct {
    const char* name;
    std::string rtf;
    double linesPerPage;
    int titleHeight;       // a first-page title leaving less than a line
    int overFlowOffset;    // continuations start this far down
    int fontSize;          // 0: as written
    bool keepTogether;
  } cases[] = {
      {"paragraphs", Paragraphs(100), 12.5, 0, 0, 0, false},
      {"wrapped words", LongWords(400), 9.5, 0, 0, 0, false},
      {"no room below a title", Paragraphs(30), 10.5, static_cast<int>(10.2 * line), 0, 0, false},
      {"no room on continuations", Paragraphs(15), 10.5, 0, static_cast<int>(10.2 * line), 0, false},
      {"lines taller than a page", "{\\rtf1 one\\par two\\par three\\par}", 10, 0, 0, 150, false},
      // Room for five lines below the title: kept together, the text
      // starts whole on the next page.
      {"kept together", Paragraphs(30), 10.5, static_cast<int>(5.2 * line), 0, 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TRichReport r(c.linesPerPage, c.rtf);
    if (c.titleHeight > 0) {
      auto* title = new TppTitleBand(r.f.Report);
      title->SetReport(r.f.Report);
      title->SetmmHeight(c.titleHeight);
    }
    r.rich->SetmmOverFlowOffset(c.overFlowOffset);
    r.rich->SetKeepTogether(c.keepTogether);
    if (c.fontSize > 0) {
      r.rich->SelectAll();
      TFont big;
      big.SetSize(c.fontSize);
      r.rich->SetSelAttributes(big);
    }
    const int count = static_cast<int>(r.rich->PlainText().size()) + 1;
    const auto pages = r.Pages();
    ASSERT_GT(pages.size(), 1u);
    ASSERT_LT(pages.size(), static_cast<size_t>(count));  // the report ends
    EXPECT_EQ(pages[0].empty(), c.titleHeight > 0);
    int expected = 0;
    std::string all;
    for (size_t p = 0; p < pages.size(); ++p) {
      ASSERT_LE(pages[p].size(), 1u);
      if (pages[p].empty()) {
        // Only a page where nothing of the text fitted prints none of it.
        EXPECT_EQ(p, 0u);
        continue;
      }
      EXPECT_EQ(pages[p][0].Start, expected) << "page " << p;
      expected = pages[p][0].End + 1;
      all += pages[p][0].Text;
    }
    EXPECT_EQ(expected, count);
    EXPECT_EQ(all, r.rich->PlainText() + "\r");
  }
}

TEST(RichTextTest, APageMadeAgainOutOfOrderPrintsTheSameCharacters) {
  TRichReport r(12.5, Paragraphs(100));
  const auto all = r.Pages();
  ASSERT_GT(all.size(), 5u);
  int pagesStarted = 0;
  r.f.Report->OnStartPage = [&pagesStarted](TObject*) { ++pagesStarted; };
  for (const int page : {4, 2, 6, 1}) {
    TObjectPtr<TRecordingDevice> device(new TRecordingDevice(nullptr));
    device->PageRequest().SetPageSetting(psSinglePage);
    device->PageRequest().SetPageRequested(page);
    device->SetPublisher(r.f.Report->Publisher());
    device->RequestPage();
    device->SetPublisher(nullptr);
    ASSERT_EQ(device->Pages.size(), 1u) << page;
    TppDrawRichText* command = nullptr;
    device->Pages[0]->ForEachDrawCommand([&](TppDrawCommand* c) {
      if (auto* d = dynamic_cast<TppDrawRichText*>(c)) command = d;
    });
    ASSERT_NE(command, nullptr) << page;
    EXPECT_EQ(command->StartCharPos, all[static_cast<size_t>(page - 1)][0].Start) << page;
    EXPECT_EQ(command->EndCharPos, all[static_cast<size_t>(page - 1)][0].End) << page;
  }
  EXPECT_GT(pagesStarted, 0);  // made again, not only copied
}

TEST(RichTextTest, WithoutStretchTheWholeTextIsOneRangeInTheDesignHeight) {
  TRichReport r(20, Paragraphs(100));
  r.rich->SetStretch(false);
  const auto pages = r.Pages();
  ASSERT_EQ(pages.size(), 1u);
  ASSERT_EQ(pages[0].size(), 1u);
  EXPECT_EQ(pages[0][0].Start, 0);
  EXPECT_EQ(pages[0][0].End, static_cast<int>(r.rich->PlainText().size()));
  EXPECT_EQ(pages[0][0].Height, mm(5));
}

// A report over one job whose fields are named as a letter refers to them.
struct TLetter {
  explicit TLetter(const std::string& owner) : f(Rows(1)) {
    data.reset(new TMemoryDataSet());
    data->DefineField("JobOwner", ftString, 80);
    data->DefineField("Pages", ftInteger);
    data->Open();
    data->Append();
    data->FieldByName("JobOwner")->SetAsString(owner);
    data->FieldByName("Pages")->SetAsInteger(12);
    data->Post();
    data->First();
    auto* source = new TDataSource(f.Owner.get());
    source->SetDataSet(data.get());
    auto* pipeline = new TppDBPipeline(f.Owner.get());
    pipeline->SetDataSource(source);
    f.Report->SetDataPipeline(pipeline);
    rich = f.Add<TppRichText>(f.Detail, 0, 0, mm(150), mm(5));
    rich->SetStretch(true);
    rich->SetMailMerge(true);
  }
  std::unique_ptr<TMemoryDataSet, TObjectFree> data;
  TPrintablesFixture f;
  TppRichText* rich;
};

TEST(RichTextTest, MailMergePutsFieldValuesInAsTextWhateverTheyHold) {
  const struct {
    std::string owner;
    std::string rtf;
    std::string merged;
  } cases[] = {
      {"Ann", "{\\rtf1 Dear \\b <JobOwner>\\b0 , <PAGES> pages.\\par}", "Dear Ann, 12 pages.\r"},
      {"{\\rtf1 \\b0 x} C:\\new\\par }", "{\\rtf1 To <jobowner>: <nofield> <Pages\\par}",
       "To {\\rtf1 \\b0 x} C:\\new\\par }: <nofield> <Pages\r"},
      {"<JobOwner>", "{\\rtf1 <JobOwner> and <JobOwner>>\\par}", "<JobOwner> and <JobOwner>>\r"},
      {"two\r\nlines", "{\\rtf1 a <JobOwner> b\\par}", "a two\rlines b\r"},
      {"", "{\\rtf1 >x<<JobOwner>\\par}", ">x<\r"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rtf);
    TLetter letter(c.owner);
    letter.rich->SetRichText(c.rtf);
    const std::string before = letter.rich->RichText();
    auto pages = letter.f.PrintAll();
    ASSERT_EQ(pages.size(), 1u);
    TppDrawRichText* command = nullptr;
    pages[0]->ForEachDrawCommand([&](TppDrawCommand* d) {
      if (auto* r = dynamic_cast<TppDrawRichText*>(d)) command = r;
    });
    ASSERT_NE(command, nullptr);
    TMemoryStream& s = command->RichTextStream();
    TRichTextBuffer printed;
    printed.LoadRichText(std::string(reinterpret_cast<const char*>(s.Memory()), static_cast<size_t>(s.Size())),
                         TFont{});
    EXPECT_EQ(printed.TextRange(0, -1), c.merged);
    EXPECT_EQ(command->EndCharPos, printed.CharCount() - 1);
    // The component's own text is left as it was.
    EXPECT_EQ(letter.rich->RichText(), before);
  }
  // The value takes the formatting of the reference it replaces.
  TLetter letter("Ann {b}");
  letter.rich->SetRichText("{\\rtf1 Dear \\b <JobOwner>\\b0 .\\par}");
  letter.f.PrintAll();
  const TRichDocument& doc = letter.rich->PrintedText().Document();
  ASSERT_EQ(doc.Paragraphs[0].Runs.size(), 3u);
  EXPECT_EQ(doc.Paragraphs[0].Runs[1].Text, "Ann {b}");
  EXPECT_TRUE(doc.Paragraphs[0].Runs[1].Font.HasStyle(fsBold));
}

TEST(RichTextTest, EachRecordMergesItsOwnValues) {
  TPrintablesFixture f({TJobRow{"Ann", 1, ""}, TJobRow{"Bob", 2, ""}, TJobRow{"Bob", 3, ""}});
  auto* rich = f.Add<TppRichText>(f.Detail, 0, 0, mm(100), mm(5));
  rich->SetRichText("{\\rtf1 <OWNER> <PAGES>\\par}");
  rich->SetMailMerge(true);
  std::vector<std::string> texts;
  for (const auto& page : f.PrintAll())
    page->ForEachDrawCommand([&](TppDrawCommand* c) {
      auto* r = dynamic_cast<TppDrawRichText*>(c);
      if (!r) return;
      TMemoryStream& s = r->RichTextStream();
      texts.push_back(ParseRichText(std::string(reinterpret_cast<const char*>(s.Memory()), static_cast<size_t>(s.Size())),
                                    TFont{})
                          .Paragraphs[0]
                          .Runs[0]
                          .Text);
    });
  EXPECT_EQ(texts, (std::vector<std::string>{"Ann 1", "Bob 2", "Bob 3"}));
}

TEST(RichTextTest, DataRichTextReadsItsFieldOrItsEvent) {
  TPrintablesFixture f({TJobRow{"a", 1, "{\\rtf1 first \\b note\\par}"}, TJobRow{"b", 2, "plain second"}});
  auto* rich = f.Add<TppDBRichText>(f.Detail, 0, 0, mm(100), mm(5));
  rich->SetDataPipeline(f.Pipeline);
  rich->SetDataField("NOTE");
  rich->SetStretch(true);
  auto texts = [&] {
    std::vector<std::string> out;
    for (const auto& page : f.PrintAll())
      page->ForEachDrawCommand([&](TppDrawCommand* c) {
        auto* r = dynamic_cast<TppDrawRichText*>(c);
        if (!r) return;
        TMemoryStream& s = r->RichTextStream();
        TRichTextBuffer text;
        text.LoadRichText(std::string(reinterpret_cast<const char*>(s.Memory()), static_cast<size_t>(s.Size())),
                          TFont{});
        out.push_back(text.PlainText());
      });
    return out;
  };
  EXPECT_EQ(texts(), (std::vector<std::string>{"first note", "plain second"}));
  rich->OnGetRichText = [](TObject*, std::string& text) { text = "{\\rtf1 from the event}"; };
  EXPECT_EQ(texts(), (std::vector<std::string>{"from the event", "from the event"}));
}

}  // namespace
