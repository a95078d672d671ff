#include "uiTestSupport.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <cstdlib>
#include <memory>

namespace {

std::unique_ptr<QApplication>& Application() {
  static std::unique_ptr<QApplication> application;
  return application;
}

// The application goes before static destruction, while Qt's own
// singletons it refers to still exist.
class TApplicationEnvironment : public ::testing::Environment {
public:
  void SetUp() override { TestApplication(); }
  void TearDown() override { Application().reset(); }
};

[[maybe_unused]] ::testing::Environment* const applicationEnvironment =
    ::testing::AddGlobalTestEnvironment(new TApplicationEnvironment);

}  // namespace

QApplication& TestApplication() {
  std::unique_ptr<QApplication>& application = Application();
  if (!application) {
    // Offscreen, so that tests need no display; screenshots for a person are
    // taken on a real X server with ORVELLE_TEST_PLATFORM=xcb under xvfb-run.
    const char* platform = std::getenv("ORVELLE_TEST_PLATFORM");
    setenv("QT_QPA_PLATFORM", platform && *platform ? platform : "offscreen", 1);
    setenv("QT_FONT_DPI", "96", 1);
    static int argc = 1;
    static char name[] = "widget_tests";
    static char* argv[] = {name, nullptr};
    application = std::make_unique<QApplication>(argc, argv);
  }
  return *application;
}

bool PumpUntil(const std::function<bool()>& condition, int timeoutMs) {
  QElapsedTimer clock;
  clock.start();
  while (!condition()) {
    if (clock.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}
