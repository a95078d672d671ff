#include <gtest/gtest.h>

#include <algorithm>

#include <QImage>
#include <set>

#include "ppDrawBarCode.h"
#include "ppMessages.h"
#include "ppPage.h"
#include "rtlReader.h"
#include "rtlWriter.h"
#include "uiCanvasQt.h"
#include "uiDialogs.h"
#include "uiMeasuringCanvas.h"

namespace {

// At 100 pixels per inch a bar width of 254 (0.01 inch) is one pixel: the
// module row then shows each module once.
constexpr int onePixel = 100;

TppBarCodeEncoding Encode(TppBarCodeType type, const std::string& data, bool calc = true, bool autoEncode = false,
                          double ratio = 3.0) {
  TppBarCodeSettings settings;
  settings.BarCodeType = type;
  settings.Data = data;
  settings.CalcCheckDigit = calc;
  settings.AutoEncode = autoEncode;
  settings.WideBarRatio = ratio;
  return ppEncodeBarCode(settings, onePixel);
}

std::string C128(std::initializer_list<unsigned char> bytes) { return std::string(bytes.begin(), bytes.end()); }

// Bars and spaces of a narrow-only pattern, as widths.
std::vector<int> Runs(const std::string& modules) {
  std::vector<int> runs;
  for (size_t i = 0; i < modules.size();) {
    size_t j = i;
    while (j < modules.size() && modules[j] == modules[i]) ++j;
    runs.push_back(static_cast<int>(j - i));
    i = j;
  }
  return runs;
}

// Captures the information boxes the encoder shows.
class MessageCapture {
public:
  MessageCapture() {
    SetMessageBoxRunner([this](const TMessageBoxRequest& request) {
      texts.push_back(request.Text);
      return mrOk;
    });
  }
  ~MessageCapture() { SetMessageBoxRunner(nullptr); }
  std::vector<std::string> texts;
};

}  // namespace

TEST(BarCodeEncoding, CheckDigitsAndTheTextsTheyMake) {
  struct Case {
    TppBarCodeType Type;
    const char* Data;
    bool Calc;
    const char* Text;
  };
  const Case cases[] = {
      {bcUPC_A, "01234567890", true, "012345678905"},
      {bcUPC_A, "012345678909", true, "012345678905"},  // a wrong check digit is replaced
      {bcUPC_A, "012345678909", false, "012345678909"},
      {bcEAN_13, "400638133393", true, "4006381333931"},
      {bcEAN_8, "9638507", true, "96385074"},
      {bcUPC_E, "123456", true, "1234565"},  // as UPC-A 01234500006, check 5
      {bcUPC_E, "1234560", true, "1234565"},
      {bcInt2of5, "1234", true, "1234"},
      {bcInt2of5, "123", true, "1236"},
      {bcMSI, "1234", true, "12344"},
      {bcCode39, "ABC", true, "*ABC*"},
      {bcCode39, "*ABC*", true, "*ABC*"},
  };
  for (const Case& c : cases) {
    const TppBarCodeEncoding e = Encode(c.Type, c.Data, c.Calc);
    EXPECT_TRUE(e.CodeOK) << c.Data;
    EXPECT_EQ(e.Text, c.Text) << c.Data;
  }
  EXPECT_EQ(ppExpandUPCE("123450"), "01200000345");
  EXPECT_EQ(ppExpandUPCE("123453"), "01230000045");
  EXPECT_EQ(ppExpandUPCE("123454"), "01234000005");
  EXPECT_EQ(ppExpandUPCE("123456"), "01234500006");
}

