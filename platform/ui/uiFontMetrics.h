#pragma once
// Font metrics read from the installed Liberation font files by our own
// reader of the TrueType tables, so that text measures the same on every
// machine, with or without a display. Only what measuring needs is read:
// units per em, vertical metrics, the character map and advance widths.

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "rtlExceptions.h"
#include "uiGraphics.h"

RTL_EXCEPTION_CLASS(EFontFileError, Exception);

// Text metrics in pixels, named as the class library names them.
struct TTextMetric {
  int Height = 0;  // Ascent + Descent
  int Ascent = 0;
  int Descent = 0;
  int InternalLeading = 0;  // Height less the em height
  int ExternalLeading = 0;  // extra space the font asks for between lines
  int AveCharWidth = 0;
};

class TFontFace {
public:
  // Parses a font file's bytes; EFontFileError when a needed table is
  // missing or lies outside the file.
  explicit TFontFace(const std::vector<uint8_t>& bytes);

  // The face for a font's family and bold/italic style, read once per
  // process and shared (safe from any thread).
  static const TFontFace& ForFont(const TFont& font);

  // Advance width in font units; characters the font lacks take the
  // width of its missing-glyph box, as the system draws them.
  int Advance(char32_t ch) const;
  // Advance in whole pixels at an em size in pixels.
  int AdvancePixels(char32_t ch, double pixelsPerEm) const;
  TTextMetric Metrics(double pixelsPerEm) const;

private:
  int unitsPerEm = 0;
  int winAscent = 0;
  int winDescent = 0;
  int lineAscent = 0;
  int lineDescent = 0;
  int lineGap = 0;
  int averageWidth = 0;
  std::vector<uint16_t> advances;  // by glyph index
  std::unordered_map<char32_t, uint16_t> glyphs;
  // The advances of the ASCII characters, which most text is made of.
  std::array<uint16_t, 128> asciiAdvances{};
};

// The Liberation family that stands in for a family name ("Arial" is
// "Liberation Sans"); unknown names get the sans family.
std::string ResolveFontFamily(const std::string& name);

// The em height in pixels of a font at a resolution.
double PixelsPerEm(const TFont& font, int pixelsPerInch);

// Decodes one UTF-8 character at text[i] and advances i; a byte that does
// not start a valid sequence stands for itself. Both canvases read text
// through it, so they count the same characters.
char32_t NextUtf8Char(const std::string& text, size_t& i);
