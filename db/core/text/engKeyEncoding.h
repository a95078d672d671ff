#pragma once
// Order-preserving key form of field values: an unsigned byte comparison
// of two encoded values orders them as the values themselves. Index keys
// and record sorting build their keys from these.

#include <cstdint>

// Bytes of the 768-byte field descriptor that key building and descriptor
// completion use.
inline constexpr int FieldDescTypeOffset = 84;
inline constexpr int FieldDescDeclaredSizeOffset = 86;
inline constexpr int FieldDescScaleOffset = 87;
inline constexpr int FieldDescStoredSizeOffset = 88;
inline constexpr int FieldDescScaleCopyOffset = 89;

// Each writes the value most significant byte first; the signed forms flip
// the sign bit. out receives 2, 4 or 8 bytes.
void EncodeInt16Key(int16_t value, uint8_t* out);
void EncodeInt32Key(int32_t value, uint8_t* out);
void EncodeInt64Key(int64_t value, uint8_t* out);
void EncodeWordKey(uint16_t value, uint8_t* out);
void EncodeFloatKey(double value, uint8_t* out);
void InvertBytes(uint8_t* buffer, int n);

// Writes the key form of one field value (its stored little-endian bytes,
// or nullptr for a blank value, which encodes as zero) from out + 1; the
// caller writes the null byte at out. Strings are copied with their
// terminator, upper-cased when caseInsensitive, and zero-filled to their
// stored size. Under language 0 a descending segment is stored inverted,
// its null byte included.
void BuildKeySegment(const uint8_t* fieldDesc, const void* value, uint8_t* out, bool caseInsensitive,
                     bool descending, uint16_t languageId, uint16_t sortId);

// Completes a descriptor: the stored size from type and declared size, and
// the run-time copy of the scale.
void SetStoredSize(uint8_t* fieldDesc);
void CopyScaleByte(uint8_t* fieldDesc);
