#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "uiGraphicsBitmap.h"
#include "uiMeasuringCanvas.h"
#include "uiRichText.h"
#include "uiRichTextLayout.h"
#include "rtlUtf8.h"

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
  EXPECT_EQ(first.Format.Alignment, raLeft);

  const auto& second = doc.Paragraphs[1];
  EXPECT_EQ(second.Format.Alignment, raCenter);
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
  const std::string pieces[] = {"{",       "}",     "\\",        "\\'",         "\\u",    "\\par",
                                "\\fs",     "-99999", "\\*",       "\\f",         "\\cf9",  " ",
                                "\\bin",    "99999999999", "\\tx", "\\'82\\'", "\\u-10240?", "\\li-2147483647",
                                "\\ansicpg932", "\\sl-99999", std::string(300, '{')};
  TMeasuringCanvas canvas(96);
  canvas.Font() = Arial(10);
  const std::string seed = sample;
  for (int round = 0; round < 1500; ++round) {
    std::string m = seed;
    for (int i = 0; i < 1 + static_cast<int>(pick(4)) && !m.empty(); ++i) {
      const size_t at = pick(m.size());
      switch (pick(4)) {
        case 0: m.insert(at, pieces[pick(std::size(pieces))]); break;
        case 1: m.erase(at, 1 + pick(std::min<size_t>(m.size() - at, 10))); break;
        case 2: m[at] = static_cast<char>(pick(256)); break;
        case 3: m.resize(std::max<size_t>(at, 6)); break;  // cut short
      }
    }
    const TRichDocument doc = ParseRichText(m, Arial(10));
    TRichTextLayout layout(doc, canvas);
    const TRichRangeResult r = layout.DrawRange(TRect{0, 0, 1 + static_cast<int>(pick(200)), 100}, 0, -1);
    ASSERT_LE(r.LastChar, doc.CharCount() - 1);
    canvas.ClearLog();
    // Whatever was read writes out and reads back the same.
    ASSERT_EQ(ParseRichText(WriteRichText(doc), Arial(10)).Paragraphs.size(), doc.Paragraphs.size());
    // And edits through a selection anywhere in it stay within the text.
    TRichTextBuffer buffer;
    buffer.LoadDocument(doc);
    buffer.SetSelStart(static_cast<int>(pick(static_cast<size_t>(buffer.CharCount()))));
    buffer.SetSelLength(static_cast<int>(pick(20)));
    buffer.SetSelText("{\\x}\r\n");
    ASSERT_GE(buffer.FindText("{\\x}", 0, -1, {}), 0);
    const std::string plain = buffer.PlainText();
    ASSERT_EQ(buffer.CharCount(), static_cast<int>(Utf8Length(plain)) + 1);
    ASSERT_EQ(buffer.Document().Paragraphs.size(), static_cast<size_t>(std::count(plain.begin(), plain.end(), '\r')) + 1);
  }
}

namespace {

// Text and formatting of a document, run by run, for comparing two.
std::string Describe(const TRichDocument& doc) {
  std::string out;
  for (const TRichParagraph& p : doc.Paragraphs) {
    const TRichParagraphFormat& f = p.Format;
    out += "[" + std::to_string(f.Alignment) + " " + std::to_string(f.LeftIndent) + " " +
           std::to_string(f.RightIndent) + " " + std::to_string(f.FirstIndent) + " " + std::to_string(f.SpaceBefore) +
           " " + std::to_string(f.SpaceAfter) + " " + std::to_string(f.LineSpacing) + " tabs";
    for (int t : f.TabStops) out += " " + std::to_string(t);
    out += "]";
    for (const TRichRun& r : p.Runs)
      out += "(" + r.Font.Name() + " " + std::to_string(r.Font.Size()) + " " + std::to_string(r.Font.Color()) + " " +
             std::to_string(r.Font.Style()) + ")" + r.Text;
    out += "\n";
  }
  return out;
}

}  // namespace

