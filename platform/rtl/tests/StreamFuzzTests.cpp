#include <gtest/gtest.h>

#include <random>
#include <string>

#include "rtlObjectText.h"
#include "rtlParser.h"
#include "rtlReader.h"
#include "rtlStreamTestClasses.h"
#include "rtlStreamTestSupport.h"

// Mutated streams must end in one of the stream errors, never in a crash,
// a hang or an allocation the stream's size does not justify. Run under
// AddressSanitizer to see the memory side of it.

namespace {

constexpr unsigned FuzzSeed = 20261207;
constexpr int BinaryRounds = 6000;
constexpr int TextRounds = 3000;

// Reads, converts both ways and reads again whatever came through; any
// exception other than the stream errors fails the test.
void Exercise(const std::string& bytes, bool isText) {
  auto attempt = [&](auto&& action) {
    try {
      action();
    } catch (const EReadError&) {
    } catch (const EFilerError&) {
    } catch (const EParserError&) {
    } catch (const EComponentError&) {
    } catch (const Exception& e) {
      ADD_FAILURE() << e.ClassName() << ": " << e.Message;
    }
  };
  std::string binary = bytes;
  if (isText) {
    attempt([&] {
      TStringStream in(bytes);
      TStringStream out;
      ObjectTextToBinary(in, out);
      binary = out.DataString();
    });
  }
  attempt([&] {
    TStringStream in(binary);
    TReader reader(in);
    TObjectPtr<TComponent> root(reader.ReadRootComponent(nullptr));
    // What was read writes again.
    ToBinary(root.get());
  });
  attempt([&] {
    TStringStream in(binary);
    TStringStream text;
    ObjectBinaryToText(in, text);
    text.SetPosition(0);
    TStringStream back;
    ObjectTextToBinary(text, back);
  });
}

// The test report with a grid whose columns (a collection) hold values,
// objects and a reference.
TObjectPtr<TTestReport> FuzzReport() {
  TObjectPtr<TTestReport> report = MakeTestReport();
  auto* grid = new TTestGrid(report.get());
  grid->SetName("Grid1");
  grid->SetParentNode(report.get());
  auto* column = static_cast<TTestColumn*>(grid->Columns()->Add());
  column->caption = "Job";
  column->Font()->size = 12;
  column->link = report->FindComponent("Band1");
  grid->Columns()->Add();
  return report;
}

class StreamFuzz : public StreamTestFixture {
protected:
  std::mt19937 random{FuzzSeed};

  size_t Pick(size_t size) { return std::uniform_int_distribution<size_t>(0, size - 1)(random); }
};

}  // namespace

TEST_F(StreamFuzz, MutatedBinaryStreamsFailCleanly) {
  const std::string seed = ToBinary(FuzzReport().get());
  for (int round = 0; round < BinaryRounds; ++round) {
    std::string m = seed;
    const int mutations = 1 + static_cast<int>(Pick(4));
    for (int i = 0; i < mutations && !m.empty(); ++i) {
      const size_t at = Pick(m.size());
      switch (Pick(7)) {
        case 0:  // any byte
          m[at] = static_cast<char>(Pick(256));
          break;
        case 1:  // another value tag, or a prefix byte
          m[at] = static_cast<char>(Pick(2) == 0 ? Pick(22) : 0xF0 + Pick(16));
          break;
        case 2:  // a huge length or count
          m.insert(at, std::string("\xFF\xFF\xFF\x7F", 4));
          break;
        case 3:  // cut short
          m.resize(at);
          break;
        case 4: {  // a slice repeated elsewhere: nested objects, names twice
          const size_t length = 1 + Pick(std::min<size_t>(m.size() - at, 80));
          m.insert(Pick(m.size()), m.substr(at, length));
          break;
        }
        case 5:  // a slice dropped
          m.erase(at, 1 + Pick(std::min<size_t>(m.size() - at, 16)));
          break;
        case 6:  // a class nobody registered
          if (size_t c = m.find("TTestBand"); c != std::string::npos) m.replace(c, 9, "TTestBond");
          break;
      }
    }
    Exercise(m, false);
  }
}

TEST_F(StreamFuzz, MutatedTextStreamsFailCleanly) {
  TStringStream text;
  {
    TStringStream binary(ToBinary(FuzzReport().get()));
    ObjectBinaryToText(binary, text);
  }
  const std::string seed = text.DataString();
  static const std::string symbols = "'#$(){}[]<>=+-.:,0123456789eEscd \r\nobjectendinheritedinlineitem";
  for (int round = 0; round < TextRounds; ++round) {
    std::string m = seed;
    const int mutations = 1 + static_cast<int>(Pick(3));
    for (int i = 0; i < mutations && !m.empty(); ++i) {
      const size_t at = Pick(m.size());
      switch (Pick(5)) {
        case 0:
          m[at] = symbols[Pick(symbols.size())];
          break;
        case 1:
          m.insert(at, 1, symbols[Pick(symbols.size())]);
          break;
        case 2:
          m.erase(at, 1 + Pick(8));
          break;
        case 3: {  // a line repeated: duplicate names, nesting, properties twice
          const size_t start = m.rfind('\n', at);
          const size_t from = start == std::string::npos ? 0 : start + 1;
          const size_t end = m.find('\n', at);
          m.insert(from, m.substr(from, (end == std::string::npos ? m.size() : end + 1) - from));
          break;
        }
        case 4:
          m.resize(at);
          break;
      }
    }
    Exercise(m, true);
  }
}

TEST_F(StreamFuzz, HostileStructuresFailCleanly) {
  const char* const cases[] = {
      // A component read again inside itself.
      "object Report1: TTestReport\r\n  object Band1: TTestBand\r\n"
      "    inherited Band1: TTestBand\r\n    end\r\n  end\r\nend\r\n",
      // References around in a circle, and to the root itself.
      "object Report1: TTestReport\r\n  Pipeline = Report1\r\n  object Report2: TTestReport\r\n"
      "    Pipeline = Report1.Report3\r\n  end\r\n  object Report3: TTestReport\r\n"
      "    Pipeline = Report2\r\n  end\r\nend\r\n",
      // Sub-objects that are no objects, and names that are no components.
      "object Report1: TTestReport\r\n  Title.Name = 'x'\r\n  Font.Name.Size = 1\r\nend\r\n",
      "object Report1: TTestReport\r\n  Pipeline = Band1\r\n  Pipeline = 5\r\nend\r\n",
      // A label owning the report's children through a band that owns them.
      "object Report1: TTestReport\r\n  object Band1: TTestBand\r\n    object Band1: TTestBand\r\n"
      "    end\r\n    object Band1: TTestBand\r\n    end\r\n  end\r\nend\r\n",
      // Values of every wrong kind.
      "object Report1: TTestReport\r\n  Copies = 'three'\r\n  Shape = 7\r\n  Landscape = 2\r\n"
      "  Font.Style = [fsNone]\r\n  Letter = 'ab'\r\n  Big = 1.5\r\n  Price = 1e300\r\n"
      "  Value = (\r\n    1)\r\n  Font = nil\r\n  OnPrint = 3\r\nend\r\n",
  };
  for (const char* text : cases) Exercise(text, true);
}
