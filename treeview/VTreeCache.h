#pragma once
// The position cache and the one worker thread of the process that builds
// every tree's cache: one (node, top) pair per CacheThreshold visible nodes,
// so that finding the row at a vertical position scans the pairs and walks
// at most CacheThreshold rows.
//
// Threading: the worker only reads nodes. Before the main thread writes a
// node of a tree it calls InterruptValidation, which returns once the
// worker has left that tree; afterwards it hands the tree back with
// InvalidateCache (the structure changed) or ResumeValidation (it did not).
// The pairs are published under the cache's lock as they are found, so a
// reader sees a prefix of the finished cache and never a pair being made.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "VTreeNode.h"

constexpr uint32_t CacheThreshold = 2000;

struct TCacheEntry {
  PVirtualNode Node = nullptr;
  uint32_t AbsoluteTop = 0;
};

class TPositionCache {
public:
  // Root is the tree's hidden root node.
  explicit TPositionCache(PVirtualNode Root) : root(Root) {}
  TPositionCache(const TPositionCache&) = delete;
  TPositionCache& operator=(const TPositionCache&) = delete;

  // The entries wanted for VisibleCount visible nodes: none up to the
  // threshold, else one per threshold, rounded up.
  static uint32_t EntriesFor(uint32_t VisibleCount);

  // Main thread. Stops the worker's work on this cache, drops entries from
  // FromIndex on (all when negative) and, with Queue, queues the cache
  // again unless it is complete for VisibleCount.
  void Invalidate(int FromIndex, uint32_t VisibleCount, bool Queue = true);
  // Main thread: queues the cache when it is not complete.
  void Resume(uint32_t VisibleCount);

  // Any thread: the last published entry whose top is at most Y; an entry
  // with a nil node when there is none.
  TCacheEntry FindStart(uint32_t Y) const;
  // Any thread: the published entries, for tests and the benchmark.
  std::vector<TCacheEntry> Entries() const;
  // True once the worker finished the cache for the visible count it was
  // last given.
  bool Complete() const;

private:
  friend class TWorkerThread;
  // Worker side: one validation pass.
  void Validate();

  PVirtualNode const root;
  mutable std::mutex lock;
  std::vector<TCacheEntry> entries;  // by position
  uint32_t wanted = 0;               // entries for the visible count
  bool complete = true;
  std::atomic<bool> stop{false};
};

// The process's worker: made with the first tree, ended with the last.
void AddTreeReference();
void ReleaseTreeReference(TPositionCache& Cache);
// Main thread: returns once the worker is not working on Cache and Cache
// is not queued.
void InterruptValidation(TPositionCache& Cache);
// True while the worker thread exists (for tests of its lifetime).
bool WorkerThreadRunning();
// Waits until the worker is idle with an empty queue; false after the
// timeout. For tests and the benchmark.
bool WaitForWorkerIdle(int TimeoutMs);
