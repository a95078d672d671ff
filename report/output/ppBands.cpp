#include "ppBands.h"

#include "ppUnits.h"
#include "rtlFiler.h"
#include "rtlReader.h"

#include <algorithm>
#include <cstring>

#include "ppDataPipeline.h"
#include "ppEngine.h"
#include "ppGroup.h"
#include "ppPage.h"
#include "ppPrinterSetup.h"
#include "ppReport.h"
#include "ppUtils.h"
#include "ppErrors.h"
#include "ppMessages.h"
#include "rtlConvert.h"
#include "rtlFormat.h"
#include "rtlStrUtils.h"
#include "rtlStringList.h"

namespace {
std::string SortKey(int first, int second = -1) {
  std::string key = Format("%8d", {first});
  if (second >= 0) key += Format("%8d", {second});
  return key;
}
}  // namespace

namespace {
constexpr int ppevAfterPrint = 23;
constexpr int ppevBeforePrint = 24;
constexpr int ppevAfterGenerate = 25;
constexpr int ppevBeforeGenerate = 26;
}  // namespace

const TClassInfo& TppBand::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TppBand>("TppBand")
                                     .Property("mmBottomOffset", &TppBand::mmBottomOffset, &TppBand::SetmmBottomOffset)
                                     .Default(0)
                                     .Property("mmHeight", &TppBand::mmHeight, &TppBand::SetmmHeight)
                                     .Property("mmPrintPosition", &TppBand::mmPrintPosition, &TppBand::SetmmPrintPosition)
                                     .Default(0)
                                     .Property("PrintHeight", &TppBand::PrintHeight, &TppBand::SetPrintHeight)
                                     .Default(phStatic)
                                     .Property("Save", &TppBand::Save, &TppBand::SetSave)
                                     .Default(0)
                                     .Property("Visible", &TppBand::Visible, &TppBand::SetVisible)
                                     .Default(1)
                                     .Event("AfterGenerate", &TppBand::AfterGenerate)
                                     .Event("AfterPrint", &TppBand::AfterPrint)
                                     .Event("BeforeGenerate", &TppBand::BeforeGenerate)
                                     .Event("BeforePrint", &TppBand::BeforePrint)
                                     .Build();
  return info;
}

TppBand::TppBand(TComponent* owner) : TppCacheable(owner) {
  SetCacheRecordSize(sizeof(TStateRecord));
  SetOrderedChildren(true);
}

TppBand::~TppBand() {
  FreeChildren();
  SetReport(nullptr);
}

void TppBand::BeforeDestruction() {
  FreeChildren();
  SetReport(nullptr);
  inherited::BeforeDestruction();
}

void TppBand::SetReport(TppCustomReport* value) {
  if (value == report) return;
  if (report) report->RemoveBand(this);
  report = value;
  if (report) report->AddBand(this);
  for (int i = 0; i < ObjectCount(); ++i) Objects(i)->BandChanged();
}

void TppBand::SetmmHeight(int value) {
  value = std::max(value, 0);
  if (value == 0 && ObjectCount() > 0 && report) return;
  height = value;
  // Components below the new bottom move up to fit, or to the top.
  for (int i = 0; i < ObjectCount(); ++i) {
    TppComponent* c = Objects(i);
    if (c->mmTop() + c->mmHeight() > height) c->SetmmTop(c->mmHeight() <= height ? height - c->mmHeight() : 0);
  }
  LayoutChanged();
}

void TppBand::SetPrintHeight(TppPrintHeightType value) {
  if (value == printHeight) return;
  printHeight = value;
  LayoutChanged();
}

void TppBand::SetSave(bool value) {
  if (value == save) return;
  save = value;
  LayoutChanged();
}

void TppBand::SetVisible(bool value) {
  if (value == visible) return;
  visible = value;
  LayoutChanged();
}

void TppBand::LayoutChanged() {
  const TComponentState state = ComponentState();
  if (report && !state.Contains(csReading) && !state.Contains(csLoading)) report->Reset();
}

TppComponent* TppBand::Objects(int index) const { return static_cast<TppComponent*>(GetChild(index)); }

