// Checking the BLOB file: its header, and the walk along a BLOB's chain
// that frees it, verifies it, or cuts it where it is damaged. A walk takes
// no more blocks than the BLOB's length needs and the file holds, and
// remembers every block it passed, so a chain that circles back is caught
// however long the circle. Blocks are freed only once the whole walk has
// succeeded, each once.

#include <algorithm>
#include <limits>
#include <utility>

#include "rtlAssert.h"
#include "engBlobFile.h"
#include "engErrorCodes.h"
#include "engScopeGuard.h"

namespace {

constexpr const char* InvalidOffset = "Invalid BLOB offset in BLOB file for physical record # ";
constexpr const char* InvalidPointer = "Invalid intra-block pointer in BLOB file for physical record # ";
constexpr const char* RecursivePointer = "Recursive intra-block pointer in BLOB file for physical record # ";

int32_t BlocksForLength(uint32_t length, int32_t dataSize) {
  const int64_t blocks = (int64_t(length) + dataSize - 1) / dataSize;
  return int32_t(std::min<int64_t>(blocks, std::numeric_limits<int32_t>::max()));
}

}  // namespace

void TBlobFile::VerifyHeader() {
  if (header[BlbHdrFormat] != BlobFileFormat) RaiseBlobError(EngErrWrongVersion);
  // The file's length counts the held chains.
  WriteHeld();
  const uint32_t end = EndOffset();
  if (end < BlobHeaderSize || (end - BlobHeaderSize) % blockSize != 0 || int64_t(end) > FileSize())
    RaiseBlobError(EngErrHeaderCorrupt);
  if (FirstFree() != 0 && !IsBlockOffset(FirstFree())) RaiseBlobError(EngErrHeaderCorrupt);
}

void TBlobFile::ReportDamage(TReadContext* reader, const char* finding, uint32_t recordNumber, bool fixed) {
  if (reader) reader->ReportRepair(std::string(finding) + std::to_string(recordNumber) + ", " +
                                  (fixed ? "error fixed" : "error not fixed"));
}

void TBlobFile::FreeChain(TReadContext* reader, bool verifyOnly, bool force, uint32_t recordNumber,
                          uint32_t sequence, uint32_t& firstOffset) {
  if (firstOffset == 0) return;
  TBlock* first = nullptr;
  if (IsBlockOffset(firstOffset)) {
    if (!GetBlock(reader, firstOffset, first, 1, false)) RaiseBlobError(EngErrRecordChanged);
    if (force) first->SetSequence(sequence);
  }
  if (!first || first->Sequence() != sequence) {
    ReleaseBlock(first);
    if (force || !(reader && reader->InRepairMode())) RaiseBlobError(EngErrBlocksCorrupt);
    ReportDamage(reader, InvalidOffset, recordNumber, !verifyOnly);
    if (!verifyOnly) firstOffset = 0;
    return;
  }
  FreeChainFrom(reader, verifyOnly, force, recordNumber, sequence, BlocksForLength(first->TotalSize(), BlockDataSize()),
                first);
  if (!verifyOnly) firstOffset = 0;
}

void TBlobFile::FreeChainFrom(TReadContext* reader, bool verifyOnly, bool force, uint32_t recordNumber,
                              uint32_t sequence, int32_t blockCount, TBlock* block, const TBlockTrail* held) {
  const bool repair = (reader && reader->InRepairMode());
  const int32_t limit = std::min(std::max(blockCount, 1), BlocksInFile());
  int32_t hint = std::max(blockCount - 1, 1);
  TBlockTrail trail(blockSize);
  TBlock* current = block;
  TScopeGuard releaseCurrent([this, &current] { ReleaseBlock(current); });
  trail.Add(current->Offset());
  while (current->Next() != 0) {
    const uint32_t next = current->Next();
    const char* finding = nullptr;
    TBlock* nextBlock = nullptr;
    if (!IsBlockOffset(next)) {
      finding = InvalidPointer;
    } else if (trail.Contains(next) || (held && held->Contains(next))) {
      finding = RecursivePointer;
    } else if (trail.Count() >= limit) {
      finding = InvalidPointer;  // longer than its length or the file allows
    } else {
      if (!GetBlock(reader, next, nextBlock, hint, true)) RaiseBlobError(EngErrRecordChanged);
      if (nextBlock->UseCount() > 1)
        finding = RecursivePointer;
      else if (nextBlock->Sequence() != sequence && force)
        nextBlock->SetSequence(sequence);
      else if (nextBlock->Sequence() != sequence)
        finding = InvalidPointer;
      if (finding) ReleaseBlock(nextBlock);
    }
    if (finding) {
      if (!repair) RaiseBlobError(EngErrBlocksCorrupt);
      ReportDamage(reader, finding, recordNumber, !verifyOnly);
      if (!verifyOnly) current->SetNext(0);
      break;
    }
    ReleaseBlock(std::exchange(current, nextBlock));
    trail.Add(next);
    ORV_ASSERT(trail.Count() <= limit);  // the walk's bound
    hint = std::max(hint - 1, 1);
  }
  releaseCurrent.Dismiss();
  ReleaseBlock(current);
  if (!verifyOnly) FreeTrail(trail);
}

// In walk order, so the chain's last block heads the free list.
void TBlobFile::FreeTrail(const TBlockTrail& trail) {
  int32_t ahead = trail.Count();
  trail.ForEach([this, &ahead](uint32_t offset) {
    TBlock* block = nullptr;
    GetBlock(nullptr, offset, block, ahead--, true);
    TScopeGuard release([this, block] { ReleaseBlock(block); });
    FreeBlock(block);
  });
}
