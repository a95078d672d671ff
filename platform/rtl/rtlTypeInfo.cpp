#include "rtlTypeInfo.h"

#include <cassert>
#include <mutex>
#include <vector>

#include "rtlClassesConsts.h"
#include "rtlStrUtils.h"

TClassInfo::TClassInfo(std::string name, const TClassInfo* parent, TFactory factory)
    : name(std::move(name)), parent(parent), factory(factory) {
  assert(IsValidIdent(this->name));
}

bool TClassInfo::InheritsFrom(const TClassInfo& ancestor) const {
  for (const TClassInfo* c = this; c != nullptr; c = c->parent)
    if (c == &ancestor) return true;
  return false;
}

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
