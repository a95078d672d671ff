#pragma once
// Turns a report's bands, groups and data pipeline into pages. The band
// state (page bands, title, group headers, detail, group footers, summary)
// and the band index say where generation stands, so that a page that fills
// in the middle of a list goes on at exactly that place on the next page.
// After each page every generation object writes its state for that page
// to the page cache; any page can then be generated again, out of order,
// from the state of the page before it, equal to a sequential run.

#include <map>
#include <memory>
#include <vector>

#include "ppCustomEngine.h"
#include "ppDataPipeline.h"

class TppBand;
class TppCacheManager;
class TppGroup;
class TppPageRequest;

// Where generation stands on the band lists.
enum TppBandState : uint8_t {
  bsGroupHeaders = 4, bsDetail = 5, bsGroupFooters = 6, bsSummary = 7, bsDone = 8
};

class TppEngine : public TppCustomEngine {
  RTL_DECLARE_CLASS(TppEngine, TppCustomEngine)

  TppEngine(TComponent* owner, TppCustomReport* report);
  ~TppEngine() override;

  // Generates the pages the request asks for and hands each output page to
  // the report's publisher. Ignored while a request is being served.
  void ServePageRequest(const TppPageRequest& request);
  // The next request starts a new run (layout or data changed).
  void Reset();
  // Pages from this one on are made again when asked for (from page 1: a
  // new run). Ignored while a request is being served.
  void DiscardPagesFrom(int pageNo);
  // A child report's engine: generates the page (the pages before it once,
  // unseen) without delivering it, and answers it.
  TppPage* GenerateChildPage(int pageNo);
  // The page whose end state the generation objects hold (-1: none).
  int LivePage() const { return livePage; }
  bool Busy() const { return busy; }
  // The page's number and count as its page-numbering group or section
  // sees them; 0 before the first page.
  int PageNo() const;
  int PageCount() const;
  int CurrentColumn() const { return currentColumn; }
  // Every page of the report has been generated.
  bool DonePrinting() const { return allPagesGenerated; }
  // Ends the report with the page being generated, as the page limit does.
  void PageLimitReached() { limitReached = true; }
  // The absolute page the group's current instance ends on, when its
  // footer printed in this run or an earlier pass; else the page so far.
  int GroupLastPageNo(const TppGroup& group) const;

  // A subreport section: the next page (or this one, when nothing stands on
  // it yet) belongs to the section, without the report's page bands; the
  // page after the section's last one is the report's again. The section's
  // own page numbers stand on its pages when given.
  void BeginSectionPage(bool onThisPage) {
    if (onThisPage) AddState(ppesSectionPage);
    else sectionNext = true;
  }
  void EndSectionPage(bool newPrintJob) {
    sectionEnding = true;
    sectionJobEnding = newPrintJob;
  }
  // A section of its own print job: the job running ends before this page
  // is delivered and a new one starts (after its last page, the report's
  // own pages start one more).
  void StartJobWithThisPage() { startsJob = true; }
  bool SectionPage() const { return (EngineState() & ppesSectionPage) != 0; }
  void SetSectionPageNumbers(int pageNo, int pageCount);
  // The pages of the section that started on a page, learnt as it ends (0:
  // not known yet): a second pass and pages made again number "of n" right.
  int SectionPageCount(int startPage) const;
  void SetSectionPageCount(int startPage, int count) { sectionPageCounts[startPage] = count; }

  int PageBottom() const override;
  bool LastPageKnown() const override { return allPagesGenerated || lastPage; }
  bool IsLastPage() const override;
  bool AllPagesGenerated() const { return allPagesGenerated; }
  bool DataPrintedOnPage() const { return dataPrintedOnPage; }
  TppBandState BandState() const { return bandState; }
  TppCacheManager& Cache() { return *cache; }
  // Pages generated in this run (each one's state is in the cache).
  int PagesSaved() const { return pagesSaved; }

  void CaptureState(uint8_t* record) const override;
  void ApplyState(const uint8_t* record) override;
  void SavePageState(int page) override { SaveStateRecord(page); }
  void RestorePageState(int page) override { RestoreStateRecord(page); }

private:
  struct TStateRecord {
    uint8_t BandState, DataFinished, TitlePending, LastPage, TraversalPending, NoData, SectionPage, NewJobNext;
    int32_t BandIndex, BrokenGroup;
    // The report pipeline's position, then the detail pipeline's.
    int32_t TraversalCount, DataOffset;
    int32_t DetailTraversalCount, DetailDataOffset;
    uint8_t AtEnd, DetailAtEnd, SingleRecordDone, Reserved2;
    int32_t Mark, DetailMark;
  };

  std::unique_ptr<TppPage> ownPage;
  std::unique_ptr<TppCacheManager> cache;
  TppDataPipeline* pipeline = nullptr;
  // The detail band's own pipeline (a detail of the report's), or none.
  TppDataPipeline* detailPipeline = nullptr;
  std::vector<TppBand*> columnHeaders, columnFooters;
  std::vector<TppBand*> pageStyles, headers, titles, groupHeaders, details, groupFooters, summaries, footers;
  std::vector<TppGroup*> groups;

