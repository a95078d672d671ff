#include "ppGroup.h"

#include <cstring>

#include "ppBands.h"
#include "ppDataPipeline.h"
#include "ppEngine.h"
#include "ppMessages.h"
#include "ppReport.h"
#include "ppUnits.h"
#include "rtlAssert.h"
#include "rtlFiler.h"
#include "rtlReader.h"

namespace {
constexpr int ppevBeforeGroupBreak = 28;
constexpr int ppevGetBreakValue = 31;
}  // namespace

const TClassInfo& TppGroup::StaticClassType() {
  static const TClassInfo info =
      TClassBuilder<TppGroup>("TppGroup")
          .Property("BreakName", &TppGroup::BreakName, &TppGroup::SetBreakName)
          .Property("BreakType", &TppGroup::BreakType, &TppGroup::SetBreakType)
          .Default(btDataField)
          .Property("HeaderForOrphanedFooter", &TppGroup::HeaderForOrphanedFooter, &TppGroup::SetHeaderForOrphanedFooter)
          .Default(1)
          .Property("KeepTogether", &TppGroup::KeepTogether, &TppGroup::SetKeepTogether)
          .Default(0)
          .Property("mmNewColumnThreshold", &TppGroup::mmNewColumnThreshold, &TppGroup::SetmmNewColumnThreshold)
          .Default(0)
          .Property("mmNewPageThreshold", &TppGroup::mmNewPageThreshold, &TppGroup::SetmmNewPageThreshold)
          .Default(0)
          .Property("NewColumn", &TppGroup::NewColumn, &TppGroup::SetNewColumn)
          .Default(0)
          .Property("NewPage", &TppGroup::NewPage, &TppGroup::SetNewPage)
          .Default(0)
          .Property("ReprintOnSubsequentColumn", &TppGroup::ReprintOnSubsequentColumn,
                    &TppGroup::SetReprintOnSubsequentColumn)
          .Default(1)
          .Property("ReprintOnSubsequentPage", &TppGroup::ReprintOnSubsequentPage,
                    &TppGroup::SetReprintOnSubsequentPage)
          .Default(1)
          .Property("ResetPageNo", &TppGroup::ResetPageNo, &TppGroup::SetResetPageNo)
          .Default(0)
          .Event("AfterGroupBreak", &TppGroup::AfterGroupBreak)
          .Event("BeforeGroupBreak", &TppGroup::BeforeGroupBreak)
          .Event("OnGetBreakValue", &TppGroup::OnGetBreakValue)
          .Build();
  return info;
}

TppGroup::TppGroup(TComponent* owner) : TppCacheable(owner) {
  SetCacheRecordSize(sizeof(TStateRecord));
  // While a layout is read, the bands come from the stream.
  if (owner && (owner->ComponentState().Contains(csReading) || owner->ComponentState().Contains(csLoading))) return;
  header = new TppGroupHeaderBand(owner);
  header->SetGroup(this);
  footer = new TppGroupFooterBand(owner);
  footer->SetGroup(this);
}

TppGroup::~TppGroup() {
  SetReport(nullptr);
  FreeAndNil(header);
  FreeAndNil(footer);
}

void TppGroup::BeforeDestruction() {
  SetReport(nullptr);
  FreeAndNil(header);
  FreeAndNil(footer);
  inherited::BeforeDestruction();
}

void TppGroup::AttachBand(TppBand* band) {
  if (auto* h = dynamic_cast<TppGroupHeaderBand*>(band)) {
    if (header && header != h) FreeAndNil(header);
    header = h;
    h->SetGroup(this);
  } else if (auto* f = dynamic_cast<TppGroupFooterBand*>(band)) {
    if (footer && footer != f) FreeAndNil(footer);
    footer = f;
    f->SetGroup(this);
  } else {
    return;
  }
  band->SetReport(report);
}

void TppGroup::DetachBand(const TppBand* band) {
  if (band == static_cast<const TppBand*>(header)) header = nullptr;
  if (band == static_cast<const TppBand*>(footer)) footer = nullptr;
}

