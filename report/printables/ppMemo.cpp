#include "ppMemo.h"

#include <algorithm>
#include <cstring>

#include "ppBands.h"
#include "ppDataPipeline.h"
#include "ppDrwCmd.h"
#include "ppEngine.h"
#include "ppPlainText.h"
#include "ppReport.h"
#include "ppUnits.h"
#include "rtlFiler.h"
#include "rtlReader.h"
#include "rtlWriter.h"

// ---------------------------------------------------------------------------
// TppCustomMemo

const TClassInfo& TppCustomMemo::StaticClassType() {
  static const TClassInfo info =
      TClassBuilder<TppCustomMemo>("TppCustomMemo")
          .Property("CharWrap", &TppCustomMemo::CharWrap, &TppCustomMemo::SetCharWrap)
          .Default(0)
          .Property("ForceJustifyLastLine", &TppCustomMemo::ForceJustifyLastLine,
                    &TppCustomMemo::SetForceJustifyLastLine)
          .Default(0)
          .Property("Lines", &TppCustomMemo::Lines, &TppCustomMemo::SetLines)
          .Property("ShiftRelativeTo", &TppCustomMemo::ShiftRelativeTo, &TppCustomMemo::SetShiftRelativeTo)
          .Property("Stretch", &TppCustomMemo::Stretch, &TppCustomMemo::SetStretch)
          .Default(0)
          .Property("TabStopPositions", &TppCustomMemo::TabStopPositions, &TppCustomMemo::SetTabStopPositions)
          .Build();
  return info;
}

TppCustomMemo::TppCustomMemo(TComponent* owner) : TppStretchable(owner) {
  SetDrawCommandClass(&TppDrawText::StaticClassType());
  SetCacheRecordSize(StateSize);
}

TStringList* TppCustomMemo::Lines() const {
  LoadLines();
  return &lines;
}

void TppCustomMemo::SetLines(TStringList* value) {
  if (value) lines.Assign(*value);
}

std::string TppCustomMemo::GetText() const { return Lines()->Text(); }

void TppCustomMemo::SetCharWrap(bool value) {
  if (value == charWrap || ReportIsPrinting()) return;
  charWrap = value;
  PropertyChange();
  LayoutChanged();
}

void TppCustomMemo::SetmmLeading(int value) {
  leading = std::max(value, 0);
  PropertyChange();
  LayoutChanged();
}

double TppCustomMemo::Leading() const { return ppMMThousandthsToUnits(leading, Units(), axVertical); }

void TppCustomMemo::SetLeading(double value) { SetmmLeading(ppUnitsToMMThousandths(value, Units(), axVertical)); }

TStringList* TppCustomMemo::TabStopPositions() const {
  tabStopsInUnits.Assign(tabStops);
  if (!ComponentState().Contains(csLoading))
    ppMMThousandthsListToUnits(tabStopsInUnits, Units(), axHorizontal, NeutralFormatSettings());
  return &tabStopsInUnits;
}

void TppCustomMemo::SetTabStopPositions(TStringList* value) {
  if (!value) return;
  tabStops.Assign(*value);
  const TComponentState state = ComponentState();
  if (!state.Contains(csReading) && !state.Contains(csLoading))
    ppUnitsListToMMThousandths(tabStops, Units(), axHorizontal, NeutralFormatSettings());
  LayoutChanged();
}

void TppCustomMemo::UpgradeFromVersion(int versionNo) {
  inherited::UpgradeFromVersion(versionNo);
  if (versionNo < 3000) leading = ppUnitsToMMThousandths(leading, utScreenPixels, axHorizontal);
}

void TppCustomMemo::InitGeneration() {
  inherited::InitGeneration();
  wrapPosition = 0;
}

void TppCustomMemo::StretchContent() {
  wrapped.Clear();
  if (!PrintsHere()) {
    SetSpaceUsed(0);
    SetDrawComponent(false);
    return;
  }
  const std::string text = GetText();
  TppWrapOptions options;
  options.Leading = leading;
  options.CharWrap = charWrap;
  options.Justification = TextAlignment();
  options.TabStops = &tabStops;
  options.Rect = DrawRect();
  if (!Stretch() || !ContainerCanGrow()) {
    // A memo of fixed height shows what fits in it.
    int position = 0;
    options.Rect.Bottom = options.Rect.Top + mmHeight();
    TppPlainText::WrapText(text, options, Font()->Value(), nullptr, wrapped, position);
    wrapPosition = 0;
    SetSpaceUsed(mmHeight());
    SetOverFlow(false);
    return;
  }
  const int pageStart = wrapPosition;
  int position = wrapPosition;
  options.Rect.Bottom = PageBottom();
  TppWrapResult result = TppPlainText::WrapText(text, options, Font()->Value(), nullptr, wrapped, position);
  if (wrapped.Count() == 0 && position < static_cast<int>(text.size()) && OnFreshPage()) {
    // Not even one line fits on a page where nothing stands above: one
    // line is placed clipped, or the memo would make pages for ever.
    position = pageStart;
    options.Rect.Bottom = options.Rect.Top + result.LineHeight + 1;
    result = TppPlainText::WrapText(text, options, Font()->Value(), nullptr, wrapped, position);
  }
  const int used = wrapped.Count() * result.LineHeight;
  if (position < static_cast<int>(text.size()) && position >= 0) {
    SetOverFlow(true);
    if (wrapped.Count() == 0) {
      // Nothing fitted: the text goes on where this page started.
      wrapPosition = pageStart;
      SetSpaceUsed(0);
      SetDrawComponent(false);
    } else {
      wrapPosition = position;
      SetSpaceUsed(std::min(used, std::max(PageBottom() - DrawRect().Top, 0)));
    }
    if (CheckKeepTogether()) {
      // The whole memo starts on the next page instead.
      SetSpaceUsed(0);
      SetKeptTogether(true);
      wrapPosition = pageStart;
      wrapped.Clear();
      SetDrawComponent(false);
    }
    return;
  }
  SetOverFlow(false);
  if (wrapped.Count() > 0) SetSpaceUsed(used);
  wrapPosition = 0;
  SetKeptTogether(false);
}

