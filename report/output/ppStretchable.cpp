#include "ppStretchable.h"

#include <algorithm>
#include <cstring>

#include "ppBands.h"
#include "ppEngine.h"
#include "ppErrors.h"
#include "ppMessages.h"
#include "ppReport.h"
#include "ppUnits.h"
#include "rtlAssert.h"
#include "rtlFiler.h"
#include "rtlReader.h"
#include "rtlWriter.h"

namespace {
constexpr int ppmsgCyclicShift = 342;
}  // namespace

const TClassInfo& TppStretchable::StaticClassType() {
  static const TClassInfo info =
      TClassBuilder<TppStretchable>("TppStretchable")
          .Property("KeepTogether", &TppStretchable::KeepTogether, &TppStretchable::SetKeepTogether)
          .Default(0)
          .Build();
  return info;
}

TppStretchable::TppStretchable(TComponent* owner) : TppComponent(owner) {
  SetCacheRecordSize(StateSize);
  SetAutoSize(false);
  SetWordWrap(false);
  TppPrintable::SetmmWidth(ppUnitsToMMThousandths(185, utScreenPixels, axHorizontal));
  TppPrintable::SetmmHeight(ppUnitsToMMThousandths(89, utScreenPixels, axVertical));
}

TppStretchable::~TppStretchable() {
  SetShiftRelativeTo(nullptr);
  while (!shifters.empty()) shifters.back()->SetShiftRelativeTo(nullptr);
}

void TppStretchable::BeforeDestruction() {
  SetShiftRelativeTo(nullptr);
  while (!shifters.empty()) shifters.back()->SetShiftRelativeTo(nullptr);
  inherited::BeforeDestruction();
}

bool TppStretchable::Loading() const {
  const TComponentState state = ComponentState();
  return state.Contains(csLoading) || state.Contains(csReading);
}

void TppStretchable::SetStretch(bool value) {
  if (value == stretch) return;
  if (!value && !shifters.empty()) return;  // the shifters need it to grow
  stretch = value;
  if (value && !Loading()) {
    TppPrintable::SetReprintOnOverFlow(false);
    TppPrintable::SetShiftWithParent(false);
    TppPrintable::SetStretchWithParent(false);
    if (TppStretchable* container = Region()) {
      if (!container->Stretch()) container->SetStretch(true);
    } else if (Band() && Band()->PrintHeight() == phStatic) {
      Band()->SetPrintHeight(phDynamic);
    }
  }
  LayoutChanged();
  PropertyChange();
}

void TppStretchable::SetKeepTogether(bool value) {
  if (value == keepTogether) return;
  keepTogether = value;
  LayoutChanged();
  PropertyChange();
}

bool TppStretchable::CanShiftRelativeTo(const TppStretchable* candidate) const {
  if (!candidate) return true;
  if (candidate == this) return false;
  if (IsRegion() && candidate->Region() == this) return false;
  for (const TppStretchable* s = candidate; s; s = s->ShiftRelativeTo())
    if (s == this) return false;
  return true;
}

void TppStretchable::SetShiftRelativeTo(TppStretchable* value) {
  if (value == shiftRelativeTo) return;
  if (!CanShiftRelativeTo(value)) throw EInvalidPropertyError(ppLoadMessage(ppmsgCyclicShift));
  if (shiftRelativeTo) shiftRelativeTo->RemoveShifter(this);
  shiftRelativeTo = value;
  PropertyChange();
  LayoutChanged();
  if (!value) return;
  value->AddShifter(this);
  TppPrintable::SetReprintOnOverFlow(false);
  TppPrintable::SetShiftWithParent(false);
  TppPrintable::SetStretchWithParent(false);
}

void TppStretchable::AddShifter(TppStretchable* component) {
  // Listed exactly while it shifts relative to this one.
  ORV_ASSERT(component->ShiftRelativeTo() == this);
  ORV_ASSERT(std::count(shifters.begin(), shifters.end(), component) == 0);
  shifters.push_back(component);
  if (!stretch) SetStretch(true);
  AddNotify(component);
}

