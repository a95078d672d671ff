#include "MDBDescriptors.h"

#include <algorithm>
#include <cstring>

#include "engDataLayout.h"
#include "engKeyCompare.h"
#include "engLittleEndian.h"
#include "rtlUtf8.h"

namespace {

// A length byte and at most limit bytes, never cutting a character in two.
void PutShortString(uint8_t* target, const std::string& text, int limit) {
  std::string cut = text;
  if (static_cast<int>(cut.size()) > limit) {
    cut = Utf8Truncated(cut, limit);
    while (static_cast<int>(cut.size()) > limit) cut = Utf8Truncated(cut, static_cast<int>(Utf8Length(cut)) - 1);
  }
  target[0] = static_cast<uint8_t>(cut.size());
  std::memcpy(target + 1, cut.data(), cut.size());
}

std::string GetShortString(const uint8_t* source, int limit) {
  const int length = std::min<int>(source[0], limit);
  return std::string(reinterpret_cast<const char*>(source + 1), static_cast<size_t>(length));
}

}  // namespace

void AppendFieldDesc(const TMDBFieldDescSpec& spec, std::vector<uint8_t>& descs) {
  const size_t start = descs.size();
  descs.resize(start + FieldDescSize, 0);
  uint8_t* desc = descs.data() + start;
  PutLE16(desc + FieldDescNumberOffset, spec.FieldNo);
  PutShortString(desc + FieldDescNameOffset, spec.Name, FieldNameLimit);
  PutShortString(desc + FieldDescDescriptionOffset, spec.Description, FieldTextLimit);
  desc[FieldDescTypeOffset] = spec.EngineType;
  desc[FieldDescSubtypeOffset] = spec.Subtype;
  desc[FieldDescDeclaredSizeOffset] = spec.DeclaredSize;
  desc[FieldDescScaleOffset] = spec.Scale;
  desc[FieldDescRequiredOffset] = spec.Required ? 1 : 0;
  desc[FieldDescCaseOffset] = spec.CharCase;
  PutShortString(desc + FieldDescMinOffset, spec.MinValue, FieldTextLimit);
  PutShortString(desc + FieldDescMaxOffset, spec.MaxValue, FieldTextLimit);
  PutShortString(desc + FieldDescDefaultOffset, spec.DefaultValue, FieldTextLimit);
}

std::string FieldDescName(const uint8_t* desc) { return GetShortString(desc + FieldDescNameOffset, FieldNameLimit); }

std::string FieldDescText(const uint8_t* desc, int offset) { return GetShortString(desc + offset, FieldTextLimit); }

