#include "engRecordWindow.h"

#include <algorithm>

#include "engFileHandler.h"
#include "rtlAssert.h"

TRecordWindows::~TRecordWindows() {
  for (TRecordWindow* window : listed) window->windows = nullptr;
}

void TRecordWindows::KeepShown() {
  for (TRecordWindow* window : listed) window->KeepShown();
}

void TRecordWindows::Forget(int64_t from) {
  for (TRecordWindow* window : listed) {
    if (!window->window.IsMapped() || window->window.Offset() + int64_t(window->window.Length()) <= from) continue;
    window->KeepShown();
    window->stale = true;
  }
}

void TRecordWindow::KeepShown() {
  if (shownCount > 0) window.Keep(shownOffset, size_t(shownCount));
  shownCount = 0;
}

const uint8_t* TRecordWindow::Show(TRecordWindows& list, TFileHandler& file, int64_t offset, int32_t count,
                                   int64_t end) {
  ORV_ASSERT(!windows || windows == &list);
  ORV_ASSERT(count > 0 && offset >= 0);
  shownCount = 0;
  // The stretch kept last is no longer in use: the file shows there again.
  if (stale || !window.Covers(offset, size_t(count)) || !window.ShowAgain()) {
    stale = false;
    // Mapped past the file's end, a page would fault when touched.
    end = std::min<int64_t>(end, file.FileSize());
    const int64_t length = std::min(end - offset, std::max<int64_t>(MostBytes, count));
    if (length < count || !file.MapWindow(window, offset, int32_t(length))) {
      Release();
      return nullptr;
    }
    if (!windows) {
      windows = &list;
      list.listed.push_back(this);
    }
  }
  ORV_ASSERT(window.Covers(offset, size_t(count)));
  shownOffset = offset;
  shownCount = count;
  return window.At(offset);
}

void TRecordWindow::Release() {
  window.Unmap();
  shownCount = 0;
  stale = false;
  if (!windows) return;
  std::vector<TRecordWindow*>& listed = windows->listed;
  listed.erase(std::find(listed.begin(), listed.end(), this));
  windows = nullptr;
}