void TppStretchable::RemoveShifter(TppStretchable* component) {
  ORV_ASSERT(std::count(shifters.begin(), shifters.end(), component) == 1);
  shifters.erase(std::remove(shifters.begin(), shifters.end(), component), shifters.end());
  savedShifters.erase(std::remove(savedShifters.begin(), savedShifters.end(), component), savedShifters.end());
  RemoveNotify(component);
}

void TppStretchable::Notify(TppCommunicator* sender, int operation) {
  inherited::Notify(sender, operation);
  if (operation != ppopRemove || IsDestroying()) return;
  if (sender == static_cast<TppCommunicator*>(shiftRelativeTo)) {
    shiftRelativeTo = nullptr;
  } else if (auto* s = dynamic_cast<TppStretchable*>(sender)) {
    shifters.erase(std::remove(shifters.begin(), shifters.end(), s), shifters.end());
    savedShifters.erase(std::remove(savedShifters.begin(), savedShifters.end(), s), savedShifters.end());
  }
}

void TppStretchable::SetReprintOnOverFlow(bool value) {
  inherited::SetReprintOnOverFlow(value);
  if (value && !Loading()) {
    SetShiftRelativeTo(nullptr);
    if (shifters.empty()) stretch = false;
  }
}

void TppStretchable::SetShiftWithParent(bool value) {
  inherited::SetShiftWithParent(value);
  if (value && !Loading()) {
    SetShiftRelativeTo(nullptr);
    if (shifters.empty()) stretch = false;
  }
}

void TppStretchable::SetStretchWithParent(bool value) {
  inherited::SetStretchWithParent(value);
  if (value && !Loading()) {
    SetShiftRelativeTo(nullptr);
    if (shifters.empty()) stretch = false;
  }
}

void TppStretchable::SetmmBottomOffset(int value) {
  bottomOffset = std::max(value, 0);
  PropertyChange();
  LayoutChanged();
}

void TppStretchable::SetmmOverFlowOffset(int value) {
  overFlowOffset = std::max(value, 0);
  PropertyChange();
  LayoutChanged();
}

void TppStretchable::SetmmStopPosition(int value) {
  stopPosition = std::max(value, 0);
  PropertyChange();
  LayoutChanged();
}

double TppStretchable::BottomOffset() const { return ppMMThousandthsToUnits(bottomOffset, Units(), axVertical); }
void TppStretchable::SetBottomOffset(double value) {
  SetmmBottomOffset(ppUnitsToMMThousandths(value, Units(), axVertical));
}
double TppStretchable::OverFlowOffset() const { return ppMMThousandthsToUnits(overFlowOffset, Units(), axVertical); }
void TppStretchable::SetOverFlowOffset(double value) {
  SetmmOverFlowOffset(ppUnitsToMMThousandths(value, Units(), axVertical));
}
double TppStretchable::StopPosition() const { return ppMMThousandthsToUnits(stopPosition, Units(), axVertical); }
void TppStretchable::SetStopPosition(double value) {
  SetmmStopPosition(ppUnitsToMMThousandths(value, Units(), axVertical));
}

bool TppStretchable::ContainerCanGrow() const {
  if (!Band() || Band()->PrintHeight() != phDynamic) return false;
  return !Region() || Region()->Stretch();
}

bool TppStretchable::CanStretch() const { return (ContainerCanGrow() && stretch) || stopPosition != 0; }

bool TppStretchable::OnFreshPage() const { return Band() && Band()->ForceFit(); }

bool TppStretchable::CheckKeepTogether() const {
  if (!keepTogether || keptTogether) return false;
  if (shiftRelativeTo) return shiftRelativeTo->SpaceUsed() == 0;
  // Moving on only helps where something already stands above on the page.
  return !OnFreshPage();
}

void TppStretchable::InitGeneration() {
  inherited::InitGeneration();
  shiftersStarted = false;
  keptTogether = false;
  firstIncomplete = 0;
  partialAdjustment = 0;
  partialGeneration = false;
}