void TppGroup::SetReport(TppCustomReport* value) {
  if (value == report) return;
  // Its header and footer go wherever the group goes, so they must name it.
  ORV_ASSERT(!header || header->Group() == this);
  ORV_ASSERT(!footer || footer->Group() == this);
  if (header) header->SetReport(nullptr);
  if (footer) footer->SetReport(nullptr);
  if (report) report->RemoveGroup(this);
  report = value;
  if (!report) return;
  report->AddGroup(this);
  if (header) header->SetReport(report);
  if (footer) footer->SetReport(report);
}

int TppGroup::GroupNo() const { return report ? report->IndexOfGroup(this) : -1; }

void TppGroup::SetBreakName(const std::string& value) {
  breakName = value;
  if (report) report->Reset();
}

TppDataPipeline* TppGroup::DataPipeline() const {
  if (dataPipeline) return dataPipeline;
  return report ? report->DataPipeline() : nullptr;
}

void TppGroup::SetNewPage(bool value) {
  newPage = value;
  if (value) keepTogether = false;
}

void TppGroup::DefineProperties(TFiler& filer) {
  inherited::DefineProperties(filer);
  // Older layouts: read, never written.
  filer.DefineProperty("FieldName", [this](TReader& reader) { legacyFieldName = reader.ReadString(); }, nullptr,
                       false);
  filer.DefineProperty("ReprintOnSubsequent", [this](TReader& reader) { legacyReprint = reader.ReadBoolean(); },
                       nullptr, false);
  filer.DefineProperty("NewPageThreshold",
                       [this](TReader& reader) { legacyThreshold = static_cast<double>(reader.ReadFloat()); },
                       nullptr, false);
  for (const char* dropped : {"Left", "Top"})
    filer.DefineProperty(dropped, [](TReader& reader) { reader.SkipValue(); }, nullptr, false);
}

void TppGroup::ConvertFromVersion(int versionNo) {
  if (versionNo < 1270 && !legacyFieldName.empty()) breakName = legacyFieldName;
  if (versionNo < 2097) {
    newColumn = newPage;
    reprintOnSubsequentPage = legacyReprint;
    const TppUnitType units = report ? report->Units() : utInches;
    newPageThreshold = newColumnThreshold = std::max(ppUnitsToMMThousandths(legacyThreshold, units, axVertical), 0);
  }
}

void TppGroup::SetNewColumn(bool value) {
  newColumn = value;
  if (value) keepTogether = false;
}

void TppGroup::SetKeepTogether(bool value) {
  keepTogether = value;
  if (value) newPage = newColumn = false;
}

std::string TppGroup::GetBreakValue() {
  TppDataPipeline* pipeline = DataPipeline();
  std::string value;
  if (breakType == btCustomField) {
    if (const TppPrintable* component = BreakComponent()) value = component->GetText();
  } else if (pipeline) {
    value = pipeline->GetFieldAsString(breakName);
  }
  // A handler asking for the current value while it decides it gets the
  // value before handlers, not an endless round.
  if (gettingValue) return value;
  gettingValue = true;
  struct TDone {
    bool& flag;
    ~TDone() { flag = false; }
  } done{gettingValue};
  if (OnGetBreakValue) OnGetBreakValue(this, value);
  // Asked for every record: the list is made only when someone listens.
  if (GetEventListenerCount() == 0) return value;
  TppEventParams params{Variant(value)};
  SendEventNotify(this, ppevGetBreakValue, &params);
  return VarIsClear(params[0]) ? std::string() : params[0].AsString();
}

bool TppGroup::ValueChanged() {
  TppDataPipeline* pipeline = DataPipeline();
  if (pipeline && pipeline->IsEmpty()) return true;
  return GetBreakValue() != breakValue;
}

std::string TppGroup::CurrentValue() { return GetBreakValue(); }

void TppGroup::SetBreakType(TppBreakType value) {
  if (value == breakType || (report && report->Printing())) return;
  breakType = value;
  if (report) report->Reset();
}

