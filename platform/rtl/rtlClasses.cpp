#include "rtlClasses.h"

#include <algorithm>

#include "rtlAssert.h"
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

struct TComponent::TLinks {
  std::string name;
  std::vector<TComponent*> components;
  // Owned components by upper-case name, kept once there are many of them
  // (streams may hold thousands), so that FindComponent and the name checks
  // stay constant-time. The first of equal names wins, as in the list.
  std::unique_ptr<std::unordered_map<std::string, TComponent*>> nameIndex;
  bool duplicateNames = false;  // some name was met twice while indexing
  std::vector<TComponent*> freeNotifies;

  bool Unused() const { return name.empty() && components.empty() && !nameIndex && freeNotifies.empty(); }
};

namespace {

// Lists this long get a name index.
constexpr size_t NameIndexThreshold = 32;

}  // namespace

TComponent::TComponent(TComponent* owner) {
  if (owner != nullptr) owner->InsertComponent(this);
}

TComponent::~TComponent() {
  // Free() already ran BeforeDestruction; a plain delete did not.
  Destroying();
  RemoveFreeNotifications();
  DestroyComponents();
  if (owner != nullptr) owner->RemoveComponent(this);
  ORV_ASSERT(owner == nullptr && (!links || (links->components.empty() && links->freeNotifies.empty())));
}

TComponent::TLinks& TComponent::Links() {
  if (!links) links = std::make_unique<TLinks>();
  return *links;
}

void TComponent::ReleaseUnusedLinks() {
  if (links && links->Unused()) links.reset();
}

static_assert(csDesignInstance < 16, "the component state is kept in 16 bits");

const std::string& TComponent::Name() const {
  static const std::string none;
  return links ? links->name : none;
}

const std::vector<TComponent*>& TComponent::OwnedComponents() const {
  static const std::vector<TComponent*> none;
  return links ? links->components : none;
}

void TComponent::BeforeDestruction() {
  if (!HasState(csDestroying)) Destroying();
}

void TComponent::Destroying() {
  if (HasState(csDestroying)) return;
  SetState(csDestroying, true);
  for (TComponent* c : OwnedComponents()) c->Destroying();
}

void TComponent::DestroyComponents() {
  // They leave quietly: the owner's own overrides are gone already, and
  // whoever asked for free notification hears from the component itself.
  while (links && !links->components.empty()) {
    TComponent* doomed = links->components.back();
    Remove(doomed);
    doomed->Free();
  }
}

void TComponent::RemoveFreeNotifications() {
  // A partner's notification may free other partners: their ends drop
  // their links here, so the list is read afresh every time.
  while (links && !links->freeNotifies.empty()) {
    TComponent* partner = links->freeNotifies.back();
    links->freeNotifies.pop_back();
    ReleaseUnusedLinks();
    partner->DropFreeNotify(this);
    partner->Notification(this, opRemove);
  }
  SetState(csFreeNotification, false);
}

void TComponent::DropFreeNotify(TComponent* component) {
  if (!links) return;
  std::vector<TComponent*>& partners = links->freeNotifies;
  // From the end: partners usually leave in the reverse order they came.
  auto it = std::find(partners.rbegin(), partners.rend(), component);
  if (it != partners.rend()) partners.erase(std::next(it).base());
  if (partners.empty()) SetState(csFreeNotification, false);
  ReleaseUnusedLinks();
}

bool IsValidIdent(std::string_view ident) {
  auto isAlpha = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
  if (ident.empty() || !isAlpha(ident[0])) return false;
  return std::all_of(ident.begin() + 1, ident.end(),
                     [&](char c) { return isAlpha(c) || (c >= '0' && c <= '9'); });
}

void TComponent::SetName(const std::string& newName) {
  if (Name() == newName) return;
  if (!newName.empty() && !IsValidIdent(newName)) throw EComponentError(SInvalidName, {newName});
  if (owner != nullptr)
    owner->ValidateRename(this, Name(), newName);
  else
    ValidateRename(nullptr, Name(), newName);
  ChangeName(newName);
}

void TComponent::ValidateRename(TComponent* component, const std::string& curName,
                                const std::string& newName) {
  if (component != nullptr && !SameText(curName, newName) && component->owner == this &&
      FindComponent(newName) != nullptr)
    throw EComponentError(SDuplicateName, {newName});
}

int TComponent::ComponentCount() const { return static_cast<int>(OwnedComponents().size()); }

TComponent* TComponent::Components(int index) const {
  if (index < 0 || index >= ComponentCount()) throw EListError(SListIndexError, {index});
  return links->components[static_cast<size_t>(index)];
}

int TComponent::ComponentIndex() const {
  if (owner == nullptr) return -1;
  const std::vector<TComponent*>& siblings = owner->OwnedComponents();
  auto it = std::find(siblings.begin(), siblings.end(), this);
  return it == siblings.end() ? -1 : static_cast<int>(it - siblings.begin());
}

TComponent* TComponent::FindComponent(std::string_view componentName) const {
  if (componentName.empty() || !links) return nullptr;
  if (links->nameIndex) {
    auto it = links->nameIndex->find(UpperCase(componentName));
    return it == links->nameIndex->end() ? nullptr : it->second;
  }
  for (TComponent* c : links->components)
    if (SameText(c->Name(), componentName)) return c;
  return nullptr;
}

void TComponent::IndexName(TComponent* component) {
  ORV_ASSERT(links);
  if (links->nameIndex && !component->Name().empty() &&
      !links->nameIndex->emplace(UpperCase(component->Name()), component).second)
    links->duplicateNames = true;
}

