#include "ppEngine.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "ppBands.h"
#include "ppDevice.h"
#include "ppDrwCmd.h"
#include "ppErrors.h"
#include "ppForms.h"
#include "ppGroup.h"
#include "ppMessages.h"
#include "ppPage.h"
#include "ppPageRequest.h"
#include "ppPrinterSetup.h"
#include "ppPublisher.h"
#include "ppReport.h"
#include "ppSubReport.h"
#include "ppUnits.h"
#include "rtlAssert.h"
#include "rtlConvert.h"
#include "rtlStrUtils.h"
#include "rtlStringList.h"

namespace {
constexpr uint16_t ppbkAll = 0x1FF;
constexpr int ppmsgCouldNotOpen = 40;
constexpr int ppmsgNoColumnPosition = 43;
constexpr int ppmsgNoDataFound = 1034;

// Clears a flag when the scope ends, however it ends.
class TBusyGuard {
public:
  explicit TBusyGuard(bool& flag) : flag(flag) { flag = true; }
  ~TBusyGuard() { flag = false; }

private:
  bool& flag;
};
}  // namespace

const TClassInfo& TppEngine::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TppEngine>("TppEngine").Build();
  return info;
}

TppEngine::TppEngine(TComponent* owner, TppCustomReport* report)
    : TppCustomEngine(owner, report),
      ownPage(std::make_unique<TppPage>(nullptr)),
      cache(std::make_unique<TppCacheManager>(nullptr, report)) {
  SetCacheRecordSize(sizeof(TStateRecord));
  SetPage(ownPage.get());
  cache->SetCancelHandler([this] { RequestStop(); });
}

TppEngine::~TppEngine() { cache->Clear(); }

void TppEngine::Reset() {
  if (busy) return;
  runSetUp = false;
  allPagesGenerated = false;
  lastPage = false;
  secondPassEnded = false;
  livePage = 0;
  pagesSaved = 0;
  absolutePageNo = 0;
  absolutePageCount = 0;
  groupLastPages.clear();
  sectionPageCounts.clear();
  cache->Clear();
  RemoveState(0xFFFF);
}

void TppEngine::DiscardPagesFrom(int pageNo) {
  if (busy) return;
  if (pageNo <= 1 || !runSetUp) {
    Reset();
    return;
  }
  if (pageNo > pagesSaved) return;
  pagesSaved = pageNo - 1;
  allPagesGenerated = false;
  lastPage = false;
  secondPassEnded = false;
  livePage = -1;
  absolutePageCount = pagesSaved;
  // What was learnt about the discarded pages is learnt again.
  std::erase_if(groupLastPages, [pageNo](const auto& entry) { return entry.second >= pageNo; });
  std::erase_if(sectionPageCounts,
                [pageNo](const auto& entry) { return entry.first + entry.second - 1 >= pageNo; });
}

std::vector<TppCacheable*> TppEngine::Cacheables() const {
  std::vector<TppCacheable*> list{const_cast<TppEngine*>(this)};
  TppCustomReport* report = Report();
  for (int i = 0; i < report->BandCount(); ++i) {
    TppBand* band = report->Bands(i);
    list.push_back(band);
    for (int k = 0; k < band->ObjectCount(); ++k) list.push_back(band->Objects(k));
  }
  for (int i = 0; i < report->GroupCount(); ++i) list.push_back(report->Groups(i));
  return list;
}

void TppEngine::BuildBandLists() {
  TppCustomReport* report = Report();
  if (report->BandCount() == 0) report->CreateDefaultBands();
  for (auto* list : {&columnHeaders, &columnFooters, &pageStyles, &headers, &titles, &groupHeaders, &details, &groupFooters, &summaries, &footers})
    list->clear();
  for (int i = 0; i < report->BandCount(); ++i) {
    TppBand* band = report->Bands(i);
    switch (band->BandTypeCode()) {
      case btPageStyle: pageStyles.push_back(band); break;
      case btHeader: headers.push_back(band); break;
      case btTitle: titles.push_back(band); break;
      case btGroupHeader: groupHeaders.push_back(band); break;
      case btDetail: details.push_back(band); break;
      case btGroupFooter: groupFooters.push_back(band); break;
      case btSummary: summaries.push_back(band); break;
      case btFooter: footers.push_back(band); break;
      case btColumnHeader: columnHeaders.push_back(band); break;
      case btColumnFooter: columnFooters.push_back(band); break;
    }
  }
  groups.clear();
  for (int i = 0; i < report->GroupCount(); ++i) groups.push_back(report->Groups(i));
  leftToRight = report->Columns() > 1 && !details.empty() &&
                static_cast<TppDetailBand*>(details.front())->ColumnTraversal() == ctLeftToRight;
}