TEST(BarCodeEncoding, GoldenRowsOfKnownSymbols) {
  // Code 39 with wide elements twice the narrow: "*" and "A" as printed
  // everywhere, each followed by the two-column gap.
  EXPECT_EQ(Encode(bcCode39, "A", true, false, 2.0).Modules,
            "100101101101" "00" "110101001011" "00" "100101101101" "00");
  // Code 128 "1234" encoded automatically: start C, 12, 34, check 82, stop.
  const TppBarCodeEncoding c128 = Encode(bcCode128, "1234", true, true);
  EXPECT_EQ(c128.Text, C128({210}) + "1234");
  EXPECT_EQ(c128.Modules, "11010011100" "10110011100" "10001011000" "10010011110" "1100011101011");
  // Interleaved 2 of 5 "12": start, 1 as bars (WNNNW) with 2 as spaces
  // (NWNNW), stop; wide = 3 narrow.
  EXPECT_EQ(Encode(bcInt2of5, "12", false).Modules,
            "1010" "111" "0" "1" "000" "1" "0" "1" "0" "111" "000" "11101");
  // Postnet 55555-1237 gets its check digit 2: frame bars and ten digits of
  // five bars, each bar one column and its gap one (1 x 1.375 rounds to 1).
  const std::string postnet = Encode(bcPostnet, "55555-1237").Modules;
  EXPECT_EQ(postnet.size(), 2u + 10 * 5 * 2 + 1);
  EXPECT_EQ(postnet.substr(postnet.size() - 11), "1010201020" "2");  // 2 = 00101, closing frame
  EXPECT_EQ(Encode(bcFIM, "a").Modules, "101000001000001010");
  EXPECT_EQ(Encode(bcMSI, "1", false).Modules, "110" "100100100110" "100100");
}

TEST(BarCodeEncoding, UPCAndEANRowsHaveTheirGuardsAndParities) {
  const std::string upcA = Encode(bcUPC_A, "01234567890").Modules;
  ASSERT_EQ(upcA.size(), 95u);
  EXPECT_EQ(upcA.substr(0, 3), "101");
  EXPECT_EQ(upcA.substr(45, 5), "01010");
  EXPECT_EQ(upcA.substr(92), "101");
  // Left-hand digits have an odd number of dark modules, right-hand ones
  // an even number; digit 0 on the left is 0001101.
  EXPECT_EQ(upcA.substr(3, 7), "0001101");
  for (int d = 0; d < 12; ++d) {
    const std::string digit = upcA.substr(d < 6 ? 3 + 7 * d : 50 + 7 * (d - 6), 7);
    EXPECT_EQ(std::count(digit.begin(), digit.end(), '1') % 2, d < 6 ? 1 : 0) << d;
  }
  // EAN-13 4006381333931: the first digit 4 gives odd, even, odd, odd,
  // even, even to digits 2-7.
  const std::string ean = Encode(bcEAN_13, "400638133393").Modules;
  ASSERT_EQ(ean.size(), 95u);
  const char* parity = "OEOOEE";
  for (int d = 0; d < 6; ++d) {
    const std::string digit = ean.substr(3 + 7 * d, 7);
    EXPECT_EQ(std::count(digit.begin(), digit.end(), '1') % 2 == 1, parity[d] == 'O') << d;
  }
  EXPECT_EQ(Encode(bcEAN_8, "9638507").Modules.size(), 67u);
  const std::string upcE = Encode(bcUPC_E, "123456").Modules;
  ASSERT_EQ(upcE.size(), 51u);
  EXPECT_EQ(upcE.substr(45), "010101");

  TppBarCodeSettings settings;
  settings.BarCodeType = bcEAN_13;
  settings.AddOnCode = "12";
  EXPECT_EQ(ppEncodeSupplement(settings, onePixel), "1011" "0011001" "01" "0010011");  // 12 mod 4 = 0: odd, odd
  settings.AddOnCode = "52495";  // checksum 3 x 14 + 9 x 11 = 141: 1 gives even, odd, even, odd, odd
  EXPECT_EQ(ppEncodeSupplement(settings, onePixel).size(), 4u + 5 * 7 + 4 * 2);
  EXPECT_EQ(ppEncodeSupplement(settings, onePixel).substr(4, 7), "0111001");
  EXPECT_EQ(ppEncodeSupplement(settings, onePixel).substr(13, 7), "0010011");
  settings.AddOnCode = "123";
  EXPECT_EQ(ppEncodeSupplement(settings, onePixel), "");
  settings.BarCodeType = bcCode39;
  settings.AddOnCode = "12";
  EXPECT_EQ(ppEncodeSupplement(settings, onePixel), "");
}

