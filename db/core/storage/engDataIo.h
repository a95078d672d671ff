#pragma once
// Positioned transfers on a file handler, without a seek or the file's
// section (the handler's ReadAt and WriteAt). Offsets past the largest
// 32-bit position are refused with 8962 before anything moves.

#include <cstdint>
#include <span>
#include <string>

#include "engFileHandler.h"

// The bytes read (fewer only with allowShort).
int32_t ReadFileAt(TFileHandler& file, const std::string& tableName, int64_t offset, void* buffer, int32_t count,
                   bool allowShort);
void WriteFileAt(TFileHandler& file, const std::string& tableName, int64_t offset, const void* buffer,
                 int32_t count);
// WriteFileAt of the pieces end to end.
void WriteFileGatheredAt(TFileHandler& file, const std::string& tableName, int64_t offset,
                         std::span<const std::span<const uint8_t>> pieces);
// Sets the end of the file at offset.
void CutFileAt(TFileHandler& file, const std::string& tableName, int64_t offset);
