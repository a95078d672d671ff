#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "ppDrwCmd.h"
#include "ppPage.h"
#include "ppPdfTools.h"
#include "ppPrinterDevice.h"
#include "ppTextFileDevice.h"
#include "rtlExceptions.h"
#include "rtlTestFolder.h"

namespace {

struct TSavedField {
  std::string Text;
  int Band = 1;
  int Order = 1;
  int SaveLength = 0;
  TAlignment Alignment = taLeftJustify;
  bool Saved = true;
};

TObjectPtr<TppPage> MakePage(int number, bool last) {
  TObjectPtr<TppPage> page(new TppPage(nullptr));
  page->AbsolutePageNo = number;
  page->AbsolutePageCount = number;
  page->FirstPage = number == 1;
  page->LastPage = last;
  page->Final = true;
  return page;
}

TppDrawText* AddField(TppPage& page, const TSavedField& field) {
  auto* text = new TppDrawText(&page);
  text->Text = field.Text;
  text->BandSave = true;
  text->BandSaveNo = field.Band;
  text->ComponentSave = field.Saved;
  text->ComponentSaveNo = field.Order;
  text->SaveLength = field.SaveLength;
  text->SetAlignment(field.Alignment);
  text->SetPage(&page);
  return text;
}

std::string ReadFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs a job of the pages through the device into the file and answers
// the file's bytes.
std::string Export(TppFileDevice& device, const std::string& fileName, const std::vector<TppPage*>& pages) {
  device.SetFileName(fileName);
  device.StartJob();
  for (TppPage* page : pages) device.ReceivePage(page);
  device.EndJob();
  return ReadFile(fileName);
}

}  // namespace

