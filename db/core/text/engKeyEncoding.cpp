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

// Copies length bytes of text upper-cased as language 0 maps ASCII; false
// at the first byte outside ASCII (out then holds a part). Keys of every
// record change and of a first open's check of every record take this way:
// one pass, eight bytes at a time, instead of a copy, a length and two
// passes of the general case mapping.
bool CopyUpperAscii(const uint8_t* text, size_t length, char* out) {
  constexpr uint64_t Ones = 0x0101010101010101u;
  constexpr uint64_t HighBits = 0x8080808080808080u;
  size_t i = 0;
  for (; i + 8 <= length; i += 8) {
    uint64_t word;
    std::memcpy(&word, text + i, 8);
    if ((word & HighBits) != 0) return false;
    // With every high bit clear, each byte's high bit after the sums tells,
    // without a carry into the next byte, whether it lies at or above 'a'
    // and above 'z'.
    const uint64_t atLeastA = word + (0x80 - 'a') * Ones;
    const uint64_t aboveZ = word + (0x80 - 'z' - 1) * Ones;
    word ^= (atLeastA & ~aboveZ & HighBits) >> 2;
    std::memcpy(out + i, &word, 8);
  }
  for (; i < length; ++i) {
    const uint8_t c = text[i];
    if (c >= 0x80) return false;
    out[i] = char(c >= 'a' && c <= 'z' ? c ^ 0x20 : c);
  }
  return true;
}

void BuildStringSegment(const uint8_t* value, uint8_t* out, int storedSize, bool caseInsensitive,
                        uint16_t languageId, uint16_t sortId) {
  if (storedSize < 1 || !value) {
    std::memset(out, 0, size_t(storedSize));
    return;
  }
  char* text = reinterpret_cast<char*>(out);
  const size_t length = strnlen(reinterpret_cast<const char*>(value), size_t(storedSize - 1));
  const bool mapped = caseInsensitive && languageId == 0 && CopyUpperAscii(value, length, text);
  if (!mapped) std::memcpy(text, value, length);
  std::memset(text + length, 0, size_t(storedSize) - length);
  if (caseInsensitive && !mapped) UpperText(languageId, sortId, text, text);
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