void TppEngine::RunSetup() {
  if (runSetUp) return;
  BuildBandLists();
  pipeline = Report()->DataPipeline();
  if (pipeline) OpenPipeline(*pipeline);
  detailPipeline = nullptr;
  if (!details.empty()) {
    TppDataPipeline* own = static_cast<TppDetailBand*>(details.front())->DataPipeline();
    if (own && own != pipeline) {
      detailPipeline = own;
      OpenPipeline(*detailPipeline);
    }
  }
  if (pipeline) pipeline->ClearMarks();
  if (detailPipeline) detailPipeline->ClearMarks();
  // A top report's current record is its user's record at the run's start.
  if (pipeline && IsTopReport()) pipeline->MarkCurrentRecord();
  cache->Initialize(Cacheables());
  printDateTime = Report()->Clock ? Report()->Clock() : Now();
  pagesSaved = 0;
  livePage = -1;
  allPagesGenerated = false;
  absolutePageCount = 0;
  runSetUp = true;
}

void TppEngine::OpenPipeline(TppDataPipeline& data) {
  // Whether the dataset stays closed or raises as it opens, the caller
  // hears the one report error naming the pipeline.
  const auto refuse = [&data] { return EPrintError(ppLoadMessage(ppmsgCouldNotOpen) + ": " + data.GetUserName()); };
  try {
    data.Open();
  } catch (const EPrintError&) {
    throw;
  } catch (const Exception&) {
    throw refuse();
  }
  if (!data.Active()) throw refuse();
}

bool TppEngine::IsTopReport() const { return Report()->ParentReport() == nullptr; }

bool TppEngine::HasRecords() const { return !pipeline || !pipeline->IsEmpty(); }

void TppEngine::StartRun() {
  RemoveState(0xFFFF & ~(ppesFirstPass | ppesSecondPass));
  AddState(ppesGenerating);
  RemovePageState(0xFFFF);
  AddPageState(ppbkAll);
  for (int i = 0; i < Report()->BandCount(); ++i) Report()->Bands(i)->StartOfRun();
  if (pipeline) pipeline->First();
  if (detailPipeline) detailPipeline->First();
  noData = !HasRecords();
  if (noData) AddState(ppesNoData);
  dataFinished = false;
  lastPage = false;
  limitReached = false;
  traversalPending = false;
  singleRecordDone = false;
  titlePending = !titles.empty();
  for (TppGroup* group : groups) group->ResetBreak();
  // The report starts before its first record is reached.
  SendEventNotify(this, ppevEngineReportStart, nullptr);
  if (!noData) RecordReached();
  bandState = bsGroupHeaders;
  bandIndex = 0;
  brokenGroup = 0;
  newJobNext = false;
  CheckGenerationState();
}

int TppEngine::PageBottom() const {
  const TppPageDef& def = Report()->PrinterSetup()->PageDef();
  int bottom = def.mmHeight() - def.mmMarginBottom();
  for (TppBand* band : footers) {
    auto* footer = static_cast<TppPageBand*>(band);
    if (footer->Visible() && footer->PrintsOn(*this)) bottom -= footer->mmHeight();
  }
  for (TppBand* footer : columnFooters)
    if (footer->Visible()) bottom -= footer->mmHeight();
  return bottom;
}

int TppEngine::PageNo() const { return Page()->PageNo; }

int TppEngine::GroupLastPageNo(const TppGroup& group) const {
  const auto last = groupLastPages.find({group.GroupNo(), group.HeaderBreakNo()});
  return last != groupLastPages.end() ? last->second : std::max(absolutePageNo, group.FirstPageNo());
}
int TppEngine::PageCount() const { return Page()->PageCount; }

bool TppEngine::IsLastPage() const {
  return lastPage || (allPagesGenerated && absolutePageNo == absolutePageCount && !keepLastPageRoom);
}

// ---------------------------------------------------------------------------
// Requests

void TppEngine::ServePageRequest(const TppPageRequest& request) {
  if (busy) return;
  TBusyGuard guard(busy);
  cancelled = false;
  pagesDelivered = 0;
  RunSetup();
  TppCustomReport* report = Report();
  // The user's record (a grid's, say) is theirs again once the request is
  // served; the next page then starts from the page cache.
  struct TUserRecord {
    TppEngine& engine;
    std::vector<uint8_t> record;
    ~TUserRecord() {
      if (record.empty()) return;
      engine.pipeline->ReturnToDataRecord(record);
      engine.livePage = -1;
    }
  } userRecord{*this, pipeline && IsTopReport() ? pipeline->DataRecord() : std::vector<uint8_t>{}};
  if (report->PassSetting() == psTwoPass && !allPagesGenerated) {
    // Values printed ahead of where they are reached start afresh, in the
    // child reports too (their passes are this report's).
    const std::function<void(TppCustomReport*)> prepare = [&prepare](TppCustomReport* r) {
      for (int i = 0; i < r->BandCount(); ++i)
        for (int k = 0; k < r->Bands(i)->ObjectCount(); ++k) {
          TppPrintable* object = r->Bands(i)->Objects(k);
          object->PrepareLookAhead();
          if (auto* sub = dynamic_cast<TppSubReport*>(object); sub && sub->Report()) prepare(sub->Report());
        }
    };
    prepare(report);
    calculationPass = true;
    AddState(ppesFirstPass);
    report->DoPassEvent(report->OnStartFirstPass, ppevStartFirstPass);
    for (int n = 1; !allPagesGenerated && !cancelled; ++n) GeneratePage(n, false);
    report->DoPassEvent(report->OnEndFirstPass, ppevEndFirstPass);
    RemoveState(ppesFirstPass);
    calculationPass = false;
    AddState(ppesSecondPass);
    report->DoPassEvent(report->OnStartSecondPass, ppevStartSecondPass);
  } else if (!SecondPass()) {
    AddState(ppesFirstPass);
  }
  switch (request.PageSetting()) {
    case psAll:
    case psPageRange: ServeAll(); break;
    case psSinglePage: ServeSingle(request.PageRequested()); break;
    case psFirstPage: ServeSingle(1); break;
    case psLastPage:
      while (!allPagesGenerated && !cancelled) GeneratePage(pagesSaved + 1, false);
      ServeSingle(absolutePageCount);
      break;
    case psPageList: {
      // Delivering a page crosses it off the publisher's list, which may be
      // this one: the pages to make are taken first.
      TStringList list;
      list.Assign(*request.PageList());
      for (int i = 0; i < list.Count() && !cancelled; ++i) {
        const int page = StrToIntDef(Trim(list.Get(i)), 0);
        if (page < 1 || (allPagesGenerated && page > absolutePageCount)) continue;
        ServeSingle(page);
      }
      break;
    }
  }
}

