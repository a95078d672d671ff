#pragma once
// The printable component classes a designer offers, by palette page, and
// the class registry entries through which layouts create them by name.
// Registration goes through two procedures that the engine's start-up
// installs; before that (or after its shut-down) both refuse with
// EComponentError.

#include <string>
#include <vector>

#include "rtlTypeInfo.h"

struct TppComponentRegistration {
  const TClassInfo* ComponentClass = nullptr;
  std::string PageName;
  int Position = 0;
  int Tag = 0;
  std::string Caption;
  // The engine message that names the class.
  int MessageNo = 0;
};

// Refused before start-up: "Unable to register component classes." /
// "Unable to unregister component classes.".
void ppRegisterComponent(const TClassInfo& componentClass, const std::string& pageName, int position, int tag,
                         const std::string& caption, int messageNo);
void ppUnRegisterComponent(const TClassInfo& componentClass);
// The registrations, ordered by upper-case class name.
std::vector<TppComponentRegistration> ppComponentRegistrations();

// The engine's start-up and shut-down: the component classes of the three
// palette pages, the group and the calculation class.
void ppStartPrintables();
void ppStopPrintables();
bool ppPrintablesStarted();

constexpr const char* ppStandardComponentsPage = "Standard Components";
constexpr const char* ppDataComponentsPage = "Data Components";
constexpr const char* ppAdvancedComponentsPage = "Advanced Components";