TEST(RichText, WrittenDocumentsReadBackWithEqualTextAndFormatting) {
  const std::string documents[] = {
      sample,
      "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}{\\f1 Courier New;}}{\\colortbl;\\red0\\green128\\blue255;}"
      "\\pard\\qj\\li720\\ri360\\fi-360\\sb120\\sa240\\sl-300\\tx1440\\tx2880 \\f1\\fs24\\cf1\\ul\\strike "
      "a\\{b\\}c\\\\d\\tab e\\line f\\par\\pard\\qr\\sl360\\b\\i right\\par\\par}",
      // A character past the first plane as two \u halves, and \uc0.
      "{\\rtf1 \\uc0\\u-10179\\u-8704 smile\\u233 x\\par}",
      "plain text\r\nwith two lines",
      "{\\rtf1}",
  };
  for (const std::string& source : documents) {
    const TRichDocument first = ParseRichText(source, Arial(10));
    const std::string written = WriteRichText(first);
    const TRichDocument second = ParseRichText(written, Arial(10));
    EXPECT_EQ(Describe(second), Describe(first)) << written;
    EXPECT_EQ(second.CharCount(), first.CharCount());
  }
  const TRichDocument formatted = ParseRichText(documents[1], Arial(10));
  const TRichParagraphFormat& f = formatted.Paragraphs[0].Format;
  EXPECT_EQ(f.Alignment, raJustify);
  EXPECT_EQ(f.LeftIndent, 720);
  EXPECT_EQ(f.FirstIndent, -360);
  EXPECT_EQ(f.LineSpacing, -300);
  EXPECT_EQ(f.TabStops, (std::vector<int>{1440, 2880}));
  EXPECT_EQ(formatted.Paragraphs[0].Runs[0].Text, "a{b}c\\d\te\nf");
  EXPECT_EQ(formatted.Paragraphs.size(), 3u);
  EXPECT_EQ(ParseRichText(documents[2], Arial(10)).Paragraphs[0].Runs[0].Text, "\xF0\x9F\x98\x80smile\xC3\xA9x");
}

TEST(RichText, EscapedBytesAreReadInTheDeclaredCodePage) {
  const struct {
    std::string rtf;
    std::string text;
  } cases[] = {
      {"{\\rtf1\\ansi\\ansicpg1252 \\'e9\\'80}", "\xC3\xA9\xE2\x82\xAC"},
      {"{\\rtf1\\ansi\\ansicpg1251 \\'c4\\'e0}", "\xD0\x94\xD0\xB0"},  // Да
      // A font's character set decides over the document's code page; a
      // double-byte character comes as two escapes.
      {"{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset128 MS Gothic;}}\\f1 \\'82\\'a0\\f0 \\'e9}",
       "\xE3\x81\x82\xC3\xA9"},
      {"{\\rtf1\\ansi\\ansicpg1253 \\'e1}", "\xCE\xB1"},
      // A \u character's stand-in escape is skipped.
      {"{\\rtf1\\uc1 \\u1488\\'e0}", "\xD7\x90"},
  };
  for (const auto& c : cases) {
    const TRichDocument doc = ParseRichText(c.rtf, Arial(10));
    std::string text;
    for (const TRichRun& r : doc.Paragraphs[0].Runs) text += r.Text;
    EXPECT_EQ(text, c.text) << c.rtf;
  }
}

TEST(RichText, HostileDocumentsAreReadWithinBounds) {
  // Binary data longer than the document, deep nesting and cut documents
  // end the reading cleanly; text after bounded binary data is kept.
  const struct {
    std::string rtf;
    std::string text;
  } cases[] = {
      {"{\\rtf1 a\\bin4 {}\\}b}", "ab"},
      {"{\\rtf1 a\\bin999999999999 xyz}", "a"},
      {"{\\rtf1 a\\bin-5 b}", "ab"},
      {"{\\rtf1 " + std::string(1 << 20, '{') + "x", "x"},
      {"{\\rtf1 x\\'", "x"},
      {"{\\rtf1 x\\u", "x"},
  };
  for (const auto& c : cases) {
    const TRichDocument doc = ParseRichText(c.rtf, Arial(10));
    std::string text;
    for (const TRichParagraph& p : doc.Paragraphs)
      for (const TRichRun& r : p.Runs) text += r.Text;
    EXPECT_EQ(text, c.text) << c.rtf.substr(0, 40);
  }
}

