#pragma once
// Accesses to a shared mapping of a file can end in a bus error where a
// read or write call would return an error: the file was cut by another
// program below the accessed page, the disk failed, or the file system had
// no block left for a page first written through the mapping. Inside a
// guarded access such a bus error makes the access return false instead of
// ending the process. A bus error on a page of a watched read-only mapping
// leaves zeros in that page, which the access reads on, and marks the
// mapping faulted for its owner to find. Anywhere else it ends the process
// as before.

#include <cstddef>

// Runs access(context), which touches mapped pages only; false when a bus
// error cut it short, at any point.
[[nodiscard]] bool OsGuardBusErrors(void (*access)(void* context), void* context);

// Watches the read-only mapping of length bytes from start (a page
// boundary) until it is unwatched; -1 when too many are watched already.
[[nodiscard]] int OsWatchMapping(const void* start, size_t length);
void OsUnwatchMapping(int watch);
// Whether a bus error left zeros in the watched mapping.
bool OsWatchedMappingFaulted(int watch);
