#include "raAdapters.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "ppRelatv.h"
#include "rtlStrUtils.h"
#include "rtlStringList.h"

// ---- parameter lists and records ----

void TraParamList::DeleteParam(const std::string& name) {
  const int index = IndexOf(name);
  if (index >= 0) params.erase(params.begin() + index);
}

int TraParamList::IndexOf(const std::string& name) const {
  for (size_t i = 0; i < params.size(); ++i)
    if (SameText(params[i].Name, name)) return static_cast<int>(i);
  return -1;
}

TraDataType TraPropRec::ResultType() const {
  const int index = Params.IndexOf("Result");
  return index < 0 ? daUnknown : Params[index].DataType;
}

// ---- published properties ----

TraDataType raDataTypeOf(const TPropInfo& prop) {
  switch (prop.Kind()) {
    case tkInteger: case tkInt64: return daInteger;
    case tkChar: return daChar;
    case tkEnumeration: return prop.EnumType() == &BooleanTypeInfo() ? daBoolean : daEnum;
    case tkFloat:
      switch (prop.FloatType()) {
        case ftSingle: return daSingle;
        case ftDouble: return prop.TypeName() == "TDateTime" ? daDateTime : daDouble;
        case ftExtended: return daExtended;
        case ftCurr: return daCurrency;
      }
      return daUnknown;
    case tkString: return daString;
    case tkClass: return daClass;
    case tkVariant: return daVariant;
    default: return daUnknown;
  }
}

namespace {

// The stored value into a slot of the property's script type.
bool StorePropValue(const TPropInfo& prop, const TPropValue& value, TraValue& slot) {
  if (const int64_t* ordinal = std::get_if<int64_t>(&value)) {
    switch (slot.DataType()) {
      case daInteger:
        if (*ordinal < INT32_MIN || *ordinal > INT32_MAX) throw EScriptError("The value of " + prop.Name() + " is out of the Integer range");
        static_cast<TraIntegerValue&>(slot).Value = static_cast<int32_t>(*ordinal);
        return true;
      case daChar: static_cast<TraCharValue&>(slot).Value = static_cast<char>(*ordinal); return true;
      case daBoolean: static_cast<TraBooleanValue&>(slot).Set(*ordinal != 0); return true;
      case daEnum: {
        auto& e = static_cast<TraEnumValue&>(slot);
        e.Type = prop.EnumType();
        e.Ord = static_cast<uint8_t>(*ordinal);
        return true;
      }
      default: return false;
    }
  }
  if (const long double* number = std::get_if<long double>(&value)) {
    TraExtendedValue source(*number);
    return slot.SetValue(source);
  }
  if (const Currency* money = std::get_if<Currency>(&value)) {
    TraCurrencyValue source(*money);
    return slot.SetValue(source);
  }
  if (const std::string* text = std::get_if<std::string>(&value)) {
    TraStringValue source(*text);
    return slot.SetValue(source);
  }
  if (TObject* const* object = std::get_if<TObject*>(&value)) {
    if (slot.DataType() != daClass && slot.DataType() != daObject) return false;
    static_cast<TraObjectValue&>(slot).Object = *object;
    return true;
  }
  if (const Variant* variant = std::get_if<Variant>(&value)) {
    TraVariantValue source(*variant);
    return slot.SetValue(source);
  }
  return false;
}

// A slot of the property's script type as the value its setter takes.
bool PropValueOf(const TPropInfo& prop, const TraValue& slot, TPropValue& out) {
  switch (slot.DataType()) {
    case daInteger: out = int64_t{static_cast<const TraIntegerValue&>(slot).Value}; return true;
    case daChar: out = int64_t{static_cast<unsigned char>(static_cast<const TraCharValue&>(slot).Value)}; return true;
    case daBoolean: case daEnum: out = int64_t{static_cast<const TraEnumValue&>(slot).Ord}; return true;
    case daCurrency: out = static_cast<const TraCurrencyValue&>(slot).Value; return true;
    case daSingle: case daDouble: case daExtended: case daDateTime: case daDate: case daTime:
      if (prop.FloatType() == ftCurr && prop.Kind() == tkFloat) {
        TraCurrencyValue money;
        if (!money.SetValue(slot)) return false;
        out = money.Value;
      } else {
        out = static_cast<const TraNumericValue&>(slot).Number();
      }
      return true;
    case daString: out = static_cast<const TraStringValue&>(slot).Value; return true;
    case daVariant: out = static_cast<const TraVariantValue&>(slot).Value; return true;
    case daObject: case daClass: {
      TObject* object = static_cast<const TraObjectValue&>(slot).Object;
      if (object && prop.PropClass() && !object->InheritsFrom(*prop.PropClass())) return false;
      out = object;
      return true;
    }
    default: return false;
  }
}

}  // namespace