TEST(TextFileDevice, RecordsByFileType) {
  struct TCase {
    const char* Name;
    TppFileType Type;
    std::vector<TSavedField> Fields;
    bool LastPage;
    std::string Expected;
  };
  const TCase cases[] = {
      {"comma", ftComma, {{"abc"}, {"1,5", 1, 2}, {"x", 1, 3}}, false, "abc,\"1,5\",x\r\n"},
      {"comma, last line of the job", ftComma, {{"abc"}, {"1,5", 1, 2}, {"x", 1, 3}}, true, "abc,\"1,5\",x"},
      {"tab", ftTab, {{"a b"}, {"c\td", 1, 2}}, false, "a b\t\"c\td\"\r\n"},
      {"fixed length, right aligned", ftFixedLength, {{"42", 1, 1, 5, taRightJustify}, {"abcdefg", 1, 2, 3}}, false,
       "   42abc\r\n"},
      {"custom: no separators, no line ends", ftCustom, {{"a,b"}, {"c", 2, 1}}, false, "a,bc"},
      // Band save number first, then the component's save order.
      {"records in save order", ftComma, {{"late", 10, 1}, {"b", 2, 10}, {"a", 2, 3}}, true, "a,b\r\nlate"},
      {"unsaved components are left out", ftComma, {{"kept"}, {"left out", 1, 2, 0, taLeftJustify, false}}, false,
       "kept\r\n"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TTestFolder folder;
    TppTextFileDevice device(nullptr);
    device.SetFileType(c.Type);
    auto page = MakePage(1, c.LastPage);
    for (const TSavedField& field : c.Fields) AddField(*page, field);
    EXPECT_EQ(Export(device, folder.File("out.txt"), {page.get()}), c.Expected);
  }
}

TEST(TextFileDevice, APageWithoutSavedTextsWritesNothing) {
  TTestFolder folder;
  TppTextFileDevice device(nullptr);
  auto first = MakePage(1, false);
  AddField(*first, {"not saved", 1, 1, 0, taLeftJustify, false});
  auto second = MakePage(2, true);
  EXPECT_EQ(Export(device, folder.File("out.txt"), {first.get(), second.get()}), "");
}

TEST(TextFileDevice, FieldsWithQuotesAndLineBreaksReadBackWithACsvParser) {
  TTestFolder folder;
  TppTextFileDevice device(nullptr);
  const std::vector<std::string> fields = {"He said \"hi\"\r\nthen left", "plain", "a,b", "\"", ""};
  auto first = MakePage(1, false);
  auto second = MakePage(2, true);
  for (TppPage* page : {first.get(), second.get()})
    for (size_t i = 0; i < fields.size(); ++i) AddField(*page, {fields[i], 1, static_cast<int>(i) + 1});
  Export(device, folder.File("out.csv"), {first.get(), second.get()});
  // Python's csv module reads the file; each field comes back one per line,
  // escaped, so that a line break inside a field shows.
  const auto parsed = RunTool("python3 -c \"import csv,sys\nfor row in csv.reader(open(sys.argv[1], newline='')):\n"
                              "  print(len(row)); [print(repr(f)) for f in row]\" '" +
                              folder.File("out.csv") + "'");
  ASSERT_TRUE(parsed) << "python3 must be installed";
  std::string expected;
  for (int row = 0; row < 2; ++row) {
    expected += std::to_string(fields.size()) + "\n";
    for (const std::string& f : fields) {
      std::string repr = "'";
      for (char ch : f) repr += ch == '\r' ? "\\r" : ch == '\n' ? "\\n" : ch == '\'' ? "\\'" : std::string(1, ch);
      expected += (f.find('\'') != std::string::npos ? "\"" + repr.substr(1) + "\"" : repr + "'") + "\n";
    }
  }
  EXPECT_EQ(*parsed, expected);
}

TEST(TextFileDevice, TheSaveTextHandlerSeesTheComponentAndMayChangeTheText) {
  TTestFolder folder;
  TppTextFileDevice device(nullptr);
  TComponent label(nullptr);
  auto page = MakePage(1, true);
  AddField(*page, {"first"})->Component = &label;
  AddField(*page, {"second", 1, 2});
  std::vector<TComponent*> seen;
  device.OnSaveText = [&](TppTextFileDevice* sender, TComponent* component, std::string& text) {
    seen.push_back(component);
    if (sender->EndOfRecord()) text = "[" + text + "]";
  };
  EXPECT_EQ(Export(device, folder.File("out.txt"), {page.get()}), "first,[second]");
  EXPECT_EQ(seen, (std::vector<TComponent*>{&label, nullptr}));
}

TEST(TextFileDevice, AFileThatCannotBeMadeIsRaisedAndEndsTheJob) {
  TTestFolder folder;
  TppTextFileDevice device(nullptr);
  device.SetFileName(folder.File("no/such/folder/out.txt"));
  EXPECT_THROW(device.StartJob(), EFCreateError);
  EXPECT_FALSE(device.JobRunning());
}

TEST(ReportTextFileDevice, EachPageIsAGridOfItsLines) {
  struct TText {
    std::string Text;
    int Row, Column;  // from 1
    int Characters;   // the field's width
    TAlignment Alignment = taLeftJustify;
  };
  struct TCase {
    const char* Name;
    std::vector<TText> Texts;
    std::vector<std::string> Lines;  // the page's lines that hold text, by number
  };
  const TCase cases[] = {
      {"one text on line 3", {{"Printer usage", 3, 1, 20}}, {"", "", "Printer usage"}},
      {"two texts on one row at their columns",
       {{"Pages", 2, 11, 5}, {"42", 2, 30, 5, taRightJustify}},
       {"", "          Pages                 42"}},
      {"a later text overwrites from its column", {{"abcdef", 1, 1, 6}, {"XY", 1, 3, 2}}, {"abXYef"}},
      {"a text below the last line is not written", {{"top", 1, 1, 3}, {"lost", 67, 1, 4}}, {"top"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TTestFolder folder;
    TppReportTextFileDevice device(nullptr);
    device.CalculateGridFromPage = false;
    auto page = MakePage(1, true);
    // A grid of 80 x 66 on the page: each cell in mm-thousandths.
    const int cellWidth = page->PageDef()->mmWidth() / 80;
    const int cellHeight = page->PageDef()->mmHeight() / 66;
    for (const TText& t : c.Texts) {
      auto* text = new TppDrawText(page.get());
      text->Text = t.Text;
      text->SetLeft((t.Column - 1) * cellWidth + cellWidth / 3);
      text->SetTop((t.Row - 1) * cellHeight + cellHeight / 3);
      text->SetWidth((t.Characters - 1) * cellWidth + cellWidth / 2);
      text->SetAlignment(t.Alignment);
      text->SetPage(page.get());
    }
    std::string expected;
    for (int line = 1; line <= 66; ++line) {
      if (line <= static_cast<int>(c.Lines.size())) expected += c.Lines[static_cast<size_t>(line - 1)];
      if (line < 66) expected += "\r\n";
    }
    EXPECT_EQ(Export(device, folder.File("out.txt"), {page.get()}), expected);
  }
}

TEST(ReportTextFileDevice, AGridOfNoCharactersOrLinesIsOneOfEach) {
  TTestFolder folder;
  TppReportTextFileDevice device(nullptr);
  device.CalculateGridFromPage = false;
  device.CharactersPerLine = 0;
  device.LinesPerPage = -3;
  auto page = MakePage(1, false);
  auto* text = new TppDrawText(page.get());
  text->Text = "x";
  text->SetPage(page.get());
  EXPECT_EQ(Export(device, folder.File("out.txt"), {page.get()}), "x\r\n");
}

TEST(ReportTextFileDevice, TheGridFollowsThePageAndTheCellOfItsFont) {
  TTestFolder folder;
  TppReportTextFileDevice device(nullptr);
  auto first = MakePage(1, false);
  auto* text = new TppDrawText(first.get());
  text->Text = "top left";
  text->Font()->SetName("Courier New");
  text->Font()->SetSize(10);
  text->SetWidth(50000);
  text->SetPage(first.get());
  // The cell follows each page's first text: the same font, the same grid.
  auto second = MakePage(2, true);
  auto* empty = new TppDrawText(second.get());
  empty->Font()->Assign(text->Font());
  empty->SetPage(second.get());
  const std::string out = Export(device, folder.File("out.txt"), {first.get(), second.get()});
  // Both pages have the same number of lines; only the job's last line
  // has no line end.
  const size_t breaks = static_cast<size_t>(std::count(out.begin(), out.end(), '\n'));
  ASSERT_EQ(breaks % 2, 1u);
  EXPECT_GT(breaks / 2, 40u);
  EXPECT_EQ(out.rfind("top left", 0), 0u);
}

TEST(FileDevices, AreFoundByNameWithTheirFileKinds) {
  ppRegisterFileDevices();
  ppRegisterPrinterDevice();
  struct TCase {
    const char* Name;
    const char* Ext;
    const char* Filter;
    const char* Description;
  };
  const TCase cases[] = {
      {"TextFile", "txt", "Text files|*.TXT|All files|*.*", "Text File"},
      {"ReportTextFile", "txt", "Text files|*.TXT|All files|*.*", "Report Emulation Text File"},
      {"ArchiveFile", "raf", "Archive files|*.RAF|All files|*.*", "Archive File"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const TClassInfo* deviceClass = ppGetDeviceClass(c.Name);
    ASSERT_NE(deviceClass, nullptr);
    TObjectPtr<TComponent> made(deviceClass->Factory()(nullptr));
    auto* device = dynamic_cast<TppFileDevice*>(made.get());
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->DefaultExt(), c.Ext);
    EXPECT_EQ(device->FileFilter(), c.Filter);
    EXPECT_EQ(device->DeviceDescription(), c.Description);
  }
  EXPECT_NE(ppGetDeviceClass("printer"), nullptr);
  ppUnRegisterFileDevices();
  EXPECT_EQ(ppGetDeviceClass("ArchiveFile"), nullptr);
}

TEST(TextFileDevice, SaveKeysAreEachNumberInAtLeastEightCharacters) {
  struct TCase {
    int Band, Order;
    const char* Key;
  };
  const TCase cases[] = {{2, 10, "       2      10"}, {10, 1, "      10       1"}, {-1, 123456789, "      -1123456789"}};
  TObjectPtr<TppDrawText> text(new TppDrawText(nullptr));
  for (const TCase& c : cases) {
    text->BandSaveNo = c.Band;
    text->ComponentSaveNo = c.Order;
    EXPECT_EQ(text->SaveKey(), c.Key);
  }
}
