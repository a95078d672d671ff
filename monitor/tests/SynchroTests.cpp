#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>

#include "Synchro.h"
#include "SystemErrors.h"
#include "osThread.h"

namespace {

constexpr uint32_t TestTimeoutMs = 10000;

// Runs body on another thread and waits for its end.
void OnOtherThread(std::function<void()> body) {
  TThreadHandle thread = CreateThread(
      [&body]() -> uint32_t {
        body();
        return 0;
      },
      false);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread.get(), TestTimeoutMs));
}

}  // namespace

TEST(SystemErrors, RaisesTheSystemTextOrOutOfResources) {
  errno = 0;
  try {
    RaiseLastSysError();
    FAIL();
  } catch (const ESysError& e) {
    EXPECT_EQ("Out of resources", e.Message);
  }
  errno = ENOENT;
  try {
    RaiseLastSysError();
    FAIL();
  } catch (const ESysError& e) {
    EXPECT_EQ(std::strerror(ENOENT), e.Message);
  }
  errno = EAGAIN;
  EXPECT_NO_THROW(CheckLastError(EAGAIN));
  EXPECT_EQ(5, CheckBoolResult(5, 0));
  EXPECT_THROW(CheckBoolResult(0, 0), ESysError);
}

TEST(TIntCriticalSection, TimedReadTriesOnceAndGivesMinusOneWhenHeldElsewhere) {
  TIntCriticalSection counter(7);
  counter.Inc();
  EXPECT_EQ(8, counter.GetValueTimeout(0));
  counter.Acquire();
  std::atomic<int32_t> seen{0};
  OnOtherThread([&] { seen = counter.GetValueTimeout(0); });
  EXPECT_EQ(-1, seen.load());
  OnOtherThread([&] { seen = counter.GetValueTimeout(20); });
  EXPECT_EQ(-1, seen.load());
  counter.Dec();  // re-entrant for the holder
  counter.Release();
  OnOtherThread([&] { seen = counter.GetValueTimeout(0); });
  EXPECT_EQ(7, seen.load());
}

// Counts its instances alive, to see the holder destroy what it owns.
class TCountedObject {
public:
  explicit TCountedObject(int& alive) : alive(alive) { ++alive; }
  ~TCountedObject() { --alive; }

private:
  int& alive;
};

TEST(TGlobalPtrCriticalSection, ReturnsHeldAndOwnsWhatItHolds) {
  int alive = 0;
  {
    TGlobalPtrCriticalSection<TCountedObject> holder(std::make_unique<TCountedObject>(alive));
    auto second = std::make_unique<TCountedObject>(alive);
    TCountedObject* secondAt = second.get();
    holder.Set(std::move(second));
    EXPECT_EQ(1, alive) << "the replaced object is destroyed";
    std::atomic<bool> enteredElsewhere{true};
    OnOtherThread([&] { enteredElsewhere = holder.TryEnter(); });
    EXPECT_FALSE(enteredElsewhere.load());
    holder.Release();
    EXPECT_EQ(secondAt, holder.Get());
    holder.Release();
  }
  EXPECT_EQ(0, alive) << "the holder destroys the last one";
}

TEST(THandleObject, WaitResultsAndTheErrorOfAClosedHandle) {
  TSimpleEvent event;
  EXPECT_EQ(wrTimeout, event.WaitFor(0));
  EXPECT_FALSE(event.IsSignalled());
  EXPECT_TRUE(event.SetEvent());
  EXPECT_EQ(wrSignaled, event.WaitFor(TestTimeoutMs));
  EXPECT_TRUE(event.IsSignalled());
  EXPECT_TRUE(event.ResetEvent());
  EXPECT_EQ(wrTimeout, event.WaitFor(10));

  event.Close();
  EXPECT_EQ(wrError, event.WaitFor(0));
  EXPECT_EQ(EBADF, event.LastError());
  EXPECT_FALSE(event.SetEvent());
}
