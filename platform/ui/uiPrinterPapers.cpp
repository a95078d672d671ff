#include "uiPrinterPapers.h"

#include <cmath>
#include <cstdlib>

namespace {

struct TPaperEntry {
  const char* Name;
  double Width;   // inches when InInches, else tenths of a millimetre
  double Height;
  bool InInches;
};

// Codes 1 to 68 in order; transverse kinds take the size of their plain
// paper. Names are written as the program has always shown them.
constexpr TPaperEntry papers[] = {
    {"Letter 8 1/2 x 11 in", 8.5, 11, true},                  // 1
    {"Letter 8 1/2 x 11 in", 8.5, 11, true},                  // 2 Letter Small
    {"Tabloid 11 x 17 in", 11, 17, true},                     // 3
    {"Ledger 17 x 11 in", 17, 11, true},                      // 4
    {"Legal 8 12 x 14 in", 8.5, 14, true},                    // 5
    {"Statement 5 1/2 x 8 1/2 in", 5.5, 8.5, true},           // 6
    {"Executive 7 1/4 x 10 1/2 in", 7.25, 10.5, true},        // 7
    {"A3 297 x 420 mm", 2970, 4200, false},                   // 8
    {"A4 210 x 297 mm", 2100, 2970, false},                   // 9
    {"A4 Small 210 x 297 mm", 2100, 2970, false},             // 10
    {"A5 148 x 210 mm", 1480, 2100, false},                   // 11
    {"B4 (JIS) 250 x 354", 2500, 3540, false},                // 12
    {"B5 (JIS) 182 x 257 mm", 1820, 2570, false},             // 13
    {"Folio 8 1/2 x 13 in", 8.5, 13, true},                   // 14
    {"Quarto 215 x 275 mm", 2150, 2750, false},               // 15
    {"10x14 in", 10, 14, true},                               // 16
    {"11x17 in", 11, 17, true},                               // 17
    {"Note 8 1/2 x 11 in", 8.5, 11, true},                    // 18
    {"Envelope #9 3 7/8 x 8 7/8", 3.875, 8.875, true},        // 19
    {"Envelope #10 4 18 x 9 1/2", 4.125, 9.5, true},          // 20
    {"Envelope #11 4 1/2 x 10 3/8", 4.5, 10.375, true},       // 21
    {"Envelope #12 4 3/4 x 11", 4.75, 11, true},              // 22
    {"Envelope #14 5 x 11 1/2", 5, 11.5, true},               // 23
    {"C size sheet", 17, 22, true},                           // 24
    {"D size sheet", 22, 34, true},                           // 25
    {"E size sheet", 34, 44, true},                           // 26
    {"Envelope DL 110 x 220mm", 1100, 2200, false},           // 27
    {"Envelope C5 162 x 229 mm", 1620, 2290, false},          // 28
    {" Envelope C3  324 x 458 mm", 3240, 4580, false},        // 29
    {"Envelope C4  229 x 324 mm", 2290, 3240, false},         // 30
    {"Envelope C6  114 x 162 mm", 1140, 1620, false},         // 31
    {"Envelope C65 114 x 229 mm", 1140, 2290, false},         // 32
    {"Envelope B4  250 x 353 mm", 2500, 3530, false},         // 33
    {"Envelope B5  176 x 250 mm", 1760, 2500, false},         // 34
    {"Envelope B6  176 x 125 mm", 1760, 1250, false},         // 35
    {"Envelope 110 x 230 mm", 1100, 2300, false},             // 36
    {"Envelope Monarch 3.875 x 7.5 in", 3.875, 7.5, true},    // 37
    {"6 3/4 Envelope 3 5/8 x 6 1/2 in", 3.625, 6.5, true},    // 38
    {"US Std Fanfold 14 7/8 x 11 in", 14.875, 11, true},      // 39
    {"German Std Fanfold 8 1/2 x 12 in", 8.5, 12, true},      // 40
    {"German Legal Fanfold 8 1/2 x 13 in", 8.5, 13, true},    // 41
    {"B4 (ISO) 250 x 353 mm", 2500, 3530, false},             // 42
    {"Japanese Postcard 100 x 148 mm", 1000, 1480, false},    // 43
    {"9 x 11 in", 9, 11, true},                               // 44
    {"10 x 11 in", 10, 11, true},                             // 45
    {"15 x 11 in", 15, 11, true},                             // 46
    {"Envelope Invite 220 x 220 mm", 2200, 2200, false},      // 47
    {nullptr, 0, 0, false},                                   // 48 reserved
    {nullptr, 0, 0, false},                                   // 49 reserved
    {"Letter Extra 9 \\275 x 12 in", 9.275, 12, true},        // 50
    {"Legal Extra 9 \\275 x 15 in", 9.275, 15, true},         // 51
    {"Tabloid Extra 11.69 x 18 in", 11.69, 18, true},         // 52
    {"A4 Extra 9.27 x 12.69 in", 9.27, 12.69, true},          // 53
    {"Letter Transverse 8 \\275 x 11 in", 8.5, 11, true},     // 54
    {"A4 Transverse 210 x 297 mm", 2100, 2970, false},        // 55
    {"Letter Extra Transverse 9\\275 x 12 in", 9.275, 12, true},  // 56
    {"SuperASuperAA4 227 x 356 mm", 2270, 3560, false},       // 57
    {"SuperBSuperBA3 305 x 487 mm", 3050, 4870, false},       // 58
    {"Letter Plus 8.5 x 12.69 in", 8.5, 12.69, true},         // 59
    {"A4 Plus 210 x 330 mm", 2100, 3300, false},              // 60
    {"A5 Transverse 148 x 210 mm", 1480, 2100, false},        // 61
    {"B5 (JIS) Transverse 182 x 257 mm", 1820, 2570, false},  // 62
    {"A3 Extra 322 x 445 mm", 3220, 4450, false},             // 63
    {"A5 Extra 174 x 235 mm", 1740, 2350, false},             // 64
    {"B5 (ISO) Extra 201 x 276 mm", 2010, 2760, false},       // 65
    {"A2 420 x 594 mm", 4200, 5940, false},                   // 66
    {"A3 Transverse 297 x 420 mm", 2970, 4200, false},        // 67
    {"A3 Extra Transverse 322 x 445 mm", 3220, 4450, false},  // 68
};
constexpr int paperCount = static_cast<int>(sizeof papers / sizeof papers[0]);

}  // namespace

TPaperSize StandardPaperSize(int code) {
  if (code < 1 || code > paperCount || !papers[code - 1].Name) return {};
  const TPaperEntry& p = papers[code - 1];
  if (!p.InInches) return {static_cast<int>(p.Width), static_cast<int>(p.Height)};
  return {static_cast<int>(std::lround(p.Width * 254)), static_cast<int>(std::lround(p.Height * 254))};
}

std::string StandardPaperName(int code) {
  if (code == DMPAPER_USER) return "Custom";
  if (code == 118) return "DMPAPER_A3_EXTRA_TRANSVERSE";
  if (code < 1 || code > paperCount || !papers[code - 1].Name) return "Unknown";
  return papers[code - 1].Name;
}

int StandardPaperCode(TPaperSize size, int tolerance) {
  for (int code = 1; code <= paperCount; ++code) {
    const TPaperSize s = StandardPaperSize(code);
    if (s.Width > 0 && std::abs(s.Width - size.Width) <= tolerance && std::abs(s.Height - size.Height) <= tolerance)
      return code;
  }
  return 0;
}