bool raPublishedPropRec(const TPropInfo& prop, TraPropRec& rec) {
  const TraDataType type = raDataTypeOf(prop);
  if (type == daUnknown) return false;
  rec = TraPropRec();
  rec.Name = prop.Name();
  rec.DataType = type;
  rec.IsPublished = true;
  rec.ReadOnly = prop.IsReadOnly();
  if (type == daClass) rec.ClassType = prop.PropClass();
  if (type == daEnum) rec.TypeName = prop.TypeName();
  const TPropInfo* info = &prop;
  rec.Get = [info](TObject& object, TraValue& slot) { return StorePropValue(*info, info->GetValue(object), slot); };
  if (!rec.ReadOnly)
    rec.Set = [info](TObject& object, const TraValue& slot) {
      TPropValue value;
      if (!PropValueOf(*info, slot, value)) return false;
      try {
        info->SetValue(object, value);
      } catch (const EPropertyError& e) {
        throw EScriptError(info->Name() + ": " + e.Message);
      }
      return true;
    };
  return true;
}

// ---- adapters ----

void TraRTTI::GetPropList(const TClassInfo& classInfo, std::vector<std::string>& list) const {
  if (parent) {
    parent->GetPropList(classInfo, list);
  } else {
    for (const TPropInfo* prop : classInfo.Properties())
      if (raDataTypeOf(*prop) != daUnknown) list.push_back(prop->Name());
  }
  for (const TraPropRec& member : members)
    if (!member.IsEvent() && std::none_of(list.begin(), list.end(), [&](const std::string& n) { return SameText(n, member.Name); }))
      list.push_back(member.Name);
  for (const std::string& name : hidden)
    list.erase(std::remove_if(list.begin(), list.end(), [&](const std::string& n) { return SameText(n, name); }), list.end());
}

void TraRTTI::GetEventList(const TClassInfo& classInfo, std::vector<std::string>& list) const {
  if (parent) {
    parent->GetEventList(classInfo, list);
  } else {
    for (const TPropInfo* prop : classInfo.Properties())
      if (prop->Kind() == tkMethod) list.push_back(prop->Name());
  }
  for (const TraPropRec& member : members)
    if (member.IsEvent() && std::none_of(list.begin(), list.end(), [&](const std::string& n) { return SameText(n, member.Name); }))
      list.push_back(member.Name);
  for (const std::string& name : hidden)
    list.erase(std::remove_if(list.begin(), list.end(), [&](const std::string& n) { return SameText(n, name); }), list.end());
}

const TraPropRec* TraRTTI::FindMember(const std::string& name) const {
  for (const TraRTTI* adapter = this; adapter; adapter = adapter->parent)
    for (const TraPropRec& member : adapter->members)
      if (SameText(member.Name, name)) return &member;
  return nullptr;
}

TraPropRec* TraRTTI::OwnMember(const std::string& name) {
  for (TraPropRec& member : members)
    if (SameText(member.Name, name)) return &member;
  return nullptr;
}

bool TraRTTI::Hides(const std::string& name) const {
  for (const TraRTTI* adapter = this; adapter; adapter = adapter->parent)
    for (const std::string& h : adapter->hidden)
      if (SameText(h, name)) return true;
  return false;
}

