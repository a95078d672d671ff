#pragma once
// A file that lives only in memory, for the tables of the in-memory
// directory. Each handle keeps its own position; byte-range locks are the
// base class's range list, so they hold between the process's own tables.

#include "engAbstractFile.h"
#include "engBuffer.h"

class TMemoryFile : public TAbstractFile {
public:
  using TAbstractFile::TAbstractFile;

  bool InMemory() const override { return true; }
  int64_t MemoryBytes() const override { return int64_t(content.Size()); }

  int32_t CreateNew() override;
  int32_t Read(int32_t number, void* buffer, int32_t count) override;
  int32_t Write(int32_t number, const void* buffer, int32_t count) override;
  // A seek and the transfer, as the base class makes them, under one hold
  // of the section and one look-up of the handle (an answer in memory makes
  // dozens of these a statement, and each step took the section again).
  int32_t ReadAt(int32_t number, int32_t offset, void* buffer, int32_t count) override;
  int32_t WriteAt(int32_t number, int32_t offset, const void* buffer, int32_t count) override;

private:
  // Holds at least size bytes; bytes past size are not content.
  TEngineBuffer content;

  // Grows the content to newSize bytes; bytes between the old end and
  // newSize read as zero, as on a disk file, except from writtenFrom on,
  // which the caller fills.
  void Extend(int32_t newSize, int32_t writtenFrom);
};
