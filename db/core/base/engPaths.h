#pragma once
// Path and file-name routines. "/" is the separator; a "\" is still
// understood wherever a path is examined, and ":" still marks a path.

#include <functional>
#include <string>

// The name without its extension (a "." after the last separator).
std::string StripFileExt(const std::string& name);
// The trimmed name with ext in place of its extension, unless it already
// has ext (ignoring case).
std::string ChangeFileExtension(const std::string& name, const std::string& ext);
// The trimmed path ending in a separator: "/" is added unless the path
// already ends in "/" or "\". An empty path stays empty.
std::string IncludeTrailingBackslash(const std::string& path);
// True for an empty name or one holding ":", "\" or "/".
bool HasPathChars(const std::string& name);
// The name as a full path, without its extension.
std::string FullNameWithoutExt(const std::string& name);
// Network-universal names do not exist on this system: always empty.
std::string GetUniversalName(const std::string& path);

// A work file name in directory: the first five digits of the thread id, a
// counter from 0 upward and ext. A disk file is created, empty, under the
// first free name, atomically, so no other process can take or truncate it;
// failures raise the mapped engine error. Memory files exist only in the
// engine's file list, which answers through memoryFileExists.
std::string GetUniqueFileName(const std::string& directory, const std::string& ext, bool inMemory,
                              const std::function<bool(const std::string&)>& memoryFileExists);