TraRTTI& TraRTTI::Property(std::string name, TraDataType type, TraGetter get, TraSetter set) {
  TraPropRec rec;
  rec.Name = std::move(name);
  rec.DataType = type;
  rec.ReadOnly = !set;
  rec.Get = std::move(get);
  rec.Set = std::move(set);
  members.push_back(std::move(rec));
  return *this;
}

TraRTTI& TraRTTI::EnumProperty(std::string name, std::string typeName, TraGetter get, TraSetter set) {
  Property(std::move(name), daEnum, std::move(get), std::move(set));
  members.back().TypeName = std::move(typeName);
  return *this;
}

TraRTTI& TraRTTI::ClassProperty(std::string name, const TClassInfo& classInfo, TraGetter get, TraSetter set) {
  Property(std::move(name), daClass, std::move(get), std::move(set));
  members.back().ClassType = &classInfo;
  return *this;
}

TraRTTI& TraRTTI::Method(std::string name, TraParamList params, TraCaller call) {
  TraPropRec rec;
  rec.Name = std::move(name);
  rec.Kind = TraMemberKind::Method;
  rec.DataType = daMethod;
  rec.ReadOnly = true;
  const int result = params.IndexOf("Result");
  if (result >= 0 && params[result].DataType == daClass) rec.ClassType = params[result].ClassType;
  rec.Params = std::move(params);
  rec.Call = std::move(call);
  members.push_back(std::move(rec));
  return *this;
}

TraRTTI& TraRTTI::IndexedProperty(std::string name, TraParamList params, TraCaller call, bool readOnly) {
  Method(std::move(name), std::move(params), std::move(call));
  members.back().Kind = TraMemberKind::IndexedProperty;
  members.back().ReadOnly = readOnly;
  return *this;
}

TraRTTI& TraRTTI::Constructor(std::string name, TraParamList params, TraCaller call) {
  params.AddParam({"Class", daClass, &refClass});
  params.AddParam({"Result", daClass, &refClass});
  Method(std::move(name), std::move(params), std::move(call));
  members.back().Kind = TraMemberKind::Constructor;
  members.back().ClassType = &refClass;
  return *this;
}

TraRTTI& TraRTTI::Event(std::string name, int eventId, TraParamList params) {
  Method(std::move(name), std::move(params), nullptr);
  members.back().Kind = TraMemberKind::Event;
  members.back().EventID = eventId;
  return *this;
}

TraRTTI& TraRTTI::Hide(std::string name) {
  hidden.push_back(std::move(name));
  return *this;
}

// ---- registry ----

namespace {

std::vector<const TraRTTI*>& Registry() {
  static std::vector<const TraRTTI*> registry;
  return registry;
}

}  // namespace

void RegisterRTTIAdapter(const TraRTTI& adapter) {
  auto& registry = Registry();
  for (const TraRTTI* known : registry)
    if (SameText(known->RefClass().Name(), adapter.RefClass().Name())) return;
  registry.push_back(&adapter);
}

void UnregisterRTTIAdapter(const TraRTTI& adapter) {
  auto& registry = Registry();
  registry.erase(std::remove(registry.begin(), registry.end(), &adapter), registry.end());
}

const TraRTTI* FindRTTIAdapter(const TClassInfo& classInfo) {
  // Walking up the class's ancestry finds the most derived described one.
  for (const TClassInfo* c = &classInfo; c; c = c->Parent())
    for (const TraRTTI* adapter : Registry())
      if (&adapter->RefClass() == c) return adapter;
  return nullptr;
}

const TClassInfo* FindClassByName(const std::string& name) {
  raRegisterAdapters();
  if (const TClassInfo* info = GetClass(name)) return info;
  for (const TraRTTI* adapter : Registry())
    if (SameText(adapter->RefClass().Name(), name)) return &adapter->RefClass();
  return nullptr;
}

std::vector<const TraRTTI*> RTTIAdapterList() { return Registry(); }

// ---- host policy and the objects a script made ----

TraFilePolicy& raFilePolicy() {
  static TraFilePolicy policy;
  return policy;
}

void raCheckFileAccess(const std::string& fileName) {
  if (!raFilePolicy().AllowFileAccess) throw EScriptError("File access is not allowed to scripts: " + fileName);
}

