#pragma once
// The engine's field and index descriptors as the table component and the
// restructure build them from definitions: names and texts cut to the
// engine's limits, everything else left for the engine's definition check
// to complete (stored sizes, offsets, key lengths).

#include <cstdint>
#include <string>
#include <vector>

struct TMDBFieldDescSpec {
  uint16_t FieldNo = 0;
  std::string Name;
  uint8_t EngineType = 0;
  uint8_t Subtype = 0;
  uint8_t DeclaredSize = 0;  // strings, bytes and variable bytes
  uint8_t Scale = 0;         // decimals
  bool Required = false;
  uint8_t CharCase = 0;
  std::string Description;
  std::string MinValue;
  std::string MaxValue;
  std::string DefaultValue;
};

// Appends one 768-byte descriptor.
void AppendFieldDesc(const TMDBFieldDescSpec& spec, std::vector<uint8_t>& descs);

// Readers of the descriptors a cursor hands out.
std::string FieldDescName(const uint8_t* desc);
std::string FieldDescText(const uint8_t* desc, int offset);