  // Generation state (in the page state).
  TppBandState bandState = bsGroupHeaders;
  int bandIndex = 0;
  int brokenGroup = 0;
  bool dataFinished = false;
  bool titlePending = false;
  bool lastPage = false;
  bool traversalPending = false;
  bool noData = false;
  bool singleRecordDone = false;
  bool limitReached = false;
  // A section's last page: the report's own pages follow.
  bool sectionEnding = false;
  bool sectionNext = false;
  int sectionPageNo = 0, sectionPageCount = 0;
  bool sectionJobEnding = false;
  // The page starts a print job; the next page will (in the page state).
  bool startsJob = false;
  bool newJobNext = false;
  // Pages delivered in the request being served: the first needs no new job.
  int pagesDelivered = 0;
  // The pipeline position of the last state applied.
  TppPipelinePosition restoredPosition, restoredDetailPosition;

  // Run and page bookkeeping.
  bool busy = false;
  bool runSetUp = false;
  bool allPagesGenerated = false;
  int livePage = 0;     // the page whose end state the objects hold
  int pagesSaved = 0;
  bool pageComplete = false;
  bool dataPrintedOnPage = false;
  bool outputPage = false;
  bool calculationPass = false;
  // The last page is being laid out again with the room of the bands that
  // skip it kept (it did not end the report without it).
  bool keepLastPageRoom = false;
  // The second pass's end was announced (once a run).
  bool secondPassEnded = false;
  // The last page of each break of the group whose pages are numbered on
  // their own (ResetPageNo), learnt as generation passes its footers: the
  // second pass numbers "page n of m" within the group.
  std::map<std::pair<int, int>, int> groupLastPages;  // (group, break) -> page
  std::map<int, int> sectionPageCounts;
  int currentColumn = 1;
  int columnTop = 0;
  bool columnFootersPrinted = false;
  // Columns across (the detail band's ctLeftToRight): each record takes the
  // next column of the row; a row ends when no further column fits, and
  // any other band closes the row and prints below its tallest cell.
  bool leftToRight = false;
  bool rowOpen = false;
  int rowTop = 0, rowBottom = 0;
  // A group kept together: the state when its header began on this page.
  int keepGroup = -1;
  std::vector<std::vector<uint8_t>> keepSnapshot;
  int keepCommandCount = 0;

  void BuildBandLists();
  std::vector<TppCacheable*> Cacheables() const;
  void RunSetup();
  // Opens a pipeline of the run; EPrintError when it does not open.
  void OpenPipeline(TppDataPipeline& data);
  void StartRun();
  void GeneratePage(int pageNo, bool output);
  void GenerateOnePage();
  void PageStart();
  void PageEnd();
  void SetPageFields();
  TppGroup* PageNumberGroup() const;
  void BandStateLoop();
  // The legal combinations of the generation state, asserted at each of
  // its transitions (a run's start, a step of the band loop, a page's end,
  // a page's state applied):
  //  - dataFinished holds from the last record's traversal on: in the
  //    footers it closes, the summary and done; summary and done need it;
  //  - traversalPending (the record after a break not fetched yet) holds
  //    only while a break's footers print, never after the last record and
  //    never without data; singleRecordDone only once data is finished;
  //  - done is the last page; a title is pending only when there is one;
  //  - bandIndex is the next group header (from the broken group on), the
  //    next group footer counted from the innermost (up to the broken
  //    group), 0 in the detail, and 0 or 1 (its new page taken) in the
  //    summary; brokenGroup is a group;
  //  - a row of cells is open only with columns across; a group kept
  //    together has its snapshot.
  void CheckGenerationState() const;
  void PrintGroupHeaders();
  void PrintDetail();
  void PrintGroupFooters();
  void PrintSummary();
  void ReprintGroupHeaders();
  void ReprintGroupHeadersInColumn();
  // The group's break is printing (its header printed, its footer not yet).
  bool GroupOpen(int group) const;
  bool ReprintsByColumn(const TppGroup* group) const;
  // Prints the band; false (and the page complete) when it needs more room.
  bool PrintBand(TppBand* band, bool dataBand);
  void EndPage() { pageComplete = true; }
  // A band did not fit: the next column when one fits, else the page ends.
  void EndColumn();
  // The left edge of a column (1-based); false when it does not fit.
  bool ColumnPlace(int column, int& left) const;
  void StartColumn();
  void PrintColumnFooters();
  // Columns across: the next cell for a detail, and the end of a row.
  void NextCell();
  void CloseRow();
  void PlaceColumn(int column, int position);
  void Traverse();
  // The next record after a group break's footers.
  void AdvanceAfterBreak();
  // A new record is current: computing components take it (event 35).
  void RecordReached();
  void ApplyRestoredPositions();
  bool HasRecords() const;
  // Not a subreport's child report.
  bool IsTopReport() const;
  void NoDataOnPage();
  void TakeKeepSnapshot(int group);
  bool RollBackKeepTogether();
  // Ends the job of every device that runs one and starts the next.
  void BreakJob();
  void ServeAll();
  void ServeSingle(int pageNo);
};