int TppBand::FindObjectByName(const std::string& name) const {
  for (int i = 0; i < ObjectCount(); ++i)
    if (Objects(i)->Name() == name) return i;
  return -1;
}

int TppBand::GetPrintableWidth() const {
  return report ? report->PrinterSetup()->PageDef().mmPrintableWidth() : 0;
}

void TppBand::StartOfRun() {
  printCount = 0;
  partialGeneration = false;
  forceFit = false;
  spaceUsed = 0;
  for (int i = 0; i < ObjectCount(); ++i) Objects(i)->InitGeneration();
}

bool TppBand::Generate(TppEngine& engine) {
  if (!visible || !(engine.PageState() & KindFlags()) || !PrintsOnThisPage(engine)) return true;
  if (BeforeGenerate) BeforeGenerate(this);
  SendEventNotify(this, ppevBeforeGenerate, nullptr);
  TppPage* page = engine.Page();
  const int bottom = engine.PageBottom() - bottomOffset;
  int start = engine.PrintPosition();
  if (printPosition > 0) {
    if (engine.Report()->PrinterSetup()->PageDef().mmMarginTop() + printPosition >= bottom)
      throw EPrintError(ppLoadMessage(415) + ".");
    start = std::max(start, engine.Report()->PrinterSetup()->PageDef().mmMarginTop() + printPosition);
  }
  start = PlacementTop(engine, start);
  // Nothing but page bands stands above: waiting for another page gains
  // nothing, so what cannot fit is clipped here.
  forceFit = !engine.DataPrintedOnPage();
  const bool placedAtBottom = KindFlags() == ppbkPageFooter || KindFlags() == ppbkColumnFooter;
  if (printHeight == phStatic && start + height > bottom && !forceFit && !placedAtBottom) return false;
  startingPosition = start;
  pageBottom = printHeight == phStatic ? std::max(start + height, start) : bottom;
  printLeft = engine.PrintLeft();
  ++printCount;
  if (BeforePrint) BeforePrint(this);
  SendEventNotify(this, ppevBeforePrint, nullptr);
  const bool complete = PrintComponents(page);
  if (AfterPrint) AfterPrint(this);
  SendEventNotify(this, ppevAfterPrint, nullptr);
  int used = printHeight == phStatic ? height : spaceUsed;
  if (printHeight == phStatic && forceFit) used = std::min(used, std::max(bottom - start, 0));
  engine.SetPrintPosition(std::max(engine.PrintPosition(), start + used + (complete ? bottomOffset : 0)));
  if (AfterGenerate) AfterGenerate(this);
  SendEventNotify(this, ppevAfterGenerate, nullptr);
  partialGeneration = !complete;
  if (complete) AfterComplete(engine);
  return complete;
}

bool TppBand::PrintComponents(TppPage* page) {
  int lowest = startingPosition;
  bool complete = true;
  spaceUsed = 0;
  maxStretchable = nullptr;
  // Components that follow their parent's growth go after the others, so
  // that they see how far the stretchables went.
  const auto follows = [](const TppComponent* c) { return c->ShiftWithParent() || c->StretchWithParent(); };
  for (int round = 0; round < 2; ++round) {
    for (int i = 0; i < ObjectCount(); ++i) {
      TppComponent* c = Objects(i);
      // A region or a stretchable generates and draws those it holds.
      if (c->GeneratedByOther() || follows(c) != (round == 1)) continue;
      if (partialGeneration && c->GenerationComplete() && !c->ReprintOnOverFlow()) {
        c->SetDrawComponent(false);
        continue;
      }
      c->ResetGeneration();
      c->SetDrawComponent(c->Visible());
      c->Generate();
      if (!c->GenerationComplete()) complete = false;
      if (c->DrawComponent() && c->SpaceUsed() > 0) {
        const int bottom = c->DrawRect().Top + c->SpaceUsed();
        if (c->IsStretchable() && (!maxStretchable || bottom > lowest)) maxStretchable = c;
        lowest = std::max(lowest, bottom);
      }
      spaceUsed = lowest - startingPosition;
    }
  }
  for (int i = 0; i < ObjectCount(); ++i) {
    TppComponent* c = Objects(i);
    if (c->GeneratedByOther() || !c->DrawComponent() || c->OutOfSpace()) continue;
    // A two-pass report's first pass only learns where everything goes:
    // what keeps no state by drawing makes no command on its pages.
    if (page->Calculation && !c->DrawsOnCalculationPages()) page->CountOmittedCommand();
    else c->DrawToPage(page);
  }
  return complete;
}

