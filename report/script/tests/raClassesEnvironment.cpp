// Scripts name the component classes, registered here as the program's
// start-up does; the Qt application and the empty printer list come from
// the output layer's test environment.
#include <gtest/gtest.h>

#include "ppComponentRegistry.h"
#include "ppReport.h"

namespace {

class TraClassesEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    ppRegisterReportClasses();
    if (!ppPrintablesStarted()) ppStartPrintables();
  }
};

const auto* const environment = ::testing::AddGlobalTestEnvironment(new TraClassesEnvironment);

}  // namespace
