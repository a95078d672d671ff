// The application's hint pause decides when a resting mouse raises the
// tooltip event, for every widget.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QHelpEvent>
#include <QTest>
#include <QWidget>

#include "uiApplication.h"
#include "uiTestSupport.h"

namespace {

// Notes when the tooltip event reaches it, measured from the last move.
class THintTarget : public QWidget {
public:
  THintTarget() {
    setMouseTracking(true);
    // Tooltips go to active windows only, and no window is active offscreen.
    setAttribute(Qt::WA_AlwaysShowToolTips);
    resize(100, 100);
  }
  void Rest() {
    tooltipAfterMs = -1;
    clock.start();
    // Through the window system, as a real mouse would come: Qt starts its
    // tooltip timer only for moves that arrive that way.
    QTest::mouseMove(this, QPoint(50 + moves % 2, 50));
    ++moves;
  }
  qint64 tooltipAfterMs = -1;

protected:
  bool event(QEvent* event) override {
    if (event->type() == QEvent::ToolTip) {
      tooltipAfterMs = clock.elapsed();
      // Unanswered, so Qt does not hurry the next one as it does while a
      // shown tooltip is still awake.
      event->ignore();
      return true;
    }
    return QWidget::event(event);
  }

private:
  QElapsedTimer clock;
  int moves = 0;
};

TEST(HintPause, TheTooltipEventWaitsForThePauseAndAShorterPauseBringsItSooner) {
  TestApplication();
  EXPECT_EQ(HintPause(), DefaultHintPause);
  THintTarget target;
  target.show();
  ASSERT_TRUE(PumpUntil([&] { return target.isVisible(); }));

  SetHintPause(600);
  EXPECT_EQ(HintPause(), 600);
  target.Rest();
  ASSERT_TRUE(PumpUntil([&] { return target.tooltipAfterMs >= 0; }, 5000));
  // Qt's coarse timers may fire early by a twentieth and the clock's grain.
  EXPECT_GE(target.tooltipAfterMs, 540);

  SetHintPause(20);
  EXPECT_EQ(HintPause(), 20);
  target.Rest();
  ASSERT_TRUE(PumpUntil([&] { return target.tooltipAfterMs >= 0; }, 5000));
  EXPECT_LT(target.tooltipAfterMs, 540);

  SetHintPause(-5);
  EXPECT_EQ(HintPause(), 0) << "a negative pause from the settings is no pause";
  SetHintPause(DefaultHintPause);
}

}  // namespace
