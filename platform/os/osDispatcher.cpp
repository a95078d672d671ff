#include "osDispatcher.h"

#include <exception>
#include <memory>

#include "osSyncEvent.h"
#include "osThreadContext.h"
#include "rtlAssert.h"

namespace {

// Main thread only. Never freed: waits at the process's end still call it.
std::function<void()>& ProcessMessagesHook() {
  static auto* const hook = new std::function<void()>;
  return *hook;
}

void RunPostedTask(const std::function<void()>& task) noexcept { task(); }

}  // namespace

void TMainDispatcher::Post(std::function<void()> task) {
  std::lock_guard guard(mutex);
  tasks.push_back(std::move(task));
  ready.Raise();
}

void TMainDispatcher::Send(std::function<void()> task) {
  if (IsMainThread()) {
    task();
    return;
  }
  struct TCall {
    std::function<void()> task;
    std::exception_ptr error;
    TOsEvent done{{.manualReset = true}};
  };
  auto call = std::make_shared<TCall>();
  call->task = std::move(task);
  Post([call] {
    try {
      call->task();
    } catch (...) {
      call->error = std::current_exception();
    }
    call->done.Set();
  });
  TWaitable* done = &call->done;
  WaitForObjects({&done, 1}, INFINITE, {});
  // Taken out of the shared call: the exception then dies in this thread
  // whichever thread lets go of the call last.
  if (std::exception_ptr error = std::move(call->error)) std::rethrow_exception(error);
}

size_t TMainDispatcher::ProcessPending() {
  if (!IsMainThread()) return 0;
  size_t budget;
  {
    std::lock_guard guard(mutex);
    budget = tasks.size();
  }
  size_t ran = 0;
  for (; ran < budget; ++ran) {
    std::function<void()> task;
    {
      std::lock_guard guard(mutex);
      if (tasks.empty()) break;
      task = std::move(tasks.front());
      tasks.pop_front();
      if (tasks.empty()) ready.Clear();
    }
    RunPostedTask(task);
  }
  return ran;
}

TMainDispatcher& MainDispatcher() {
  // Never freed: threads still ending may post to it during the exit.
  static TMainDispatcher* const dispatcher = new TMainDispatcher;
  return *dispatcher;
}

void ProcessMessages() {
  if (!IsMainThread()) return;
  MainDispatcher().ProcessPending();
  if (const auto& hook = ProcessMessagesHook()) hook();
}

void SetProcessMessagesHook(std::function<void()> hook) {
  ORV_ASSERT(IsMainThread());  // only the main thread reads it
  ProcessMessagesHook() = std::move(hook);
}