void TppStretchable::ResetGeneration() {
  inherited::ResetGeneration();
  completeFromStart = true;
  currentPosition = 0;
  pageBottom = 0;
  savedShifters.clear();
}

void TppStretchable::Generate() {
  TppBand* band = Band();
  const bool continued = Region() ? Region()->OverFlow() || Region()->PartialGeneration()
                                   : band && band->PartialGeneration();
  if (!continued) {
    // A new instance of the container: nothing carries over.
    shiftersStarted = false;
    firstIncomplete = 0;
    partialGeneration = false;
    SetOverFlow(false);
  }
  if (ReprintOnOverFlow() && continued) PrepareDraw();
  // Only the shifters go on: this component finished on an earlier page.
  if (shiftersStarted && !OverFlow()) SetDrawComponent(false);
  DoOnPrint();
  Place();
  if (OutOfSpace()) return;
  if (DrawComponent() && !OverFlow() && !shiftersStarted) {
    shiftersStarted = true;
    for (TppStretchable* shifter : shifters) shifter->SetDrawComponent(shifter->Visible());
  }
  if (shiftersStarted && !OverFlow()) GenerateShifters(firstIncomplete);
  if (!OverFlow() && !partialGeneration) SetGenerationComplete(true);
}

void TppStretchable::Place() {
  TppBand* band = Band();
  if (!band) return;
  const bool drawn = DrawComponent() && Visible();
  const int left = band->PrintLeft() + (drawn ? mmLeft() : 0);
  int top = 0;
  int resume = 0;
  int limit = band->PageBottom();
  int adjustment = 0;
  bool adjust = false;
  int growth = 0;
  const TppStretchable* reference = nullptr;
  if (shiftRelativeTo) {
    top = resume = shiftRelativeTo->CurrentPosition();
    limit = shiftRelativeTo->PageBottom();
  } else if (TppStretchable* region = Region()) {
    resume = region->CurrentPosition();
    limit = region->PageBottom();
    adjustment = region->PartialAdjustment();
    adjust = region->PartialGeneration();
    top = mmTop() - region->mmTop() + region->DrawRect().Top;
    growth = std::max(region->SpaceUsed() - region->mmHeight(), 0);
    reference = region->MaxStretchable();
  } else {
    resume = band->StartingPosition();
    top = band->StartingPosition() + mmTop();
    growth = std::max(band->SpaceUsed() - band->mmHeight(), 0);
    reference = dynamic_cast<const TppStretchable*>(band->MaxStretchable());
  }
  if (adjust) {
    top -= adjustment;
  } else if (OverFlow() && stopPosition == 0) {
    top = resume + (shiftRelativeTo ? 0 : overFlowOffset);
  } else if (ShiftWithParent() && !shiftRelativeTo) {
    if (reference && reference != this)
      top = reference->DrawRect().Top + reference->SpaceUsed() + (mmTop() - (reference->mmTop() + reference->mmHeight()));
    else
      top += growth;
  }
  currentPosition = top;
  pageBottom = (stopPosition != 0 && stopPosition < limit ? stopPosition : limit) - bottomOffset;

  int height = !drawn ? 0 : CanStretch() ? 0 : mmHeight();
  if (drawn && StretchWithParent()) {
    const int containerPosition = Region() ? Region()->CurrentPosition() : band->StartingPosition() + band->SpaceUsed();
    if (containerPosition > top) height = containerPosition - top;
  }
  if (top < pageBottom && top + height > pageBottom) height = pageBottom - top;
  SetDrawRect(TRect{left, top, left + mmWidth(), CanStretch() ? pageBottom : top + height});
  if (drawn && top + height > pageBottom + 1) {
    SetOutOfSpace(true);
    return;
  }
  if (drawn) {
    if (!CanStretch()) SetSpaceUsed(height);
    StretchContent();
  }
  TRect rect = DrawRect();
  rect.Bottom = top + SpaceUsed();
  SetDrawRect(rect);
  if (drawn && SpaceUsed() > 0) SetSpaceUsed(SpaceUsed() + bottomOffset);
}

