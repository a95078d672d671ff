#include "engKeyEncoding.h"
#include "engFieldTypes.h"

#include <bit>
#include <cstring>

#include "engTextCompare.h"

namespace {

using namespace EngineFieldTypes;

constexpr uint8_t SignBit = 0x80;

void PutBigEndian(uint64_t value, int n, uint8_t* out) {
  for (int i = n - 1; i >= 0; --i) {
    out[i] = uint8_t(value);
    value >>= 8;
  }
}

uint64_t GetLittleEndian(const uint8_t* value, int n) {
  uint64_t result = 0;
  for (int i = n - 1; i >= 0; --i) result = result << 8 | value[i];
  return result;
}

void BuildStringSegment(const uint8_t* value, uint8_t* out, int storedSize, bool caseInsensitive,
                        uint16_t languageId, uint16_t sortId) {
  std::memset(out, 0, size_t(storedSize));
  if (storedSize < 1 || !value) return;
  char* text = reinterpret_cast<char*>(out);
  const size_t length = strnlen(reinterpret_cast<const char*>(value), size_t(storedSize - 1));
  std::memcpy(text, value, length);
  if (caseInsensitive) UpperText(languageId, sortId, text, text);
}

}  // namespace

void EncodeInt16Key(int16_t value, uint8_t* out) {
  PutBigEndian(uint16_t(value), 2, out);
  out[0] ^= SignBit;
}

void EncodeInt32Key(int32_t value, uint8_t* out) {
  PutBigEndian(uint32_t(value), 4, out);
  out[0] ^= SignBit;
}

void EncodeInt64Key(int64_t value, uint8_t* out) {
  PutBigEndian(uint64_t(value), 8, out);
  out[0] ^= SignBit;
}

void EncodeWordKey(uint16_t value, uint8_t* out) { PutBigEndian(value, 2, out); }

void EncodeFloatKey(double value, uint8_t* out) {
  PutBigEndian(std::bit_cast<uint64_t>(value), 8, out);
  if (value < 0)
    InvertBytes(out, 8);
  else
    out[0] |= SignBit;
}

void InvertBytes(uint8_t* buffer, int n) {
  for (int i = 0; i < n; ++i) buffer[i] = uint8_t(~buffer[i]);
}

void BuildKeySegment(const uint8_t* fieldDesc, const void* value, uint8_t* out, bool caseInsensitive,
                     bool descending, uint16_t languageId, uint16_t sortId) {
  const uint8_t type = fieldDesc[FieldDescTypeOffset];
  const int storedSize = fieldDesc[FieldDescStoredSizeOffset];
  const auto* bytes = static_cast<const uint8_t*>(value);
  uint8_t* segment = out + 1;
  auto number = [&](int n) { return bytes ? GetLittleEndian(bytes, n) : 0; };
  switch (type) {
    case ftString:
      BuildStringSegment(bytes, segment, storedSize, caseInsensitive, languageId, sortId);
      break;
    case ftDate:
    case ftInteger:
    case ftTime:
      EncodeInt32Key(int32_t(number(4)), segment);
      break;
    case ftBoolean:
    case ftWord:
      EncodeWordKey(uint16_t(number(2)), segment);
      break;
    case ftSmallInt:
      EncodeInt16Key(int16_t(number(2)), segment);
      break;
    case ftFloat:
    case ftTimeStamp:
      EncodeFloatKey(std::bit_cast<double>(number(8)), segment);
      break;
    case ftDecimal:
      EncodeInt64Key(int64_t(number(8)), segment);
      break;
    default:
      if (bytes)
        std::memcpy(segment, bytes, size_t(storedSize));
      else
        std::memset(segment, 0, size_t(storedSize));
  }
  if (languageId == 0 && descending) InvertBytes(out, type == ftString ? storedSize : storedSize + 1);
}

void SetStoredSize(uint8_t* fieldDesc) {
  const uint8_t declaredSize = fieldDesc[FieldDescDeclaredSizeOffset];
  uint8_t& storedSize = fieldDesc[FieldDescStoredSizeOffset];
  storedSize = declaredSize;
  switch (fieldDesc[FieldDescTypeOffset]) {
    case ftString:
      storedSize = uint8_t(declaredSize + 1);
      break;
    case ftDate:
    case ftInteger:
    case ftTime:
    case ftReserved13:
      storedSize = 4;
      break;
    case ftBlob:
    case ftFloat:
    case ftDecimal:
    case ftTimeStamp:
      storedSize = 8;
      break;
    case ftBoolean:
    case ftSmallInt:
    case ftWord:
      storedSize = 2;
      break;
    case ftReserved14:
      storedSize = 10;
      break;
  }
}

void CopyScaleByte(uint8_t* fieldDesc) { fieldDesc[FieldDescScaleCopyOffset] = fieldDesc[FieldDescScaleOffset]; }