TppPage* TppEngine::GenerateChildPage(int pageNo) {
  TBusyGuard guard(busy);
  cancelled = false;
  RunSetup();
  pageNo = std::max(pageNo, 1);
  while (pagesSaved < pageNo - 1 && !lastPage) GeneratePage(pagesSaved + 1, false);
  GeneratePage(std::min(pageNo, pagesSaved + 1), false);
  return Page();
}

void TppEngine::ServeAll() {
  for (int n = 1; !cancelled; ++n) {
    GeneratePage(n, true);
    if (lastPage) break;
  }
}

void TppEngine::ServeSingle(int pageNo) {
  pageNo = std::max(pageNo, 1);
  const int limit = Report()->PageLimit();
  if (limit > 0) pageNo = std::min(pageNo, limit);
  while (!allPagesGenerated && pagesSaved < pageNo - 1 && !cancelled) GeneratePage(pagesSaved + 1, false);
  if (cancelled) return;
  if (allPagesGenerated) pageNo = std::min(pageNo, absolutePageCount);
  GeneratePage(pageNo, true);
}

// ---------------------------------------------------------------------------
// Pages

void TppEngine::GeneratePage(int pageNo, bool output) {
  ORV_ASSERT(pageNo >= 1 && pageNo <= pagesSaved + 1);
  // Pages are made only inside a request, after its run set-up, and the
  // last page's second layout never nests.
  ORV_ASSERT(busy && runSetUp);
  ORV_ASSERT(!keepLastPageRoom);
  if (pageNo == 1) {
    StartRun();
  } else if (livePage != pageNo - 1) {
    cache->RestorePage(pageNo - 1);
    ApplyRestoredPositions();
  }
  absolutePageNo = pageNo;
  outputPage = output;
  GenerateOnePage();
  if (!cancelled && !lastPage && allPagesGenerated && pageNo == absolutePageCount) {
    // Laid out as the last page (without the bands that skip it), the page
    // the count ends on did not hold the rest of the report: it is laid out
    // again as the count was found, with their room kept, so that nothing
    // is lost and every page's count stays right.
    if (pageNo == 1) {
      StartRun();
    } else {
      cache->RestorePage(pageNo - 1);
      ApplyRestoredPositions();
    }
    keepLastPageRoom = true;
    GenerateOnePage();
    keepLastPageRoom = false;
    // Should it still go on, the count follows the pages made.
    if (!lastPage && !cancelled) allPagesGenerated = false;
  }
  livePage = pageNo;
  if (cancelled) {
    livePage = -1;
    return;
  }
  cache->SavePage(pageNo);
  pagesSaved = std::max(pagesSaved, pageNo);
  if (lastPage) {
    allPagesGenerated = true;
    absolutePageCount = pageNo;
    SetPageFields();
  }
  if (output) {
    if (startsJob && pagesDelivered > 0) BreakJob();
    Report()->Publisher()->ReceivePage(Page());
    ++pagesDelivered;
  }
  if (SecondPass() && allPagesGenerated && pageNo == absolutePageCount && !secondPassEnded) {
    secondPassEnded = true;
    Report()->DoPassEvent(Report()->OnEndSecondPass, ppevEndSecondPass);
  }
  Report()->ProcessMessages();
}

void TppEngine::BreakJob() {
  TppPublisher* publisher = Report()->Publisher();
  std::vector<TppDevice*> running;
  for (int i = 0; i < publisher->DeviceCount(); ++i)
    if (publisher->Device(i)->Active() && publisher->Device(i)->JobRunning()) running.push_back(publisher->Device(i));
  for (TppDevice* device : running) device->EndJob();
  for (TppDevice* device : running) device->StartJob();
}

