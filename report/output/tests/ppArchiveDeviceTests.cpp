#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "osSettingsTestFolder.h"
#include "ppArchiveDevice.h"
#include "ppDrawBarCode.h"
#include "ppDrwCmd.h"
#include "ppPage.h"
#include "rtlStreams.h"
#include "rtlTestFolder.h"
#include "rtlWriter.h"
#include "uiGraphicsBitmap.h"

namespace {

// A page with a command of every kind; its number tells them apart.
TObjectPtr<TppPage> MakePage(int number, int count) {
  ppRegisterDrawCommandClasses();
  TObjectPtr<TppPage> page(new TppPage(nullptr));
  page->AbsolutePageNo = number;
  page->AbsolutePageCount = count;
  page->PageNo = number;
  page->PageCount = count;
  page->FirstPage = number == 1;
  page->LastPage = number == count;
  page->Final = true;
  page->DocumentName = "Usage by printer";
  page->PrintDateTime = 46000.25;
  page->PrinterSetup()->SetOrientation(number % 2 ? poPortrait : poLandscape);

  auto* text = new TppDrawText(page.get());
  text->Text = "Page " + std::to_string(number) + ", \"quoted\"";
  text->SetLeft(1000 * number);
  text->WrappedText()->Add("wrapped");
  text->SetPage(page.get());
  auto* var = new TppDrawVar(page.get());
  var->VarType = vtPageNoDesc;
  var->SetPage(page.get());
  auto* shape = new TppDrawShape(page.get());
  shape->ShapeType = stRoundRect;
  shape->SetPage(page.get());
  auto* line = new TppDrawLine(page.get());
  line->LineStyle = lsDouble;
  line->SetPage(page.get());
  auto* image = new TppDrawImage(page.get());
  image->Picture()->NewBitmap().SetSize(3, 2);
  image->SetPage(page.get());
  auto* rich = new TppDrawRichText(page.get());
  // Bytes of every value, a zero among them.
  std::string rtf = "{\\rtf1 page " + std::to_string(number) + "}";
  for (int b = 0; b < 256; ++b) rtf += static_cast<char>(b);
  rich->RichTextStream().WriteBuffer(rtf.data(), static_cast<int64_t>(rtf.size()));
  rich->SetPage(page.get());
  auto* barCode = new TppDrawBarCode(page.get());
  barCode->Data = "ORV" + std::to_string(number);
  barCode->SetPage(page.get());
  return page;
}

std::string ReadFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& name, const std::string& bytes) {
  std::ofstream(name, std::ios::binary) << bytes;
}

int32_t Int32At(const std::string& bytes, size_t at) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + i])) << (8 * i);
  return static_cast<int32_t>(v);
}

// A page's whole stream: two pages are equal when these are.
std::string StreamOf(TppPage& page) {
  TStringStream out;
  TWriter writer(out);
  writer.WriteRootComponent(&page);
  return out.DataString();
}

// The temporary page-data files of archives in the temporary folder. The
// tests that count them give the device a temporary folder of their own,
// so that other tests running beside them never change the count.
int PageDataFiles() {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::temp_directory_path()))
    if (entry.path().filename().string().rfind("arc", 0) == 0 && entry.path().extension() == ".tmp") ++count;
  return count;
}

}  // namespace

TEST(ArchiveDevice, ZeroPagesAreTheHeaderAlone) {
  TTestFolder folder;
  TppArchiveDevice device(nullptr);
  device.SetFileName(folder.File("empty.raf"));
  device.StartJob();
  device.EndJob();
  EXPECT_EQ(ReadFile(folder.File("empty.raf")), std::string("\x04\x00\x00\x00", 4));
  TppArchiveReader reader(folder.File("empty.raf"));
  EXPECT_EQ(reader.PageCount(), 0);
}

TEST(ArchiveDevice, PagesReadBackEqualWithTheirIndex) {
  TTestFolder folder;
  // Other tests running beside this one make and remove page files of their
  // own in the shared temporary folder.
  const TScopedEnv temporary("TMPDIR", folder.Path());
  const int before = PageDataFiles();
  std::vector<TObjectPtr<TppPage>> pages;
  for (int n = 1; n <= 3; ++n) pages.push_back(MakePage(n, 3));
  {
    TppArchiveDevice device(nullptr);
    device.SetFileName(folder.File("usage.raf"));
    device.StartJob();
    EXPECT_TRUE(std::filesystem::exists(device.PageDataFileName()));
    for (auto& page : pages) device.ReceivePage(page.get());
    device.EndJob();
    EXPECT_EQ(device.PageDataFileName(), "");
  }
  EXPECT_EQ(PageDataFiles(), before);

  const std::string bytes = ReadFile(folder.File("usage.raf"));
  ASSERT_GE(bytes.size(), 28u);
  EXPECT_EQ(Int32At(bytes, 0), 28);
  std::vector<std::string> streams;
  for (auto& page : pages) streams.push_back(StreamOf(*page));
  int32_t position = 0;
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(Int32At(bytes, 4 + 8 * i), position) << "page " << i + 1;
    EXPECT_EQ(Int32At(bytes, 8 + 8 * i), static_cast<int32_t>(i + 1));
    EXPECT_EQ(bytes.substr(28 + position, 4), "TPF0");
    position += static_cast<int32_t>(streams[i].size());
  }
  EXPECT_EQ(bytes.size(), 28u + position);

  TppArchiveReader reader(folder.File("usage.raf"));
  ASSERT_EQ(reader.PageCount(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(reader.PageNo(i), i + 1);
    TObjectPtr<TppPage> back = reader.ReadPage(i);
    EXPECT_EQ(StreamOf(*back), streams[static_cast<size_t>(i)]) << "page " << i + 1;
    ASSERT_EQ(back->GetDrawCommandCount(), pages[static_cast<size_t>(i)]->GetDrawCommandCount());
    auto* rich = dynamic_cast<TppDrawRichText*>(back->FindDrawCommand(TppDrawRichText::StaticClassType()));
    auto* original =
        dynamic_cast<TppDrawRichText*>(pages[static_cast<size_t>(i)]->FindDrawCommand(TppDrawRichText::StaticClassType()));
    ASSERT_NE(rich, nullptr);
    ASSERT_EQ(rich->RichTextStream().Size(), original->RichTextStream().Size());
    EXPECT_EQ(0, std::memcmp(rich->RichTextStream().Memory(), original->RichTextStream().Memory(),
                             static_cast<size_t>(original->RichTextStream().Size())));
  }
}

