// Pages drawn for printing use Qt's fonts, which need an application
// object; the offscreen platform needs no display. Printers are scripted
// by each test: none unless a test installs some, so that no test asks the
// machine's own CUPS.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <memory>

#include "ppPrinterInfo.h"

namespace {

class TppQtEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    ppSetPrinterSource(nullptr);
    if (QGuiApplication::instance()) return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    app = std::make_unique<QGuiApplication>(argc, argv);
  }
  void TearDown() override { app.reset(); }

private:
  int argc = 1;
  char arg0[16] = "report_tests";
  char* argv[2] = {arg0, nullptr};
  std::unique_ptr<QGuiApplication> app;
};

const auto* const qtEnvironment = ::testing::AddGlobalTestEnvironment(new TppQtEnvironment);

}  // namespace
