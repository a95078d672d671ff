#pragma once
// One run of a script: the steps it may still take and the host's cancel
// flag. A loop that never ends (while true do) must not freeze the program
// for good, so every statement and every loop turn takes a step; running
// out of steps or being cancelled raises EScriptError, which ends the
// script and reaches the host.

#include <atomic>
#include <cstdint>

// Generous: about a second or two of plain statements.
constexpr int64_t raDefaultStepBudget = 100'000'000;

struct TraRunOptions {
  int64_t StepBudget = raDefaultStepBudget;
  // Set by the host (from any thread) to stop the script at its next step.
  const std::atomic<bool>* Cancel = nullptr;
};

class TraRun {
public:
  explicit TraRun(const TraRunOptions& options) : budget(options.StepBudget), stepsLeft(options.StepBudget), cancel(options.Cancel) {}
  void Step() {
    if (--stepsLeft < 0) OutOfSteps();
    if (cancel && cancel->load(std::memory_order_relaxed)) Cancelled();
  }

private:
  int64_t budget;
  int64_t stepsLeft;
  const std::atomic<bool>* cancel;
  [[noreturn]] void OutOfSteps() const;
  [[noreturn]] void Cancelled() const;
};
