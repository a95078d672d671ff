#include "ppPrintable.h"

#include <algorithm>
#include <cstring>

#include "ppBands.h"
#include "ppDataPipeline.h"
#include "ppStretchable.h"
#include "ppSubReport.h"
#include "ppEngine.h"
#include "ppPage.h"
#include "ppReport.h"
#include "ppGroup.h"
#include "ppUnits.h"
#include "rtlAssert.h"
#include "rtlFiler.h"
#include "rtlReader.h"
#include "rtlStrUtils.h"

namespace {
int ScreenPixelsToMM(int pixels, TppAxis axis) {
  return ppUnitsToMMThousandths(pixels, utScreenPixels, axis);
}
}  // namespace

const TClassInfo& TppPrintable::StaticClassType() {
  static const TClassInfo info =
      TClassBuilder<TppPrintable>("TppPrintable")
          .Property("Alignment", &TppPrintable::Alignment, &TppPrintable::SetAlignment)
          .Default(taLeftJustify)
          .Property("AutoSize", &TppPrintable::AutoSize, &TppPrintable::SetAutoSize)
          .Stored(&TppPrintable::AutoSizeStored)
          .Property("Caption", &TppPrintable::Caption, &TppPrintable::SetCaption)
          .Property("Color", &TppPrintable::Color, &TppPrintable::SetColor)
          .Default(clWhite)
          .Property("DataField", &TppPrintable::DataField, &TppPrintable::SetDataField)
          .Property("DataPipelineName", &TppPrintable::DataPipelineName, &TppPrintable::SetDataPipelineName)
          .Property("Font", &TppPrintable::Font, &TppPrintable::SetFont)
          .Property("mmHeight", &TppPrintable::mmHeight, &TppPrintable::SetmmHeight)
          .Property("mmLeft", &TppPrintable::mmLeft, &TppPrintable::SetmmLeft)
          .Property("mmTop", &TppPrintable::mmTop, &TppPrintable::SetmmTop)
          .Property("mmWidth", &TppPrintable::mmWidth, &TppPrintable::SetmmWidth)
          .Property("ReprintOnOverFlow", &TppPrintable::ReprintOnOverFlow, &TppPrintable::SetReprintOnOverFlow)
          .Default(0)
          .Property("ShiftWithParent", &TppPrintable::ShiftWithParent, &TppPrintable::SetShiftWithParent)
          .Default(0)
          .Property("StretchWithParent", &TppPrintable::StretchWithParent, &TppPrintable::SetStretchWithParent)
          .Default(0)
          .Property("TextAlignment", &TppPrintable::TextAlignment, &TppPrintable::SetTextAlignment)
          .Default(taLeftJustified)
          .Property("Transparent", &TppPrintable::Transparent, &TppPrintable::SetTransparent)
          .Default(0)
          .Property("Units", &TppPrintable::Units, &TppPrintable::SetUnits)
          .Default(utInches)
          .Property("Visible", &TppPrintable::Visible, &TppPrintable::SetVisible)
          .Default(1)
          .Property("WordWrap", &TppPrintable::WordWrap, &TppPrintable::SetWordWrap)
          .Default(0)
          .Event("OnDrawCommandClick", &TppPrintable::OnDrawCommandClick)
          .Event("OnDrawCommandCreate", &TppPrintable::OnDrawCommandCreate)
          .Event("OnPrint", &TppPrintable::OnPrint)
          .Build();
  return info;
}

TppPrintable::TppPrintable(TComponent* owner)
    : TppCacheable(owner),
      font(std::make_unique<TppFont>()),
      width(ScreenPixelsToMM(65, axHorizontal)),
      height(ScreenPixelsToMM(17, axVertical)) {
  SetCacheRecordSize(sizeof(TStateRecord));
}

TppPrintable::~TppPrintable() {
  if (life) *life = nullptr;
  SetDataPipeline(nullptr);
}

std::weak_ptr<TppPrintable*> TppPrintable::Guard() const {
  if (!life) life = std::make_shared<TppPrintable*>(const_cast<TppPrintable*>(this));
  return life;
}

void TppPrintable::SetAlignment(TAlignment value) {
  if (value == alignment) return;
  alignment = value;
  textAlignment = value == taRightJustify ? taRightJustified : value == taCenter ? taCentered : taLeftJustified;
  PropertyChange();
}

void TppPrintable::SetTextAlignment(TppTextAlignment value) {
  if (value == textAlignment) return;
  if (value == taFullJustified && !AllowsFullJustify()) return;
  textAlignment = value;
  alignment = value == taRightJustified ? taRightJustify : value == taCentered ? taCenter : taLeftJustify;
  PropertyChange();
}