void TComponent::UnindexName(TComponent* component) {
  if (!links || !links->nameIndex || component->Name().empty()) return;
  const std::string key = UpperCase(component->Name());
  auto it = links->nameIndex->find(key);
  if (it == links->nameIndex->end() || it->second != component) return;
  links->nameIndex->erase(it);
  // Another component of the same name (only ChangeName makes one) takes
  // its place.
  if (!links->duplicateNames) return;
  for (TComponent* c : links->components)
    if (c != component && SameText(c->Name(), component->Name())) {
      links->nameIndex->emplace(key, c);
      break;
    }
}

void TComponent::ChangeName(const std::string& newName) {
  if (owner != nullptr) owner->UnindexName(this);
  if (!newName.empty()) {
    Links().name = newName;
  } else if (links) {
    links->name.clear();
    ReleaseUnusedLinks();
  }
  if (owner != nullptr) owner->IndexName(this);
}

void TComponent::Insert(TComponent* component) {
  ORV_ASSERT(component->owner == nullptr);
  TLinks& own = Links();
  own.components.push_back(component);
  component->owner = this;
  if (own.nameIndex) {
    IndexName(component);
  } else if (own.components.size() > NameIndexThreshold) {
    own.nameIndex = std::make_unique<std::unordered_map<std::string, TComponent*>>();
    for (TComponent* c : own.components) IndexName(c);
  }
}

void TComponent::Remove(TComponent* component) {
  ORV_ASSERT(links && component->owner == this);
  std::vector<TComponent*>& owned = links->components;
  // From the end: owners free and lose their components last first.
  auto it = std::find(owned.rbegin(), owned.rend(), component);
  ORV_ASSERT(it != owned.rend());
  owned.erase(std::next(it).base());
  UnindexName(component);
  component->owner = nullptr;
  if (owned.empty()) {
    // Without components the name index has nothing left to find.
    links->nameIndex.reset();
    links->duplicateNames = false;
    ReleaseUnusedLinks();
  }
}

bool TComponent::IsWithin(const TComponent* ancestor) const {
  for (const TComponent* o = owner; o != nullptr; o = o->owner)
    if (o == ancestor) return true;
  return false;
}

void TComponent::NotifyPartnersWithin(TComponent* component, TOperation operation) {
  // A receiver may free partners or drop links (an opRemove drops its own):
  // the partner list is searched afresh after each call, and the ones told
  // are remembered so that none hears twice.
  std::vector<TComponent*> told;
  for (;;) {
    if (!component->links) return;
    TComponent* next = nullptr;
    for (TComponent* partner : component->links->freeNotifies)
      if (partner->IsWithin(this) && std::find(told.begin(), told.end(), partner) == told.end()) {
        next = partner;
        break;
      }
    if (next == nullptr) return;
    told.push_back(next);
    next->Notification(component, operation);
  }
}

void TComponent::InsertComponent(TComponent* component) {
  ORV_ASSERT(component != nullptr && component != this);
  if (component->owner == this) return;
  // Checked before the move, so a clash leaves the component where it was.
  if (!component->Name().empty() && FindComponent(component->Name()) != nullptr)
    throw EComponentError(SDuplicateName, {component->Name()});
  if (component->owner != nullptr) component->owner->RemoveComponent(component);
  Insert(component);
  if (HasState(csDesigning)) component->SetDesigning(true);
  Notification(component, opInsert);
  NotifyPartnersWithin(component, opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
  ORV_ASSERT(component != nullptr && component->owner == this);
  Notification(component, opRemove);
  NotifyPartnersWithin(component, opRemove);
  // A receiver may already have moved or freed it elsewhere only by a
  // fault of its own; the list still holds it here.
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
}

void TComponent::FreeNotification(TComponent* component) {
  ORV_ASSERT(component != nullptr);
  if (component == this) return;
  std::vector<TComponent*>& partners = Links().freeNotifies;
  if (std::find(partners.rbegin(), partners.rend(), component) == partners.rend()) {
    partners.push_back(component);
    component->Links().freeNotifies.push_back(this);
  }
  SetState(csFreeNotification, true);
  component->SetState(csFreeNotification, true);
}

void TComponent::RemoveFreeNotification(TComponent* component) {
  DropFreeNotify(component);
  component->DropFreeNotify(this);
}

void TComponent::SetState(TComponentStateFlag flag, bool value) {
  TComponentState changed = ComponentState();
  if (value)
    changed.Include(flag);
  else
    changed.Exclude(flag);
  state = static_cast<uint16_t>(changed.Bits());
}

void TComponent::SetDesigning(bool value, TDesignReach reach) {
  SetState(csDesigning, value);
  if (reach == TDesignReach::WithOwned)
    for (TComponent* c : OwnedComponents()) c->SetDesigning(value);
}

void TComponent::SetAncestor(bool value) {
  SetState(csAncestor, value);
  for (TComponent* c : OwnedComponents()) c->SetAncestor(value);
}

void TComponent::SetInline(bool value) { SetState(csInline, value); }

void TComponent::SetReading(bool value) { SetState(csReading, value); }
void TComponent::SetWriting(bool value) { SetState(csWriting, value); }
void TComponent::SetLoading(bool value) { SetState(csLoading, value); }
void TComponent::SetFixups(bool value) { SetState(csFixups, value); }

void TComponent::Loaded() { SetState(csLoading, false); }

void TComponent::ReadState(TReader& reader) { reader.ReadData(this); }

void TComponent::WriteState(TWriter& writer) { writer.WriteData(this); }