TEST(BarCodeEncoding, Code128PatternsKeepTheSymbologysRules) {
  // Every symbol value: eleven modules, three bars, bars of even total.
  std::set<std::string> seen;
  for (int value = 0; value < 103; ++value) {
    std::string data = C128({209});
    // Values 0 to 95 through set B characters, the rest through specials.
    if (value < 96)
      data += static_cast<char>(value + 32);
    else
      data += static_cast<char>(value - 96 + 201);
    const TppBarCodeEncoding e = Encode(bcCode128, data);
    ASSERT_TRUE(e.CodeOK) << value;
    const std::string pattern = e.Modules.substr(11, 11);
    const std::vector<int> runs = Runs(pattern);
    ASSERT_EQ(runs.size(), 6u) << value;
    EXPECT_EQ((runs[0] + runs[2] + runs[4]) % 2, 0) << value;
    EXPECT_TRUE(seen.insert(pattern).second) << value;
  }
}

TEST(BarCodeEncoding, Code128AutomaticSetsAndShifts) {
  EXPECT_EQ(ppCode128AutoEncode("A1"), C128({208}) + "A1");
  EXPECT_EQ(ppCode128AutoEncode("ab"), C128({209}) + "ab");
  // Lower case inside set A text: one letter shifts, two switch.
  EXPECT_EQ(ppCode128AutoEncode(C128({211}) + "a" + C128({211})), C128({208, 211, 203}) + "a" + C128({211}));
  EXPECT_EQ(ppCode128AutoEncode("AB" + C128({211}) + "ab"), C128({208}) + "AB" + C128({211, 205}) + "ab");
  // Digits pairs switch to C where they end the text or another pair follows.
  EXPECT_EQ(ppCode128AutoEncode("ab1234"), C128({209}) + "ab" + C128({204}) + "1234");
  EXPECT_EQ(ppCode128AutoEncode("1234ab"), C128({210}) + "1234" + C128({205}) + "ab");
  // Switches and starts already in the text are dropped first.
  EXPECT_EQ(ppCode128AutoEncode(C128({209, 204}) + "12"), C128({210}) + "12");
  // The result always encodes.
  for (const char* text : {"Hello 2024", "x", "12345", "a1b2c3", "0000abc99"})
    EXPECT_TRUE(Encode(bcCode128, text, true, true).CodeOK) << text;
}

TEST(BarCodeEncoding, RefusedDataClearsCodeOKWithTheEngineMessage) {
  struct Case {
    std::string Data;
    int Message;
  };
  const Case cases[] = {
      {"1234", c128NoStart},
      {C128({209}) + "A" + C128({208}), c128StartInside},
      {C128({208}) + "a", c128LowerCaseInSetA},
      {C128({209, 211}), c128ControlOutsideSetA},
      {C128({210}) + "123", c128OddDigitInSetC},
      {C128({210}) + "1A", c128NonDigitInSetC},
      {C128({210, 201}), c128SpecialInSetC},
      {C128({208, 203, 203}) + "a", c128DoubleShift},
  };
  for (const Case& c : cases) {
    const TppBarCodeEncoding e = Encode(bcCode128, c.Data);
    EXPECT_FALSE(e.CodeOK);
    EXPECT_EQ(e.Modules, "");
    EXPECT_EQ(e.ErrorMessage, c.Message);
    EXPECT_FALSE(ppLoadMessage(c.Message).empty());
  }
  // SHIFT reads one character in the other set, then the set is back.
  EXPECT_TRUE(Encode(bcCode128, C128({208, 203}) + "a" + "A").CodeOK);
  EXPECT_FALSE(Encode(bcCode128, C128({208, 203}) + "aa").CodeOK);

  // Other symbologies: characters or lengths they cannot hold.
  for (auto [type, data] : std::vector<std::pair<TppBarCodeType, std::string>>{
           {bcUPC_A, "12345"}, {bcUPC_A, "0123456789A"}, {bcEAN_13, "12"}, {bcInt2of5, "123"},
           {bcCode39, "a@b"}, {bcCodabar, "A12Z"}, {bcPostnet, "12a"}, {bcFIM, "D"}, {bcMSI, "12-3"}})
    EXPECT_FALSE(Encode(type, data, type != bcInt2of5).CodeOK) << data;
  // Rows past the limit are not cut: no symbol.
  EXPECT_FALSE(Encode(bcCode39, std::string(600, 'W')).CodeOK);
  EXPECT_TRUE(Encode(bcCode39, "  ").CodeOK);  // blank: no row and no error
  EXPECT_EQ(Encode(bcCode39, "  ").Modules, "");
}

