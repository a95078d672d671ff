#include <gtest/gtest.h>

#include <random>

#include "uiGraphicsBitmap.h"
#include "uiMeasuringCanvas.h"
#include "uiRichText.h"
#include "uiRichTextLayout.h"

namespace {

TFont Arial(int size) {
  TFont font;
  font.SetName("Arial");
  font.SetSize(size);
  return font;
}

// As a word processor writes it: tables, a generator note, a picture,
// formatting, a centred paragraph, escapes and a Unicode character.
const char* const sample =
    "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}{\\f1\\froman Times New Roman;}}\r\n"
    "{\\colortbl ;\\red255\\green0\\blue0;}\r\n"
    "{\\*\\generator Some Writer 5.1;}\\viewkind4\\uc1\\pard\\f0\\fs20 Plain \\b bold\\b0  and \\i\\f1 italic\\i0\\f0\\par\r\n"
    "\\pard\\qc\\cf1\\fs28 Caf\\'e9 \\u8364?5\\cf0\\par\r\n"
    "{\\pict\\wmetafile8 0102030405}\\pard One\\line two\\tab three\\par\r\n"
    "}\r\n";

}  // namespace

TEST(RichText, ReadsRunsParagraphsAndCharacters) {
  const TRichDocument doc = ParseRichText(sample, Arial(10));
  ASSERT_EQ(doc.Paragraphs.size(), 3u);
  const auto& first = doc.Paragraphs[0];
  ASSERT_EQ(first.Runs.size(), 4u);
  EXPECT_EQ(first.Runs[0].Text, "Plain ");
  EXPECT_EQ(first.Runs[1].Text, "bold");
  EXPECT_TRUE(first.Runs[1].Font.HasStyle(fsBold));
  EXPECT_EQ(first.Runs[2].Text, " and ");
  EXPECT_EQ(first.Runs[3].Text, "italic");
  EXPECT_EQ(first.Runs[3].Font.Name(), "Times New Roman");
  EXPECT_TRUE(first.Runs[3].Font.HasStyle(fsItalic));
  EXPECT_EQ(first.Alignment, raLeft);

  const auto& second = doc.Paragraphs[1];
  EXPECT_EQ(second.Alignment, raCenter);
  ASSERT_FALSE(second.Runs.empty());
  EXPECT_EQ(second.Runs[0].Text, "Caf\xC3\xA9 \xE2\x82\xAC" "5");  // é, then € standing for the '?'
  EXPECT_EQ(second.Runs[0].Font.Size(), 14);
  EXPECT_EQ(second.Runs[0].Font.Color(), clRed);

  EXPECT_EQ(doc.Paragraphs[2].Runs[0].Text, "One\ntwo\tthree");
  // "Plain bold and italic" 21, "Café €5" 7, "One\ntwo\tthree" 13, one
  // end per paragraph.
  EXPECT_EQ(doc.CharCount(), 21 + 7 + 13 + 3);
}

TEST(RichText, PlainBytesAndDamagedInputStillRead) {
  const TRichDocument plain = ParseRichText("first\r\nsecond\nthird", Arial(10));
  ASSERT_EQ(plain.Paragraphs.size(), 3u);
  EXPECT_EQ(plain.Paragraphs[1].Runs[0].Text, "second");

  // Unbalanced braces, cut escapes, absurd sizes and deep nesting are read
  // as far as they go.
  for (const std::string& bad :
       {std::string("{\\rtf1 a}}}}b\\"), std::string("{\\rtf1 \\'4"), std::string("{\\rtf1\\fs99999999999 x\\u"),
        "{\\rtf1 " + std::string(100000, '{') + "deep" + std::string(100000, '}'),
        std::string("{\\rtf1{\\colortbl;\\red999;}{\\fonttbl{\\f-5 X;}}\\f-5\\cf77 y}")}) {
    const TRichDocument doc = ParseRichText(bad, Arial(10));
    EXPECT_FALSE(doc.Paragraphs.empty());
  }
  const TRichDocument deep =
      ParseRichText("{\\rtf1 " + std::string(100000, '{') + "deep" + std::string(100000, '}'), Arial(10));
  EXPECT_EQ(deep.Paragraphs[0].Runs.at(0).Text, "deep");
}