TEST(RichTextBuffer, SelectionEditsTextFontsAndParagraphs) {
  TRichTextBuffer buffer;
  buffer.LoadRichText("{\\rtf1 Hello \\b world\\b0\\par\\qc second line\\par}", Arial(10));
  EXPECT_EQ(buffer.PlainText(), "Hello world\rsecond line");
  EXPECT_EQ(buffer.CharCount(), 24);

  buffer.SetSelStart(6);
  buffer.SetSelLength(5);
  EXPECT_EQ(buffer.SelText(), "world");
  EXPECT_TRUE(buffer.SelAttributes().HasStyle(fsBold));
  buffer.SetSelText("there\r\nnew");  // takes the bold of what it replaces
  EXPECT_EQ(buffer.PlainText(), "Hello there\rnew\rsecond line");
  EXPECT_EQ(buffer.SelStart(), 15);
  EXPECT_EQ(buffer.SelLength(), 0);
  const TRichDocument& doc = buffer.Document();
  ASSERT_EQ(doc.Paragraphs.size(), 3u);
  EXPECT_EQ(doc.Paragraphs[1].Runs[0].Text, "new");
  EXPECT_TRUE(doc.Paragraphs[1].Runs[0].Font.HasStyle(fsBold));
  EXPECT_EQ(doc.Paragraphs[2].Format.Alignment, raCenter);

  // Formats of the paragraphs the selection touches; joining paragraphs
  // keeps the first one's.
  buffer.SetSelStart(0);
  buffer.SetSelLength(13);
  TRichParagraphFormat right;
  right.Alignment = raRight;
  buffer.SetParagraph(right);
  EXPECT_EQ(buffer.Document().Paragraphs[0].Format.Alignment, raRight);
  EXPECT_EQ(buffer.Document().Paragraphs[1].Format.Alignment, raRight);
  EXPECT_EQ(buffer.Document().Paragraphs[2].Format.Alignment, raCenter);
  buffer.SetSelStart(15);
  buffer.SetSelLength(1);
  buffer.SetSelText(" ");
  EXPECT_EQ(buffer.PlainText(), "Hello there\rnew second line");
  EXPECT_EQ(buffer.Document().Paragraphs[1].Format.Alignment, raRight);

  // The last paragraph's end stays whatever is selected.
  buffer.SelectAll();
  buffer.SetSelLength(1000);
  TFont italic = Arial(12);
  italic.SetStyle(fsItalic);
  buffer.SetSelAttributes(italic);
  buffer.SetSelText("");
  EXPECT_EQ(buffer.PlainText(), "");
  EXPECT_EQ(buffer.CharCount(), 1);
  EXPECT_EQ(buffer.Document().Paragraphs.size(), 1u);
}

TEST(RichTextBuffer, FindsTextWithCaseAndWholeWordOptions) {
  TRichTextBuffer buffer;
  buffer.LoadRichText("{\\rtf1 The theme of THE \\b other\\b0  the\\par Stra\\'dfe}", Arial(10));
  const struct {
    std::string text;
    int start, length;
    TRichFindOptions options;
    int found;
  } cases[] = {
      {"the", 0, -1, {}, 0},
      {"the", 1, -1, {}, 4},
      {"the", 1, -1, {true, false}, 4},
      {"THE", 1, -1, {true, false}, 13},
      {"the", 1, -1, {false, true}, 13},
      {"the", 14, -1, {false, true}, 23},
      {"the", 14, 10, {false, true}, -1},  // the range ends before it
      {"the", 20, -1, {true, true}, 23},   // "other" holds it, not as a word
      {"e\rstr", 0, -1, {}, 25},           // across the paragraph end
      {"STRASSE", 0, -1, {}, -1},          // folding keeps one character one
      {"STRAẞE", 0, -1, {}, 27},
      {"", 0, -1, {}, -1},
      {"the", 500, -1, {}, -1},
  };
  for (const auto& c : cases)
    EXPECT_EQ(buffer.FindText(c.text, c.start, c.length, c.options), c.found) << c.text << " from " << c.start;
}

