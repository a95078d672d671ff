#pragma once
// Table names written with a folder: "\", "/" and ":" all separate.

#include <string>

bool HasFolderPart(const std::string& name);
// Up to and with the last separator.
std::string FolderPart(const std::string& name);
std::string FilePart(const std::string& name);