TEST(RichText, LinesBreakAtBlanksAndRangesContinue) {
  TMeasuringCanvas canvas(96);
  canvas.Font() = Arial(10);
  const TRichDocument doc = ParseRichText("{\\rtf1 alpha beta gamma delta\\par second\\par}", Arial(10));
  const int lineHeight = canvas.TextMetrics().Height;
  // Two words a line; room for two lines.
  const int wide = canvas.TextWidth("gamma delta ");
  const TRect rect{0, 0, wide, 2 * lineHeight};
  TRichTextLayout layout(doc, canvas);
  const TRichRangeResult part = layout.MeasureRange(rect, 0, -1);
  EXPECT_FALSE(part.AllFit);
  EXPECT_EQ(part.LastChar, 22);  // the paragraph end after "delta"
  EXPECT_EQ(part.Height, 2 * lineHeight);
  EXPECT_TRUE(part.CleanBreak);

  const TRichRangeResult rest = layout.MeasureRange(rect, part.LastChar + 1, -1);
  EXPECT_TRUE(rest.AllFit);
  EXPECT_EQ(rest.LastChar, doc.CharCount() - 1);
  EXPECT_EQ(rest.Height, lineHeight);

  // Broken inside a paragraph: after the blank that ends the first line.
  const TRichRangeResult inside = layout.MeasureRange(TRect{0, 0, wide, lineHeight}, 0, -1);
  EXPECT_EQ(inside.LastChar, 10);  // "alpha beta "
  EXPECT_FALSE(inside.CleanBreak);

  // A word wider than the line is cut at characters; nothing fits a
  // rectangle lower than a line.
  const TRichRangeResult cut = layout.MeasureRange(TRect{0, 0, canvas.TextWidth("alp"), 100 * lineHeight}, 0, 4);
  EXPECT_TRUE(cut.AllFit);
  EXPECT_EQ(cut.Height, 2 * lineHeight);
  const TRichRangeResult none = layout.MeasureRange(TRect{0, 0, 500, lineHeight - 1}, 0, -1);
  EXPECT_EQ(none.LastChar, -1);
  EXPECT_EQ(none.Height, 0);
}

TEST(RichText, DrawsRunsOnOneBaselineAlignedAsTheParagraph) {
  TMeasuringCanvas canvas(96);
  canvas.Font() = Arial(10);
  const TRichDocument doc = ParseRichText("{\\rtf1\\qr small \\fs40 BIG\\par}", Arial(10));
  TRichTextLayout layout(doc, canvas);
  layout.DrawRange(TRect{10, 20, 310, 220}, 0, -1);
  ASSERT_EQ(canvas.Log().size(), 3u);  // "small", " ", "BIG"
  canvas.Font() = Arial(10);
  const TTextMetric small = canvas.TextMetrics();
  const int smallWidth = canvas.TextWidth("small ");
  canvas.Font() = Arial(20);
  const TTextMetric big = canvas.TextMetrics();
  const int bigWidth = canvas.TextWidth("BIG");
  const int left = 310 - (smallWidth + bigWidth);
  EXPECT_EQ(canvas.Log()[0], "TextOut " + std::to_string(left) + "," + std::to_string(20 + big.Ascent - small.Ascent) +
                                 " small");
  EXPECT_EQ(canvas.Log()[2], "TextOut " + std::to_string(left + smallWidth) + ",20 BIG");
}

TEST(RichText, TheQtCanvasDrawsInsideTheRectangleOnly) {
  TBitmap bitmap;
  bitmap.SetSize(200, 100);
  TCanvas& canvas = bitmap.Canvas();
  canvas.Font() = Arial(12);
  const TRichDocument doc = ParseRichText("{\\rtf1 many words that wrap onto several lines of text\\par}", Arial(12));
  TRichTextLayout layout(doc, canvas);
  const TRect rect{20, 10, 120, 60};
  const TRichRangeResult result = layout.DrawRange(rect, 0, -1);
  EXPECT_FALSE(result.AllFit);
  bool inside = false, outside = false;
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 200; ++x) {
      if (bitmap.Pixel(x, y) == clWhite) continue;
      // A descender's smoothing may reach one pixel below its line.
      (x >= rect.Left && x < rect.Right && y >= rect.Top && y <= rect.Top + result.Height ? inside : outside) = true;
    }
  EXPECT_TRUE(inside);
  EXPECT_FALSE(outside);
}

TEST(RichText, MutatedDocumentsReadAndLayOutCleanly) {
  // Damaged rich text from a stream: read, measured and drawn without
  // faults (the sanitizer runs watch the memory).
  std::mt19937 random(20261207);
  auto pick = [&](size_t size) { return std::uniform_int_distribution<size_t>(0, size - 1)(random); };
  const std::string pieces[] = {"{", "}", "\\", "\\'", "\\u", "\\par", "\\fs", "-99999", "\\*", "\\f", "\\cf9", " "};
  TMeasuringCanvas canvas(96);
  canvas.Font() = Arial(10);
  const std::string seed = sample;
  for (int round = 0; round < 1500; ++round) {
    std::string m = seed;
    for (int i = 0; i < 1 + static_cast<int>(pick(4)) && !m.empty(); ++i) {
      const size_t at = pick(m.size());
      switch (pick(3)) {
        case 0: m.insert(at, pieces[pick(std::size(pieces))]); break;
        case 1: m.erase(at, 1 + pick(std::min<size_t>(m.size() - at, 10))); break;
        case 2: m[at] = static_cast<char>(pick(256)); break;
      }
    }
    const TRichDocument doc = ParseRichText(m, Arial(10));
    TRichTextLayout layout(doc, canvas);
    const TRichRangeResult r = layout.DrawRange(TRect{0, 0, 1 + static_cast<int>(pick(200)), 100}, 0, -1);
    ASSERT_LE(r.LastChar, doc.CharCount() - 1);
    canvas.ClearLog();
  }
}
