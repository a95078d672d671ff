#include "rtlClasses.h"

#include <algorithm>
#include <cassert>

#include "rtlClassesConsts.h"
#include "rtlConsts.h"
#include "rtlReader.h"
#include "rtlStrUtils.h"
#include "rtlTypeInfo.h"
#include "rtlWriter.h"

// ---- TObject ----

const TClassInfo& TObject::StaticClassType() {
  static const TClassInfo info("TObject", nullptr, nullptr);
  return info;
}

const TClassInfo& TObject::ClassType() const { return StaticClassType(); }

const std::string& TObject::ClassName() const { return ClassType().Name(); }

bool TObject::InheritsFrom(const TClassInfo& classInfo) const {
  return ClassType().InheritsFrom(classInfo);
}

void TObject::Free() {
  BeforeDestruction();
  delete this;
}

// ---- TPersistent ----

RTL_DEFINE_CLASS(TPersistent)

void TPersistent::Assign(const TPersistent* source) {
  if (source == nullptr) AssignError(nullptr);
  source->AssignTo(this);
}

void TPersistent::AssignTo(TPersistent* dest) const { dest->AssignError(this); }

void TPersistent::AssignError(const TPersistent* source) const {
  const std::string sourceName = source != nullptr ? source->ClassName() : std::string("nil");
  throw EConvertError(SAssignError, {sourceName, ClassName()});
}

void TPersistent::DefineProperties(TFiler& /*filer*/) {}

// ---- TComponent ----

// Name is published but not stored: streams carry it in the component's
// header.
const TClassInfo& TComponent::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TComponent>("TComponent")
                                     .Property("Name", &TComponent::Name, &TComponent::SetName)
                                     .Stored(false)
                                     .Property("Tag", &TComponent::Tag, &TComponent::SetTag)
                                     .Default(0)
                                     .Build();
  return info;
}

TComponent::TComponent(TComponent* owner) {
  if (owner != nullptr) owner->InsertComponent(this);
}

TComponent::~TComponent() {
  // Free() already ran BeforeDestruction; a plain delete did not.
  Destroying();
  RemoveFreeNotifications();
  DestroyComponents();
  if (owner != nullptr) owner->RemoveComponent(this);
  assert(components.empty() && freeNotifies.empty() && owner == nullptr);
}

void TComponent::BeforeDestruction() {
  if (!state.Contains(csDestroying)) Destroying();
}

void TComponent::Destroying() {
  if (state.Contains(csDestroying)) return;
  state.Include(csDestroying);
  for (TComponent* c : components) c->Destroying();
}

void TComponent::DestroyComponents() {
  // They leave quietly: the owner's own overrides are gone already, and
  // whoever asked for free notification hears from the component itself.
  // (A broadcast per component would make freeing n of them cost n^2.)
  while (!components.empty()) {
    TComponent* doomed = components.back();
    Remove(doomed);
    doomed->Free();
  }
}

void TComponent::RemoveFreeNotifications() {
  while (!freeNotifies.empty()) {
    TComponent* partner = freeNotifies.back();
    freeNotifies.pop_back();
    partner->DropFreeNotify(this);
    partner->Notification(this, opRemove);
  }
}

void TComponent::DropFreeNotify(TComponent* component) {
  // From the end: partners usually leave in the reverse order they came.
  auto it = std::find(freeNotifies.rbegin(), freeNotifies.rend(), component);
  if (it != freeNotifies.rend()) freeNotifies.erase(std::next(it).base());
  if (freeNotifies.empty()) state.Exclude(csFreeNotification);
}

bool IsValidIdent(std::string_view ident) {
  auto isAlpha = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
  if (ident.empty() || !isAlpha(ident[0])) return false;
  return std::all_of(ident.begin() + 1, ident.end(),
                     [&](char c) { return isAlpha(c) || (c >= '0' && c <= '9'); });
}

void TComponent::SetName(const std::string& newName) {
  if (name == newName) return;
  if (!newName.empty() && !IsValidIdent(newName)) throw EComponentError(SInvalidName, {newName});
  if (owner != nullptr)
    owner->ValidateRename(this, name, newName);
  else
    ValidateRename(nullptr, name, newName);
  ChangeName(newName);
}

void TComponent::ValidateRename(TComponent* component, const std::string& curName,
                                const std::string& newName) {
  if (component != nullptr && !SameText(curName, newName) && component->owner == this &&
      FindComponent(newName) != nullptr)
    throw EComponentError(SDuplicateName, {newName});
}

TComponent* TComponent::Components(int index) const {
  if (index < 0 || index >= ComponentCount()) throw EListError(SListIndexError, {index});
  return components[static_cast<size_t>(index)];
}

int TComponent::ComponentIndex() const {
  if (owner == nullptr) return -1;
  auto it = std::find(owner->components.begin(), owner->components.end(), this);
  return it == owner->components.end() ? -1 : static_cast<int>(it - owner->components.begin());
}

namespace {

// Lists this long get a name index.
constexpr size_t NameIndexThreshold = 32;

}  // namespace

