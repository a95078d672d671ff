#pragma once
// An index as the layers above the engine define and read it: its name,
// options and key fields. The engine alone turns it into the descriptor
// the index file stores and back.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engKeyCompare.h"

struct TIndexDefinition {
  std::string Name;
  bool Descending = false;
  bool CaseInsensitive = false;
  bool Unique = false;
  uint8_t Compression = kcNone;
  // The key's field numbers (table numbering), at most MaxKeyFields; none
  // for natural record order.
  std::vector<uint16_t> FieldNumbers;
  // Descending order of each key position. Kept for every position, also
  // past the last field, because definitions store all of them.
  std::array<bool, MaxKeyFields> FieldDescending{};
  // Filled in by the engine when it reads an index: the bytes of a key.
  uint16_t KeyLength = 0;

  bool IsNatural() const { return FieldNumbers.empty(); }
  // Whether the key starts with the field.
  bool StartsWith(uint16_t fieldNo) const { return !FieldNumbers.empty() && FieldNumbers.front() == fieldNo; }
  // Whether key position i sorts descending, by the index or the position.
  bool KeyDescending(size_t i) const { return Descending || (i < FieldDescending.size() && FieldDescending[i]); }
};

// The stored descriptor (IndexDescSize bytes) and back. Writing fills the
// definition's part; the tree's own bytes stay zero for the engine.
TIndexDefinition IndexDefinitionFromDesc(const uint8_t* desc);
void IndexDescFromDefinition(const TIndexDefinition& def, uint8_t* desc);
// Descriptors of several definitions, one after the other.
std::vector<uint8_t> IndexDescsFromDefinitions(const std::vector<TIndexDefinition>& defs);
