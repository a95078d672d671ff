#include "ppComponentRegistry.h"

#include <algorithm>
#include <functional>
#include <map>
#include <mutex>

#include "ppBarCode.h"
#include "ppCtrls.h"
#include "ppGroup.h"
#include "ppMemo.h"
#include "ppRegion.h"
#include "ppRichText.h"
#include "ppReport.h"
#include "ppRichText.h"
#include "ppShapes.h"
#include "ppSubReport.h"
#include "ppVar.h"
#include "rtlStrUtils.h"

namespace {

using TRegisterProc = std::function<void(const TppComponentRegistration&)>;
using TUnRegisterProc = std::function<void(const TClassInfo&)>;

struct TRegistry {
  std::mutex lock;
  std::map<std::string, TppComponentRegistration> list;  // by upper-case class name
  TRegisterProc registerProc;
  TUnRegisterProc unRegisterProc;
};

TRegistry& Registry() {
  static TRegistry registry;
  return registry;
}

void DoRegister(const TppComponentRegistration& registration) {
  TRegistry& r = Registry();
  const std::string key = UpperCase(registration.ComponentClass->Name());
  const auto old = r.list.find(key);
  if (old != r.list.end()) {
    UnRegisterClass(*old->second.ComponentClass);
    r.list.erase(old);
  }
  r.list[key] = registration;
  RegisterClass(*registration.ComponentClass);
}

void DoUnRegister(const TClassInfo& componentClass) {
  TRegistry& r = Registry();
  if (r.list.erase(UpperCase(componentClass.Name())) > 0) UnRegisterClass(componentClass);
}

struct TStandardEntry {
  const char* ClassName;
  const char* Page;
  int Position;
  int MessageNo;
};

// The designer's palette, as the engine registers it.
constexpr TStandardEntry standardEntries[] = {
    {"TppLabel", ppStandardComponentsPage, 0, 172},     {"TppMemo", ppStandardComponentsPage, 1, 175},
    {"TppRichText", ppStandardComponentsPage, 2, 351},  {"TppSystemVariable", ppStandardComponentsPage, 3, 491},
    {"TppVariable", ppStandardComponentsPage, 4, 492},  {"TppImage", ppStandardComponentsPage, 5, 170},
    {"TppShape", ppStandardComponentsPage, 6, 178},     {"TppLine", ppStandardComponentsPage, 7, 174},
    {"TppBarCode", ppStandardComponentsPage, 8, 460},   {"TppDBText", ppDataComponentsPage, 0, 167},
    {"TppDBMemo", ppDataComponentsPage, 1, 166},        {"TppDBRichText", ppDataComponentsPage, 2, 352},
    {"TppDBCalc", ppDataComponentsPage, 3, 164},        {"TppDBImage", ppDataComponentsPage, 4, 165},
    {"TppDBBarCode", ppDataComponentsPage, 5, 461},     {"TppRegion", ppAdvancedComponentsPage, 0, 368},
    {"TppSubReport", ppAdvancedComponentsPage, 1, 369},
};

// The classes this layer defines; any other is found by name when the
// class registry knows it.
const TClassInfo* OwnClass(const std::string& name) {
  static const std::map<std::string, const TClassInfo*> own = {
      {"TppLabel", &TppLabel::StaticClassType()},
      {"TppMemo", &TppMemo::StaticClassType()},
      {"TppRichText", &TppRichText::StaticClassType()},
      {"TppDBRichText", &TppDBRichText::StaticClassType()},
      {"TppSystemVariable", &TppSystemVariable::StaticClassType()},
      {"TppVariable", &TppVariable::StaticClassType()},
      {"TppImage", &TppImage::StaticClassType()},
      {"TppShape", &TppShape::StaticClassType()},
      {"TppLine", &TppLine::StaticClassType()},
      {"TppDBText", &TppDBText::StaticClassType()},
      {"TppDBMemo", &TppDBMemo::StaticClassType()},
      {"TppDBCalc", &TppDBCalc::StaticClassType()},
      {"TppDBImage", &TppDBImage::StaticClassType()},
      {"TppRegion", &TppRegion::StaticClassType()},
      {"TppSubReport", &TppSubReport::StaticClassType()},
      {"TppBarCode", &TppBarCode::StaticClassType()},
      {"TppDBBarCode", &TppDBBarCode::StaticClassType()},
      {"TppRichText", &TppRichText::StaticClassType()},
      {"TppDBRichText", &TppDBRichText::StaticClassType()},
  };
  const auto it = own.find(name);
  return it != own.end() ? it->second : GetClass(name);
}

}  // namespace

void ppRegisterComponent(const TClassInfo& componentClass, const std::string& pageName, int position, int tag,
                         const std::string& caption, int messageNo) {
  TRegistry& r = Registry();
  std::lock_guard<std::mutex> guard(r.lock);
  if (!r.registerProc) throw EComponentError("Unable to register component classes.");
  r.registerProc(TppComponentRegistration{&componentClass, pageName, position, tag, caption, messageNo});
}

void ppUnRegisterComponent(const TClassInfo& componentClass) {
  TRegistry& r = Registry();
  std::lock_guard<std::mutex> guard(r.lock);
  if (!r.unRegisterProc) throw EComponentError("Unable to unregister component classes.");
  r.unRegisterProc(componentClass);
}

std::vector<TppComponentRegistration> ppComponentRegistrations() {
  TRegistry& r = Registry();
  std::lock_guard<std::mutex> guard(r.lock);
  std::vector<TppComponentRegistration> list;
  for (const auto& [key, registration] : r.list) list.push_back(registration);
  return list;
}

bool ppPrintablesStarted() {
  TRegistry& r = Registry();
  std::lock_guard<std::mutex> guard(r.lock);
  return static_cast<bool>(r.registerProc);
}

void ppStartPrintables() {
  {
    TRegistry& r = Registry();
    std::lock_guard<std::mutex> guard(r.lock);
    if (r.registerProc) return;
    r.registerProc = DoRegister;
    r.unRegisterProc = DoUnRegister;
  }
  RegisterClass(TppGroup::StaticClassType());
  for (const TStandardEntry& entry : standardEntries)
    if (const TClassInfo* info = OwnClass(entry.ClassName))
      ppRegisterComponent(*info, entry.Page, entry.Position, 0, "", entry.MessageNo);
  RegisterClass(TppCalc::StaticClassType());
}

void ppStopPrintables() {
  if (!ppPrintablesStarted()) return;
  UnRegisterClass(TppCalc::StaticClassType());
  for (const TppComponentRegistration& registration : ppComponentRegistrations())
    ppUnRegisterComponent(*registration.ComponentClass);
  TRegistry& r = Registry();
  std::lock_guard<std::mutex> guard(r.lock);
  r.registerProc = nullptr;
  r.unRegisterProc = nullptr;
}