void TppBand::CaptureState(uint8_t* record) const {
  TStateRecord r{};
  r.PartialGeneration = partialGeneration;
  r.ForceFit = forceFit;
  r.PrintCount = printCount;
  CaptureKindState(r.Kind);
  std::memcpy(record, &r, sizeof r);
}

void TppBand::ApplyState(const uint8_t* record) {
  TStateRecord r;
  std::memcpy(&r, record, sizeof r);
  partialGeneration = r.PartialGeneration != 0;
  forceFit = r.ForceFit != 0;
  printCount = r.PrintCount;
  ApplyKindState(r.Kind);
}

void TppBand::GetChildren(const TGetChildProc& proc, TComponent* root) {
  // A region writes the components inside it.
  for (int i = 0; i < ObjectCount(); ++i)
    if (!Objects(i)->Region()) proc(Objects(i));
}

TComponent* TppBand::GetParentComponent() const { return report; }

void TppBand::SetParentComponent(TComponent* value) { SetReport(dynamic_cast<TppCustomReport*>(value)); }

void TppBand::DefineProperties(TFiler& filer) {
  inherited::DefineProperties(filer);
  // Older layouts: read, never written.
  filer.DefineProperty("OnPrint", [this](TReader& reader) { legacyOnPrint = reader.ReadIdent(); }, nullptr, false);
  for (const char* dropped : {"OnSaveLineEnd", "OnSaveLineStart", "Left", "Top"})
    filer.DefineProperty(dropped, [](TReader& reader) { reader.SkipValue(); }, nullptr, false);
}

void TppBand::ConvertFromVersion(int versionNo) {
  for (int i = 0; i < ObjectCount(); ++i) Objects(i)->UpgradeFromVersion(versionNo);
  if (versionNo < 1270 && !legacyOnPrint.empty() && Owner()) {
    // The handler is the owner's published method of that name, bound to
    // the owner (the layout's root).
    if (const TMethodInfo* method = Owner()->ClassType().FindMethod(legacyOnPrint))
      BeforePrint.SetMethod(TMethod{Owner(), method});
  }
  legacyOnPrint.clear();
  // Heights were stored in screen pixels.
  if (versionNo < 2097) height = ppUnitsToMMThousandths(height, utScreenPixels, axVertical);
  if (versionNo < 3000 && printHeight == phDynamic) {
    int lowest = 0;
    for (int i = 0; i < ObjectCount(); ++i) lowest = std::max(lowest, Objects(i)->mmTop() + Objects(i)->mmHeight());
    if (height - lowest > 0) bottomOffset = height - lowest;
  }
}

void TppBand::Loaded() {
  inherited::Loaded();
  if (height < 0) height = 0;
}

// ---------------------------------------------------------------------------

const TClassInfo& TppPageBand::StaticClassType() {
  static const TClassInfo info =
      TClassBuilder<TppPageBand>("TppPageBand")
          .Property("PrintOnFirstPage", &TppPageBand::PrintOnFirstPage, &TppPageBand::SetPrintOnFirstPage)
          .Default(1)
          .Property("PrintOnLastPage", &TppPageBand::PrintOnLastPage, &TppPageBand::SetPrintOnLastPage)
          .Default(1)
          .Build();
  return info;
}

void TppPageBand::SetPrintOnFirstPage(bool value) {
  printOnFirstPage = value;
  LayoutChanged();
}

void TppPageBand::SetPrintOnLastPage(bool value) {
  printOnLastPage = value;
  LayoutChanged();
}

bool TppPageBand::PrintsOn(const TppEngine& engine) const {
  if (!printOnFirstPage && engine.AbsolutePageNo() == 1) return false;
  if (!printOnLastPage && engine.IsLastPage()) return false;
  return true;
}

RTL_DEFINE_CLASS(TppHeaderBand)
std::string TppHeaderBand::GetSortKey() const { return SortKey(2); }