void TppEngine::PageStart() {
  TppPage* page = Page();
  page->Clear();
  page->SetPrinterSetup(Report()->PrinterSetup());
  const TppPageDef& def = Report()->PrinterSetup()->PageDef();
  SetArea(def.mmMarginLeft(), def.mmMarginTop(), def.mmPrintableWidth(), def.mmMarginTop());
  pageComplete = false;
  dataPrintedOnPage = false;
  currentColumn = 1;
  columnFootersPrinted = false;
  rowOpen = false;
  keepGroup = -1;
  keepSnapshot.clear();
  sectionEnding = sectionNext = sectionJobEnding = false;
  sectionPageNo = sectionPageCount = 0;
  startsJob = newJobNext;
  newJobNext = false;
  if (!allPagesGenerated) absolutePageCount = std::max(absolutePageCount, absolutePageNo);
  SetPageFields();
  for (int i = 0; i < Report()->BandCount(); ++i) Report()->Bands(i)->StartOfPage();
  Report()->DoStartPage();
}

TppGroup* TppEngine::PageNumberGroup() const {
  for (TppGroup* group : groups)
    if (group->ResetPageNo()) return group;
  return nullptr;
}

void TppEngine::SetPageFields() {
  TppPage* page = Page();
  page->AbsolutePageNo = absolutePageNo;
  page->AbsolutePageCount = absolutePageCount;
  page->PageNo = absolutePageNo;
  page->PageCount = absolutePageCount;
  if (const TppGroup* group = PageNumberGroup()) {
    page->ControlGroupBreakNo = group->HeaderBreakNo();
    page->PageNo = group->PageNo(absolutePageNo);
    const auto last = groupLastPages.find({group->GroupNo(), group->HeaderBreakNo()});
    page->PageCount = last != groupLastPages.end() ? last->second - group->FirstPageNo() + 1 : page->PageNo;
  }
  if (SectionPage() && sectionPageNo > 0) {
    page->PageNo = sectionPageNo;
    page->PageCount = sectionPageCount;
  }
  page->FirstPage = absolutePageNo == 1;
  page->LastPage = IsLastPage();
  page->Final = outputPage;
  page->Calculation = calculationPass;
  page->PassSetting = Report()->PassSetting();
  page->PrintDateTime = printDateTime;
  page->DocumentName = Report()->PrinterSetup()->DocumentName();
}

void TppEngine::GenerateOnePage() {
  PageStart();
  const TppNoDataBehaviors behaviors = Report()->NoDataBehaviors();
  if (noData && behaviors.Contains(ndBlankPage)) {
    lastPage = true;
    bool showDialog = behaviors.Contains(ndMessageDialog);
    bool addCommand = false;
    Report()->DoNoData(showDialog, nullptr, addCommand);
    PageEnd();
    return;
  }
  if (SectionPage()) {
    // The section's page: only the band that holds the section goes on.
    columnTop = PrintPosition();
    BandStateLoop();
    PageEnd();
    return;
  }
  for (TppBand* style : pageStyles) {
    const int position = PrintPosition();
    style->Generate(*this);
    SetPrintPosition(position);
  }
  if (titlePending) {
    AddState(ppesTitlePrinting);
    const bool complete = PrintBand(titles.front(), true);
    RemoveState(ppesTitlePrinting);
    if (complete) {
      titlePending = false;
      // A hidden title is done without a page of its own.
      if (titles.front()->Visible() && static_cast<TppReportBand*>(titles.front())->NewPage()) EndPage();
    }
  }
  if (!pageComplete)
    for (TppBand* header : headers) PrintBand(header, false);
  if (!pageComplete) ReprintGroupHeaders();
  columnTop = PrintPosition();
  if (!pageComplete) StartColumn();
  BandStateLoop();
  PageEnd();
}

bool TppEngine::ColumnPlace(int column, int& left) const {
  const TppPageDef& def = Report()->PrinterSetup()->PageDef();
  const std::vector<int>& positions = Report()->mmColumnPositions();
  if (positions.empty()) {
    const int width = Report()->ColumnWidth();
    left = def.mmMarginLeft() + (column - 1) * width;
    return left + width <= def.mmWidth() - def.mmMarginRight();
  }
  if (column > static_cast<int>(positions.size()))
    throw EPrintError(StringReplace(ppLoadMessage(ppmsgNoColumnPosition), "<columnno>", IntToStr(column), 0) + ".");
  // A column placed by the user needs only its left edge on the page.
  left = positions[static_cast<size_t>(column - 1)];
  return left <= def.mmWidth() - def.mmMarginRight();
}

void TppEngine::PlaceColumn(int column, int position) {
  int left = 0;
  ColumnPlace(column, left);
  SetArea(left, columnTop, Report()->ColumnWidth(), position);
}

void TppEngine::StartColumn() {
  columnFootersPrinted = false;
  if (leftToRight) {
    // Every column of the page starts together: headers across the top.
    int bottom = columnTop;
    int left = 0;
    for (int column = 1; column <= Report()->Columns() && ColumnPlace(column, left); ++column) {
      PlaceColumn(column, columnTop);
      Report()->DoPassEvent(Report()->OnStartColumn, ppevStartColumn);
      for (TppBand* header : columnHeaders) PrintBand(header, false);
      bottom = std::max(bottom, PrintPosition());
    }
    currentColumn = 1;
    PlaceColumn(1, bottom);
    return;
  }
  if (Report()->Columns() > 1) PlaceColumn(currentColumn, columnTop);
  Report()->DoPassEvent(Report()->OnStartColumn, ppevStartColumn);
  for (TppBand* header : columnHeaders) PrintBand(header, false);
  if (Report()->Columns() > 1) ReprintGroupHeadersInColumn();
}

