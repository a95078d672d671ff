#pragma once
// A pass's records shown where the system's page cache holds the data file
// (osReadWindow.h), instead of read into a buffer: the read call's copy was
// about half of a scan that looks at a field or two of each record.
//
// Shown bytes must read as a read call would have returned them when they
// were shown, for as long as the reader uses them (until its next read).
// So they are shown only while no other process can change or cut the
// file: the table holds its read lock, which keeps writers out, or holds
// the table exclusively. This process cannot write the file meanwhile
// either: its write lock waits for its own read lock, and a table held
// exclusively is written through the one cursor, whose next call ends the
// reader's use. Before the read lock is let go, the data file has every
// window keep the bytes it shows as this process's own copy, so a reader
// still on them keeps what it was shown while others write. A statement's
// row loop lets the lock go every millisecond only for a moment, for
// writers waiting, and takes it again before it reads on: the windows then
// copy what they show aside, and make the copy theirs only when the counts
// the lock's check reads say someone wrote meanwhile (a keep maps memory
// and has the file's pages fault in again after; the copy alone does
// neither). Only bytes the file was measured to hold are mapped, and no
// process following the locking protocol cuts them while the table is
// open here: cutting a data file takes an exclusive open (emptying,
// sorting, restructuring), and a first open's repair cuts only a partial
// record past the whole ones. A cut or close of this process's own has
// the windows map again. A program
// that ignores the locks (a script or a backup tool cutting the file in
// place) can still cut shown bytes: those read as zeros and fault the
// window (osReadWindow.h), which the data file checks before it hands a
// run's records on and again when the reader is done with them, raising
// the read failure a read call cut short raises.
//
// Each window belongs to one reader (a cursor's run of records) and is
// listed with the data file while it is mapped. Mappings are made a stretch
// of the file at a time, at fixed places, and a reader that moves on or
// ends gives its mapping back to the file's list, which keeps a few for the
// next reader: a statement run again finds the file's pages mapped, where
// mapping them again and their first touches were a fifth of its scan. The
// file's list unmaps what it keeps when the file goes, and lets go of its
// readers' windows.

#include <cstdint>
#include <memory>
#include <vector>

#include "osReadWindow.h"

class TFileHandler;
class TRecordWindow;

// The windows one data file shows records through, and the mappings it
// keeps for them.
class TRecordWindows {
public:
  // Mappings kept for the next reader at most: 64 MiB of the file.
  static constexpr size_t MostKept = 16;

  TRecordWindows() = default;
  // The windows listed are let go: they unmap at their release or end.
  ~TRecordWindows();
  TRecordWindows(const TRecordWindows&) = delete;
  TRecordWindows& operator=(const TRecordWindows&) = delete;

  // Every window keeps what it shows (engRecordWindow.h).
  void KeepShown();
  // The same in two steps, for a read lock let go only for a moment:
  // before, every window copies what it shows aside; once the lock is held
  // again, the copies become what they show when the file may have changed
  // meanwhile (KeepCopies), and go when it did not (DropCopies): then the
  // file's pages still show what they showed, and nothing is mapped again.
  void CopyShown();
  void KeepCopies();
  void DropCopies();
  // The file is cut at from, or closed (from 0): mappings kept of bytes
  // from there go, and every window mapping them keeps what it shows and
  // maps again for its next Show, measuring the file anew.
  void Forget(int64_t from);

private:
  friend class TRecordWindow;
  std::vector<TRecordWindow*> listed;
  // A mapping kept, and the last reader to give it back (numbered as they
  // were listed: a later reader has a larger number).
  struct TKept {
    std::unique_ptr<OsReadWindow> Mapping;
    uint64_t Reader = 0;
  };
  // None shows or keeps anything.
  std::vector<TKept> kept;
  uint64_t readersListed = 0;

  // A kept mapping covering count bytes from offset, taken off the list;
  // null when none does.
  std::unique_ptr<OsReadWindow> Take(int64_t offset, int32_t count);
  void Give(std::unique_ptr<OsReadWindow> window, uint64_t reader);
};

class TRecordWindow {
public:
  // Mappings start at multiples of StretchBytes and reach SlackBytes past
  // the next one, so that each shows every stretch of at most SlackBytes
  // that starts in it.
  static constexpr int64_t StretchBytes = int64_t(4) << 20;
  static constexpr int64_t SlackBytes = int64_t(256) << 10;

  TRecordWindow() = default;
  ~TRecordWindow() { Release(); }
  TRecordWindow(const TRecordWindow&) = delete;
  TRecordWindow& operator=(const TRecordWindow&) = delete;

  // Shows count bytes of the file from offset, in place of what it showed
  // before. Unless the window maps them already, or its file's list keeps
  // a mapping of them, it maps the stretch they start in, to no further
  // than end or the file's measured size; null, with nothing mapped, when
  // the file does not hold them or cannot be mapped. The caller keeps other
  // processes from changing or cutting the file (engRecordWindow.h).
  const uint8_t* Show(TRecordWindows& windows, TFileHandler& file, int64_t offset, int32_t count, int64_t end);
  // What was shown is no longer in use.
  void Hide() {
    shownCount = 0;
    copied = false;
  }
  // Some bytes it showed read as zeros, the file cut below them by another
  // program: what it showed was not the file's. Its mapping goes at the
  // next Show or Release, not back to the file's list.
  bool Faulted() const { return window && window->Faulted(); }
  // Gives its mapping back to its file's list and leaves it.
  void Release();

private:
  friend class TRecordWindows;
  TRecordWindows* windows = nullptr;  // while listed
  uint64_t reader = 0;                // its number on the list
  std::unique_ptr<OsReadWindow> window;
  int64_t shownOffset = 0;
  int32_t shownCount = 0;
  // What it mapped may have gone: the next Show maps again.
  bool stale = false;
  // The pages showing what it shows, copied before a read lock's pause
  // (TRecordWindows::CopyShown), while copied.
  std::vector<uint8_t> copy;
  bool copied = false;

  // The shown bytes stay as they are, in this process's own memory.
  void KeepShown();
  void CopyShown();
  // The shown bytes become what copy holds, in this process's own memory.
  void KeepCopy();
  // The mapping, shared with the file again, goes back to the file's list
  // (unmapped when it is stale or no list takes it).
  void GiveBack();
};
