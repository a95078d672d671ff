#include "raObjects.h"

#include "raTokens.h"
#include "rtlStrUtils.h"

// ---- the class manager ----

TraClassManager::TraClassManager() { raRegisterAdapters(); }

TraClassManager& TraClassManager::Instance() {
  static TraClassManager manager;
  return manager;
}

bool TraClassManager::GetMemberRec(const TClassInfo& classInfo, const std::string& name, TraPropRec& rec) const {
  const TraRTTI* adapter = FindRTTIAdapter(classInfo);
  if (adapter && adapter->Hides(name)) return false;
  if (const TPropInfo* prop = classInfo.FindProperty(name); prop && raPublishedPropRec(*prop, rec)) return true;
  if (!adapter) return false;
  const TraPropRec* member = adapter->FindMember(name);
  if (!member) return false;
  rec = *member;
  return true;
}

std::vector<std::string> TraClassManager::PropList(const TClassInfo& classInfo) const {
  std::vector<std::string> list;
  if (const TraRTTI* adapter = FindRTTIAdapter(classInfo)) adapter->GetPropList(classInfo, list);
  return list;
}

std::vector<std::string> TraClassManager::EventList(const TClassInfo& classInfo) const {
  std::vector<std::string> list;
  if (const TraRTTI* adapter = FindRTTIAdapter(classInfo)) adapter->GetEventList(classInfo, list);
  return list;
}

bool TraClassManager::ValidEvent(const TClassInfo& classInfo, const std::string& eventName) const {
  for (const std::string& name : EventList(classInfo))
    if (SameText(name, eventName)) return true;
  return false;
}

bool TraClassManager::ReadMember(TObject& object, const TraPropRec& rec, TraValue& slot) const {
  return rec.Get && rec.Get(object, slot);
}

bool TraClassManager::WriteMember(TObject& object, const TraPropRec& rec, const TraValue& value) const {
  if (rec.ReadOnly || !rec.Set) return false;
  auto slot = raNewValue(rec.DataType, rec.TypeName);
  if (!slot) return false;
  if (rec.DataType == daClass && rec.ClassType) static_cast<TraObjectValue&>(*slot).Class = rec.ClassType;
  if (rec.DataType == daEnum && value.DataType() == daEnum) {
    // An enumeration takes only values of its own type.
    const auto& source = static_cast<const TraEnumValue&>(value);
    if (!source.Type || !SameText(source.Type->Name(), rec.TypeName)) return false;
  }
  if (!slot->SetValue(value)) return false;
  return rec.Set(object, *slot);
}

// ---- values ----

TObject* raObjectOf(const TraValue* value) {
  if (!value || (value->DataType() != daObject && value->DataType() != daClass)) return nullptr;
  return static_cast<const TraObjectValue*>(value)->Object;
}

const TClassInfo* TraVariableRef::ObjectClass() const {
  const TraValue& bound = variable.Bound();
  if (bound.DataType() != daObject && bound.DataType() != daClass) return nullptr;
  return static_cast<const TraObjectValue&>(bound).Class;
}

TraNamedObject::TraNamedObject(std::string name, const TClassInfo& classInfo, TraObjectLookup lookup)
    : TraExpression(daObject), classInfo(classInfo), lookup(std::move(lookup)), value(nullptr, std::move(name)) {
  value.Class = &classInfo;
}

const TraValue* TraNamedObject::Evaluate(TraRun&) {
  TObject* object = lookup ? lookup(value.Name) : nullptr;
  // Another object under the name now (the layout changed): not this one.
  value.Object = object && object->InheritsFrom(classInfo) ? object : nullptr;
  return &value;
}

TraClassLiteral::TraClassLiteral(const TClassInfo& classInfo) : TraExpression(daClass), value(nullptr, classInfo.Name(), daClass) {
  value.Class = &classInfo;
}

// ---- member access ----

namespace {

TraDataType MemberType(const TraPropRec& rec) {
  if (rec.DataType != daMethod) return rec.DataType;
  return rec.ResultType();
}

}  // namespace