void TppEngine::NextCell() {
  int left = 0;
  if (!rowOpen) {
    rowOpen = true;
    rowTop = rowBottom = PrintPosition();
    currentColumn = 1;
  } else if (currentColumn < Report()->Columns() && ColumnPlace(currentColumn + 1, left)) {
    ++currentColumn;
  } else {
    rowTop = rowBottom;
    currentColumn = 1;
  }
  PlaceColumn(currentColumn, rowTop);
}

void TppEngine::CloseRow() {
  if (!rowOpen) return;
  rowOpen = false;
  currentColumn = 1;
  PlaceColumn(1, rowBottom);
}

void TppEngine::PrintColumnFooters() {
  if (columnFootersPrinted) return;
  columnFootersPrinted = true;
  if (!leftToRight) {
    for (TppBand* footer : columnFooters) footer->Generate(*this);
    Report()->DoPassEvent(Report()->OnEndColumn, ppevEndColumn);
    return;
  }
  int left = 0;
  for (int column = 1; column <= Report()->Columns() && ColumnPlace(column, left); ++column) {
    PlaceColumn(column, PrintPosition());
    for (TppBand* footer : columnFooters) footer->Generate(*this);
    Report()->DoPassEvent(Report()->OnEndColumn, ppevEndColumn);
  }
}

int TppEngine::SectionPageCount(int startPage) const {
  const auto it = sectionPageCounts.find(startPage);
  return it == sectionPageCounts.end() ? 0 : it->second;
}

void TppEngine::SetSectionPageNumbers(int pageNo, int pageCount) {
  sectionPageNo = pageNo;
  sectionPageCount = pageCount;
}

void TppEngine::EndColumn() {
  int left = 0;
  // A section's pages are whole pages, and one waiting for its own page
  // waits for the page, not a column.
  if (SectionPage() || sectionNext) {
    EndPage();
    return;
  }
  // Across, a band that does not fit ends the page: its row is full.
  if (!leftToRight && Report()->Columns() > 1 && currentColumn < Report()->Columns() &&
      ColumnPlace(currentColumn + 1, left)) {
    PrintColumnFooters();
    ++currentColumn;
    // Nothing but headers stands above in the new column.
    dataPrintedOnPage = false;
    StartColumn();
    return;
  }
  EndPage();
}

void TppEngine::PageEnd() {
  pageComplete = true;
  const int limit = Report()->PageLimit();
  if ((limit > 0 && absolutePageNo >= limit) || limitReached) lastPage = true;
  limitReached = false;
  if (noData && !Report()->NoDataBehaviors().Contains(ndBlankPage)) NoDataOnPage();
  if (!SectionPage()) {
    PrintColumnFooters();
    // The page's footers span the printable width, whatever column ended.
    const TppPageDef& def = Report()->PrinterSetup()->PageDef();
    SetArea(def.mmMarginLeft(), PrintTop(), def.mmPrintableWidth(), PrintPosition());
    for (TppBand* footer : footers) footer->Generate(*this);
  }
  if (!allPagesGenerated) absolutePageCount = std::max(absolutePageCount, absolutePageNo);
  SetPageFields();
  if (sectionEnding) RemoveState(ppesSectionPage);
  if (sectionNext) AddState(ppesSectionPage);
  newJobNext = sectionEnding && sectionJobEnding;
  sectionEnding = sectionNext = sectionJobEnding = false;
  CheckGenerationState();
  // What resets or computes at the report's end hears it after the last
  // page's footers, before the page's own end.
  if (lastPage) SendEventNotify(this, ppevEngineReportEnd, nullptr);
  Report()->DoEndPage();
}

void TppEngine::NoDataOnPage() {
  const TppNoDataBehaviors behaviors = Report()->NoDataBehaviors();
  bool showDialog = behaviors.Contains(ndMessageDialog);
  bool addCommand = behaviors.Contains(ndMessageOnPage);
  if (!addCommand) {
    Report()->DoNoData(showDialog, nullptr, addCommand);
    return;
  }
  auto* command = new TppDrawText(nullptr);
  TObjectPtr<TppDrawText> guard(command);
  command->Text = ppLoadMessage(ppmsgNoDataFound);
  command->Font()->SetName("Arial");
  command->Font()->SetSize(12);
  command->Font()->SetColor(clBlack);
  command->SetAlignment(taCenter);
  const TppPageDef& def = Report()->PrinterSetup()->PageDef();
  const int width = ppUnitsToMMThousandths(110, utScreenPixels, axHorizontal);
  const int height = ppUnitsToMMThousandths(18, utScreenPixels, axVertical);
  command->SetLeft(def.mmMarginLeft() + (def.mmPrintableWidth() - width) / 2);
  command->SetTop(def.mmMarginTop() + (PageBottom() - def.mmMarginTop() - height) / 2);
  command->SetWidth(width);
  command->SetHeight(height);
  command->SetArea(def.mmPrintableRect());
  Report()->DoNoData(showDialog, command, addCommand);
  if (!addCommand) return;
  command->SetPage(Page());
  guard.release();
}