TEST(BarCodeEncoding, RowsOfOnePixelNarrowElementsAndRatioThree) {
  struct Case {
    TppBarCodeType Type;
    const char* Data;
    bool AutoEncode;
    const char* Text;
    size_t Columns;
  };
  const Case cases[] = {
      {bcUPC_A, "01234567890", false, "012345678905", 95},
      {bcUPC_E, "012345", false, "0123457", 51},
      {bcEAN_13, "001234567890", false, "0012345678905", 95},
      {bcEAN_8, "2012345", false, "20123451", 67},
      {bcInt2of5, "123", false, "1236", 4 + 2 * (2 * 3 + 3) * 2 + 5},
      {bcCode39, "BarCode", false, "*BARCODE*", 153},
      {bcCode128, "1234", true, "\xD2" "1234", 57},
      {bcMSI, "1234567", false, "12345674", 3 + 8 * 12 + 6},
      {bcFIM, "A", false, "A", 18},
  };
  for (const Case& c : cases) {
    const TppBarCodeEncoding e = Encode(c.Type, c.Data, true, c.AutoEncode);
    ASSERT_TRUE(e.CodeOK) << c.Data;
    EXPECT_EQ(e.Text, c.Text) << c.Data;
    EXPECT_EQ(e.Modules.size(), c.Columns) << c.Data;
  }
  // UPC-E "012345" is UPC-A 00123400005 with check 7: parity EOEOEO.
  const std::string upcE = Encode(bcUPC_E, "012345").Modules;
  const char* const even[] = {"0100111", "0110011", "0011011", "0100001", "0011101", "0111001"};
  const char* const odd[] = {"0001101", "0011001", "0010011", "0111101", "0100011", "0110001"};
  for (int i = 0; i < 6; ++i)
    EXPECT_EQ(upcE.substr(3 + 7 * i, 7), i % 2 == 0 ? even[i] : odd[i]) << i;
  // Code 128 "1234": start C (105), 12, 34, check (105 + 12 + 2 x 34) mod 103 = 82.
  const std::string c128 = Encode(bcCode128, "1234", true, true).Modules;
  EXPECT_EQ(c128.substr(0, 11), "11010011100");   // 105
  EXPECT_EQ(c128.substr(11, 11), "10110011100");  // 12
  EXPECT_EQ(c128.substr(22, 11), "10001011000");  // 34
  EXPECT_EQ(c128.substr(33, 11), "10010011110");  // 82
  // Postnet "12345": check 5, 32 bars, the check digit's "01010" before
  // the closing frame bar.
  const std::string postnet = Encode(bcPostnet, "12345").Modules;
  std::string bars;
  for (size_t i = 0; i < postnet.size(); ++i)
    if (postnet[i] != '0' && (i == 0 || postnet[i - 1] == '0')) bars += postnet[i] == '2' ? 'F' : 'h';
  EXPECT_EQ(bars.size(), 32u);
  EXPECT_EQ(bars.substr(26), "hFhFhF");
  EXPECT_EQ(Encode(bcFIM, "A").Modules, "101000001000001010");
  // Supplements: "12" (12 mod 4 = 0: odd, odd) and "52495" (checksum 141:
  // even, odd, even, odd, odd).
  TppBarCodeSettings settings;
  settings.BarCodeType = bcEAN_13;
  settings.AddOnCode = "12";
  EXPECT_EQ(ppEncodeSupplement(settings, onePixel), "1011" "0011001" "01" "0010011");
  settings.AddOnCode = "52495";
  EXPECT_EQ(ppEncodeSupplement(settings, onePixel),
            "1011" "0111001" "01" "0010011" "01" "0011101" "01" "0001011" "01" "0110001");
}

TEST(BarCodeEncoding, NarrowAndWideElementsStayApartAtEveryResolution) {
  for (const int barWidth : {102, 127, 254, 508})  // 0.004 in and up
    for (const int ppi : {72, 96, 150, 300, 600})
      for (const double ratio : {2.0, 2.25, 2.5, 3.0}) {
        TppBarCodeSettings settings;
        settings.BarWidth = barWidth;
        settings.WideBarRatio = ratio;
        const int narrow = ppNarrowElement(settings, ppi), wide = ppWideElement(settings, ppi);
        EXPECT_GE(narrow, 1) << barWidth << " at " << ppi;
        EXPECT_GE(wide, narrow + 1) << barWidth << " at " << ppi << " ratio " << ratio;
        // Code 39's characters stay apart: every run of bars is a character's.
        settings.BarCodeType = bcCode39;
        settings.Data = "AB";
        const std::string row = ppEncodeBarCode(settings, ppi).Modules;
        EXPECT_EQ(Runs(row).size(), 4u * 10) << barWidth << " at " << ppi;
      }
}