void TppCustomMemo::PropertiesToDrawCommand(TppDrawCommand* command) {
  inherited::PropertiesToDrawCommand(command);
  auto* text = dynamic_cast<TppDrawText*>(command);
  if (!text) return;
  text->SetAlignment(Alignment());
  text->Color = Color();
  text->SetDataType(dtMemo);
  text->SetFont(Font());
  text->SetTextAlignment(TextAlignment());
  text->ForceJustifyLastLine = forceJustifyLastLine;
  text->IsMemo = true;
  text->Leading = leading;
  text->Transparent = Transparent();
  text->WordWrap = true;
  text->SetTabStopPositions(&tabStops);
  text->SetWrappedText(&wrapped);
  text->Component = this;
}

namespace {
struct TMemoState {
  int32_t WrapPosition;
};
static_assert(sizeof(TMemoState) == TppCustomMemo::StateSize - TppStretchable::StateSize);
}  // namespace

void TppCustomMemo::CaptureState(uint8_t* record) const {
  inherited::CaptureState(record);
  const TMemoState s{wrapPosition};
  std::memcpy(record + TppStretchable::StateSize, &s, sizeof s);
}

void TppCustomMemo::ApplyState(const uint8_t* record) {
  inherited::ApplyState(record);
  TMemoState s;
  std::memcpy(&s, record + TppStretchable::StateSize, sizeof s);
  wrapPosition = s.WrapPosition;
}

void TppCustomMemo::DefineProperties(TFiler& filer) {
  inherited::DefineProperties(filer);
  filer.DefineProperty(
      "mmLeading", [this](TReader& reader) { leading = static_cast<int>(reader.ReadInteger()); },
      [this](TWriter& writer) { writer.WriteInteger(leading); }, leading != 0);
  // Older layouts: read and dropped.
  filer.DefineProperty("Position", [](TReader& reader) { reader.SkipValue(); }, nullptr, false);
}

// ---------------------------------------------------------------------------
// TppMemo, TppDBMemo

RTL_DEFINE_CLASS(TppMemo)

const TClassInfo& TppDBMemo::StaticClassType() {
  static const TClassInfo info =
      TClassBuilder<TppDBMemo>("TppDBMemo")
          .Property("AutoDisplay", &TppDBMemo::AutoDisplay, &TppDBMemo::SetAutoDisplay)
          .Default(1)
          .Property("SuppressRepeatedValues", &TppDBMemo::SuppressRepeatedValues,
                    &TppDBMemo::SetSuppressRepeatedValues)
          .Default(0)
          .Event("OnGetMemo", &TppDBMemo::OnGetMemo)
          .Build();
  return info;
}

TppDBMemo::TppDBMemo(TComponent* owner) : TppCustomMemo(owner) {}

void TppDBMemo::SetSuppressRepeatedValues(bool value) {
  if (value == suppressRepeatedValues) return;
  suppressRepeatedValues = value;
  SetListensTo(ppevEngineTraversal, value);
  LayoutChanged();
  PropertyChange();
}

void TppDBMemo::LoadLines() const {
  constexpr int ppevGetMemo = 86;
  const bool hears = LinksListenTo(ppevGetMemo);
  if (!autoDisplay && !OnGetMemo && !hears) return;
  lines.Clear();
  auto* self = const_cast<TppDBMemo*>(this);
  if ((OnGetMemo || hears) && ReportIsPrinting()) {
    if (OnGetMemo) OnGetMemo(self, &lines);
    TppEventParams params{Variant(static_cast<int64_t>(reinterpret_cast<intptr_t>(&lines)))};
    self->SendEventNotify(self, ppevGetMemo, &params);
  } else if (DataFieldReady()) {
    lines.SetText(DataPipeline()->GetFieldAsString(DataField()));
  }
}

void TppDBMemo::InitGeneration() {
  inherited::InitGeneration();
  alreadyPrinted = false;
  priorValueSame = false;
  if (suppressRepeatedValues && GetReport()) GetReport()->Engine().AddEventNotify(this);
}

void TppDBMemo::RequestResetOnCompute() {
  inherited::RequestResetOnCompute();
  alreadyPrinted = false;
  priorValueSame = false;
  priorValue.clear();
}

void TppDBMemo::Compute() {
  const std::string text = GetText();
  if (!ResetOnCompute() && text == priorValue) {
    priorValueSame = true;
  } else {
    priorValue = text;
    priorValueSame = false;
  }
  SetResetOnCompute(false);
}

void TppDBMemo::EventNotify(TppCommunicator* sender, int eventId, TppEventParams* params) {
  inherited::EventNotify(sender, eventId, params);
  if (eventId == ppevEngineTraversal && GetReport() && sender == static_cast<TppCommunicator*>(&GetReport()->Engine()))
    Compute();
}

bool TppDBMemo::PrintsHere() {
  if (!suppressRepeatedValues) return true;
  if (!priorValueSame || OverFlow()) {
    alreadyPrinted = true;
    return true;
  }
  return false;
}