// ---------------------------------------------------------------------------
// Bands

bool TppEngine::PrintBand(TppBand* band, bool dataBand) {
  // The report goes on on a new page after a section (when anything is
  // left to print: no empty page trails the last section).
  if (sectionEnding) {
    EndPage();
    return false;
  }
  const int countBefore = band->PrintCount();
  const bool detail = band->BandTypeCode() == btDetail;
  if (leftToRight && rowOpen && !detail) CloseRow();
  const bool complete = band->Generate(*this);
  if (leftToRight && detail && rowOpen) rowBottom = std::max(rowBottom, PrintPosition());
  // A cancel button's click is seen between bands.
  Report()->ProcessMessages();
  if (complete) {
    if (dataBand && band->PrintCount() > countBefore) dataPrintedOnPage = true;
    return true;
  }
  if (RollBackKeepTogether()) {
    EndPage();
    return false;
  }
  if (dataBand && band->PrintCount() > countBefore) dataPrintedOnPage = true;
  EndColumn();
  return false;
}

void TppEngine::BandStateLoop() {
  while (!pageComplete && !cancelled && bandState != bsDone) {
    switch (bandState) {
      case bsGroupHeaders: PrintGroupHeaders(); break;
      case bsDetail: PrintDetail(); break;
      case bsGroupFooters: PrintGroupFooters(); break;
      case bsSummary: PrintSummary(); break;
      case bsDone: break;
    }
    CheckGenerationState();
  }
}

void TppEngine::CheckGenerationState() const {
  const int groupCount = static_cast<int>(groups.size());
  ORV_ASSERT(bandState >= bsGroupHeaders && bandState <= bsDone);
  ORV_ASSERT(!dataFinished || bandState == bsGroupFooters || bandState == bsSummary || bandState == bsDone);
  ORV_ASSERT(dataFinished || (bandState != bsSummary && bandState != bsDone));
  ORV_ASSERT(!traversalPending || (bandState == bsGroupFooters && !dataFinished && !noData));
  ORV_ASSERT(!singleRecordDone || dataFinished);
  ORV_ASSERT(bandState != bsDone || lastPage);
  ORV_ASSERT(!titlePending || !titles.empty());
  ORV_ASSERT(!allPagesGenerated || absolutePageCount >= 1);
  ORV_ASSERT(keepCommandCount >= 0 && livePage <= pagesSaved + 1);
  ORV_ASSERT(brokenGroup == 0 || (brokenGroup > 0 && brokenGroup < groupCount));
  switch (bandState) {
    case bsGroupHeaders: ORV_ASSERT(bandIndex >= brokenGroup && bandIndex <= groupCount); break;
    case bsDetail: ORV_ASSERT(bandIndex == 0); break;
    case bsGroupFooters: ORV_ASSERT(bandIndex >= 0 && bandIndex <= groupCount - brokenGroup); break;
    case bsSummary:
    case bsDone: ORV_ASSERT(bandIndex == 0 || bandIndex == 1); break;
  }
  ORV_ASSERT(!rowOpen || leftToRight);
  ORV_ASSERT(keepGroup >= -1 && keepGroup < groupCount);
  ORV_ASSERT(keepGroup < 0 || !keepSnapshot.empty());
}

void TppEngine::PrintGroupHeaders() {
  for (; bandIndex < static_cast<int>(groups.size()); ++bandIndex) {
    TppGroup* group = groups[static_cast<size_t>(bandIndex)];
    if (!group->HeaderPending()) continue;
    if (dataPrintedOnPage && !group->AlreadyPageBreak() && Report()->Columns() > 1) {
      // Across, the column's end is the page's (EndColumn).
      const int threshold = group->mmNewColumnThreshold();
      if (group->NewColumn() || (threshold > 0 && PageBottom() - PrintPosition() < threshold)) {
        group->SetAlreadyPageBreak(true);
        EndColumn();
        return;
      }
    }
    const bool columnInstead = group->NewPage() && group->NewColumn() && Report()->Columns() > 1;
    if (dataPrintedOnPage && !group->AlreadyPageBreak() && !columnInstead) {
      const int threshold = group->mmNewPageThreshold();
      if (group->NewPage() || (threshold > 0 && PageBottom() - PrintPosition() < threshold)) {
        group->SetAlreadyPageBreak(true);
        EndPage();
        return;
      }
    }
    if (group->KeepTogether() && dataPrintedOnPage && keepGroup < 0) TakeKeepSnapshot(bandIndex);
    if (group->HeaderBand()) {
      group->DoBeforeHeader();
      if (!PrintBand(group->HeaderBand(), true)) return;
    }
    group->SetBreaking(false);
    group->SetHeaderPending(false);
    group->SetAlreadyPageBreak(false);
    group->HeaderPrinted(absolutePageNo, currentColumn);
    if (pageComplete) {
      ++bandIndex;
      return;
    }
  }
  bandState = bsDetail;
  bandIndex = 0;
}