RTL_DEFINE_CLASS(TppFooterBand)
std::string TppFooterBand::GetSortKey() const { return SortKey(8); }

int TppFooterBand::PlacementTop(TppEngine& engine, int) {
  const TppPageDef& def = engine.Report()->PrinterSetup()->PageDef();
  return def.mmHeight() - def.mmMarginBottom() - mmHeight();
}

const TClassInfo& TppReportBand::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TppReportBand>("TppReportBand")
                                     .Property("NewPage", &TppReportBand::NewPage, &TppReportBand::SetNewPage)
                                     .Default(0)
                                     .Build();
  return info;
}

RTL_DEFINE_CLASS(TppTitleBand)
std::string TppTitleBand::GetSortKey() const { return SortKey(1); }

RTL_DEFINE_CLASS(TppSummaryBand)
std::string TppSummaryBand::GetSortKey() const { return SortKey(9); }

RTL_DEFINE_CLASS(TppColumnHeaderBand)
std::string TppColumnHeaderBand::GetSortKey() const { return SortKey(3); }

RTL_DEFINE_CLASS(TppColumnFooterBand)
std::string TppColumnFooterBand::GetSortKey() const { return SortKey(7); }

void TppDetailBand::DefineProperties(TFiler& filer) {
  inherited::DefineProperties(filer);
  // Older layouts: read and dropped.
  for (const char* dropped : {"DataSource", "NoRecordsAction", "SkipWhenNoRecords"})
    filer.DefineProperty(dropped, [](TReader& reader) { reader.SkipValue(); }, nullptr, false);
}

int TppColumnFooterBand::PlacementTop(TppEngine& engine, int) { return engine.PageBottom(); }

const TClassInfo& TppDetailBand::StaticClassType() {
  static const TClassInfo info =
      TClassBuilder<TppDetailBand>("TppDetailBand")
          .Property("BandsPerRecord", &TppDetailBand::BandsPerRecord, &TppDetailBand::SetBandsPerRecord)
          .Default(1)
          .Property("ColumnTraversal", &TppDetailBand::ColumnTraversal, &TppDetailBand::SetColumnTraversal)
          .Default(ctTopToBottom)
          .Build();
  return info;
}

std::string TppDetailBand::GetSortKey() const { return SortKey(5); }

void TppDetailBand::SetDataPipeline(TppDataPipeline* value) {
  if (value == dataPipeline) return;
  TppDataPipeline* old = dataPipeline;
  if (dataPipeline) RemoveNotify(dataPipeline);
  dataPipeline = value;
  if (dataPipeline) AddNotify(dataPipeline);
  // Components that read the old pipeline read the new one.
  for (int i = 0; i < ObjectCount(); ++i)
    if (Objects(i)->IsDataAware() && Objects(i)->DataPipeline() == old && value) Objects(i)->SetDataPipeline(value);
  LayoutChanged();
}

void TppDetailBand::Notify(TppCommunicator* sender, int operation) {
  inherited::Notify(sender, operation);
  if (operation == ppopRemove && sender == static_cast<TppCommunicator*>(dataPipeline)) dataPipeline = nullptr;
}

void TppDetailBand::StartOfRun() {
  inherited::StartOfRun();
  bandsPerRecordCount = 1;
}

void TppDetailBand::CaptureKindState(uint8_t* extra) const {
  const int32_t count = bandsPerRecordCount;
  std::memcpy(extra, &count, sizeof count);
}

void TppDetailBand::ApplyKindState(const uint8_t* extra) {
  int32_t count;
  std::memcpy(&count, extra, sizeof count);
  bandsPerRecordCount = count;
}

RTL_DEFINE_CLASS(TppGroupBand)

TppGroupBand::~TppGroupBand() {
  if (group) group->DetachBand(this);
}

std::string TppGroupBand::GetDescription() const {
  constexpr int headerCaption = 192, footerCaption = 191, noFieldCaption = 300, noComponentCaption = 301;
  std::string described = ppLoadMessage(BandTypeCode() == btGroupHeader ? headerCaption : footerCaption) + "[" +
                          std::to_string(group ? group->GroupNo() : -1) + "]: ";
  if (!group) return described;
  if (group->BreakName().empty())
    return described + ppLoadMessage(group->BreakType() == btDataField ? noFieldCaption : noComponentCaption);
  const TppDataPipeline* pipeline = group->DataPipeline();
  return described + (group->BreakType() == btDataField && pipeline ? pipeline->GetFieldAlias(group->BreakName()) : group->BreakName());
}

