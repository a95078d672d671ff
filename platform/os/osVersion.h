#pragma once
// The running program's version information, compiled in. Only the
// US-English, Windows-ANSI string table ("040904E4") exists.

#include <optional>
#include <string>

// Looks up a block path like "\StringFileInfo\040904E4\FileDescription"
// (doubled separators are allowed, names ignore case); nothing when the
// path names no value.
std::optional<std::string> QueryVersionValue(const std::string& subBlock);