TEST(ArchiveDevice, ACancelledJobKeepsItsPagesAndLeavesNoTemporaryFile) {
  TTestFolder folder;
  const TScopedEnv temporary("TMPDIR", folder.Path());
  const int before = PageDataFiles();
  auto first = MakePage(1, 3);
  TppArchiveDevice device(nullptr);
  device.SetFileName(folder.File("cancelled.raf"));
  device.StartJob();
  device.ReceivePage(first.get());
  device.CancelJob();
  EXPECT_FALSE(device.JobRunning());
  EXPECT_EQ(PageDataFiles(), before);
  TppArchiveReader reader(folder.File("cancelled.raf"));
  ASSERT_EQ(reader.PageCount(), 1);
  EXPECT_EQ(StreamOf(*reader.ReadPage(0)), StreamOf(*first));
}

TEST(ArchiveDevice, ADeviceFreedMidJobCompletesItsFile) {
  TTestFolder folder;
  const TScopedEnv temporary("TMPDIR", folder.Path());
  const int before = PageDataFiles();
  auto first = MakePage(1, 2);
  {
    TppArchiveDevice device(nullptr);
    device.SetFileName(folder.File("freed.raf"));
    device.StartJob();
    device.ReceivePage(first.get());
  }
  EXPECT_EQ(PageDataFiles(), before);
  EXPECT_EQ(TppArchiveReader(folder.File("freed.raf")).PageCount(), 1);
}

TEST(ArchiveDevice, APageOfMoreCommandsThanALayoutMayHoldReadsBack) {
  TTestFolder folder;
  TObjectPtr<TppPage> page(new TppPage(nullptr));
  ppRegisterDrawCommandClasses();
  page->AbsolutePageNo = 1;
  page->LastPage = true;
  page->Final = true;
  const int commands = MaxStreamComponents + 10;
  for (int i = 0; i < commands; ++i) (new TppDrawLine(page.get()))->SetPage(page.get());
  TppArchiveDevice device(nullptr);
  device.SetFileName(folder.File("large.raf"));
  device.StartJob();
  device.ReceivePage(page.get());
  device.EndJob();
  EXPECT_EQ(TppArchiveReader(folder.File("large.raf")).ReadPage(0)->GetDrawCommandCount(), commands);
}

TEST(ArchiveDevice, TruncatedOrCorruptedArchivesAreRefused) {
  TTestFolder folder;
  {
    auto first = MakePage(1, 2);
    auto second = MakePage(2, 2);
    TppArchiveDevice device(nullptr);
    device.SetFileName(folder.File("good.raf"));
    device.StartJob();
    device.ReceivePage(first.get());
    device.ReceivePage(second.get());
    device.EndJob();
  }
  const std::string good = ReadFile(folder.File("good.raf"));
  const std::string damaged = folder.File("damaged.raf");
  // Reads every page; an archive is either read whole or refused.
  auto readAll = [&](const std::string& bytes) {
    WriteFile(damaged, bytes);
    try {
      TppArchiveReader reader(damaged);
      for (int i = 0; i < reader.PageCount(); ++i) reader.ReadPage(i);
      return true;
    } catch (const EArchiveError& e) {
      EXPECT_NE(e.Message.find("damaged"), std::string::npos) << e.Message;
      return false;
    }
  };
  ASSERT_TRUE(readAll(good));
  // Every truncation but the whole file is refused: the last page's stream
  // no longer ends where it should.
  for (size_t length = 0; length < good.size(); length += 7) EXPECT_FALSE(readAll(good.substr(0, length))) << length;
  // Header and index damage is refused outright.
  std::string bytes = good;
  bytes[0] = 5;
  EXPECT_FALSE(readAll(bytes));
  bytes = good;
  bytes[4 + 8] = 0;  // the second page at position 0
  EXPECT_FALSE(readAll(bytes));
  bytes = good;
  bytes[8] = 9;  // the first page numbered 9
  EXPECT_FALSE(readAll(bytes));
  // Random damage anywhere: refused or read, never a crash.
  std::mt19937 random(49);
  for (int round = 0; round < 400; ++round) {
    bytes = good;
    const int flips = 1 + static_cast<int>(random() % 4);
    for (int f = 0; f < flips; ++f) bytes[random() % bytes.size()] = static_cast<char>(random());
    readAll(bytes);
  }
}

TEST(ArchiveDevice, AMissingFileIsAnArchiveError) {
  TTestFolder folder;
  EXPECT_THROW(TppArchiveReader(folder.File("none.raf")), EArchiveError);
}