TComponent* TppGroupBand::GetParentComponent() const { return group; }

void TppGroupBand::SetParentComponent(TComponent* value) {
  if (auto* owningGroup = dynamic_cast<TppGroup*>(value)) owningGroup->AttachBand(this);
}

RTL_DEFINE_CLASS(TppGroupHeaderBand)

uint16_t TppGroupHeaderBand::KindFlags() const {
  uint16_t flags = ppbkGroupHeader;
  if (Group() && Group()->ReprintOnSubsequentPage()) flags |= ppbkPageHeader;
  if (Group() && Group()->ReprintOnSubsequentColumn() && Report() && Report()->Columns() >= 2)
    flags |= ppbkColumnHeader;
  return flags;
}

std::string TppGroupHeaderBand::GetSortKey() const { return SortKey(4, Group() ? std::max(Group()->GroupNo(), 0) : 0); }

RTL_DEFINE_CLASS(TppGroupFooterBand)

std::string TppGroupFooterBand::GetSortKey() const {
  return SortKey(6, 99999999 - ((Group() ? std::max(Group()->GroupNo(), 0) : 0) + 1));
}

const TClassInfo& TppPageStyle::StaticClassType() {
  static const TClassInfo info =
      TClassBuilder<TppPageStyle>("TppPageStyle")
          .Property("EndPage", &TppPageStyle::EndPage, &TppPageStyle::SetEndPage)
          .Default(0)
          .Property("PageSetting", &TppPageStyle::PageSetting, &TppPageStyle::SetPageSetting)
          .Default(psAll)
          .Property("SinglePage", &TppPageStyle::SinglePage, &TppPageStyle::SetSinglePage)
          .Default(0)
          .Property("StartPage", &TppPageStyle::StartPage, &TppPageStyle::SetStartPage)
          .Default(0)
          .Property("ValidPages", &TppPageStyle::ValidPages, &TppPageStyle::SetValidPages)
          .Build();
  return info;
}

std::string TppPageStyle::GetSortKey() const { return SortKey(0); }

void TppPageStyle::SetValidPages(const std::string& value) {
  validPages = value;
  TStringList list;
  pageList.clear();
  if (ppParsePageList(value, list, true))
    for (int i = 0; i < list.Count(); ++i) pageList.push_back(StrToIntDef(Trim(list.Get(i)), 0));
  if (!ComponentState().Contains(csReading)) pageSetting = psPageList;
}

bool TppPageStyle::PrintsOnThisPage(TppEngine& engine) {
  const int page = engine.AbsolutePageNo();
  switch (pageSetting) {
    case psAll: return true;
    case psPageList: return std::find(pageList.begin(), pageList.end(), page) != pageList.end();
    case psSinglePage: return page == singlePage;
    case psFirstPage: return page == 1;
    case psLastPage: return engine.AllPagesGenerated() && page == engine.AbsolutePageCount();
    // Whether EndPage also bounds the range is open; the range is taken to
    // end there when it is set.
    case psPageRange: return page >= startPage && (endPage <= 0 || page <= endPage);
  }
  return false;
}

int TppPageStyle::PlacementTop(TppEngine& engine, int) {
  return engine.Report()->PrinterSetup()->PageDef().mmMarginTop();
}

void ppRegisterBandClasses() {
  for (const TClassInfo* info :
       {&TppHeaderBand::StaticClassType(), &TppFooterBand::StaticClassType(), &TppTitleBand::StaticClassType(),
        &TppSummaryBand::StaticClassType(), &TppColumnHeaderBand::StaticClassType(),
        &TppColumnFooterBand::StaticClassType(), &TppDetailBand::StaticClassType(),
        &TppGroupHeaderBand::StaticClassType(), &TppGroupFooterBand::StaticClassType(),
        &TppPageStyle::StaticClassType()})
    RegisterClass(*info);
}