TraMemberAccess::TraMemberAccess(std::unique_ptr<TraExpression> base, TraPropRec rec,
                                 std::vector<std::unique_ptr<TraExpression>> arguments)
    : TraExpression(MemberType(rec)), base(std::move(base)), rec(std::move(rec)), arguments(std::move(arguments)) {
  const auto addSlot = [this](TraDataType type, const std::string& typeName, const TClassInfo* classInfo) {
    auto slot = raNewValue(type, typeName);
    if (!slot) slot = std::make_unique<TraVariantValue>();
    if (classInfo && (type == daClass || type == daObject)) static_cast<TraObjectValue&>(*slot).Class = classInfo;
    slotPointers.push_back(slot.get());
    paramSlots.push_back(std::move(slot));
  };
  if (this->rec.DataType == daMethod) {
    for (int i = 0; i < this->rec.Params.Count(); ++i) {
      const TraParamRec& param = this->rec.Params[i];
      addSlot(param.DataType, param.TypeName, param.ClassType);
    }
    if (this->rec.IsConstructor()) {
      // The class constructed is the class the call was made on.
      const int classSlot = this->rec.Params.IndexOf("Class");
      if (classSlot >= 0)
        static_cast<TraObjectValue&>(*paramSlots[static_cast<size_t>(classSlot)]).Class = this->base->ObjectClass();
    }
  } else {
    addSlot(this->rec.DataType, this->rec.TypeName, this->rec.ClassType);
  }
}

const TClassInfo* TraMemberAccess::ObjectClass() const {
  if (DataType() != daClass && DataType() != daObject) return nullptr;
  if (rec.IsConstructor()) return base->ObjectClass();
  return rec.ClassType;
}

TObject* TraMemberAccess::Target(TraRun& run) {
  if (rec.IsConstructor()) return nullptr;
  TObject* object = raObjectOf(base->Evaluate(run));
  if (!object) throw EScriptError("Cannot reach " + rec.Name + " of a nil object");
  if (raIsFreedByScript(object)) throw EScriptError("Cannot reach " + rec.Name + " of an object the script freed");
  return object;
}

void TraMemberAccess::PassArguments(TraRun& run) {
  for (size_t i = 0; i < arguments.size(); ++i) {
    const TraValue* value = arguments[i]->Evaluate(run);
    if (!value || !paramSlots[i]->SetValue(*value))
      throw EScriptError("Argument " + std::to_string(i + 1) + " of " + rec.Name + " does not fit its parameter");
  }
}

void TraMemberAccess::ReturnVarArguments() {
  for (size_t i = 0; i < arguments.size(); ++i)
    if (rec.Params[static_cast<int>(i)].IsVar)
      if (TraVariableValue* variable = arguments[i]->Variable()) variable->Assign(*paramSlots[i]);
}

const TraValue* TraMemberAccess::Evaluate(TraRun& run) {
  TObject* object = Target(run);
  if (rec.DataType != daMethod) {
    if (!TraClassManager::Instance().ReadMember(*object, rec, *paramSlots[0]))
      throw EScriptError("Cannot read " + rec.Name + " of " + object->ClassName());
    return paramSlots[0].get();
  }
  if (rec.IsEvent()) throw EScriptError(rec.Name + " is an event");
  PassArguments(run);
  if (!rec.Call || !rec.Call(object, slotPointers.data(), true))
    throw EScriptError("Cannot call " + rec.Name + (object ? " of " + object->ClassName() : std::string()));
  ReturnVarArguments();
  const int result = rec.Params.IndexOf("Result");
  return result >= 0 ? paramSlots[static_cast<size_t>(result)].get() : nullptr;
}

void TraMemberAccess::Write(TraRun& run, const TraValue& value) {
  TObject* object = Target(run);
  if (rec.ReadOnly) throw EScriptError(rec.Name + " is read-only");
  if (rec.IsArrayProp()) {
    PassArguments(run);
    TraValue& last = *paramSlots.back();
    if (!last.SetValue(value) || !rec.Call(object, slotPointers.data(), false))
      throw EScriptError("Cannot write " + rec.Name + " of " + object->ClassName());
    return;
  }
  if (!TraClassManager::Instance().WriteMember(*object, rec, value))
    throw EScriptError("Cannot write " + rec.Name + " of " + object->ClassName());
}

void TraMemberAssignment::Execute(TraRun& run) {
  run.Step();
  const TraValue* result = value->Evaluate(run);
  if (!result) return;
  target->Write(run, *result);
}

// ---- is and as ----

const TraValue* TraIsTest::Evaluate(TraRun& run) {
  TObject* o = raObjectOf(object->Evaluate(run));
  result.Set(o && !raIsFreedByScript(o) && o->InheritsFrom(classInfo));
  return &result;
}

TraCast::TraCast(std::unique_ptr<TraExpression> object, const TClassInfo& classInfo)
    : TraExpression(daObject), object(std::move(object)), classInfo(classInfo) {
  result.Class = &classInfo;
}

const TraValue* TraCast::Evaluate(TraRun& run) {
  TObject* o = raObjectOf(object->Evaluate(run));
  result.Object = o && o->InheritsFrom(classInfo) ? o : nullptr;
  return &result;
}
