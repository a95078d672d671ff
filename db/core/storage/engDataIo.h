#pragma once
// Positioned transfers on a file handler. A disk file has one position per
// process, so the seek and the transfer run inside one hold of the file's
// section. Offsets past the largest 32-bit position are refused with 8962
// before anything moves.

#include <cstdint>
#include <string>

#include "engFileHandler.h"

// The bytes read (fewer only with allowShort).
int32_t ReadFileAt(TFileHandler& file, const std::string& tableName, int64_t offset, void* buffer, int32_t count,
                   bool allowShort);
void WriteFileAt(TFileHandler& file, const std::string& tableName, int64_t offset, const void* buffer,
                 int32_t count);
// Sets the end of the file at offset.
void CutFileAt(TFileHandler& file, const std::string& tableName, int64_t offset);