namespace {

// Each object a script made, with the pool that owns it (nullptr: none).
std::unordered_map<const TObject*, TraObjectPool*>& Created() {
  static std::unordered_map<const TObject*, TraObjectPool*> created;
  return created;
}

std::unordered_set<const TObject*>& Freed() {
  static std::unordered_set<const TObject*> freed;
  return freed;
}

TraObjectPool*& CurrentPool() {
  static TraObjectPool* current = nullptr;
  return current;
}

// An owner frees its components and a parent in the report's tree its
// children.
bool HandedToReport(const TComponent& component) {
  if (component.Owner() != nullptr || component.GetParentComponent() != nullptr) return true;
  const auto* relative = dynamic_cast<const TppRelative*>(&component);
  return relative && relative->Parent() != nullptr;
}

}  // namespace

// Hears of the pool's components being freed by someone else (their owner
// or parent), so that the pool never frees them twice.
class TraObjectPool::TWatcher : public TComponent {
public:
  explicit TWatcher(TraObjectPool& pool) : TComponent(nullptr), pool(pool) {}
  void Notification(TComponent* component, TOperation operation) override {
    TComponent::Notification(component, operation);
    if (operation == opRemove && component != nullptr && pool.Owns(component)) {
      pool.Drop(component);
      Created().erase(component);
    }
  }

private:
  TraObjectPool& pool;
};

TraObjectPool::TraObjectPool() : watcher(std::make_unique<TWatcher>(*this)) {}

TraObjectPool::~TraObjectPool() { Clear(); }

TraObjectPool* TraObjectPool::Current() { return CurrentPool(); }

bool TraObjectPool::Owns(const TObject* object) const {
  return std::find(objects.rbegin(), objects.rend(), object) != objects.rend();
}

void TraObjectPool::Adopt(TObject* object) {
  objects.push_back(object);
  if (auto* component = dynamic_cast<TComponent*>(object)) watcher->FreeNotification(component);
}

void TraObjectPool::Drop(const TObject* object) {
  auto found = std::find(objects.rbegin(), objects.rend(), object);
  if (found == objects.rend()) return;
  objects.erase(std::next(found).base());
  if (auto* component = dynamic_cast<const TComponent*>(object))
    watcher->RemoveFreeNotification(const_cast<TComponent*>(component));
}

void TraObjectPool::Clear() {
  // Freeing one may free others of the pool (a parent its children): the
  // watcher drops those as they go, so take one at a time from the end.
  while (!objects.empty()) {
    TObject* object = objects.back();
    Drop(object);
    Created().erase(object);
    auto* component = dynamic_cast<TComponent*>(object);
    if (component && HandedToReport(*component)) continue;
    Freed().insert(object);
    object->Free();
  }
}

TraObjectPoolScope::TraObjectPoolScope(TraObjectPool& pool) : previous(CurrentPool()) { CurrentPool() = &pool; }

TraObjectPoolScope::~TraObjectPoolScope() { CurrentPool() = previous; }

void raNoteScriptCreated(TObject* object) {
  if (!object) return;
  TraObjectPool* pool = CurrentPool();
  Created()[object] = pool;
  Freed().erase(object);
  if (pool) pool->Adopt(object);
}

bool raIsFreedByScript(const TObject* object) { return !Freed().empty() && Freed().count(object) > 0; }

void raForgetFreedObjects() { Freed().clear(); }

namespace {
std::unordered_set<const TObject*>& SlotObjects() {
  static std::unordered_set<const TObject*> objects;
  return objects;
}
}  // namespace

void raNoteSlotObject(TObject* object) {
  if (object) SlotObjects().insert(object);
}

TObject* raSlotObject(TObject* object) {
  if (!object || !SlotObjects().count(object)) return nullptr;
  return object;
}

void raScriptFree(TObject* object) {
  if (!object) return;
  auto created = Created().find(object);
  if (created == Created().end())
    throw EScriptError("A script may free only the objects it created: " + object->ClassName());
  if (created->second) created->second->Drop(object);
  Created().erase(created);
  SlotObjects().erase(object);
  Freed().insert(object);
  object->Free();
}
