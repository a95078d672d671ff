#pragma once
// Accesses to a shared mapping of a file can end in a bus error where a
// read or write call would return an error: the file was cut by another
// program below the accessed page, the disk failed, or the file system had
// no block left for a page first written through the mapping. Inside a
// guarded access such a bus error makes the access return false instead of
// ending the process; outside one it ends the process as before.

// Runs access(context), which touches mapped pages only; false when a bus
// error cut it short, at any point.
[[nodiscard]] bool OsGuardBusErrors(void (*access)(void* context), void* context);
