#include "VTreeCache.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <thread>

#include "rtlAssert.h"
#include "VTreeWalk.h"

uint32_t TPositionCache::EntriesFor(uint32_t VisibleCount) {
  // Up to the threshold the walk from the top is as short as any.
  if (VisibleCount <= CacheThreshold) return 0;
  return (VisibleCount + CacheThreshold - 1) / CacheThreshold;
}

TCacheEntry TPositionCache::FindStart(uint32_t Y) const {
  std::lock_guard<std::mutex> guard(lock);
  auto after = std::upper_bound(entries.begin(), entries.end(), Y,
                                [](uint32_t y, const TCacheEntry& e) { return y < e.AbsoluteTop; });
  if (after == entries.begin()) return {};
  return *(after - 1);
}

std::vector<TCacheEntry> TPositionCache::Entries() const {
  std::lock_guard<std::mutex> guard(lock);
  return entries;
}

bool TPositionCache::Complete() const {
  std::lock_guard<std::mutex> guard(lock);
  return complete;
}

// The worker ------------------------------------------------------------

class TWorkerThread {
public:
  TWorkerThread() : thread([this] { Run(); }) {}
  ~TWorkerThread() {
    {
      std::lock_guard<std::mutex> guard(lock);
      terminated = true;
    }
    wake.notify_all();
    thread.join();
  }

  void Add(TPositionCache& Cache) {
    {
      std::lock_guard<std::mutex> guard(lock);
      if (std::find(queue.begin(), queue.end(), &Cache) == queue.end()) queue.push_back(&Cache);
    }
    wake.notify_all();
  }

  void Interrupt(TPositionCache& Cache) {
    std::unique_lock<std::mutex> guard(lock);
    queue.erase(std::remove(queue.begin(), queue.end(), &Cache), queue.end());
    if (current != &Cache) return;
    Cache.stop.store(true, std::memory_order_relaxed);
    left.wait(guard, [&] { return current != &Cache; });
    Cache.stop.store(false, std::memory_order_relaxed);
  }

  bool WaitIdle(int TimeoutMs) {
    std::unique_lock<std::mutex> guard(lock);
    return left.wait_for(guard, std::chrono::milliseconds(TimeoutMs),
                         [&] { return current == nullptr && queue.empty(); });
  }

private:
  void Run() {
    std::unique_lock<std::mutex> guard(lock);
    for (;;) {
      wake.wait(guard, [&] { return terminated || !queue.empty(); });
      if (terminated) return;
      current = queue.front();
      queue.pop_front();
      guard.unlock();
      current->Validate();
      guard.lock();
      current = nullptr;
      left.notify_all();
    }
  }

  std::mutex lock;
  std::condition_variable wake;
  std::condition_variable left;
  std::deque<TPositionCache*> queue;
  TPositionCache* current = nullptr;
  bool terminated = false;
  std::thread thread;  // last: it starts running in the constructor
};

namespace {

// Main thread only: trees are made and freed there.
struct TWorkerHolder {
  int users = 0;
  std::unique_ptr<TWorkerThread> worker;
};

TWorkerHolder& Holder() {
  static TWorkerHolder holder;
  return holder;
}

}  // namespace

void AddTreeReference() {
  TWorkerHolder& h = Holder();
  if (h.users++ == 0) h.worker = std::make_unique<TWorkerThread>();
}

void ReleaseTreeReference(TPositionCache& Cache) {
  TWorkerHolder& h = Holder();
  ORV_ASSERT(h.users > 0);
  h.worker->Interrupt(Cache);
  if (--h.users == 0) h.worker.reset();
}

void InterruptValidation(TPositionCache& Cache) {
  if (TWorkerThread* w = Holder().worker.get()) w->Interrupt(Cache);
}

bool WorkerThreadRunning() { return Holder().worker != nullptr; }

bool WaitForWorkerIdle(int TimeoutMs) {
  TWorkerThread* w = Holder().worker.get();
  return !w || w->WaitIdle(TimeoutMs);
}

// The cache itself --------------------------------------------------------

void TPositionCache::Invalidate(int FromIndex, uint32_t VisibleCount, bool Queue) {
  InterruptValidation(*this);
  {
    std::lock_guard<std::mutex> guard(lock);
    if (FromIndex < 0)
      entries.clear();
    else if (static_cast<size_t>(FromIndex) < entries.size())
      entries.resize(FromIndex);
    wanted = EntriesFor(VisibleCount);
    complete = false;
  }
  if (Queue) Resume(VisibleCount);
}

void TPositionCache::Resume(uint32_t VisibleCount) {
  {
    std::lock_guard<std::mutex> guard(lock);
    if (EntriesFor(VisibleCount) != wanted) {
      // The visible count moved without an invalidation: start over.
      entries.clear();
      wanted = EntriesFor(VisibleCount);
      complete = false;
    }
    if (complete) return;
    if (wanted == 0) {
      entries.clear();
      complete = true;
      return;
    }
  }
  if (TWorkerThread* w = Holder().worker.get()) w->Add(*this);
}

void TPositionCache::Validate() {
  PVirtualNode node;
  uint32_t top, count, want;
  {
    std::lock_guard<std::mutex> guard(lock);
    want = wanted;
    if (entries.size() >= want) {
      complete = true;
      return;
    }
    if (entries.empty()) {
      node = root->FirstChild;
      top = 0;
      count = 0;
    } else {
      // Resume at the last entry: its node is the count-th visible one.
      node = entries.back().Node;
      top = entries.back().AbsoluteTop;
      count = static_cast<uint32_t>(entries.size()) * CacheThreshold;
      if (entries.size() == want) node = nullptr;
      else {
        top += node->NodeHeight;
        node = NextVisibleNode(node);
      }
    }
  }
  PVirtualNode last = nullptr;
  uint32_t lastTop = 0;
  while (node) {
    if (stop.load(std::memory_order_relaxed)) return;
    ++count;
    if (count % CacheThreshold == 0) {
      std::lock_guard<std::mutex> guard(lock);
      entries.push_back({node, top});
      if (entries.size() >= want) {
        complete = true;
        return;
      }
    }
    last = node;
    lastTop = top;
    top += node->NodeHeight;
    node = NextVisibleNode(node);
  }
  std::lock_guard<std::mutex> guard(lock);
  if (last && entries.size() < want && (entries.empty() || entries.back().Node != last))
    entries.push_back({last, lastTop});
  complete = true;
}