void TppPrintable::SetAutoSize(bool value) {
  if (value == autoSize) return;
  autoSize = value;
  AdjustSize();
  PropertyChange();
}

void TppPrintable::SetCaption(const std::string& value) {
  if (value == caption) return;
  caption = value;
  text = value;
  if (autoSize) AdjustSize();
  if (!IsDataAware()) PropertyChange();
}

void TppPrintable::SetColor(int value) {
  if (value == color) return;
  color = value;
  PropertyChange();
}

void TppPrintable::SetFont(TppFont* value) {
  if (!value) return;
  font->Assign(value);
  AdjustSize();
}

void TppPrintable::SetTransparent(bool value) {
  if (value == transparent) return;
  transparent = value;
  PropertyChange();
}

void TppPrintable::SetVisible(bool value) {
  if (value == visible) return;
  visible = value;
  PropertyChange();
  LayoutChanged();
}

void TppPrintable::SetWordWrap(bool value) {
  if (value == wordWrap) return;
  wordWrap = value;
  AdjustSize();
  PropertyChange();
  LayoutChanged();
}

void TppPrintable::SetReprintOnOverFlow(bool value) {
  if (value == reprintOnOverFlow) return;
  reprintOnOverFlow = value;
  PropertyChange();
  LayoutChanged();
}

void TppPrintable::SetShiftWithParent(bool value) {
  if (value == shiftWithParent) return;
  shiftWithParent = value;
  if (value) stretchWithParent = false;
  PropertyChange();
  LayoutChanged();
}

void TppPrintable::SetStretchWithParent(bool value) {
  if (value == stretchWithParent) return;
  stretchWithParent = value;
  if (value) shiftWithParent = false;
  PropertyChange();
  LayoutChanged();
}

void TppPrintable::SetText(const std::string& value) {
  text = value;
  if (!IsDataAware()) PropertyChange();
}

void TppPrintable::SetmmLeft(int value) {
  left = value;
  LayoutChanged();
}

void TppPrintable::SetmmTop(int value) {
  top = value;
  LayoutChanged();
}

void TppPrintable::SetmmWidth(int value) {
  width = value;
  LayoutChanged();
}

void TppPrintable::SetmmHeight(int value) {
  height = value;
  LayoutChanged();
}

void TppPrintable::SetBounds(int mmLeft, int mmTop, int mmWidth, int mmHeight) {
  SetmmLeft(mmLeft);
  SetmmTop(mmTop);
  SetmmWidth(mmWidth);
  SetmmHeight(mmHeight);
}

double TppPrintable::Left() const { return ppMMThousandthsToUnits(left, units, axVertical); }
double TppPrintable::Top() const { return ppMMThousandthsToUnits(top, units, axVertical); }
double TppPrintable::Width() const { return ppMMThousandthsToUnits(width, units, axVertical); }
double TppPrintable::Height() const { return ppMMThousandthsToUnits(height, units, axVertical); }
void TppPrintable::SetLeft(double value) { SetmmLeft(ppUnitsToMMThousandths(value, units, axVertical)); }
void TppPrintable::SetTop(double value) { SetmmTop(ppUnitsToMMThousandths(value, units, axVertical)); }
void TppPrintable::SetWidth(double value) { SetmmWidth(ppUnitsToMMThousandths(value, units, axVertical)); }
void TppPrintable::SetHeight(double value) { SetmmHeight(ppUnitsToMMThousandths(value, units, axVertical)); }

void TppPrintable::SetDataField(const std::string& value) {
  if (!IsDataAware() || value == dataField) return;
  dataField = value;
  PropertyChange();
  LayoutChanged();
}

void TppPrintable::SetDataPipeline(TppDataPipeline* value) {
  if (value == dataPipeline) return;
  if (dataPipeline) RemoveNotify(dataPipeline);
  dataPipeline = value;
  if (dataPipeline) {
    AddNotify(dataPipeline);
    dataPipelineName = dataPipeline->GetUserName();
  }
  LayoutChanged();
}

std::string TppPrintable::DataPipelineName() const {
  return dataPipeline ? dataPipeline->GetUserName() : dataPipelineName;
}

void TppPrintable::FixUpDataPipeline(TppDataPipeline* pipeline, const std::string& name) {
  if (IsDataAware() && pipeline && !dataPipeline && SameText(dataPipelineName, name)) SetDataPipeline(pipeline);
}

bool TppPrintable::DataFieldReady() const {
  return IsDataAware() && !dataField.empty() && dataPipeline && dataPipeline->Active();
}

