#pragma once
// What a table's files look like from outside, taken under the change-check
// lock: for each file its identity, size and modification and change times,
// and the change counts of the headers. Every write to a file, by any
// process and any engine version, moves its change time, also one that
// dies before the header write; so a stamp equal to one taken when the
// table was found sound says that nobody wrote since.
//
// Two writes the clock cannot tell apart are the one risk: a write in the
// same clock tick as the stamp, or within a file system's timestamp step,
// gets the time the stamp saw. A stamp is therefore trusted for the future
// only once it is settled: every time it holds lies a whole tick (or, on a
// file system that keeps whole seconds, more than its step) before the
// clock's present, so that any later write carries a later time. File
// systems whose times come from another machine's clock (network shares)
// are never stamped.

#include <cstdint>

class TDataTable;

struct TFileStamp {
  uint64_t Device = 0;
  uint64_t Inode = 0;
  int64_t Size = 0;
  int64_t ModifiedNs = 0;
  int64_t ChangedNs = 0;
};

struct TTableStamp {
  // The data, index and BLOB files; the BLOB one empty when the table has
  // no BLOB file.
  static constexpr int FileCount = 3;
  TFileStamp Files[FileCount];
  uint32_t ChangeCounts[FileCount] = {0, 0, 0};
  // Not part of the record, what the settling rule needs: the file system
  // keeps sub-second times (its times show nanoseconds).
  bool FineTimes = false;

  // Data and index bytes: what a check of the table has to read.
  int64_t CheckedBytes() const;
  // Every time in the stamp lies before nowNs by more than the file
  // system's timestamp step (nowNs from the coarse real-time clock, the
  // clock file times are taken from).
  bool SettledAt(int64_t nowNs) const;
};

// The step assumed for a file system whose times show no nanoseconds (FAT
// keeps two seconds).
inline constexpr int64_t CoarseTimeStepNs = 2'000'000'000;

// False when the table's files cannot be stamped: in memory, temporary, on
// a file system whose times are not this machine's, or a file that does
// not stat. Call under the change-check lock (or on an exclusive table),
// with the headers just read.
bool TakeTableStamp(TDataTable& table, TTableStamp& stamp);

// The coarse real-time clock in nanoseconds.
int64_t CoarseClockNs();
