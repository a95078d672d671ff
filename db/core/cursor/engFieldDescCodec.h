#pragma once
// The engine's side of a field definition: the descriptor the data file
// stores for it (FieldDescSize bytes) and back. Nothing above the engine
// reads or writes descriptor bytes.

#include <cstdint>
#include <vector>

#include "engFieldDefinition.h"

// Reads the stored part; Origin and Expression stay empty.
TFieldDefinition FieldDefinitionFromDesc(const uint8_t* desc);
// Writes every stored byte of desc: names and texts cut to their limits,
// the rest of a text and every byte past the stored part zero.
void FieldDescFromDefinition(const TFieldDefinition& field, uint8_t* desc);
std::vector<uint8_t> FieldDescsFromDefinitions(const std::vector<TFieldDefinition>& fields);
std::vector<TFieldDefinition> FieldDefinitionsFromDescs(const uint8_t* descs, int count);
