#pragma once
// The engine's one scope guard: runs an action when the scope ends, on
// every way out, unless dismissed. It replaces the try / catch-all /
// undo / rethrow blocks: arm the undo before the work, dismiss it once the
// work has succeeded.
//
// An action that runs while an exception leaves the scope is run quietly:
// the first failure is the one reported. On a normal exit its failure
// propagates, as a call at the end of the scope would.

#include <exception>
#include <utility>

template <typename Action>
class TScopeGuard {
public:
  explicit TScopeGuard(Action action) : action(std::move(action)), pending(std::uncaught_exceptions()) {}
  TScopeGuard(const TScopeGuard&) = delete;
  TScopeGuard& operator=(const TScopeGuard&) = delete;
  ~TScopeGuard() noexcept(false) {
    if (dismissed) return;
    if (std::uncaught_exceptions() > pending) {
      try {
        action();
      } catch (...) {
      }
      return;
    }
    action();
  }
  // The action will not run.
  void Dismiss() { dismissed = true; }

private:
  Action action;
  int pending;
  bool dismissed = false;
};