TEST(BarCodeEncoding, ElementWidthsFollowTheResolution) {
  TppBarCodeSettings settings;
  settings.BarWidth = 254;
  settings.WideBarRatio = 2.5;
  EXPECT_EQ(ppNarrowElement(settings, 600), 6);
  EXPECT_EQ(ppWideElement(settings, 600), 15);
  EXPECT_EQ(ppNarrowElement(settings, 96), 1);
  EXPECT_EQ(ppWideElement(settings, 96), 2);  // 2.4
  settings.BarCodeType = bcCode39;
  settings.Data = "A";
  EXPECT_EQ(ppEncodeBarCode(settings, 600).Modules.size(), 3u * (6 * 6 + 3 * 15 + 12));
}

namespace {

TppDrawBarCode* MakeCommand(TComponent* owner, TppBarCodeType type, const std::string& data) {
  auto* command = new TppDrawBarCode(owner);
  command->BarCodeType = type;
  command->Data = data;
  command->Font()->SetName("Arial");
  command->Font()->SetSize(8);
  return command;
}

// The FillRect rectangles of a measuring canvas's log.
std::vector<std::string> Fills(const TMeasuringCanvas& canvas) {
  std::vector<std::string> fills;
  for (const std::string& line : canvas.Log())
    if (line.rfind("FillRect", 0) == 0) fills.push_back(line);
  return fills;
}

}  // namespace

TEST(BarCodeDrawing, SizesFollowTheSymbology) {
  TObjectPtr<TppDrawBarCode> command(MakeCommand(nullptr, bcUPC_A, "01234567890"));
  TMeasuringCanvas canvas(onePixel);
  command->Measure(canvas);
  EXPECT_EQ(command->QuietZone(), 9);
  EXPECT_EQ(command->SymbolWidth(), 95 + 18);
  EXPECT_EQ(command->BarHeight(), 74);  // 0.01 in x 73.85 at 100 ppi
  EXPECT_EQ(command->SymbolHeight(), command->BarHeight() + canvas.TextHeight("0"));
  // Five zeros fit 36 narrow elements at the size the height gave.
  EXPECT_LE(5 * canvas.TextWidth("0"), 36);

  command->AddOnCode = "12";
  command->Measure(canvas);
  EXPECT_EQ(command->SymbolWidth(), 95 + 18 + 20 + 9);

  // Tiny bars are drawn five pixels high at least.
  TObjectPtr<TppDrawBarCode> fim(MakeCommand(nullptr, bcFIM, "A"));
  TMeasuringCanvas coarse(10);
  fim->BarWidth = 2540;  // one pixel at 10 ppi: 20 x 1 is 20; a tenth of it is not
  fim->Measure(coarse);
  EXPECT_EQ(fim->BarHeight(), 20);
  fim->BarWidth = 254;  // 0.1 pixel: the narrow element is still one
  fim->Measure(coarse);
  EXPECT_EQ(fim->BarHeight(), 20);
  TObjectPtr<TppDrawBarCode> postnet(MakeCommand(nullptr, bcPostnet, "12345"));
  postnet->PrintHumanReadable = false;
  postnet->Measure(coarse);  // an eighth of an inch is one pixel here
  EXPECT_EQ(postnet->BarHeight(), 5);

  // Without AutoSize the command's height holds bars and text.
  command->AutoSize = false;
  command->SetHeight(25400);  // one inch
  command->Measure(canvas);
  EXPECT_EQ(command->SymbolHeight(), 100);
  EXPECT_EQ(command->BarHeight(), 100 - canvas.TextHeight("0"));
}

