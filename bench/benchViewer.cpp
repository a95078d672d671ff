// The page viewer beside QPrintPreviewWidget: from a page request to the
// page's bitmap on screen at each zoom mode, and paging through 500 pages,
// for text-heavy pages of the same rows (the peer prints them through a
// QTextDocument). Offscreen, 96 dpi; run with a Release build.

#include <QApplication>
#include <QElapsedTimer>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "dbDataSource.h"
#include "dbMemoryDataSet.h"
#include "ppBands.h"
#include "ppDBPipeline.h"
#include "ppDrwCmd.h"
#include "ppPrinterSetup.h"
#include "ppReport.h"
#include "ppViewer.h"

namespace {

constexpr int rowsPerPage = 50, pages = 500, columns = 6;
constexpr int rows = rowsPerPage * pages;
const char* const fields[columns] = {"DAY", "OWNER", "PRINTER", "DOCUMENT", "PAGES", "BYTES"};

// A text of one field of the row.
class TBenchText : public TppCustomComponent {
  RTL_DECLARE_CLASS(TBenchText, TppCustomComponent)
  explicit TBenchText(TComponent* owner) : TppCustomComponent(owner) {
    SetDrawCommandClass(&TppDrawText::StaticClassType());
  }
  bool IsDataAware() const override { return true; }

protected:
  void PropertiesToDrawCommand(TppDrawCommand* command) override {
    inherited::PropertiesToDrawCommand(command);
    static_cast<TppDrawText*>(command)->Text = DataPipeline()->GetFieldAsString(DataField());
  }
};
RTL_DEFINE_CLASS(TBenchText)

std::string Cell(int row, int column) {
  switch (column) {
    case 0: return "2026-" + std::to_string(row % 12 + 1) + "-" + std::to_string(row % 28 + 1);
    case 1: return "user" + std::to_string(row % 97);
    case 2: return "\\\\PRINTSRV\\queue-" + std::to_string(row % 13);
    case 3: return "document number " + std::to_string(row) + ".pdf";
    case 4: return std::to_string(row % 40 + 1);
    default: return std::to_string((row % 40 + 1) * 52137);
  }
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

struct TFigures {
  double median, worst;
};

TFigures Summarise(const std::vector<double>& values) {
  return {Median(values), *std::max_element(values.begin(), values.end())};
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("QT_FONT_DPI", "96");
  QApplication app(argc, argv);

  // Ours: a report over a memory dataset.
  TObjectPtr<TMemoryDataSet> data(new TMemoryDataSet());
  for (const char* name : fields) data->DefineField(name, ftString, 40);
  data->Open();
  for (int row = 0; row < rows; ++row) {
    data->Append();
    for (int c = 0; c < columns; ++c) data->FieldByName(fields[c])->SetAsString(Cell(row, c));
    data->Post();
  }
  data->First();
  TObjectPtr<TComponent> owner(new TComponent(nullptr));
  auto* source = new TDataSource(owner.get());
  source->SetDataSet(data.get());
  auto* pipeline = new TppDBPipeline(owner.get());
  pipeline->SetDataSource(source);
  auto* report = new TppReport(owner.get());
  TppPrinterSetup* setup = report->PrinterSetup();
  setup->SetUnits(utMMThousandths);
  setup->SetPaperWidth(215900);
  setup->SetPaperHeight(279400);
  for (auto margin : {&TppPrinterSetup::SetMarginTop, &TppPrinterSetup::SetMarginBottom}) (setup->*margin)(0);
  report->CreateDefaultBands();
  report->GetBand(btHeader)->SetmmHeight(0);
  report->GetBand(btFooter)->SetmmHeight(0);
  TppBand* detail = report->GetBand(btDetail);
  detail->SetmmHeight(279400 / rowsPerPage - 20);
  report->SetDataPipeline(pipeline);
  report->SetCachePages(true);
  const int widths[columns] = {22000, 25000, 40000, 55000, 12000, 20000};
  int left = 5000;
  for (int c = 0; c < columns; ++c) {
    auto* text = new TBenchText(report);
    text->SetBand(detail);
    text->SetmmLeft(left);
    text->SetmmTop(0);
    text->SetmmWidth(widths[c]);
    text->SetmmHeight(4000);
    text->SetDataPipeline(pipeline);
    text->SetDataField(fields[c]);
    left += widths[c] + 1000;
  }

  TppViewer viewer;
  viewer.resize(900, 1000);
  viewer.show();
  viewer.SetReport(report);
  report->PrintToDevices();
  QElapsedTimer clock;
  std::vector<double> paging;
  for (int page = 2; page <= pages; ++page) {
    clock.start();
    viewer.NextPage();
    viewer.repaint();
    paging.push_back(clock.nsecsElapsed() / 1e6);
  }
  const int reached = viewer.AbsolutePageNo();
  if (reached != pages)
    std::fprintf(stderr, "ours stopped at page %d (%d commands on it)\n", viewer.AbsolutePageNo(),
                 viewer.ScreenDevice().PageOnView().GetDrawCommandCount());

  struct TMode {
    const char* name;
    TppZoomSettingType setting;
    int percent;
  };
  const TMode modes[] = {{"whole page", zsWholePage, 100},
                         {"page width", zsPageWidth, 100},
                         {"100 %", zs100Percent, 100},
                         {"200 %", zsPercentage, 200}};
  std::vector<TFigures> ours;
  for (const TMode& mode : modes) {
    if (mode.setting == zsPercentage)
      viewer.SetZoomPercentage(mode.percent);
    else
      viewer.SetZoomSetting(mode.setting);
    std::vector<double> times;
    for (int n = 0; n < 40; ++n) {
      clock.start();
      viewer.GotoPage(n % 2 ? 250 : 251);
      viewer.repaint();
      times.push_back(clock.nsecsElapsed() / 1e6);
    }
    ours.push_back(Summarise(times));
  }

  // The peer: the same rows as a table in a QTextDocument, previewed.
  QTextDocument document;
  QFont font("Arial");
  font.setPointSize(8);
  document.setDefaultFont(font);
  QTextCursor cursor(&document);
  QTextTableFormat format;
  format.setBorder(0);
  format.setCellPadding(0);
  QTextTable* table = cursor.insertTable(rows, columns, format);
  for (int row = 0; row < rows; ++row)
    for (int c = 0; c < columns; ++c) table->cellAt(row, c).firstCursorPosition().insertText(QString::fromStdString(Cell(row, c)));
  QPrinter printer(QPrinter::ScreenResolution);
  printer.setPageSize(QPageSize(QPageSize::Letter));
  QPrintPreviewWidget peer(&printer);
  QObject::connect(&peer, &QPrintPreviewWidget::paintRequested, [&](QPrinter* p) { document.print(p); });
  peer.resize(900, 1000);
  peer.show();
  clock.start();
  peer.updatePreview();
  const double peerLayout = clock.nsecsElapsed() / 1e6;
  const int peerPages = peer.pageCount();
  std::vector<double> peerPaging;
  for (int page = 2; page <= std::min(pages, peerPages); ++page) {
    clock.start();
    peer.setCurrentPage(page);
    peer.repaint();
    QApplication::processEvents();
    peerPaging.push_back(clock.nsecsElapsed() / 1e6);
  }
  std::vector<TFigures> theirs;
  for (const TMode& mode : modes) {
    if (mode.setting == zsWholePage)
      peer.fitInView();
    else if (mode.setting == zsPageWidth)
      peer.fitToWidth();
    else
      peer.setZoomFactor(mode.percent / 100.0);
    std::vector<double> times;
    for (int n = 0; n < 40; ++n) {
      clock.start();
      peer.setCurrentPage(n % 2 ? 250 : 251);
      peer.repaint();
      QApplication::processEvents();
      times.push_back(clock.nsecsElapsed() / 1e6);
    }
    theirs.push_back(Summarise(times));
  }

  const TFigures ourPaging = Summarise(paging), peerPage = Summarise(peerPaging);
  std::printf("text-heavy pages: %d rows x %d columns a page; ours %d pages, peer %d pages\n", rowsPerPage, columns,
              reached, peerPages);
  std::printf("%-28s %12s %12s %12s %12s %8s\n", "ms per page (median / worst)", "ours", "", "peer", "", "ratio");
  for (size_t i = 0; i < std::size(modes); ++i)
    std::printf("request to screen, %-9s %12.2f %12.2f %12.2f %12.2f %8.2f\n", modes[i].name, ours[i].median,
                ours[i].worst, theirs[i].median, theirs[i].worst, theirs[i].median / ours[i].median);
  std::printf("paging through every page   %12.2f %12.2f %12.2f %12.2f %8.2f\n", ourPaging.median, ourPaging.worst,
              peerPage.median, peerPage.worst, peerPage.median / ourPaging.median);
  std::printf("peer's layout of all pages before the first shows: %.0f ms\n", peerLayout);
  viewer.SetReport(nullptr);
  return 0;
}