TComponent* TComponent::FindComponent(std::string_view componentName) const {
  if (componentName.empty()) return nullptr;
  if (nameIndex) {
    auto it = nameIndex->find(UpperCase(componentName));
    return it == nameIndex->end() ? nullptr : it->second;
  }
  for (TComponent* c : components)
    if (SameText(c->name, componentName)) return c;
  return nullptr;
}

void TComponent::IndexName(TComponent* component) {
  if (nameIndex && !component->name.empty() &&
      !nameIndex->emplace(UpperCase(component->name), component).second)
    duplicateNames = true;
}

void TComponent::UnindexName(TComponent* component) {
  if (!nameIndex || component->name.empty()) return;
  const std::string key = UpperCase(component->name);
  auto it = nameIndex->find(key);
  if (it == nameIndex->end() || it->second != component) return;
  nameIndex->erase(it);
  // Another component of the same name (only ChangeName makes one) takes
  // its place.
  if (!duplicateNames) return;
  for (TComponent* c : components)
    if (c != component && SameText(c->name, component->name)) {
      nameIndex->emplace(key, c);
      break;
    }
}

void TComponent::ChangeName(const std::string& newName) {
  if (owner != nullptr) owner->UnindexName(this);
  name = newName;
  if (owner != nullptr) owner->IndexName(this);
}

void TComponent::Insert(TComponent* component) {
  assert(component->owner == nullptr);
  components.push_back(component);
  component->owner = this;
  if (nameIndex) {
    IndexName(component);
  } else if (components.size() > NameIndexThreshold) {
    nameIndex = std::make_unique<std::unordered_map<std::string, TComponent*>>();
    for (TComponent* c : components) IndexName(c);
  }
}

void TComponent::Remove(TComponent* component) {
  // From the end: owners free and lose their components last first.
  auto it = std::find(components.rbegin(), components.rend(), component);
  assert(it != components.rend());
  components.erase(std::next(it).base());
  UnindexName(component);
  component->owner = nullptr;
}

void TComponent::InsertComponent(TComponent* component) {
  assert(component != nullptr && component != this);
  if (component->owner == this) return;
  // Checked before the move, so a clash leaves the component where it was.
  if (!component->name.empty() && FindComponent(component->name) != nullptr)
    throw EComponentError(SDuplicateName, {component->name});
  if (component->owner != nullptr) component->owner->RemoveComponent(component);
  Insert(component);
  if (state.Contains(csDesigning)) component->SetDesigning(true);
  Notification(component, opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
  assert(component != nullptr && component->owner == this);
  Notification(component, opRemove);
  // The notification may already have moved or freed it elsewhere only by
  // a fault of the receiver; the list still holds it here.
  Remove(component);
}

void TComponent::ChangeOwner(TComponent* newOwner) {
  if (newOwner == owner) return;
  if (newOwner != nullptr)
    newOwner->InsertComponent(this);
  else
    owner->RemoveComponent(this);
}

void TComponent::Notification(TComponent* component, TOperation operation) {
  if (operation == opRemove && component != nullptr) RemoveFreeNotification(component);
  // Receivers may free or add components meanwhile: walk down from the end
  // and re-check the index against the current count at every step.
  for (int i = ComponentCount() - 1; i >= 0; --i) {
    if (i >= ComponentCount()) {
      i = ComponentCount();
      continue;
    }
    components[static_cast<size_t>(i)]->Notification(component, operation);
  }
}

void TComponent::FreeNotification(TComponent* component) {
  assert(component != nullptr);
  if (component == this) return;
  if (std::find(freeNotifies.rbegin(), freeNotifies.rend(), component) == freeNotifies.rend()) {
    freeNotifies.push_back(component);
    component->freeNotifies.push_back(this);
  }
  state.Include(csFreeNotification);
  component->state.Include(csFreeNotification);
}

void TComponent::RemoveFreeNotification(TComponent* component) {
  DropFreeNotify(component);
  component->DropFreeNotify(this);
}

void TComponent::SetState(TComponentStateFlag flag, bool value) {
  if (value)
    state.Include(flag);
  else
    state.Exclude(flag);
}

void TComponent::SetDesigning(bool value, bool setChildren) {
  SetState(csDesigning, value);
  if (setChildren)
    for (TComponent* c : components) c->SetDesigning(value, true);
}

void TComponent::SetAncestor(bool value) {
  SetState(csAncestor, value);
  for (TComponent* c : components) c->SetAncestor(value);
}

void TComponent::SetInline(bool value) { SetState(csInline, value); }

void TComponent::Updating() { state.Include(csUpdating); }

void TComponent::Updated() { state.Exclude(csUpdating); }

void TComponent::SetReading(bool value) { SetState(csReading, value); }
void TComponent::SetWriting(bool value) { SetState(csWriting, value); }
void TComponent::SetLoading(bool value) { SetState(csLoading, value); }
void TComponent::SetFixups(bool value) { SetState(csFixups, value); }

void TComponent::Loaded() { state.Exclude(csLoading); }

void TComponent::ReadState(TReader& reader) { reader.ReadData(this); }

void TComponent::WriteState(TWriter& writer) { writer.WriteData(this); }
