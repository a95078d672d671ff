#include "vtTestSupport.h"

#include <QElapsedTimer>
#include <cstdlib>

namespace {
QApplication* application = nullptr;
}

QApplication& TestApplication() {
  if (!application) application = [] {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // 96 dpi on the offscreen screen, whatever the machine says.
    setenv("QT_FONT_DPI", "96", 1);
    static int argc = 1;
    static char name[] = "treeview_tests";
    static char* argv[] = {name, nullptr};
    return new QApplication(argc, argv);
  }();
  return *application;
}

bool PumpUntil(const std::function<bool()>& Condition, int TimeoutMs) {
  QElapsedTimer clock;
  clock.start();
  while (!Condition()) {
    if (clock.elapsed() > TimeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

std::string TEventLog::Joined() const {
  std::string result;
  for (const std::string& line : Lines) {
    if (!result.empty()) result += ' ';
    result += line;
  }
  return result;
}


#include <gtest/gtest.h>
class TApplicationEnvironment : public ::testing::Environment {
public:
  void SetUp() override { TestApplication(); }
  void TearDown() override {
    delete application;
    application = nullptr;
  }
};
static ::testing::Environment* const applicationEnvironment =
    ::testing::AddGlobalTestEnvironment(new TApplicationEnvironment);