bool TppEngine::GroupOpen(int group) const {
  const int count = static_cast<int>(groups.size());
  return bandState == bsDetail || (bandState == bsGroupHeaders && group < bandIndex) ||
         (bandState == bsGroupFooters && group < count - bandIndex);
}

bool TppEngine::ReprintsByColumn(const TppGroup* group) const {
  return !leftToRight && Report()->Columns() > 1 && group->ReprintOnSubsequentColumn();
}

void TppEngine::ReprintGroupHeaders() {
  for (int g = 0; g < static_cast<int>(groups.size()); ++g) {
    TppGroup* group = groups[static_cast<size_t>(g)];
    // A header that reprints by column prints in the page's first column.
    if (!group->ReprintOnSubsequentPage() || ReprintsByColumn(group) || group->HeaderPending() || !GroupOpen(g) ||
        !group->HeaderBand())
      continue;
    if (!PrintBand(group->HeaderBand(), false)) return;
  }
}

void TppEngine::ReprintGroupHeadersInColumn() {
  for (int g = 0; g < static_cast<int>(groups.size()); ++g) {
    TppGroup* group = groups[static_cast<size_t>(g)];
    if (!ReprintsByColumn(group) || group->HeaderPending() || !GroupOpen(g) || !group->HeaderBand() ||
        !group->ReprintsInColumn(absolutePageNo, currentColumn))
      continue;
    if (!PrintBand(group->HeaderBand(), false)) return;
  }
}

void TppEngine::ApplyRestoredPositions() {
  if (pipeline) pipeline->SetPosition(restoredPosition);
  if (detailPipeline) detailPipeline->SetPosition(restoredDetailPosition);
  for (TppGroup* group : groups) group->SyncBreakValue();
}

void TppEngine::AdvanceAfterBreak() {
  if (detailPipeline && !detailPipeline->Eof()) {
    detailPipeline->Next();
  } else {
    pipeline->Next();
    if (detailPipeline) detailPipeline->First();
  }
  RecordReached();
}

void TppEngine::RecordReached() { SendEventNotify(this, ppevEngineTraversal, nullptr); }

void TppEngine::PrintDetail() {
  auto* detail = details.empty() ? nullptr : static_cast<TppDetailBand*>(details.front());
  // A master without detail records prints no detail band.
  const bool noDetails = detailPipeline && detailPipeline->Eof();
  if (detail && !noData && !noDetails) {
    while (detail->BandsPerRecordCount() <= detail->BandsPerRecord()) {
      if (leftToRight) NextCell();
      if (!PrintBand(detail, true)) return;
      detail->SetBandsPerRecordCount(detail->BandsPerRecordCount() + 1);
      if (pageComplete) return;
    }
    detail->SetBandsPerRecordCount(1);
  }
  Traverse();
}

void TppEngine::Traverse() {
  const auto finish = [this] {
    dataFinished = true;
    brokenGroup = 0;
    bandState = groups.empty() || noData ? bsSummary : bsGroupFooters;
    bandIndex = 0;
  };
  if (!pipeline || noData) {
    singleRecordDone = true;
    finish();
    return;
  }
  // With a detail pipeline its records come first; the master moves when
  // they are used up.
  bool masterMoved = true;
  const TppPipelinePosition masterBefore = pipeline->GetPosition();
  const TppPipelinePosition detailBefore = detailPipeline ? detailPipeline->GetPosition() : TppPipelinePosition{};
  if (detailPipeline) {
    detailPipeline->Next();
    masterMoved = detailPipeline->Eof();
  }
  if (masterMoved) {
    pipeline->Next();
    if (pipeline->Eof()) {
      finish();
      return;
    }
    if (detailPipeline) detailPipeline->First();
  }
  for (int g = 0; g < static_cast<int>(groups.size()); ++g) {
    if (!groups[static_cast<size_t>(g)]->ValueChanged()) continue;
    // The footers see the group's last record; the next one is fetched
    // once they have printed.
    if (!detailPipeline) {
      pipeline->Prior();
    } else if (masterMoved) {
      // Masters without details may lie between: back by position.
      pipeline->SetPosition(masterBefore);
      detailPipeline->SetPosition(detailBefore);
      detailPipeline->Next();
    } else {
      detailPipeline->Prior();
    }
    traversalPending = true;
    for (int inner = g; inner < static_cast<int>(groups.size()); ++inner) groups[static_cast<size_t>(inner)]->SetBreaking(true);
    brokenGroup = g;
    bandState = bsGroupFooters;
    bandIndex = 0;
    return;
  }
  RecordReached();
}

