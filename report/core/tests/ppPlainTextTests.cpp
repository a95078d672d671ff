#include <gtest/gtest.h>

#include "ppPlainText.h"
#include "rtlStringList.h"
#include "uiMeasuringCanvas.h"

namespace {

// Widths on the canvas the wrapper measures with when no printer is given.
int MM(const std::string& text) {
  TMeasuringCanvas canvas(ppScreenPixelsPerInch);
  return ppUnitsToMMThousandths(canvas.TextWidth(text), utScreenPixels, axHorizontal);
}

int LineHeight() {
  TMeasuringCanvas canvas(ppScreenPixelsPerInch);
  return ppUnitsToMMThousandths(canvas.TextHeight("W"), utScreenPixels, axVertical);
}

struct TWrapped {
  std::vector<std::string> Lines;
  int Start;
};

TWrapped Wrap(const std::string& text, int width, int lineCount, int start = 0,
              TppTextAlignment justification = taLeftJustified, bool charWrap = false) {
  TppWrapOptions options;
  options.Rect = Rect(0, 0, width, lineCount * LineHeight() + LineHeight() / 2);
  options.Justification = justification;
  options.CharWrap = charWrap;
  TStringList lines;
  TppPlainText::WrapText(text, options, TFont(), nullptr, lines, start);
  TWrapped result{{}, start};
  for (int i = 0; i < lines.Count(); ++i) result.Lines.push_back(lines.Get(i));
  return result;
}

using Lines = std::vector<std::string>;

}  // namespace

TEST(PlainText, TokensOfStoredText) {
  TppPlainTextParser parser;
  parser.SetText("ab  c\r\nd\ne\tf$\xC2\xB6g\rh");
  std::vector<std::string> tokens;
  for (std::string t = parser.NextToken(); !t.empty(); t = parser.NextToken()) tokens.push_back(t);
  EXPECT_EQ(tokens, (Lines{"ab", " ", " ", "c", "\r\n", "d", "\r\n", "e", "\t", "f", "\r\n", "g", "\r\n", "h"}));
  EXPECT_TRUE(parser.AtEnd());
  parser.SetPosition(3);
  EXPECT_EQ(parser.NextToken(), " ");
}

TEST(PlainText, WrapsWordsLinesAndLongWords) {
  const int w = MM("aaa bbb") + 10;
  struct Case {
    const char* Name;
    std::string Text;
    int Width;
    Lines Expected;
  };
  const Case cases[] = {
      {"fits", "Hello world", 100000, {"Hello world"}},
      {"CR LF", "one\r\ntwo", 100000, {"one", "two"}},
      {"LF alone", "one\ntwo", 100000, {"one", "two"}},
      {"word wrap", "aaa bbb ccc", w, {"aaa bbb", "ccc"}},
      {"long word split", "abcdabcdab", MM("abcd") + 10, {"abcd", "abcd", "ab"}},
      {"blanks dropped after a wrap", "aaa bbb   ccc", w, {"aaa bbb", " ccc"}},
      {"narrower than one character", "ab", 1, {"a", "b"}},
  };
  for (const Case& c : cases) {
    const TWrapped wrapped = Wrap(c.Text, c.Width, 10);
    EXPECT_EQ(wrapped.Lines, c.Expected) << c.Name;
    EXPECT_EQ(wrapped.Start, static_cast<int>(c.Text.size())) << c.Name;
  }
  EXPECT_EQ(Wrap("ab cd", MM("ab c") + 10, 10, 0, taLeftJustified, true).Lines, (Lines{"ab c", "d"}));
}

TEST(PlainText, ContinuesWhereTheRectangleIsFull) {
  const std::string text = "l1\r\nl2\r\nl3\r\nl4\r\nl5";
  TWrapped first = Wrap(text, 100000, 2);
  EXPECT_EQ(first.Lines, (Lines{"l1", "l2"}));
  EXPECT_EQ(first.Start, static_cast<int>(text.find("l3")));
  TWrapped second = Wrap(text, 100000, 2, first.Start);
  EXPECT_EQ(second.Lines, (Lines{"l3", "l4"}));
  TWrapped third = Wrap(text, 100000, 2, second.Start);
  EXPECT_EQ(third.Lines, Lines{"l5"});
  EXPECT_EQ(third.Start, static_cast<int>(text.size()));

  // A soft wrap continues at the carried word; its blank is not repeated.
  const std::string words = "aaa bbb ccc ddd";
  TWrapped soft = Wrap(words, MM("aaa") + 10, 2);
  EXPECT_EQ(soft.Lines, (Lines{"aaa", "bbb"}));
  EXPECT_EQ(words.substr(static_cast<size_t>(soft.Start)), "ccc ddd");
  EXPECT_EQ(Wrap(words, MM("aaa") + 10, 2, soft.Start).Lines, (Lines{"ccc", "ddd"}));

  // A rectangle lower than one line takes nothing.
  TWrapped none = Wrap(words, 100000, 0, 3);
  EXPECT_TRUE(none.Lines.empty());
  EXPECT_EQ(none.Start, 3);
}

TEST(PlainText, FullJustificationMarksParagraphEnds) {
  const std::string marker = TppTextMarkups::LineBreakMarker;
  const TWrapped wrapped = Wrap("aaa bbb ccc\r\nddd", MM("aaa bbb") + 10, 10, 0, taFullJustified);
  EXPECT_EQ(wrapped.Lines, (Lines{"aaa bbb", "ccc" + marker, "ddd" + marker}));
  // Stored wrapped text with the marker reads back as hard breaks.
  EXPECT_EQ(Wrap("x" + marker + "y", 100000, 10).Lines, (Lines{"x", "y"}));
}

TEST(PlainText, MeasuringHelpers) {
  TMeasuringCanvas canvas(96);
  const int a = canvas.TextWidth("a");
  EXPECT_EQ(TppPlainText::GetTabbedTextWidth(canvas, "a\tb", {50, 100}), 50 + canvas.TextWidth("b"));
  EXPECT_EQ(TppPlainText::GetTabbedTextWidth(canvas, "a\tb\tc", {40}), 80 + canvas.TextWidth("c"));
  EXPECT_EQ(TppPlainText::GetTabbedTextWidth(canvas, "a", {}), a);

  TppPlainText::JustifyLine(canvas, " a b c ", 200);
  EXPECT_EQ(canvas.TextWidth(" a b c "), 200);
  TppPlainText::JustifyLine(canvas, "", 200);
  EXPECT_EQ(canvas.TextWidth("a b"), canvas.TextWidth("a") + canvas.TextWidth(" ") + canvas.TextWidth("b"));

  int lineHeight = 0;
  const int lines = TppPlainText::LinesPerHeight(TFont(), 0, lineHeight, nullptr, 25400);
  EXPECT_EQ(lines, ppRound(96.0 / canvas.TextMetrics().Height));
  EXPECT_EQ(lineHeight, ppUnitsToMMThousandths(canvas.TextMetrics().Height, utScreenPixels, axVertical));

  TStringList stops;
  stops.Add("25400");
  stops.Add("x");
  EXPECT_EQ(TppPlainText::TabStopsToPixels(utScreenPixels, stops, nullptr), (std::vector<int>{96, 0}));
  EXPECT_TRUE(TppPlainText::TabStopsToPixels(utInches, stops, nullptr).empty());
  EXPECT_EQ(TppPlainText::DeleteAll("a--b--", "--"), "ab");
}
