#pragma once
// The Windows ANSI code pages as compiled-in byte -> UTF-16 tables.
// Every table maps 0x00-0x7F to ASCII and every byte to a distinct BMP
// character, so a text converts one byte to one UTF-16 unit and back.

#include <cstdint>

struct CodePageTable {
  uint16_t codePage;
  char16_t toUnicode[256];
};

inline constexpr int kCodePageTableCount = 10;
extern const CodePageTable kCodePageTables[kCodePageTableCount];
