#include "ppRegion.h"

#include <algorithm>
#include <cstring>

#include "ppBands.h"
#include "ppDrwCmd.h"
#include "rtlAssert.h"

const TClassInfo& TppCustomRegion::StaticClassType() {
  static const TClassInfo info =
      TClassBuilder<TppCustomRegion>("TppCustomRegion")
          .Property("Brush", &TppCustomRegion::Brush, &TppCustomRegion::SetBrush)
          .Property("Pen", &TppCustomRegion::Pen, &TppCustomRegion::SetPen)
          .Property("ShiftRelativeTo", &TppCustomRegion::ShiftRelativeTo, &TppCustomRegion::SetShiftRelativeTo)
          .Property("Stretch", &TppCustomRegion::Stretch, &TppCustomRegion::SetStretch)
          .Default(0)
          .Build();
  return info;
}

RTL_DEFINE_CLASS(TppRegion)

TppCustomRegion::TppCustomRegion(TComponent* owner)
    : TppStretchable(owner), brush(std::make_unique<TppBrush>()), pen(std::make_unique<TppPen>()) {
  SetDrawCommandClass(&TppDrawShape::StaticClassType());
  SetCacheRecordSize(StateSize);
}

TppCustomRegion::~TppCustomRegion() {
  while (!objects.empty()) objects.back()->SetRegion(nullptr);
}

void TppCustomRegion::BeforeDestruction() {
  // Deleting a region deletes what is in it; when the whole layout goes,
  // its owner frees them anyway.
  const bool ownerGoes = Owner() && Owner()->ComponentState().Contains(csDestroying);
  std::vector<TppComponent*> doomed = objects;
  while (!objects.empty()) objects.back()->SetRegion(nullptr);
  if (!ownerGoes)
    for (TppComponent* component : doomed) component->Free();
  inherited::BeforeDestruction();
}

int TppCustomRegion::IndexOfObject(const TppComponent* component) const {
  const auto it = std::find(objects.begin(), objects.end(), component);
  return it == objects.end() ? -1 : static_cast<int>(it - objects.begin());
}

void TppCustomRegion::SetBrush(TppBrush* value) {
  if (!value) return;
  brush->Assign(value);
  SetTransparent(brush->Style() == bsClear);
  PropertyChange();
}

void TppCustomRegion::SetPen(TppPen* value) {
  if (!value) return;
  pen->Assign(value);
  PropertyChange();
}

void TppCustomRegion::RegionObjectAdded(TppComponent* component) {
  if (component->Band() != Band()) component->SetBand(Band());
  objects.push_back(component);
  const TComponentState state = ComponentState();
  if (!state.Contains(csLoading) && !state.Contains(csReading))
    if (auto* stretchable = dynamic_cast<TppStretchable*>(component); stretchable && stretchable->Stretch())
      SetStretch(true);
}

void TppCustomRegion::RegionObjectRemoved(TppComponent* component) {
  objects.erase(std::remove(objects.begin(), objects.end(), component), objects.end());
  if (maxStretchable == component) maxStretchable = nullptr;
  LayoutChanged();
}

void TppCustomRegion::SetmmLeft(int value) {
  const int before = mmLeft();
  inherited::SetmmLeft(value);
  const TComponentState state = ComponentState();
  if (state.Contains(csLoading) || state.Contains(csReading)) return;
  for (TppComponent* component : objects) component->TppPrintable::SetmmLeft(component->mmLeft() + mmLeft() - before);
}

void TppCustomRegion::SetmmTop(int value) {
  const int before = mmTop();
  inherited::SetmmTop(value);
  const TComponentState state = ComponentState();
  if (state.Contains(csLoading) || state.Contains(csReading)) return;
  for (TppComponent* component : objects) component->TppPrintable::SetmmTop(component->mmTop() + mmTop() - before);
}

std::vector<TppComponent*> TppCustomRegion::GenerationOrder() const {
  std::vector<TppComponent*> fixed, stretching, stretchWithParent, shiftWithParent;
  for (TppComponent* component : objects) {
    const auto* stretchable = dynamic_cast<const TppStretchable*>(component);
    if (stretchable && stretchable->ShiftRelativeTo()) continue;
    if (stretchable && stretchable->Stretch()) stretching.push_back(component);
    else if (component->StretchWithParent()) stretchWithParent.push_back(component);
    else if (component->ShiftWithParent()) shiftWithParent.push_back(component);
    else fixed.push_back(component);
  }
  std::vector<TppComponent*> order = fixed;
  for (const auto* list : {&stretching, &stretchWithParent, &shiftWithParent})
    order.insert(order.end(), list->begin(), list->end());
  return order;
}

void TppCustomRegion::InitGeneration() {
  inherited::InitGeneration();
  for (TppComponent* component : objects) component->InitGeneration();
  SetPartialAdjustment(mmHeight());
  firstIncomplete = 0;
}