void TppPrintable::Notify(TppCommunicator* sender, int operation) {
  inherited::Notify(sender, operation);
  // A pipeline being destroyed: compare the address only.
  if (operation == ppopRemove && sender == static_cast<TppCommunicator*>(dataPipeline)) {
    dataPipeline = nullptr;
    LayoutChanged();
  }
}

void TppPrintable::DefineProperties(TFiler& filer) {
  inherited::DefineProperties(filer);
  for (const char* dropped : {"DataSource", "OnFormatText", "Region", "ParentDataSource"})
    filer.DefineProperty(dropped, [](TReader& reader) { reader.SkipValue(); }, nullptr, false);
  filer.DefineProperty(
      "ReportField", [this](TReader& reader) { legacyCaptionField = reader.ReadString(); }, nullptr, false);
}

void TppPrintable::UpgradeFromVersion(int versionNo) {
  if (versionNo < 1270 && !legacyCaptionField.empty()) SetDataField(legacyCaptionField);
  legacyCaptionField.clear();
  if (versionNo < 2097) {
    // Positions and sizes were stored in screen pixels.
    left = ScreenPixelsToMM(left, axHorizontal);
    width = ScreenPixelsToMM(width, axHorizontal);
    top = ScreenPixelsToMM(top, axVertical);
    height = ScreenPixelsToMM(height, axVertical);
  }
  // Captions were not stored then: a component showed its name.
  if (versionNo < 3530 && caption.empty()) SetCaption(Name());
}

void TppPrintable::InitGeneration() {
  overFlow = false;
  if (NeedsResetOnInit()) RequestResetOnCompute();
}

void TppPrintable::ResetGeneration() {
  generationComplete = false;
  spaceUsed = 0;
  outOfSpace = false;
}

void TppPrintable::CheckGenerationComplete() {
  if (generationComplete) drawComponent = false;
}

void TppPrintable::PrepareDraw() {
  if (visible) drawComponent = true;
}

void TppPrintable::DoOnPrint() {
  if (OnPrint) OnPrint(this);
  SendEventNotify(this, ppevPrint, nullptr);
}

void TppPrintable::DrawToPage(TppPage* page) {
  if (drawComponent && visible) CreateDrawCommand(page);
}

void TppPrintable::CreateDrawCommand(TppPage* page) {
  if (!drawCommandClass || !drawCommandClass->Factory()) return;
  auto* command = dynamic_cast<TppDrawCommand*>(drawCommandClass->Factory()(nullptr));
  if (!command) return;
  TObjectPtr<TppDrawCommand> guard(command);
  PropertiesToDrawCommand(command);
  // Only a command that can be clicked gets a click handler (one
  // allocation less for each of the others).
  command->SetClickable(static_cast<bool>(OnDrawCommandClick) || LinksListenTo(ppevDrawCommandClick) ||
                        drillDownSubReport);
  // The command keeps guarded references: its page may outlive the report.
  if (drillDownSubReport) {
    // The command expands or collapses the subreport's instance printed
    // with it, whenever it is clicked.
    TppSubReport* sub = drillDownSubReport;
    command->OnDrawCommandClick = [self = Guard(), sub = sub->Guard(),
                                   key = sub->CurrentExpansionKey()](TppDrawCommand* sender) {
      if (const auto held = self.lock(); held && *held) (*held)->DrawCommandClick(sender);
      if (const auto held = sub.lock(); held && *held) static_cast<TppSubReport*>(*held)->ToggleExpansion(key, sender);
    };
  } else if (command->Clickable()) {
    command->OnDrawCommandClick = [self = Guard()](TppDrawCommand* sender) {
      if (const auto held = self.lock(); held && *held) (*held)->DrawCommandClick(sender);
    };
  }
  command->SetArea(page->PageDef()->mmPrintableRect());
  if (OnDrawCommandCreate) OnDrawCommandCreate(this, command);
  command->SetPage(page);
  guard.release();
  TppEventParams params{Variant(static_cast<int64_t>(reinterpret_cast<intptr_t>(command)))};
  SendEventNotify(this, ppevDrawCommandCreate, &params);
}

void TppPrintable::PropertiesToDrawCommand(TppDrawCommand* command) {
  command->SetTag(Tag());
  if (DataFieldReady()) command->SetDataType(dataPipeline->GetFieldDataType(dataField));
  command->SetLeft(drawRect.Left);
  command->SetTop(drawRect.Top);
  command->SetWidth(drawRect.Right - drawRect.Left);
  command->SetHeight(drawRect.Bottom - drawRect.Top);
}