TppPrintable* TppGroup::BreakComponent() const {
  if (breakType != btCustomField || breakName.empty() || !report) return nullptr;
  auto* component = dynamic_cast<TppPrintable*>(report->FindUserName(breakName));
  return component && component->GetBand() ? component : nullptr;
}

int TppGroup::LastPageNo() const { return report ? report->Engine().GroupLastPageNo(*this) : firstPageNo; }

bool TppGroup::FirstPage() const { return report && report->AbsolutePageNo() == firstPageNo; }

std::string TppGroup::GetDescription() const {
  std::string described;
  if (const TppPrintable* component = BreakComponent()) described = component->GetDescription();
  else if (const TppDataPipeline* pipeline = DataPipeline(); pipeline && breakType == btDataField)
    described = pipeline->GetFieldAlias(breakName);
  return ppLoadMessage(331) + " [" + std::to_string(GroupNo()) + "]: " + described;
}

void TppGroup::ResetBreak() {
  breakNo = 0;
  headerBreakNo = 0;
  firstPageNo = 1;
  headerColumn = 1;
  // The first group's header is marked to print: its break begins too.
  if (BeforeGroupBreak) BeforeGroupBreak(this);
  SendEventNotify(this, ppevBeforeGroupBreak, nullptr);
  breakValue = priorValue = GetBreakValue();
  breaking = keptTogether = false;
  headerPending = true;
  // Nothing stands before the run's first break: it never ends a page or
  // a column (whatever printed above it, a title or an outer header).
  alreadyPageBreak = true;
}

void TppGroup::StartBreak() {
  if (BeforeGroupBreak) BeforeGroupBreak(this);
  SendEventNotify(this, ppevBeforeGroupBreak, nullptr);
  priorValue = breakValue;
  breakValue = GetBreakValue();
  headerPending = true;
  alreadyPageBreak = false;
  keptTogether = false;
}

void TppGroup::FooterPrinted() {
  if (AfterGroupBreak) AfterGroupBreak(this);
  SendEventNotify(this, ppevAfterGroupBreak, nullptr);
  ++breakNo;
}

void TppGroup::SavePageState(int page) {
  SaveStateRecord(page);
  pagePriorValues[page] = priorValue;
}

void TppGroup::RestorePageState(int page) {
  RestoreStateRecord(page);
  if (auto saved = pagePriorValues.find(page); saved != pagePriorValues.end()) priorValue = saved->second;
}

void TppGroup::TruncateFrom(int page) { pagePriorValues.erase(pagePriorValues.lower_bound(page), pagePriorValues.end()); }

void TppGroup::CaptureState(uint8_t* record) const {
  TStateRecord r{};
  r.HeaderPending = headerPending;
  r.AlreadyPageBreak = alreadyPageBreak;
  r.Breaking = breaking;
  r.KeptTogether = keptTogether;
  r.BreakNo = breakNo;
  r.FirstPageNo = firstPageNo;
  r.HeaderBreakNo = headerBreakNo;
  r.HeaderColumn = headerColumn;
  std::memcpy(record, &r, sizeof r);
}

void TppGroup::ApplyState(const uint8_t* record) {
  TStateRecord r;
  std::memcpy(&r, record, sizeof r);
  headerPending = r.HeaderPending != 0;
  alreadyPageBreak = r.AlreadyPageBreak != 0;
  breaking = r.Breaking != 0;
  keptTogether = r.KeptTogether != 0;
  breakNo = r.BreakNo;
  firstPageNo = r.FirstPageNo;
  headerBreakNo = r.HeaderBreakNo;
  headerColumn = r.HeaderColumn;
}

void TppGroup::GetChildren(const TGetChildProc& proc, TComponent* root) {
  if (header) proc(header);
  if (footer) proc(footer);
}

TComponent* TppGroup::GetParentComponent() const { return report; }

void TppGroup::SetParentComponent(TComponent* value) { SetReport(dynamic_cast<TppCustomReport*>(value)); }