TEST(BarCodeDrawing, PaintsBarsTextAndBackgroundInEveryOrientation) {
  TObjectPtr<TppDrawBarCode> command(MakeCommand(nullptr, bcCode39, "A"));
  command->WideBarRatio = 2.0f;
  command->Alignment = taCenter;
  TMeasuringCanvas canvas(onePixel);
  command->Measure(canvas);
  const int w = command->SymbolWidth();
  const int h = command->SymbolHeight();
  const int bars = command->BarHeight();
  ASSERT_EQ(w, 42);
  canvas.ClearLog();
  command->DrawSymbol(canvas, 10, 20, TPoint{onePixel, onePixel}, true);
  const std::vector<std::string> plain = Fills(canvas);
  // Each pixel once: the background below the bars, one rectangle per run
  // of the row (bars and the gaps after them, "*A*" has 15 bars), the
  // text's background patch.
  const std::string& row = command->ModuleRow();
  ASSERT_EQ(static_cast<int>(row.size()), w) << "no quiet zone";
  size_t runs = 1;
  for (size_t i = 1; i < row.size(); ++i) runs += row[i] != row[i - 1];
  ASSERT_EQ(runs, 15u + 15u);
  ASSERT_EQ(plain.size(), 1u + runs + 1u);
  EXPECT_EQ(plain[0], "FillRect 10," + std::to_string(20 + bars) + "," + std::to_string(10 + w) + "," +
                          std::to_string(20 + h));
  EXPECT_EQ(plain[1], "FillRect 10,20,11," + std::to_string(20 + bars));
  // The text centred below the bars, on its own background patch.
  const int textWidth = canvas.TextWidth("A");
  EXPECT_EQ(canvas.Log().back(), "TextOut " + std::to_string(10 + (w - textWidth) / 2) + "," +
                                     std::to_string(20 + bars) + " A");

  // Turned: the same pixels, mirrored or exchanged, and the text rotated.
  struct Turn {
    TppBarCodeOrientation Orientation;
    const char* Text;
  };
  for (const Turn& turn : {Turn{orRightToLeft, "TextOutRotated"}, Turn{orTopToBottom, "TextOutRotated"},
                           Turn{orBottomToTop, "TextOutRotated"}}) {
    command->Orientation = turn.Orientation;
    canvas.ClearLog();
    command->DrawSymbol(canvas, 0, 0, TPoint{onePixel, onePixel}, true);
    const std::vector<std::string> fills = Fills(canvas);
    ASSERT_EQ(fills.size(), plain.size());
    auto expected = [&](int x1, int y1, int x2, int y2) {
      switch (turn.Orientation) {
        case orRightToLeft:
          return TRect{w - x2, h - y2, w - x1, h - y1};
        case orTopToBottom:
          return TRect{h - y2, x1, h - y1, x2};
        default:
          return TRect{y1, w - x2, y2, w - x1};
      }
    };
    const TRect first = expected(0, 0, 1, bars);
    const std::string firstBar = "FillRect " + std::to_string(first.Left) + "," + std::to_string(first.Top) + "," +
                                 std::to_string(first.Right) + "," + std::to_string(first.Bottom);
    EXPECT_NE(std::find(fills.begin(), fills.end(), firstBar), fills.end()) << turn.Orientation;
    EXPECT_EQ(canvas.Log().back().rfind(turn.Text, 0), 0u);
  }
}

TEST(BarCodeDrawing, TheQtCanvasShowsTheModuleRowAsBars) {
  // EAN-8 with bars two pixels wide: one scan line through the bars reads
  // the module row back, module by module.
  TObjectPtr<TppDrawBarCode> command(MakeCommand(nullptr, bcEAN_8, "9638507"));
  command->BarWidth = 508;
  command->PrintHumanReadable = false;
  QImage image(300, 200, QImage::Format_RGB32);
  image.fill(Qt::gray);
  {
    TQtCanvas canvas(image, onePixel);
    command->Encode(onePixel);
    command->EncodeSupplement(onePixel);
    command->DrawSymbol(canvas, 5, 5, TPoint{onePixel, onePixel}, true);
    canvas.FinishPainting();
  }
  const std::string& row = command->ModuleRow();
  ASSERT_EQ(row.size(), 67u * 2);
  const int quiet = command->QuietZone();
  const int y = 5 + command->BarHeight() / 2;
  std::string read;
  for (int x = 5 + quiet; x < 5 + quiet + static_cast<int>(row.size()); ++x)
    read += qGray(image.pixel(x, y)) < 128 ? '1' : '0';
  EXPECT_EQ(read, row);
  // The quiet zone is the background colour, outside it the image's own.
  EXPECT_EQ(image.pixel(5, y), qRgb(255, 255, 255));
  EXPECT_EQ(image.pixel(4, y), QColor(Qt::gray).rgb());
  EXPECT_EQ(image.pixel(5 + command->SymbolWidth(), y), QColor(Qt::gray).rgb());

  // Transparent: only the bars are drawn.
  command->Transparent = true;
  image.fill(Qt::gray);
  {
    TQtCanvas canvas(image, onePixel);
    command->DrawSymbol(canvas, 5, 5, TPoint{onePixel, onePixel}, true);
  }
  EXPECT_EQ(image.pixel(5, y), QColor(Qt::gray).rgb());
}