void TppCustomRegion::PrepareDraw() {
  inherited::PrepareDraw();
  for (TppComponent* component : objects) component->SetDrawComponent(true);
}

void TppCustomRegion::GenerateObjects() {
  maxStretchable = nullptr;
  const bool continued = OverFlow();
  const int top = DrawRect().Top;
  int lowest = top;
  bool incomplete = false;
  int adjustment = mmHeight();
  const std::vector<TppComponent*> order = GenerationOrder();
  for (TppComponent* component : order) {
    // On a continuation page only what is unfinished goes on (and what
    // reprints there).
    if (continued && component->GenerationComplete() && !component->ReprintOnOverFlow()) {
      component->SetDrawComponent(false);
      continue;
    }
    component->ResetGeneration();
    component->SetDrawComponent(component->Visible());
    component->Generate();
    if (!component->GenerationComplete()) {
      incomplete = true;
      adjustment = std::min(adjustment, component->mmTop() - mmTop());
    }
    if (component->DrawComponent() && component->SpaceUsed() > 0) {
      const int bottom = component->DrawRect().Top + component->SpaceUsed();
      if (auto* stretchable = dynamic_cast<TppStretchable*>(component);
          stretchable && (!maxStretchable || bottom > maxStretchable->DrawRect().Top + maxStretchable->SpaceUsed()))
        maxStretchable = stretchable;
      lowest = std::max(lowest, bottom);
    }
    ProcessMessages();
  }
  // The region takes its design height, or what its objects reach.
  const int height = std::min(std::max(mmHeight() - (continued ? PartialAdjustment() : 0), 0), PageBottom() - top);
  SetSpaceUsed(std::max(lowest - top, std::max(height, 0)));
  const bool pastBottom = top + mmHeight() > PageBottom() + 1 && !continued;
  SetOverFlow(CanStretch() && (incomplete || (pastBottom && !OnFreshPage())));
  SetPartialGeneration(false);
  SetPartialAdjustment(incomplete ? std::max(adjustment, 0) : 0);
}

void TppCustomRegion::StretchContent() {
  const bool keep = CheckKeepTogether();
  std::vector<std::vector<uint8_t>> saved;
  if (keep)
    for (TppComponent* component : objects) {
      std::vector<uint8_t> record(static_cast<size_t>(component->CacheRecordSize()));
      component->CaptureState(record.data());
      saved.push_back(std::move(record));
    }
  GenerateObjects();
  if (keep && OverFlow()) {
    // The whole region starts on the next page, its objects where they
    // stand in it.
    ORV_ASSERT(saved.size() == objects.size());  // generating never changes the objects
    for (size_t i = 0; i < objects.size(); ++i) {
      objects[i]->ApplyState(saved[i].data());
      objects[i]->SetDrawComponent(objects[i]->Visible());
      objects[i]->ResetGeneration();
    }
    SetSpaceUsed(0);
    SetKeptTogether(true);
    SetPartialAdjustment(0);
    SetDrawComponent(false);
    for (TppComponent* component : objects) component->SetDrawComponent(false);
    return;
  }
  if (KeptTogether() && !OverFlow()) SetKeptTogether(false);
}

void TppCustomRegion::DrawToPage(TppPage* page) {
  inherited::DrawToPage(page);
  for (TppComponent* component : objects) {
    const auto* stretchable = dynamic_cast<const TppStretchable*>(component);
    if (stretchable && stretchable->ShiftRelativeTo()) continue;  // its target draws it
    if (component->DrawComponent() && !component->OutOfSpace()) component->DrawToPage(page);
  }
}

void TppCustomRegion::PropertiesToDrawCommand(TppDrawCommand* command) {
  inherited::PropertiesToDrawCommand(command);
  auto* shape = dynamic_cast<TppDrawShape*>(command);
  if (!shape) return;
  shape->SetBrush(brush.get());
  shape->SetPen(pen.get());
  shape->ShapeType = stRectangle;
  if (Transparent()) shape->Brush()->SetStyle(bsClear);
}

void TppCustomRegion::GetChildren(const TGetChildProc& proc, TComponent* root) {
  for (TppComponent* component : objects) proc(component);
}

namespace {
struct TRegionState {
  int32_t FirstIncomplete;
};
static_assert(sizeof(TRegionState) == TppCustomRegion::StateSize - TppStretchable::StateSize);
}  // namespace

void TppCustomRegion::CaptureState(uint8_t* record) const {
  inherited::CaptureState(record);
  const TRegionState s{firstIncomplete};
  std::memcpy(record + TppStretchable::StateSize, &s, sizeof s);
}

void TppCustomRegion::ApplyState(const uint8_t* record) {
  inherited::ApplyState(record);
  TRegionState s;
  std::memcpy(&s, record + TppStretchable::StateSize, sizeof s);
  firstIncomplete = s.FirstIncomplete;
}
