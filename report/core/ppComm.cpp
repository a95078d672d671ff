#include "ppComm.h"

#include <algorithm>

#include "ppUtils.h"
#include "rtlAssert.h"
#include "rtlStrUtils.h"
#include "rtlTypeInfo.h"

const TClassInfo& TppCommunicator::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TppCommunicator>("TppCommunicator")
                                     .Property("UserName", &TppCommunicator::GetUserName, &TppCommunicator::SetUserName)
                                     .Build();
  return info;
}

namespace {

bool Contains(const std::vector<TppCommunicator*>& list, const TppCommunicator* item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

void Erase(std::vector<TppCommunicator*>& list, const TppCommunicator* item) {
  std::erase(list, item);
  if (list.empty()) list.shrink_to_fit();
}

}  // namespace

TppCommunicator::TppCommunicator(TComponent* owner) : TComponent(owner) {}

TppCommunicator::~TppCommunicator() { SendDestroyNotification(); }

void TppCommunicator::BeforeDestruction() {
  inherited::BeforeDestruction();
  SendDestroyNotification();
}

void TppCommunicator::SendDestroyNotification() {
  if (destroying) return;
  destroying = true;
  SendNotify(this, ppopRemove);
  // The receivers dropped their side without calling back.
  for (TppCommunicator* link : notifyLinks) {
    Erase(link->notifyLinks, this);
    link->DropListener(this);
  }
  notifyLinks.clear();
  eventListeners.clear();
  ++listenersVersion;
}

void TppCommunicator::AddNotify(TppCommunicator* other) {
  if (!other || other == this) return;
  const bool linked = Contains(notifyLinks, other);
  // Links are symmetric but while one side is on its way out (its removal
  // notice lets the others drop their side first).
  ORV_ASSERT(destroying || other->destroying || linked == Contains(other->notifyLinks, this));
  if (linked) return;
  // A link made to a communicator on its way out would outlive it.
  ORV_ASSERT(!destroying && !other->destroying);
  notifyLinks.push_back(other);
  if (!Contains(other->notifyLinks, this)) other->notifyLinks.push_back(this);
}

void TppCommunicator::RemoveNotify(TppCommunicator* other) {
  if (!other) return;
  Erase(notifyLinks, other);
  Erase(other->notifyLinks, this);
  // A listener is always linked: without the link it listens no more.
  DropListener(other);
  other->DropListener(this);
}

TppCommunicator* TppCommunicator::GetNotifyLink(int index) const {
  if (index < 0 || index >= GetNotifyLinkCount()) return nullptr;
  return notifyLinks[static_cast<size_t>(index)];
}

void TppCommunicator::SendNotify(TppCommunicator* sender, int operation) {
  // Receivers may drop links as they go: walk a copy, skipping any that
  // left meanwhile.
  const std::vector<TppCommunicator*> links = notifyLinks;
  for (auto it = links.rbegin(); it != links.rend(); ++it)
    if (Contains(notifyLinks, *it)) (*it)->Notify(sender, operation);
}

void TppCommunicator::DropReferences(TppCommunicator* other) {
  Erase(notifyLinks, other);
  DropListener(other);
}

void TppCommunicator::DropListener(const TppCommunicator* listener) {
  const size_t before = eventListeners.size();
  Erase(eventListeners, listener);
  if (eventListeners.size() != before) ++listenersVersion;
}

void TppCommunicator::Notify(TppCommunicator* sender, int operation) {
  if (notifyHandler) notifyHandler(this, sender, operation);
  if (operation == ppopRemove) DropReferences(sender);
}

bool TppCommunicator::LinksListenTo(int eventId) const {
  if (eventId < 0 || eventId >= ppEventIdCount) return false;
  return std::any_of(notifyLinks.begin(), notifyLinks.end(),
                     [eventId](const TppCommunicator* link) { return link->ListensTo(eventId); });
}

bool TppCommunicator::ListensTo(int eventId) const {
  return eventId >= 0 && eventId < ppEventIdCount && eventSet.test(static_cast<size_t>(eventId));
}

void TppCommunicator::SetListensTo(int eventId, bool value) {
  if (eventId >= 0 && eventId < ppEventIdCount) eventSet.set(static_cast<size_t>(eventId), value);
}

bool TppCommunicator::IsListener(const TppCommunicator* listener) const {
  return Contains(eventListeners, listener);
}

void TppCommunicator::AddEventNotify(TppCommunicator* listener) {
  if (!listener || listener == this || IsListener(listener)) return;
  ++listenersVersion;
  if (listener->GetSortKey().empty()) {
    eventListeners.push_back(listener);
  } else {
    eventListeners.push_back(listener);
    std::stable_sort(eventListeners.begin(), eventListeners.end(),
                     [](const TppCommunicator* a, const TppCommunicator* b) {
                       return CompareText(a->GetSortKey(), b->GetSortKey()) < 0;
                     });
  }
  AddNotify(listener);
}

void TppCommunicator::RemoveEventNotify(TppCommunicator* listener) {
  if (!IsListener(listener)) return;
  DropListener(listener);
  RemoveNotify(listener);
}

void TppCommunicator::SendEventNotify(TppCommunicator* sender, int eventId, TppEventParams* params) {
  if (eventId < 0 || eventId >= ppEventIdCount) return;
  // Until a listener changes the list, the next one to hear is simply the
  // next in it; after a change, the first registered one that has not
  // heard the event yet. Most broadcasts (a record for each data text) keep
  // the list, and a few listeners are remembered without allocating.
  constexpr size_t inlineCount = 32;
  const TppCommunicator* inlineHeard[inlineCount];
  std::vector<const TppCommunicator*> moreHeard;
  size_t heardCount = 0;
  const auto heard = [&](const TppCommunicator* l) {
    const TppCommunicator* const* end = inlineHeard + std::min(heardCount, inlineCount);
    return std::find(static_cast<const TppCommunicator* const*>(inlineHeard), end, l) != end ||
           std::find(moreHeard.begin(), moreHeard.end(), l) != moreHeard.end();
  };
  const uint32_t version = listenersVersion;
  size_t index = 0;
  for (;;) {
    TppCommunicator* listener = nullptr;
    if (version == listenersVersion) {
      if (index >= eventListeners.size()) return;
      listener = eventListeners[index++];
    } else {
      auto next = std::find_if(eventListeners.begin(), eventListeners.end(),
                               [&](const TppCommunicator* l) { return !heard(l); });
      if (next == eventListeners.end()) return;
      listener = *next;
    }
    if (heardCount < inlineCount) inlineHeard[heardCount] = listener;
    else moreHeard.push_back(listener);
    ++heardCount;
    if (listener->ListensTo(eventId)) listener->EventNotify(sender, eventId, params);
  }
}

void TppCommunicator::EventNotify(TppCommunicator* sender, int eventId, TppEventParams* params) {
  if (eventHandler) eventHandler(this, sender, eventId, params);
}

void TppCommunicator::AddState(uint16_t flags) {
  if ((stateSet & flags) == flags) return;
  stateSet |= flags;
  StateChange(flags);
}

void TppCommunicator::RemoveState(uint16_t flags) {
  if ((stateSet & flags) == 0) return;
  stateSet &= static_cast<uint16_t>(~flags);
  StateChange(flags);
}

void TppCommunicator::SetUserName(const std::string& name) {
  if (!IsValidIdent(name)) return;
  std::string chosen = name;
  if (!IsValidUserName(name)) {
    if (name.back() >= '1' && name.back() <= '9') return;
    for (int n = 1;; ++n) {
      chosen = name + std::to_string(n);
      TppCommunicator* holder = FindUserName(chosen);
      if (!holder || holder == this) break;
    }
  }
  userName = chosen;
  SendNotify(this, ppopUserNameChange);
}

bool TppCommunicator::IsValidUserName(const std::string& name) {
  if (!IsValidIdent(name)) return false;
  TppCommunicator* holder = FindUserName(name);
  return !holder || holder == this;
}

TppCommunicator* TppCommunicator::FindUserName(const std::string& name) {
  if (TppCommunicator* parent = GetParentCommunicator()) return parent->FindUserName(name);
  if (!Owner()) return nullptr;
  for (int i = 0; i < Owner()->ComponentCount(); ++i) {
    auto* other = dynamic_cast<TppCommunicator*>(Owner()->Components(i));
    if (other && SameText(other->userName, name)) return other;
  }
  return nullptr;
}

std::string TppCommunicator::GetDefaultUserName(const TComponent* component) {
  if (TppCommunicator* parent = GetParentCommunicator()) return parent->GetDefaultUserName(component);
  const std::string base = ppClassNameShort(component->ClassName());
  return ppMakeUniqueName(component->Owner(), base, component);
}

std::string TppCommunicator::MakeUniqueName(const TComponent* component) {
  const TComponent* owner = Owner() ? Owner() : this;
  return ppMakeUniqueName(owner, ppClassNameNoPrefix(component->ClassName()), component);
}

std::string TppCommunicator::DefaultUserNameFromName(const std::string& componentName) const {
  const std::string& cls = ClassName();
  if (componentName.size() >= 2 && cls.size() >= 3 && componentName.compare(0, 2, cls, 1, 2) == 0)
    return componentName.substr(2);
  return componentName;
}

TppCommunicator* TppCommunicator::GetParentCommunicator() const {
  return dynamic_cast<TppCommunicator*>(GetParentComponent());
}

void TppCommunicator::SetName(const std::string& newName) {
  const std::string oldName = Name();
  const bool follows = userName.empty() || userName == oldName ||
                       (oldName.size() >= 2 && userName == oldName.substr(2));
  inherited::SetName(newName);
  const bool streaming = ComponentState().Contains(csLoading) || ComponentState().Contains(csReading);
  if (follows && (!streaming || (stateSet & ppstRenameWhileReading) != 0))
    SetUserName(DefaultUserNameFromName(newName));
}

void TppCommunicator::Loaded() {
  inherited::Loaded();
  if (userName.empty()) SetUserName(DefaultUserNameFromName(Name()));
}

void TppCommunicator::ChangeOwner(TComponent* newOwner) {
  if (newOwner == Owner()) return;
  if (Owner()) Owner()->RemoveComponent(this);
  if (!newOwner) return;
  newOwner->InsertComponent(this);
  // A user name another component of the new owner carries is replaced,
  // quietly: nothing links to the moved component's new name yet.
  for (int i = 0; i < newOwner->ComponentCount(); ++i) {
    auto* other = dynamic_cast<TppCommunicator*>(newOwner->Components(i));
    if (other && other != this && SameText(other->userName, userName)) {
      userName = FreeUserName(GetDefaultUserName(this));
      break;
    }
  }
}

std::string TppCommunicator::FreeUserName(const std::string& candidate) {
  TppCommunicator* holder = FindUserName(candidate);
  if (!holder || holder == this) return candidate;
  // The default counts component names, not user names: number on until
  // the name is free, so user names stay unique.
  std::string base = candidate;
  while (!base.empty() && base.back() >= '0' && base.back() <= '9') base.pop_back();
  for (int n = 1;; ++n) {
    const std::string name = base + std::to_string(n);
    holder = FindUserName(name);
    if (!holder || holder == this) return name;
  }
}
