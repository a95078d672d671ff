#pragma once
// The record of table states that a full check of the indexes found sound,
// kept outside the table files so that no byte of them changes: one small
// file per table in the user's cache folder ($XDG_CACHE_HOME/Orvelle/
// checked-tables, else ~/.cache/...), named by the data file's device and
// inode, holding the stamp (engTableStamp.h) the check was made under and
// the start of the system it was made in: after a power loss the disk may
// hold pages whose time update the file system's journal lost, so findings
// are not taken across a restart of the system.
//
// A record only ever says "the files with this stamp are sound": a record
// that matches no longer is ignored and later replaced; a lost, stale or
// damaged record costs one full check, never a skipped one. Records are
// written whole to a new file and renamed into place, so a reader sees the
// old record or the new one.

#include <cstdint>
#include <string>

#include "engTableStamp.h"

struct TCheckedTablesSettings {
  // Empty: the user's cache folder.
  std::string Folder;
  // Smaller tables (data and index bytes) are checked at every first open:
  // their check costs less than keeping a record.
  int64_t MinimumBytes = int64_t(4) << 20;
};

TCheckedTablesSettings CheckedTablesSettings();
void SetCheckedTablesSettings(const TCheckedTablesSettings& settings);

// A full check found the files with this very stamp sound.
bool CheckedStateHolds(const TTableStamp& stamp);
// Keeps the stamp of files a full check just found sound, when the stamp is
// settled (a later write cannot carry its times) and the table large
// enough; nothing happens when the record cannot be written.
void RememberCheckedState(const TTableStamp& stamp);