void TppPrintable::DrawCommandClick(TppDrawCommand* command) {
  if (OnDrawCommandClick) OnDrawCommandClick(this, command);
  TppEventParams params{Variant(static_cast<int64_t>(reinterpret_cast<intptr_t>(command)))};
  SendEventNotify(this, ppevDrawCommandClick, &params);
}

void TppPrintable::CaptureState(uint8_t* record) const {
  TStateRecord r{drawComponent, generationComplete, outOfSpace, overFlow, spaceUsed};
  std::memcpy(record, &r, sizeof r);
}

void TppPrintable::ApplyState(const uint8_t* record) {
  TStateRecord r;
  std::memcpy(&r, record, sizeof r);
  drawComponent = r.DrawComponent != 0;
  generationComplete = r.GenerationComplete != 0;
  outOfSpace = r.OutOfSpace != 0;
  overFlow = r.OverFlow != 0;
  spaceUsed = r.SpaceUsed;
}

// ---------------------------------------------------------------------------

RTL_DEFINE_CLASS(TppComponent)

TppComponent::TppComponent(TComponent* owner) : TppPrintable(owner) {}

TppComponent::~TppComponent() {
  SetRegion(nullptr);
  SetResetGroup(nullptr);
  SetBand(nullptr);
}

void TppComponent::BeforeDestruction() {
  SetRegion(nullptr);
  SetResetGroup(nullptr);
  SetBand(nullptr);
  inherited::BeforeDestruction();
}

void TppComponent::SetBand(TppBand* value) {
  if (value == band) return;
  band = nullptr;
  SetParent(value);
  // The band's objects are its children: membership and Band() agree.
  ORV_ASSERT(Parent() == value);
  band = value;
  if (band) {
    SetUnits(band->Report() ? band->Report()->Units() : Units());
    bandType = band->BandTypeCode();
    groupNo = band->Group() ? band->Group()->GroupNo() : -1;
    if (ParentWidth() || ParentHeight()) SizeToParent();
  }
  BandChanged();
}

void TppComponent::SetRegion(TppComponent* value) {
  if (value && !value->IsRegion()) return;
  auto* newRegion = static_cast<TppStretchable*>(value);
  if (newRegion == region || newRegion == this) return;
  if (region) {
    TppStretchable* old = region;
    region = nullptr;
    old->RegionObjectRemoved(this);
    RemoveNotify(old);
  }
  region = newRegion;
  if (region) {
    AddNotify(region);
    region->RegionObjectAdded(this);
  }
}

void TppComponent::SetResetGroup(TppGroup* value) {
  if (value == resetGroup) return;
  if (resetGroup) {
    resetGroup->RemoveEventNotify(this);
    RemoveNotify(resetGroup);
  }
  resetGroup = value;
  if (resetGroup) {
    SetListensTo(ppevAfterGroupBreak, true);
    AddNotify(resetGroup);
    resetGroup->AddEventNotify(this);
  }
}

void TppComponent::Notify(TppCommunicator* sender, int operation) {
  inherited::Notify(sender, operation);
  if (operation != ppopRemove) return;
  if (sender == static_cast<TppCommunicator*>(resetGroup)) resetGroup = nullptr;
  if (sender == static_cast<TppCommunicator*>(region)) region = nullptr;
}

void TppComponent::SetParentDataPipeline(bool value) {
  parentDataPipeline = value;
  TppCustomReport* report = GetReport();
  if (value && report && DataPipeline() != report->DataPipeline()) SetDataPipeline(report->DataPipeline());
}

void TppComponent::SetDataPipeline(TppDataPipeline* value) {
  inherited::SetDataPipeline(value);
  const TComponentState state = ComponentState();
  TppCustomReport* report = GetReport();
  if (!state.Contains(csLoading) && !state.Contains(csReading) && report && parentDataPipeline &&
      value != report->DataPipeline())
    parentDataPipeline = false;
}

TppCustomReport* TppComponent::GetReport() const { return band ? band->Report() : nullptr; }

TppCustomReport* TppComponent::GetMainReport() const {
  TppCustomReport* report = GetReport();
  return report ? report->MainReport() : nullptr;
}

void TppComponent::ProcessMessages() const {
  if (TppCustomReport* main = GetMainReport()) main->ProcessMessages();
}

bool TppComponent::ReportIsPrinting() const {
  const TppCustomReport* main = GetMainReport();
  return main && main->Printing();
}

int TppComponent::Index() const { return band ? band->IndexOfChild(this) : -1; }

void TppComponent::SetmmLeft(int value) {
  if (ParentWidth() && band) return;
  value = std::max(value, 0);
  if (band) value = std::min(value, band->GetPrintableWidth());
  inherited::SetmmLeft(value);
}

