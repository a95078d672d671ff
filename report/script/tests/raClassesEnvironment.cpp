// Reports lay out text with Qt's fonts, which need an application object;
// the offscreen platform needs no display, and no test asks the machine's
// own printers. The component classes are registered as the program's
// start-up does.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <memory>

#include "ppComponentRegistry.h"
#include "ppPrinterInfo.h"
#include "ppReport.h"

namespace {

class TraQtEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    ppSetPrinterSource(nullptr);
    // Scripts name the component classes the engine's start-up registers.
    ppRegisterReportClasses();
    if (!ppPrintablesStarted()) ppStartPrintables();
    if (QGuiApplication::instance()) return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    app = std::make_unique<QGuiApplication>(argc, argv);
  }
  void TearDown() override { app.reset(); }

private:
  int argc = 1;
  char arg0[16] = "report_script";
  char* argv[2] = {arg0, nullptr};
  std::unique_ptr<QGuiApplication> app;
};

const auto* const environment = ::testing::AddGlobalTestEnvironment(new TraQtEnvironment);

}  // namespace
