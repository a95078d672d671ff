#pragma once
// The one settings file of the user: $XDG_CONFIG_HOME/Morvane/settings.ini
// (default ~/.config/Morvane). Reading never creates the folder or the file.
// Every change is a read-modify-write under a lock (a mutex in the process,
// an flock on "settings.ini.lock" between processes) and replaces the file
// atomically: a new file beside it (O_EXCL, mode 0600), fsync, rename.

#include <functional>
#include <string>

#include "osSettingsDocument.h"

std::string SettingsFolder();
std::string SettingsFileName();

// The stored settings; an empty document when the file does not exist.
// A damaged file raises ESettingsFormatError, an unreadable one EOSError.
TSettingsDocument LoadSettings();

// Applies change to the current content and stores the result. When change
// throws, or the file cannot be written (EOSError), the file is unchanged.
void UpdateSettings(const std::function<void(TSettingsDocument&)>& change);

// Writes text to path atomically through a temporary file in the same folder.
void WriteFileAtomically(const std::string& path, const std::string& text, unsigned mode);