void TppComponent::SetmmTop(int value) {
  if (ParentHeight() && band) return;
  inherited::SetmmTop(std::max(value, 0));
}

void TppComponent::SetmmWidth(int value) {
  if (ParentWidth() && band) return;
  inherited::SetmmWidth(std::max(value, 0));
}

void TppComponent::SetmmHeight(int value) {
  if (ParentHeight() && band) return;
  inherited::SetmmHeight(std::max(value, 0));
}

void TppComponent::SizeToParent() {
  if (!band || ComponentState().Contains(csLoading) || ComponentState().Contains(csReading)) return;
  if (ParentWidth()) {
    TppPrintable::SetmmLeft(0);
    TppPrintable::SetmmWidth(band->GetPrintableWidth());
  }
  if (ParentHeight()) {
    TppPrintable::SetmmTop(0);
    TppPrintable::SetmmHeight(band->mmHeight());
  }
}

TComponent* TppComponent::GetParentComponent() const {
  if (region) return region;
  return band;
}

void TppComponent::SetParentComponent(TComponent* value) {
  // A band or a region can hold a component; anything else read from a
  // layout is refused by leaving the component without band.
  if (auto* container = dynamic_cast<TppComponent*>(value); container && container->IsRegion()) {
    SetBand(container->Band());
    SetRegion(container);
    return;
  }
  SetBand(dynamic_cast<TppBand*>(value));
}

void TppComponent::PropertiesToDrawCommand(TppDrawCommand* command) { inherited::PropertiesToDrawCommand(command); }

void TppComponent::LayoutChanged() {
  if (TppCustomReport* report = GetReport()) report->Reset();
}

// ---------------------------------------------------------------------------

RTL_DEFINE_CLASS(TppCustomComponent)

void TppCustomComponent::DefineProperties(TFiler& filer) {
  inherited::DefineProperties(filer);
  filer.DefineProperty(
      "ShiftWithBand", [this](TReader& reader) { SetShiftWithParent(reader.ReadBoolean()); }, nullptr, false);
  filer.DefineProperty(
      "StretchWithBand", [this](TReader& reader) { SetStretchWithParent(reader.ReadBoolean()); }, nullptr, false);
}

void TppCustomComponent::Generate() {
  TppBand* band = Band();
  const bool continued = Region() ? Region()->OverFlow() : band && band->PartialGeneration();
  if (ReprintOnOverFlow() && continued) PrepareDraw();
  const bool wasDrawn = DrawComponent() || Visible();
  DoOnPrint();
  if (!wasDrawn && Visible()) SetDrawComponent(true);
  if (DrawComponent() && Visible()) {
    Place();
    SetGenerationComplete(!OutOfSpace());
  } else {
    SetGenerationComplete(true);
  }
}

void TppCustomComponent::Place() {
  TppBand* band = Band();
  if (!band) return;
  const int left = band->PrintLeft() + mmLeft();
  int top = band->StartingPosition() + mmTop();
  int limit = band->PageBottom();
  int position = band->StartingPosition() + band->SpaceUsed();
  int growth = std::max(band->SpaceUsed() - band->mmHeight(), 0);
  const TppComponent* reference = band->MaxStretchable();
  bool canOverflow = band->PrintHeight() == phDynamic;
  if (const TppStretchable* region = Region()) {
    top = mmTop() - region->mmTop() + region->DrawRect().Top;
    limit = region->PageBottom();
    position = region->CurrentPosition();
    growth = std::max(region->SpaceUsed() - region->mmHeight(), 0);
    reference = region->MaxStretchable();
    canOverflow = canOverflow && region->Stretch();
    if (region->PartialGeneration()) top -= region->PartialAdjustment();
  }
  if (ShiftWithParent()) {
    // Below the component that grew lowest, keeping the design gap.
    if (reference && reference != this)
      top = reference->DrawRect().Top + reference->SpaceUsed() + (mmTop() - (reference->mmTop() + reference->mmHeight()));
    else
      top += growth;
  }
  int height = mmHeight();
  if (StretchWithParent() && top < position) height = position - top;
  if (top < limit && top + height > limit && StretchWithParent()) height = limit - top;
  if (canOverflow && top + height > limit + 1) {
    if (!band->ForceFit()) {
      SetOutOfSpace(true);
      return;
    }
    // Taller than any page: clipped at the page's limit.
    height = std::max(limit - top, 0);
  }
  SetDrawRect(TRect{left, top, left + mmWidth(), top + height});
  SetSpaceUsed(height);
  PlacementDone();
  TRect rect = DrawRect();
  rect.Bottom = rect.Top + SpaceUsed();
  SetDrawRect(rect);
}