void TppStretchable::GenerateShifters(int from) {
  currentPosition = DrawRect().Top + SpaceUsed();
  pageBottom += bottomOffset;
  bool incomplete = false;
  bool firstStretching = false;
  bool found = false;
  int lowest = currentPosition;
  for (size_t i = static_cast<size_t>(std::max(from, 0)); i < shifters.size(); ++i) {
    TppStretchable* shifter = shifters[i];
    shifter->ResetGeneration();
    shifter->Generate();
    if (shifter->SpaceUsed() > 0 &&
        std::find(savedShifters.begin(), savedShifters.end(), shifter) == savedShifters.end())
      savedShifters.push_back(shifter);
    if (!shifter->GenerationComplete()) {
      if (!found) {
        found = true;
        firstIncomplete = static_cast<int>(i);
        firstStretching = shifter->Stretch();
      }
      incomplete = true;
      partialAdjustment = std::min(partialAdjustment, shifter->mmTop());
      completeFromStart = false;
    }
    if (shifter->DrawComponent()) lowest = std::max(lowest, shifter->DrawRect().Top + shifter->SpaceUsed());
    ProcessMessages();
  }
  if (lowest > currentPosition) {
    currentPosition = lowest;
    SetSpaceUsed(lowest - DrawRect().Top);
  }
  SetOverFlow(found && firstStretching);
  partialGeneration = incomplete && !OverFlow();
  // What the shifters used is this component's on the page: its band
  // moves below them.
  if (OverFlow()) SetGenerationComplete(false);
}

void TppStretchable::CheckGenerationComplete() {
  inherited::CheckGenerationComplete();
  if (shiftersStarted) SetDrawComponent(false);
  if (!OverFlow() && !partialGeneration) shiftersStarted = false;
  if (completeFromStart) firstIncomplete = 0;
}

void TppStretchable::DrawToPage(TppPage* page) {
  inherited::DrawToPage(page);
  // In z-order, as they stand in the band.
  std::vector<TppStretchable*> ordered = savedShifters;
  std::stable_sort(ordered.begin(), ordered.end(),
                   [](const TppStretchable* a, const TppStretchable* b) { return a->Index() < b->Index(); });
  for (TppStretchable* shifter : ordered) {
    if (shifter->DrawComponent() && !shifter->OutOfSpace()) shifter->DrawToPage(page);
    ProcessMessages();
  }
}

namespace {
struct TStretchState {
  uint8_t ShiftersStarted, KeptTogether, PartialGeneration, CompleteFromStart;
  int32_t FirstIncomplete;
  int32_t PartialAdjustment;
};
static_assert(sizeof(TStretchState) == TppStretchable::StateSize - ppPrintableStateSize);
}  // namespace

void TppStretchable::CaptureState(uint8_t* record) const {
  inherited::CaptureState(record);
  const TStretchState s{shiftersStarted, keptTogether, partialGeneration, completeFromStart, firstIncomplete,
                        partialAdjustment};
  std::memcpy(record + ppPrintableStateSize, &s, sizeof s);
}

void TppStretchable::ApplyState(const uint8_t* record) {
  inherited::ApplyState(record);
  TStretchState s;
  std::memcpy(&s, record + ppPrintableStateSize, sizeof s);
  shiftersStarted = s.ShiftersStarted != 0;
  keptTogether = s.KeptTogether != 0;
  partialGeneration = s.PartialGeneration != 0;
  completeFromStart = s.CompleteFromStart != 0;
  firstIncomplete = s.FirstIncomplete;
  partialAdjustment = s.PartialAdjustment;
}

void TppStretchable::DefineProperties(TFiler& filer) {
  inherited::DefineProperties(filer);
  const auto integer = [&filer](const char* name, int& field) {
    filer.DefineProperty(
        name, [&field](TReader& reader) { field = static_cast<int>(reader.ReadInteger()); },
        [&field](TWriter& writer) { writer.WriteInteger(field); }, field != 0);
  };
  integer("mmBottomOffset", bottomOffset);
  integer("mmOverFlowOffset", overFlowOffset);
  integer("mmStopPosition", stopPosition);
}
