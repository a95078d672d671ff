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

void TRecordWindows::CopyShown() {
  for (TRecordWindow* window : listed) window->CopyShown();
}

void TRecordWindows::KeepCopies() {
  for (TRecordWindow* window : listed) window->KeepCopy();
}

void TRecordWindows::DropCopies() {
  for (TRecordWindow* window : listed) window->copied = false;
}

void TRecordWindows::Forget(int64_t from) {
  auto reaches = [from](const OsReadWindow& window) {
    return window.Offset() + int64_t(window.Length()) > from;
  };
  std::erase_if(kept, [&](const TKept& one) { return reaches(*one.Mapping); });
  for (TRecordWindow* window : listed) {
    if (!window->window || !reaches(*window->window)) continue;
    window->KeepShown();
    window->stale = true;
  }
}

std::unique_ptr<OsReadWindow> TRecordWindows::Take(int64_t offset, int32_t count) {
  for (auto at = kept.begin(); at != kept.end(); ++at) {
    if (!at->Mapping->Covers(offset, size_t(count))) continue;
    std::unique_ptr<OsReadWindow> taken = std::move(at->Mapping);
    kept.erase(at);
    return taken;
  }
  return nullptr;
}

void TRecordWindows::Give(std::unique_ptr<OsReadWindow> window, uint64_t reader) {
  ORV_ASSERT(window->IsMapped() && !window->Keeps());
  // A mapping of the same stretch made meanwhile: the older one goes.
  std::erase_if(kept, [&](const TKept& other) { return other.Mapping->Offset() == window->Offset(); });
  if (kept.size() < MostKept) {
    kept.push_back({std::move(window), reader});
    return;
  }
  // A full list makes room by the mapping an earlier reader gave back
  // longest ago: a statement after one that passed over more of the file
  // than the list keeps (its mappings kept to the end) finds its own again
  // when it is run again. A pass over more than the list keeps finds again
  // what it kept first, rather than pushing out each of its own mappings
  // before it comes back.
  const auto oldest = std::min_element(kept.begin(), kept.end(),
                                       [](const TKept& a, const TKept& b) { return a.Reader < b.Reader; });
  if (oldest->Reader < reader) *oldest = {std::move(window), reader};
}

void TRecordWindow::KeepShown() {
  // Copied before the file was let go: the file may have changed since.
  if (copied) KeepCopy();
  if (shownCount > 0) window->Keep(shownOffset, size_t(shownCount));
  shownCount = 0;
}

void TRecordWindow::CopyShown() {
  if (shownCount == 0) return;
  window->CopyPages(shownOffset, size_t(shownCount), copy);
  copied = true;
}

void TRecordWindow::KeepCopy() {
  if (!copied) return;
  ORV_ASSERT(shownCount > 0);
  window->KeepCopy(shownOffset, size_t(shownCount), copy);
  copied = false;
  shownCount = 0;
}

void TRecordWindow::GiveBack() {
  std::unique_ptr<OsReadWindow> mapping = std::move(window);
  shownCount = 0;
  copied = false;
  if (!mapping || stale || !windows || mapping->Faulted() || !mapping->ShowAgain()) return;
  windows->Give(std::move(mapping), reader);
}

const uint8_t* TRecordWindow::Show(TRecordWindows& list, TFileHandler& file, int64_t offset, int32_t count,
                                   int64_t end) {
  ORV_ASSERT(!windows || windows == &list);
  ORV_ASSERT(count > 0 && offset >= 0);
  shownCount = 0;
  copied = false;
  if (!windows) {
    windows = &list;
    reader = ++list.readersListed;
    list.listed.push_back(this);
  }
  // The stretch kept last is no longer in use: the file shows there again.
  if (stale || !window || window->Faulted() || !window->Covers(offset, size_t(count)) || !window->ShowAgain()) {
    GiveBack();
    stale = false;
    if (count <= SlackBytes) window = list.Take(offset, count);
    if (!window) {
      // Mapped past the file's end, a page would fault when touched.
      end = std::min<int64_t>(end, file.FileSize());
      const int64_t start = offset / StretchBytes * StretchBytes;
      const int64_t length = std::min(end - start, StretchBytes + SlackBytes);
      auto mapping = std::make_unique<OsReadWindow>();
      if (offset + count > end || count > SlackBytes || !file.MapWindow(*mapping, start, int32_t(length)))
        return nullptr;
      window = std::move(mapping);
    }
  }
  ORV_ASSERT(window->Covers(offset, size_t(count)));
  shownOffset = offset;
  shownCount = count;
  return window->At(offset);
}

void TRecordWindow::Release() {
  GiveBack();
  stale = false;
  if (!windows) return;
  std::vector<TRecordWindow*>& listed = windows->listed;
  listed.erase(std::find(listed.begin(), listed.end(), this));
  windows = nullptr;
}
