#include "rtlTypeInfo.h"

#include <mutex>

#include "rtlAssert.h"
#include "rtlClassesConsts.h"
#include "rtlStrUtils.h"

// ---- enumerations ----

std::string TEnumTypeInfo::NameOf(int64_t value) const {
  if (value < 0 || value >= Count()) return {};
  return names[static_cast<size_t>(value)];
}

int TEnumTypeInfo::ValueOf(std::string_view valueName) const {
  for (size_t i = 0; i < names.size(); ++i)
    if (SameText(names[i], valueName)) return static_cast<int>(i);
  return -1;
}

const TEnumTypeInfo& BooleanTypeInfo() {
  static const TEnumTypeInfo info("Boolean", {"False", "True"});
  return info;
}

// ---- properties ----

namespace rtl_typeinfo_detail {

void RaiseInvalidValue() { throw EPropertyError(SInvalidPropertyValue); }
void RaiseReadOnly() { throw EPropertyError(SReadOnlyProperty); }

}  // namespace rtl_typeinfo_detail

TPropValue TPropInfo::GetValue(TObject& instance) const {
  ORV_ASSERT(getter);
  return getter(instance);
}

void TPropInfo::SetValue(TObject& instance, const TPropValue& value) const {
  if (!setter) rtl_typeinfo_detail::RaiseReadOnly();
  setter(instance, value);
}

bool TPropInfo::IsDefaultValue(TObject& instance) const {
  const TPropValue value = GetValue(instance);
  switch (kind) {
    case tkInteger:
    case tkChar:
    case tkEnumeration:
    case tkSet:
      return defaultValue.has_value() && std::get<int64_t>(value) == *defaultValue;
    case tkInt64:
      return std::get<int64_t>(value) == 0;
    case tkFloat:
      if (floatType == ftCurr) return std::get<Currency>(value).Scaled == 0;
      return std::get<long double>(value) == 0;
    case tkString:
      return std::get<std::string>(value).empty();
    case tkClass:
      return std::get<TObject*>(value) == nullptr;
    case tkMethod:
      return !std::get<TMethod>(value);
    case tkVariant:
      return std::get<Variant>(value).IsEmpty();
  }
  return false;
}

// ---- classes ----

TClassInfo::TClassInfo(std::string name, const TClassInfo* parent, TFactory factory)
    : TClassInfo(std::move(name), parent, factory, {}, {}) {}

TClassInfo::TClassInfo(std::string name, const TClassInfo* parent, TFactory factory,
                       std::vector<TPropInfo> properties, std::vector<TMethodInfo> methods)
    : name(std::move(name)),
      parent(parent),
      factory(factory),
      properties(std::move(properties)),
      methods(std::move(methods)) {
  ORV_ASSERT(IsValidIdent(this->name));
}

bool TClassInfo::InheritsFrom(const TClassInfo& ancestor) const {
  for (const TClassInfo* c = this; c != nullptr; c = c->parent)
    if (c == &ancestor) return true;
  return false;
}

std::vector<const TPropInfo*> TClassInfo::Properties() const {
  std::vector<const TPropInfo*> all = parent != nullptr ? parent->Properties()
                                                        : std::vector<const TPropInfo*>{};
  for (const TPropInfo& p : properties) all.push_back(&p);
  return all;
}

const TPropInfo* TClassInfo::FindProperty(std::string_view propName) const {
  for (const TClassInfo* c = this; c != nullptr; c = c->parent)
    for (const TPropInfo& p : c->properties)
      if (SameText(p.Name(), propName)) return &p;
  return nullptr;
}

const TMethodInfo* TClassInfo::FindMethod(std::string_view methodName) const {
  for (const TClassInfo* c = this; c != nullptr; c = c->parent)
    for (const TMethodInfo& m : c->methods)
      if (SameText(m.Name(), methodName)) return &m;
  return nullptr;
}

const TPropInfo& GetPropInfo(const TObject& instance, std::string_view propName) {
  const TPropInfo* info = instance.ClassType().FindProperty(propName);
  if (info == nullptr) throw EPropertyError(SUnknownProperty, {std::string(propName)});
  return *info;
}

TPropValue GetPropValue(TObject& instance, std::string_view propName) {
  return GetPropInfo(instance, propName).GetValue(instance);
}

void SetPropValue(TObject& instance, std::string_view propName, const TPropValue& value) {
  GetPropInfo(instance, propName).SetValue(instance, value);
}

// ---- the registry ----

namespace {

// Registration happens at start-up, look-ups from any thread that reads a
// stream, so one mutex guards the list.
struct TClassRegistry {
  std::mutex lock;
  std::vector<const TClassInfo*> classes;

  const TClassInfo* Find(std::string_view name) const {
    for (const TClassInfo* c : classes)
      if (SameText(c->Name(), name)) return c;
    return nullptr;
  }
};

TClassRegistry& Registry() {
  static TClassRegistry registry;
  return registry;
}

}  // namespace

void RegisterClass(const TClassInfo& classInfo) {
  TClassRegistry& r = Registry();
  std::lock_guard guard(r.lock);
  const TClassInfo* known = r.Find(classInfo.Name());
  if (known == &classInfo) return;
  if (known != nullptr) throw EFilerError(SDuplicateClass, {classInfo.Name()});
  r.classes.push_back(&classInfo);
}

void UnRegisterClass(const TClassInfo& classInfo) {
  TClassRegistry& r = Registry();
  std::lock_guard guard(r.lock);
  std::erase(r.classes, &classInfo);
}

const TClassInfo* GetClass(std::string_view name) {
  TClassRegistry& r = Registry();
  std::lock_guard guard(r.lock);
  return r.Find(name);
}

const TClassInfo& FindClass(std::string_view name) {
  const TClassInfo* c = GetClass(name);
  if (c == nullptr) throw EClassNotFound(SClassNotFound, {std::string(name)});
  return *c;
}