TEST(RichText, ParagraphIndentsSpacingAndTabStopsPlaceTheText) {
  TMeasuringCanvas canvas(1440);  // a pixel a twip
  canvas.Font() = Arial(10);
  const int lineHeight = canvas.TextMetrics().Height;
  const TRichDocument doc = ParseRichText(
      "{\\rtf1\\pard\\li1000\\fi500\\sb200\\sa300\\tx4000 a\\tab b\\par\\pard\\sl-2000 c\\par}", Arial(10));
  TRichTextLayout layout(doc, canvas);
  const TRichRangeResult all = layout.DrawRange(TRect{0, 0, 20000, 100000}, 0, -1);
  ASSERT_EQ(canvas.Log().size(), 3u);
  EXPECT_EQ(canvas.Log()[0], "TextOut 1500," + std::to_string(200) + " a");
  EXPECT_EQ(canvas.Log()[1], "TextOut 4000,200 b");
  EXPECT_EQ(all.Height, 200 + lineHeight + 300 + 2000);
}

TEST(RichText, ARangeMeasuredOnceBreaksAlikeAtEveryResolution) {
  std::string rtf = "{\\rtf1 ";
  for (int n = 0; n < 400; ++n) rtf += (n % 3 ? "mmm" : "il") + std::to_string(n) + (n % 37 == 36 ? "\\par " : " ");
  const TRichDocument doc = ParseRichText(rtf + "}", Arial(10));
  TMeasuringCanvas reference(96);
  reference.Font() = Arial(10);
  const TRect rect{0, 0, 377, 301};
  TRichTextLayout measured(doc, reference);
  const TRichRangeResult expected = measured.MeasureRange(rect, 0, -1);
  ASSERT_FALSE(expected.AllFit);
  for (const int dpi : {72, 150, 300, 600, 1200}) {
    TMeasuringCanvas device(dpi);
    device.Font() = Arial(10);
    TRichTextLayout layout(doc, device, &reference);
    const TRect scaled{0, 0, rect.Right * dpi / 96, rect.Bottom * dpi / 96};
    const TRichRangeResult drawn = layout.DrawRange(scaled, 0, -1);
    EXPECT_EQ(drawn.LastChar, expected.LastChar) << dpi;
    EXPECT_NEAR(drawn.Height, expected.Height * dpi / 96, dpi / 96 + 1) << dpi;
  }
}

TEST(RichTextBuffer, BytesThatAreNotUtf8NeverShiftPositions) {
  // Plain bytes and text given to the selection alike: every character is
  // one position, whatever the bytes.
  const std::string inputs[] = {"caf\xE9 \xE2\x82", "\xF4\x90\x80\x80x", "\xED\xA0\x80y", "\x80\xBFz",
                                "ok \xC3\xA9"};
  TMeasuringCanvas canvas(96);
  canvas.Font() = Arial(10);
  for (const std::string& bytes : inputs) {
    TRichTextBuffer plain;
    plain.LoadRichText(bytes, Arial(10));
    TRichTextBuffer edited;
    edited.SetSelText(bytes);
    for (const TRichTextBuffer* b : {&plain, &edited}) {
      EXPECT_EQ(b->CharCount(), static_cast<int>(Utf8Length(b->PlainText())) + 1) << bytes;
      EXPECT_EQ(b->Document().CharCount(), b->CharCount()) << bytes;
      TRichTextLayout layout(b->Document(), canvas);
      EXPECT_EQ(layout.MeasureRange(TRect{0, 0, 500, 500}, 0, -1).LastChar, b->CharCount() - 1) << bytes;
    }
  }
}
