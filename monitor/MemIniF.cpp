#include "MemIniF.h"

#include "ADV_CONSTS.h"
#include "rtlConvert.h"
#include "rtlFormat.h"
#include "rtlStreams.h"
#include "rtlStrUtils.h"

TMemoryIniFile::TMemoryIniFile(const std::string& ResourceName) {
  TMemoryStream stream;
  if (LoadRCDataToStream(ResourceName, stream)) LoadFromStream(stream);
}

void TMemoryIniFile::SetSection(const std::string& Name) {
  sectionName = Name.find('[') == std::string::npos ? Format("[%s]", {Name}) : Name;
  sectionIndex = -1;
  for (int i = 0; i < Count(); ++i) {
    if (SameText(Get(i), sectionName)) {
      sectionIndex = i;
      break;
    }
  }
}

std::string TMemoryIniFile::ReadString(const std::string& Section, const std::string& Key, const std::string& Default) {
  SetSection(Section);
  if (sectionName.empty()) return Default;
  const std::string prefix = Format("%s=", {Key});
  // Without the section the search runs from the top to the first section.
  for (int i = sectionIndex + 1; i < Count(); ++i) {
    const std::string line = Get(i);
    if (!line.empty() && line.front() == '[') break;
    if (line.compare(0, prefix.size(), prefix) == 0) return line.substr(prefix.size(), MaxValueLength);
  }
  return Default;
}

int32_t TMemoryIniFile::ReadInteger(const std::string& Section, const std::string& Key, int32_t Default) {
  std::string text = ReadString(Section, Key, "");
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text = "$" + text.substr(2);
  int value = 0;
  return TryStrToInt(text, value) ? value : Default;
}

bool TMemoryIniFile::ReadBool(const std::string& Section, const std::string& Key, bool Default) {
  return ReadInteger(Section, Key, Default ? 1 : 0) != 0;
}
