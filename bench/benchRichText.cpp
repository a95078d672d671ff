// Rich text beside QTextDocument: 1 MiB of text wrapped and split over A4
// pages. Ours reads the RTF and measures page after page with the layout
// the rich-text component uses (the measuring canvas at 96 ppi); Qt lays
// out the same plain text, paginated to the same page size. The best of
// three rounds of the thread's processor time is kept for each side.

#include <QAbstractTextDocumentLayout>
#include <QFont>
#include <QGuiApplication>
#include <QTextDocument>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <string>

#include "benchCpuTime.h"
#include "uiMeasuringCanvas.h"
#include "uiRichText.h"
#include "uiRichTextLayout.h"

namespace {

constexpr int Rounds = 3;
constexpr size_t TargetBytes = 1 << 20;
// A4 less 10 mm margins at 96 ppi.
constexpr int PageWidth = 718;
constexpr int PageHeight = 1047;

// Paragraphs of words of varying length, every seventh word bold.
std::string MakeRtf(std::string& plain) {
  std::string rtf = "{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 ";
  const char* const words[] = {"print", "job", "owner", "pages", "queue", "recorded", "usage", "at", "the",
                               "server", "monitoring", "a"};
  unsigned seed = 1;
  int n = 0;
  while (plain.size() < TargetBytes) {
    seed = seed * 1103515245 + 12345;
    const std::string word = words[(seed >> 16) % std::size(words)];
    const bool bold = ++n % 7 == 0;
    rtf += bold ? "\\b " + word + "\\b0 " : word + " ";
    plain += word + " ";
    if (n % 120 == 0) {
      rtf += "\\par ";
      plain += "\n";
    }
  }
  return rtf + "}";
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  std::string plain;
  const std::string rtf = MakeRtf(plain);
  TFont font;
  font.SetName("Arial");
  font.SetSize(10);

  TRichDocument document;
  const double read = BestMilliseconds(Rounds, [&] { document = ParseRichText(rtf, font); });
  int ourPages = 0;
  const double split = BestMilliseconds(Rounds, [&] {
    TMeasuringCanvas canvas(96);
    canvas.Font() = font;
    TRichTextLayout layout(document, canvas);
    ourPages = 0;
    for (int start = 0;;) {
      const TRichRangeResult r = layout.MeasureRange(TRect{0, 0, PageWidth, PageHeight}, start, -1, true);
      ++ourPages;
      if (r.AllFit) break;
      start = r.LastChar + 1;
    }
  });
  int qtPages = 0;
  const QString text = QString::fromStdString(plain);
  const double qt = BestMilliseconds(Rounds, [&] {
    QTextDocument doc;
    QFont qfont("Arial");
    qfont.setPointSize(10);
    doc.setDefaultFont(qfont);
    doc.setDocumentMargin(0);
    doc.setPageSize(QSizeF(PageWidth, PageHeight));
    doc.setPlainText(text);
    qtPages = doc.pageCount();
  });
  std::printf("text: %zu bytes of RTF, %zu bytes of plain text\n", rtf.size(), plain.size());
  std::printf("ours: read %.0f ms, wrap and split %.0f ms (%d pages), together %.0f ms\n", read, split, ourPages,
              read + split);
  std::printf("QTextDocument: set plain text, wrap and paginate %.0f ms (%d pages)\n", qt, qtPages);
  return 0;
}
