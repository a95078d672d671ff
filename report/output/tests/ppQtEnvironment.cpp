// Pages drawn for printing use Qt's fonts, which need an application
// object; the offscreen platform needs no display.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <memory>

namespace {

class TppQtEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    if (QGuiApplication::instance()) return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    app = std::make_unique<QGuiApplication>(argc, argv);
  }
  void TearDown() override { app.reset(); }

private:
  int argc = 1;
  char arg0[16] = "report_output";
  char* argv[2] = {arg0, nullptr};
  std::unique_ptr<QGuiApplication> app;
};

const auto* const qtEnvironment = ::testing::AddGlobalTestEnvironment(new TppQtEnvironment);

}  // namespace
