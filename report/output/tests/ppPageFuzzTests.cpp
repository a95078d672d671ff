#include <gtest/gtest.h>

#include <QtGlobal>
#include <random>

#include "ppDrawBarCode.h"
#include "ppDrwCmd.h"
#include "ppPage.h"
#include "rtlObjectText.h"
#include "rtlReader.h"
#include "rtlWriter.h"
#include "uiGraphicsBitmap.h"
#include "uiMeasuringCanvas.h"

namespace {

// Damaged pictures make Qt's image reader warn on every round; the warnings
// are expected and only bury the test's own output. (The PNG library's own
// error lines still reach stderr, which stays open for sanitizer reports.)
class TQuietImageDecoder {
public:
  TQuietImageDecoder() : previous(qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {})) {}
  ~TQuietImageDecoder() { qInstallMessageHandler(previous); }

private:
  QtMessageHandler previous;
};

constexpr unsigned fuzzSeed = 18;
constexpr int binaryRounds = 1500;
constexpr int textRounds = 400;

std::string SeedPage() {
  ppRegisterDrawCommandClasses();
  TObjectPtr<TppPage> page(new TppPage(nullptr));
  page->SetName("Page1");
  page->AbsolutePageNo = 7;
  page->Final = true;
  auto* text = new TppDrawText(page.get());
  text->SetName("Text1");
  text->Text = "Jobs by user";
  text->WrappedText()->Add("Jobs by");
  text->WrappedText()->Add("user");
  text->SetPage(page.get());
  auto* var = new TppDrawVar(page.get());
  var->VarType = vtPageNoDesc;
  var->SetPage(page.get());
  auto* rich = new TppDrawRichText(page.get());
  const std::string rtf = "{\\rtf1{\\fonttbl{\\f0 Arial;}}{\\colortbl;\\red255\\green0\\blue0;}\\qc\\b x\\'e9\\u8364?\\par y}";
  rich->RichTextStream().WriteBuffer(rtf.data(), static_cast<int64_t>(rtf.size()));
  rich->SetPage(page.get());
  auto* image = new TppDrawImage(page.get());
  image->Picture()->NewBitmap().SetSize(2, 2);
  image->SetPage(page.get());
  auto* shape = new TppDrawShape(page.get());
  shape->SetPage(page.get());
  auto* barCode = new TppDrawBarCode(page.get());
  barCode->BarCodeType = bcCode128;
  barCode->AutoEncode = true;
  barCode->Data = "Job 42";
  barCode->SetPage(page.get());
  TStringStream out;
  TWriter writer(out);
  writer.WriteRootComponent(page.get());
  return out.DataString();
}

// A damaged stream may fail, but only with the streams' own errors.
void ReadMutated(const std::string& bytes) {
  TStringStream in(bytes);
  TReader reader(in);
  TObjectPtr<TppPage> page(new TppPage(nullptr));
  try {
    reader.ReadRootComponent(page.get());
  } catch (const Exception&) {
    return;
  }
  // What was read can be drawn from and written again.
  TMeasuringCanvas canvas(96);
  for (int i = 0; i < page->GetDrawCommandCount(); ++i) {
    TppDrawCommand* command = page->GetDrawCommand(i);
    command->LookAheadPending();
    if (auto* rich = dynamic_cast<TppDrawRichText*>(command)) rich->DrawRichText(canvas, TRect{0, 0, 300, 300});
    if (auto* barCode = dynamic_cast<TppDrawBarCode*>(command)) {
      barCode->SetSilent(true);
      barCode->Measure(canvas);
      barCode->DrawSymbol(canvas, 0, 0, TPoint{96, 96}, true);
    }
  }
  TStringStream out;
  TWriter writer(out);
  writer.WriteRootComponent(page.get());
}

}  // namespace

TEST(PageFuzz, MutatedPageStreamsFailCleanly) {
  const TQuietImageDecoder quiet;
  const std::string seed = SeedPage();
  std::mt19937 random(fuzzSeed);
  auto pick = [&](size_t size) { return std::uniform_int_distribution<size_t>(0, size - 1)(random); };
  for (int round = 0; round < binaryRounds; ++round) {
    std::string m = seed;
    const int mutations = 1 + static_cast<int>(pick(4));
    for (int i = 0; i < mutations && !m.empty(); ++i) {
      const size_t at = pick(m.size());
      switch (pick(6)) {
        case 0: m[at] = static_cast<char>(pick(256)); break;
        case 1: m[at] = static_cast<char>(pick(2) == 0 ? pick(22) : 0xF0 + pick(16)); break;
        case 2: m.insert(at, std::string("\xFF\xFF\xFF\x7F", 4)); break;
        case 3: m.resize(at); break;
        case 4: {
          const size_t length = 1 + pick(std::min<size_t>(m.size() - at, 64));
          m.insert(pick(m.size()), m.substr(at, length));
          break;
        }
        case 5:
          if (size_t c = m.find("TppDrawShape"); c != std::string::npos) m.replace(c, 12, "TppDrawShapf");
          break;
      }
    }
    ReadMutated(m);
  }
}

TEST(PageFuzz, MutatedPageTextFailsCleanly) {
  const TQuietImageDecoder quiet;
  TStringStream binary(SeedPage());
  TStringStream textStream;
  ObjectBinaryToText(binary, textStream);
  const std::string seed = textStream.DataString();
  std::mt19937 random(fuzzSeed + 1);
  auto pick = [&](size_t size) { return std::uniform_int_distribution<size_t>(0, size - 1)(random); };
  const std::string pieces[] = {"object", "end", "'", "(", ")", "{", "}", "<", ">", "=", "99999999999999999999",
                                "TppDrawText", "#0", "\r\n"};
  for (int round = 0; round < textRounds; ++round) {
    std::string m = seed;
    for (int i = 0; i < 1 + static_cast<int>(pick(3)) && !m.empty(); ++i) {
      const size_t at = pick(m.size());
      switch (pick(3)) {
        case 0: m.insert(at, pieces[pick(std::size(pieces))]); break;
        case 1: m.erase(at, 1 + pick(std::min<size_t>(m.size() - at, 12))); break;
        case 2: m[at] = static_cast<char>(pick(256)); break;
      }
    }
    TStringStream in(m), out;
    try {
      ObjectTextToBinary(in, out);
    } catch (const Exception&) {
      continue;
    }
    ReadMutated(out.DataString());
  }
}
