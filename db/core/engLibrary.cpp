#include "engLibrary.h"

#include <mutex>

#include "engHeap.h"
#include "engRecordsBitmap.h"

namespace {

bool started = false;

std::recursive_mutex& FormatSettingsLock() {
  static std::recursive_mutex lock;
  return lock;
}

}  // namespace

void StartEngineLibrary() {
  if (started) return;
  ResetEngineHeapCounters();
  RecordsBitmapStack = new TRecordsBitmapStack;
  started = true;
}

void StopEngineLibrary() {
  if (!started) return;
  delete RecordsBitmapStack;
  RecordsBitmapStack = nullptr;
  started = false;
}

void LockFormatSettings() { FormatSettingsLock().lock(); }

void UnlockFormatSettings() { FormatSettingsLock().unlock(); }
