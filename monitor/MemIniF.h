#pragma once
// An INI-style text held in memory: sections are whole lines "[name]"
// (found without regard to case), keys begin their line inside the current
// section (matched with case), and a value is everything after the first
// "=". Lines beginning with ";" are comments: they neither open a section
// nor match a key.

#include <cstdint>
#include <string>

#include "rtlStringList.h"

class TMemoryIniFile : public TStringList {
public:
  // The lines of the RCDATA resource resourceName; empty when there is none.
  explicit TMemoryIniFile(const std::string& resourceName);

  // A name without "[" is bracketed. The section's line, -1 when absent.
  void SetSection(const std::string& name);

  std::string ReadString(const std::string& section, const std::string& key, const std::string& defaultValue);
  // "0x" (any case) starts a hexadecimal value; defaultValue when the text
  // is no integer.
  int32_t ReadInteger(const std::string& section, const std::string& key, int32_t defaultValue);
  bool ReadBool(const std::string& section, const std::string& key, bool defaultValue);

  // A value is cut to this many characters.
  static constexpr size_t MaxValueLength = 255;

private:
  int32_t sectionIndex = -1;
  std::string sectionName;
};
