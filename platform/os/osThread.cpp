#include "osThread.h"

#include <system_error>
#include <thread>

#include "rtlExceptions.h"

TThreadHandle CreateThread(std::function<uint32_t()> body, bool createSuspended) {
  try {
    auto context = std::make_shared<TThreadContext>(createSuspended ? 1 : 0);
    std::thread([context, body = std::move(body)]() mutable {
      BindCurrentThread(context);
      context->WaitWhileSuspended();
      const uint32_t exitCode = body();
      body = nullptr;  // what it captured is gone before anyone sees the end
      context->End(exitCode);
    }).detach();
    return context;
  } catch (const std::system_error& error) {
    errno = error.code().value();
  } catch (const EOSError& error) {
    errno = static_cast<int>(error.ErrorCode);
  }
  return nullptr;
}

uint32_t ResumeThread(const TThreadHandle& thread) { return thread ? thread->Resume() : 0xFFFFFFFF; }

uint32_t SuspendThread(const TThreadHandle& thread) { return thread ? thread->Suspend() : 0xFFFFFFFF; }

bool GetExitCodeThread(const TThreadHandle& thread, uint32_t& exitCode) {
  if (!thread) return false;
  exitCode = thread->ExitCode();
  return true;
}

uint32_t GetThreadId(const TThreadHandle& thread) { return thread ? thread->Id() : 0; }