void TppEngine::PrintGroupFooters() {
  const int count = static_cast<int>(groups.size());
  for (; bandIndex < count - brokenGroup; ++bandIndex) {
    const int g = count - 1 - bandIndex;
    TppGroup* group = groups[static_cast<size_t>(g)];
    if (group->FooterBand()) {
      group->DoBeforeFooter();
      if (!PrintBand(group->FooterBand(), true)) return;
    }
    groupLastPages[{group->GroupNo(), group->BreakNo()}] = absolutePageNo;
    group->FooterPrinted();
    if (keepGroup == g) keepGroup = -1;
    if (pageComplete) {
      ++bandIndex;
      return;
    }
  }
  if (dataFinished) {
    bandState = bsSummary;
    bandIndex = 0;
    return;
  }
  if (traversalPending) {
    AdvanceAfterBreak();
    traversalPending = false;
  }
  for (int g = brokenGroup; g < count; ++g) groups[static_cast<size_t>(g)]->StartBreak();
  bandState = bsGroupHeaders;
  bandIndex = brokenGroup;
}

void TppEngine::PrintSummary() {
  auto* summary = summaries.empty() ? nullptr : static_cast<TppSummaryBand*>(summaries.front());
  if (summary) {
    if (summary->Visible() && summary->NewPage() && bandIndex == 0 && dataPrintedOnPage) {
      bandIndex = 1;
      EndPage();
      return;
    }
    AddState(ppesSummaryPrinting);
    const bool complete = PrintBand(summary, true);
    RemoveState(ppesSummaryPrinting);
    if (!complete) return;
  }
  lastPage = true;
  bandState = bsDone;
}

// ---------------------------------------------------------------------------
// Keeping a group together: the state when its header began is kept; when
// the group overflows the page before its footer, generation goes back
// there once and the group starts on the next page.

void TppEngine::TakeKeepSnapshot(int group) {
  keepSnapshot.clear();
  for (TppCacheable* c : Cacheables()) {
    std::vector<uint8_t> record(static_cast<size_t>(c->CacheRecordSize()));
    c->CaptureState(record.data());
    keepSnapshot.push_back(std::move(record));
  }
  keepCommandCount = Page()->GetDrawCommandCount();
  keepGroup = group;
}

bool TppEngine::RollBackKeepTogether() {
  if (keepGroup < 0) return false;
  const std::vector<TppCacheable*> objects = Cacheables();
  if (objects.size() != keepSnapshot.size()) return false;
  for (size_t i = 0; i < objects.size(); ++i) objects[i]->ApplyState(keepSnapshot[i].data());
  ApplyRestoredPositions();
  TppPage* page = Page();
  while (page->GetDrawCommandCount() > keepCommandCount) {
    TppDrawCommand* command = page->GetDrawCommand(page->GetDrawCommandCount() - 1);
    command->SetPage(nullptr);
    command->Free();
  }
  // The header waits for the next page, where nothing stands before it.
  groups[static_cast<size_t>(keepGroup)]->SetAlreadyPageBreak(true);
  groups[static_cast<size_t>(keepGroup)]->SetKeptTogether(true);
  keepGroup = -1;
  keepSnapshot.clear();
  return true;
}

// ---------------------------------------------------------------------------
// Page state

void TppEngine::CaptureState(uint8_t* record) const {
  TStateRecord r{};
  r.BandState = bandState;
  r.DataFinished = dataFinished;
  r.TitlePending = titlePending;
  r.LastPage = lastPage;
  r.TraversalPending = traversalPending;
  r.NoData = noData;
  r.SectionPage = SectionPage();
  r.NewJobNext = newJobNext;
  r.BandIndex = bandIndex;
  r.BrokenGroup = brokenGroup;
  const TppPipelinePosition position = pipeline ? pipeline->GetPosition(true) : TppPipelinePosition{};
  r.Mark = position.Mark;
  r.TraversalCount = position.TraversalCount;
  r.DataOffset = position.DataOffset;
  r.AtEnd = position.AtEnd;
  const TppPipelinePosition detail = detailPipeline ? detailPipeline->GetPosition(true) : TppPipelinePosition{};
  r.DetailMark = detail.Mark;
  r.DetailTraversalCount = detail.TraversalCount;
  r.DetailDataOffset = detail.DataOffset;
  r.DetailAtEnd = detail.AtEnd;
  r.SingleRecordDone = singleRecordDone;
  std::memcpy(record, &r, sizeof r);
}

void TppEngine::ApplyState(const uint8_t* record) {
  TStateRecord r;
  std::memcpy(&r, record, sizeof r);
  bandState = static_cast<TppBandState>(r.BandState);
  dataFinished = r.DataFinished != 0;
  titlePending = r.TitlePending != 0;
  lastPage = r.LastPage != 0;
  traversalPending = r.TraversalPending != 0;
  noData = r.NoData != 0;
  if (r.SectionPage) AddState(ppesSectionPage);
  else RemoveState(ppesSectionPage);
  newJobNext = r.NewJobNext != 0;
  bandIndex = r.BandIndex;
  brokenGroup = r.BrokenGroup;
  singleRecordDone = r.SingleRecordDone != 0;
  restoredPosition =
      TppPipelinePosition{r.TraversalCount, r.DataOffset, r.TraversalCount == 0, r.AtEnd != 0, noData, r.Mark};
  restoredDetailPosition = TppPipelinePosition{r.DetailTraversalCount, r.DetailDataOffset, r.DetailTraversalCount == 0,
                                               r.DetailAtEnd != 0, false, r.DetailMark};
  CheckGenerationState();
}
