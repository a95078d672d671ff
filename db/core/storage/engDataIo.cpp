#include "engDataIo.h"

#include <cstdint>
#include <limits>

#include "engDataLayout.h"
#include "engErrorCodes.h"
#include "engErrors.h"

namespace {

void CheckSpan(const std::string& tableName, int64_t offset, int64_t count) {
  if (offset < 0 || count < 0 || offset + count > std::numeric_limits<int32_t>::max())
    RaiseEngineError(EngErrRecordsCorrupt, tableName);
}

}  // namespace

int32_t ReadFileAt(TFileHandler& file, const std::string& tableName, int64_t offset, void* buffer, int32_t count,
                   bool allowShort) {
  CheckSpan(tableName, offset, count);
  return file.ReadAt(offset, buffer, count, allowShort);
}

void WriteFileAt(TFileHandler& file, const std::string& tableName, int64_t offset, const void* buffer,
                 int32_t count) {
  CheckSpan(tableName, offset, count);
  file.WriteAt(offset, buffer, count);
}

void WriteFileGatheredAt(TFileHandler& file, const std::string& tableName, int64_t offset,
                         std::span<const std::span<const uint8_t>> pieces) {
  int64_t count = 0;
  for (const std::span<const uint8_t>& piece : pieces) count += int64_t(piece.size());
  CheckSpan(tableName, offset, count);
  file.WriteGatheredAt(offset, pieces);
}

void CutFileAt(TFileHandler& file, const std::string& tableName, int64_t offset) {
  WriteFileAt(file, tableName, offset, nullptr, 0);
}