TEST(BarCodeDrawing, PrintingSizesTheCommandAndStaysSilent) {
  MessageCapture messages;
  TObjectPtr<TppDrawBarCode> command(MakeCommand(nullptr, bcCode128, "no start"));
  TMeasuringCanvas canvas(600);
  command->PrintAt(canvas, 0, 0);
  EXPECT_FALSE(command->CodeOK);
  EXPECT_TRUE(messages.texts.empty());
  // Outside printing the refusal is shown, with the character put in.
  TObjectPtr<TppDrawBarCode> shown(MakeCommand(nullptr, bcCode128, C128({208}) + "a"));
  shown->Measure(canvas);
  ASSERT_EQ(messages.texts.size(), 1u);
  EXPECT_EQ(messages.texts[0], ppFormatMessage(c128LowerCaseInSetA, {"a"}));

  TObjectPtr<TppDrawBarCode> upright(MakeCommand(nullptr, bcCode39, "12"));
  upright->Orientation = orBottomToTop;
  upright->PrintAt(canvas, 0, 0);
  EXPECT_EQ(upright->Height(), ppRound(upright->SymbolWidth() * 25400.0 / 600));
  EXPECT_EQ(upright->Width(), ppRound(upright->SymbolHeight() * 25400.0 / 600));
  EXPECT_FALSE(upright->Silent());
}

TEST(BarCodeDrawing, StreamsWithItsPageAndAssignsEverySetting) {
  ppRegisterDrawCommandClasses();
  TObjectPtr<TppPage> page(new TppPage(nullptr));
  page->SetName("Page1");
  auto* command = MakeCommand(page.get(), bcEAN_13, "400638133393");
  command->SetName("BarCode1");
  command->AddOnCode = "12";
  command->Orientation = orTopToBottom;
  command->WideBarRatio = 2.5f;
  command->BarColor = clRed;
  command->BearerBars = true;
  command->Alignment = taRightJustify;
  command->SetPage(page.get());

  TMemoryStream stream;
  {
    TWriter writer(stream);
    writer.WriteRootComponent(page.get());
  }
  stream.SetPosition(0);
  TReader reader(stream);
  TObjectPtr<TppPage> back(static_cast<TppPage*>(reader.ReadRootComponent(nullptr)));
  auto* read = dynamic_cast<TppDrawBarCode*>(back->FindComponent("BarCode1"));
  ASSERT_NE(read, nullptr);
  TObjectPtr<TppDrawBarCode> copy(new TppDrawBarCode(nullptr));
  copy->Assign(read);
  for (const TppDrawBarCode* c : {read, copy.get()}) {
    EXPECT_EQ(c->BarCodeType, bcEAN_13);
    EXPECT_EQ(c->Data, "400638133393");
    EXPECT_EQ(c->AddOnCode, "12");
    EXPECT_EQ(c->Orientation, orTopToBottom);
    EXPECT_FLOAT_EQ(c->WideBarRatio, 2.5f);
    EXPECT_EQ(c->BarColor, clRed);
    EXPECT_TRUE(c->BearerBars);
    EXPECT_EQ(c->Alignment, taRightJustify);
    EXPECT_EQ(c->Font()->Size(), 8);
  }
}

TEST(BarCodeDrawing, RotatedTextLeavesTheCanvasAsItWas) {
  TMeasuringCanvas canvas(96);
  canvas.Font().SetSize(9);
  canvas.Brush().SetStyle(bsSolid);
  TFont big;
  big.SetSize(20);
  ppTextOutRotated(canvas, big, 5, 6, "x", 90);
  EXPECT_EQ(canvas.Log().back(), "TextOutRotated 5,6 90 x");
  EXPECT_EQ(canvas.Font().Size(), 9);
  EXPECT_EQ(canvas.Brush().Style(), bsSolid);
}
