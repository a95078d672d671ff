#include "MemIniF.h"

#include "ProgramInfo.h"
#include "rtlConvert.h"
#include "rtlFormat.h"
#include "rtlStreams.h"
#include "rtlStrUtils.h"

TMemoryIniFile::TMemoryIniFile(const std::string& resourceName) {
  TMemoryStream stream;
  if (LoadRCDataToStream(resourceName, stream)) LoadFromStream(stream);
}

void TMemoryIniFile::SetSection(const std::string& name) {
  sectionName = name.find('[') == std::string::npos ? Format("[%s]", {name}) : name;
  sectionIndex = -1;
  for (int i = 0; i < Count(); ++i) {
    if (SameText(Get(i), sectionName)) {
      sectionIndex = i;
      break;
    }
  }
}

std::string TMemoryIniFile::ReadString(const std::string& section, const std::string& key,
                                       const std::string& defaultValue) {
  SetSection(section);
  if (sectionName.empty()) return defaultValue;
  const std::string prefix = Format("%s=", {key});
  // Without the section the search runs from the top to the first section.
  for (int i = sectionIndex + 1; i < Count(); ++i) {
    const std::string line = Get(i);
    if (!line.empty() && line.front() == '[') break;
    if (line.compare(0, prefix.size(), prefix) == 0) return line.substr(prefix.size(), MaxValueLength);
  }
  return defaultValue;
}

int32_t TMemoryIniFile::ReadInteger(const std::string& section, const std::string& key, int32_t defaultValue) {
  std::string text = ReadString(section, key, "");
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text = "$" + text.substr(2);
  int value = 0;
  return TryStrToInt(text, value) ? value : defaultValue;
}

bool TMemoryIniFile::ReadBool(const std::string& section, const std::string& key, bool defaultValue) {
  return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}
