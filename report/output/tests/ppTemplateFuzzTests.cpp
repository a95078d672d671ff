#include <gtest/gtest.h>

#include <random>

#include "ppGenerationKit.h"
#include "ppGroup.h"
#include "ppTemplate.h"
#include "rtlStreams.h"
#include "rtlTypeInfo.h"

namespace {
// Damaged layouts give errors, never a crash; a layout that still reads
// generates a bounded report.
TEST(TemplateFuzz, DamagedLayoutsFailCleanly) {
  ppRegisterReportClasses();
  RegisterClass(TTestText::StaticClassType());
  TReportFixture source(2, 1);
  TppGroup* group = source.AddGroup("OWNER", mm(12), mm(8));
  source.AddText(group->HeaderBand(), "OWNER", true);
  source.AddText(source.Header, "Usage details", false);
  source.AddText(source.Detail, "ID", true, mm(2));
  std::mt19937 random(20261207);
  TReportFixture target(2, 1);
  int loaded = 0;
  for (const TppFormatType format : {ftBinary, ftASCII}) {
    TMemoryStream saved;
    source.Report->Template().SetFormat(format);
    source.Report->Template().SaveToStream(saved);
    std::string original(static_cast<size_t>(saved.Size()), '\0');
    saved.SetPosition(0);
    saved.Read(original.data(), saved.Size());
    for (int round = 0; round < 1500; ++round) {
      std::string bytes = original;
      const int edits = 1 + static_cast<int>(random() % 4);
      for (int e = 0; e < edits; ++e) {
        const size_t at = random() % bytes.size();
        switch (random() % 4) {
          case 0: bytes[at] = static_cast<char>(random()); break;
          case 1: bytes.erase(at, 1 + random() % 8); break;
          case 2: bytes.insert(at, 1, static_cast<char>(random())); break;
          case 3: bytes[at] = static_cast<char>(bytes[at] ^ (1 << (random() % 8))); break;
        }
        if (bytes.empty()) bytes = "x";
      }
      TMemoryStream stream;
      stream.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
      stream.SetPosition(0);
      try {
        target.Report->Template().LoadFromStream(stream);
      } catch (const Exception&) {
        continue;
      }
      ++loaded;
      if (round % 10 != 0) continue;
      target.Report->SetPageLimit(2);
      target.Report->FixUpDataPipeline(target.Pipeline);
      try {
        target.PrintAll();
      } catch (const Exception&) {
      }
    }
  }
  EXPECT_GT(loaded, 0);
}
}  // namespace
