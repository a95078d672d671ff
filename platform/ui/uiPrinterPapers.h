#pragma once
// The Windows paper and bin codes that stored layouts and report setups
// use, with their standard sizes in tenths of a millimetre, so that papers
// of a CUPS queue can be named and coded as the report layer expects.

#include <string>

constexpr int DMPAPER_LETTER = 1;
constexpr int DMPAPER_A4 = 9;
constexpr int DMPAPER_USER = 256;
constexpr int DMBIN_UPPER = 1;
constexpr int DMBIN_LOWER = 2;
constexpr int DMBIN_MIDDLE = 3;
constexpr int DMBIN_MANUAL = 4;
constexpr int DMBIN_ENVELOPE = 5;
constexpr int DMBIN_AUTO = 7;
constexpr int DMBIN_LARGECAPACITY = 11;
constexpr int DMBIN_USER = 256;

struct TPaperSize {
  int Width = 0;   // tenths of a millimetre, portrait
  int Height = 0;
};

// 0 x 0 for codes without a standard size (48, 49 and past 68).
TPaperSize StandardPaperSize(int code);
// "Unknown" for codes without a name.
std::string StandardPaperName(int code);
// The first standard code whose size is within `tolerance` tenths of a
// millimetre of the given one (either orientation not considered); 0 when
// none.
int StandardPaperCode(TPaperSize size, int tolerance);
