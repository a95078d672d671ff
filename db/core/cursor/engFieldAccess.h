#pragma once
// A cursor's access to single field values in record buffers, by its own
// field numbering or by the table's, and the field and index definitions
// behind them. The cursor derives from this class: it attaches the table's
// files when it opens, may put a field map of its own in place of the
// table's fields, and answers the hooks for what lives elsewhere in it.
// The layers above read and write typed values and definitions; the
// descriptor bytes behind them are the engine's.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <type_traits>
#include <string>
#include <utility>
#include <vector>

#include "rtlAssert.h"
#include "engBuffer.h"
#include "engDataLayout.h"
#include "engFieldDefinition.h"
#include "engIndexDefinition.h"
#include "engLittleEndian.h"
#include "engShortCopy.h"

class TDataFile;
class TIndexFile;

inline constexpr uint8_t NaturalOrderIndex = 255;
inline constexpr int IndexFieldListSize = 16;

// The engine's FieldDefinition::ValueWidth of a descriptor.
int FieldValueWidth(const uint8_t* fieldDesc);

class TCursorFields {
public:
  TCursorFields() = default;
  TCursorFields(const TCursorFields&) = delete;
  TCursorFields& operator=(const TCursorFields&) = delete;
  virtual ~TCursorFields();

  // Field values by the cursor's numbering. A value shorter than the
  // field's width (a text without its end within it) is refused by
  // assertion instead of read past. ReadField answers false for a blank
  // field; with an empty value it only answers that. An unknown field
  // number raises engine error 9985.
  bool ReadField(int fieldNo, const uint8_t* buffer, std::span<uint8_t> value) const;
  void WriteField(int fieldNo, uint8_t* buffer, std::span<const uint8_t> value);
  template <typename T>
    requires std::is_arithmetic_v<T>
  void WriteField(int fieldNo, uint8_t* buffer, T value) {
    WriteField(fieldNo, buffer, std::span(reinterpret_cast<const uint8_t*>(&value), sizeof value));
  }
  // A text with its end.
  void WriteField(int fieldNo, uint8_t* buffer, const std::string& text) {
    WriteField(fieldNo, buffer, std::span(reinterpret_cast<const uint8_t*>(text.c_str()), text.size() + 1));
  }
  void WriteBlank(int fieldNo, uint8_t* buffer);
  // A plain field's value copied from a record of another table whose
  // field stores values alike (type, stored size and scale, code page) into
  // this cursor's field of a record as ClearRecord left it: what reading
  // the value and writing it with WriteField (WriteBlank when blank) store,
  // with both fields looked up once. Valid while both field lists stand.
  struct TStoredCopy {
    enum class TKind : uint8_t { Text, Flag, Bytes, RowNumber };
    uint16_t From = 0;  // the source field's null byte (RowNumber: none)
    uint16_t To = 0;    // the target field's null byte
    uint8_t Width = 0;  // the value's stored bytes
    TKind Kind = TKind::Bytes;
  };
  // False where only WriteField stores the value as it must: a target field
  // that changes a text's case, is not stored, a BLOB or the auto-increment
  // field, or a source field that is a BLOB.
  static bool PlanStoredCopy(const TFieldDefinition& from, const TFieldDefinition& to, TStoredCopy& copy);
  // False, with nothing written, where WriteField must store it after all:
  // a text that fills its field (WriteField cuts it as a conversion does),
  // or a cursor that computes fields.
  bool CopyStored(const TStoredCopy& copy, const uint8_t* source, uint8_t* buffer) const {
    if (hasComputedFields) return false;
    uint8_t* const nullByte = buffer + copy.To;
    ORV_ASSERT(*nullByte == 0 && std::all_of(nullByte + 1, nullByte + 1 + copy.Width,
                                             [](uint8_t byte) { return byte == 0; }));
    if (copy.Kind == TStoredCopy::TKind::RowNumber) {
      CopyFew(nullByte + 1, source + RecordAutoIncOffset, sizeof(int32_t));
      *nullByte = 1;
      return true;
    }
    const uint8_t* const from = source + copy.From;
    // A blank value leaves the cleared field as it is.
    if (*from == 0) return true;
    const uint8_t* const value = from + 1;
    switch (copy.Kind) {
      case TStoredCopy::TKind::Text: {
        size_t length = strnlen(reinterpret_cast<const char*>(value), copy.Width);
        if (length == copy.Width) return false;
        while (length > 0 && value[length - 1] == ' ') --length;
        CopyFew(nullByte + 1, value, length);
        *nullByte = length > 0 ? 1 : 0;
        return true;
      }
      case TStoredCopy::TKind::Flag: {
        const uint16_t word = GetLE16(value);
        PutLE16(nullByte + 1, word > 1 ? 1 : word);
        break;
      }
      default:
        CopyInWords(nullByte + 1, value, copy.Width);
        break;
    }
    *nullByte = 1;
    return true;
  }
  // The same read by one of the cursor's field definitions (FieldAt,
  // FieldDefinition), so that a caller reading every field of every record
  // it walks looks nothing up: inline for a field with a null byte and no
  // BLOB. value holds the field's ValueWidth bytes, or is empty.
  bool ReadValue(const TFieldDefinition& field, const uint8_t* buffer, std::span<uint8_t> value) const {
    ORV_ASSERT(value.empty() || value.size() >= size_t(field.ValueWidth()));
    bool blank = true;
    const uint8_t* stored = StoredValueBytes(field, buffer, blank);
    if (!stored) {
      ReadOtherValue(field, buffer, blank, value.empty() ? nullptr : value.data());
    } else if (!value.empty()) {
      CopyInWords(value.data(), stored, field.StoredSize);
    }
    return !blank;
  }
  // The value bytes ReadValue copies, where buffer holds them, and the
  // blank flag; nullptr (blank untouched) for a BLOB field and the
  // auto-increment field, whose values ReadValue makes.
  static const uint8_t* StoredValueBytes(const TFieldDefinition& field, const uint8_t* buffer, bool& blank) {
    if (field.IsBlob() || field.IsAutoInc()) return nullptr;
    const uint8_t* nullByte = buffer + field.RecordOffset;
    blank = *nullByte == 0;
    return nullByte + 1;
  }

  // The cursor's fields, in its own numbering by position (from 1);
  // nullptr outside. Inline: a caller reading a record's fields by
  // position looks them up once per field and record.
  const TFieldDefinition* FieldAt(int position) const {
    if (position < 1 || position > fieldCount) return nullptr;
    return &fieldDefinitions[size_t(position - 1)];
  }
  // All of them, in that order.
  const std::vector<TFieldDefinition>& FieldDefinitions() const { return fieldDefinitions; }
  // By the cursor's numbering: by position, or with a field map by the
  // number each field holds. 9985 when there is none. Valid until the
  // cursor's field list changes (it opens, closes or takes a field map).
  const TFieldDefinition& FieldDefinition(int fieldNo) const;
  // By the table's numbering, from the data file (by position, or with a
  // field map by stored number), or from the cursor's own list when it
  // keeps one. 9985 when there is none.
  TFieldDefinition TableFieldDefinition(int fieldNo) const;

  // From the table's headers; 0 (and an empty index) while detached.
  uint16_t GetRecordSize() const;
  uint16_t GetFieldCount() const;
  // The index as a definition; no key fields for natural order.
  TIndexDefinition GetIndexDefinition(int indexNo) const;
  // The index's IndexFieldListSize key field numbers, 0 after the last.
  void GetIndexFieldList(int indexNo, uint16_t* fieldNumbers) const;
  // Index 0 is natural record order: the table has no primary key.
  bool PrimaryIsNatural() const;
  // The secondary indexes, numbered 1 to this count after the primary 0.
  int GetSecondaryIndexCount() const;

  // Zeros over the cursor's record size.
  void ClearRecord(uint8_t* buffer) const;

  uint16_t LanguageId() const { return languageId; }
  uint16_t SortId() const { return sortId; }
  int FieldListCount() const { return fieldCount; }
  uint16_t CursorRecordSize() const { return cursorRecordSize; }

protected:
  // The BLOB sequence number of a BLOB field (value bytes 4 to 7), by table
  // numbering when asked, else the cursor's.
  uint32_t GetBlobRef(int fieldNo, const uint8_t* buffer, bool tableNumbering) const;
  void SetBlobRef(int fieldNo, uint8_t* buffer, bool tableNumbering, uint32_t sequence);

  // The table's number of the named field (any case), or the number it
  // holds in the cursor's own list when the cursor keeps one; 0 when none.
  int GetFieldNo(const std::string& name) const;
  uint16_t GetBlobFieldCount() const;
  bool HasFieldMap() const { return fieldMap; }
  bool HasOwnFieldList() const { return ownFieldList; }

  // The engine's own access, by the descriptors the data file stores.
  // Values travel exactly as the record stores them (little-endian
  // numbers, stored BCD, day numbers, zero-terminated text in the table's
  // character set); only strings, Booleans and BLOB references are treated
  // on the way in. Ranges and types are the caller's to check.
  // value holds FieldValueWidth bytes. Getting without a value only
  // reports blank. Putting nullptr makes the field blank.
  void GetField(int fieldNo, const uint8_t* buffer, bool& blank, void* value) const;
  void GetTableField(int fieldNo, const uint8_t* buffer, bool& blank, void* value) const;
  void PutField(int fieldNo, uint8_t* buffer, bool force, const void* value);
  void PutTableField(int fieldNo, uint8_t* buffer, const void* value);
  // Inline for a field with a null byte and no BLOB: a walk reading every
  // field of every record pays no call for it.
  // Inline (engFieldBytes.h) for a field with a null byte and no BLOB: a
  // walk reading every field of every record pays no call for it.
  inline void GetFieldValue(const uint8_t* fieldDesc, const uint8_t* buffer, bool& blank, void* value) const;
  inline static const uint8_t* StoredFieldBytes(const uint8_t* fieldDesc, const uint8_t* buffer, bool& blank);
  // A field marked not stored is written only with force; any other write
  // recomputes the cursor's computed fields, when it has any.
  void PutFieldValue(const uint8_t* fieldDesc, uint8_t* buffer, bool force, const void* value);
  // A BLOB field's reference (value bytes 0 to 3; the sequence number
  // after it stays) and its null byte, as PutFieldValue puts them, for a
  // caller that knows whether the reference holds a value: a cursor's
  // BLOB calls put one at every open and free.
  void PutBlobReference(const uint8_t* fieldDesc, uint8_t* buffer, int32_t reference, bool hasValue);

  // Descriptors by the cursor's numbering and the table's, as
  // FieldDefinition and TableFieldDefinition find them.
  void GetFieldDesc(int fieldNo, uint8_t* fieldDesc) const;
  void GetTableFieldDesc(int fieldNo, uint8_t* fieldDesc) const;
  bool CopyFieldDescByPos(int position, uint8_t* fieldDesc) const;
  bool FindFieldDescByNo(int fieldNo, uint8_t* fieldDesc) const;
  // 120 bytes; zeros for natural order.
  void GetIndexDesc(int indexNo, uint8_t* indexDesc) const;
  inline uint8_t* FieldDescAt(int position);
  inline const uint8_t* FieldDescAt(int position) const;

  // Takes the table's locale, record size and a copy of every descriptor.
  // decoded, when given, holds what the descriptors decode to (a table
  // just made from a checked definition): its stored part is taken instead
  // of decoding them again.
  void AttachFields(TDataFile& dataFile, TIndexFile& indexFile,
                    const std::vector<TFieldDefinition>* decoded = nullptr);
  // Frees the copies and clears locale and sizes.
  void DetachFields();
  // Puts fields in place of the cursor's list (their stored part checked
  // and complete); fieldMap makes the cursor's numbering the numbers the
  // fields hold. More than 1024 raises 9492.
  void SetFieldList(std::vector<TFieldDefinition> fields, bool isFieldMap);
  void SetCursorRecordSize(uint16_t size) { cursorRecordSize = size; }
  void SetOwnFieldList(bool value) { ownFieldList = value; }

  // For error messages.
  virtual std::string FieldsTableName() const = 0;
  // The size of the open BLOB whose reference (the negative value a BLOB
  // field holds while its BLOB is open through this cursor) is given;
  // false when no open BLOB of the cursor has it.
  virtual bool FindOpenBlobSize(int32_t reference, int32_t& size) const = 0;
  // Called after a stored field of buffer was written, while the cursor
  // has computed fields.
  virtual void ComputeFields(uint8_t* buffer) = 0;

private:
  // The BLOB handles of a cursor keep their fields' references.
  friend class TCursorBlobs;

  TDataFile* dataFile = nullptr;
  TIndexFile* indexFile = nullptr;
  uint16_t languageId = 0;
  uint16_t sortId = 0;
  int fieldCount = 0;
  TEngineBuffer fieldDescs;  // fieldCount copies
  // The same fields typed, in the same order, for the layers above.
  std::vector<TFieldDefinition> fieldDefinitions;
  uint16_t cursorRecordSize = 0;
  bool fieldMap = false;
  bool ownFieldList = false;

protected:
  // Whether the cursor has fields it computes. Kept here so that the writes
  // of a cursor without any (a BLOB's open and free put its reference on
  // every record of a walk) pay no call to ComputeFields; beside the flags
  // above, in their padding.
  bool hasComputedFields = false;

private:
  const uint8_t* FindFieldByNo(int fieldNo) const;
  // GetFieldValue for a BLOB field and the auto-increment field.
  void GetOtherFieldValue(const uint8_t* fieldDesc, const uint8_t* buffer, bool& blank, void* value) const;
  // ReadValue for the same.
  void ReadOtherValue(const TFieldDefinition& field, const uint8_t* buffer, bool& blank, uint8_t* value) const;
  // The cursor's descriptor of a field number, nullptr when none.
  const uint8_t* CursorFieldDesc(int fieldNo) const;
  [[noreturn]] void RaiseFieldNumber(int fieldNo) const;
  void FreeFieldDescs();
  // The descriptor of fieldNo by either numbering, into fieldDesc.
  void FieldDescByNumbering(int fieldNo, bool tableNumbering, uint8_t* fieldDesc) const;
  // The same where the cursor or the data file keeps it, so that a value
  // read or written by number copies no descriptor; copied into room only
  // for the table's numbering under a field map.
  const uint8_t* FieldDescFor(int fieldNo, bool tableNumbering, uint8_t* room) const;
  // The same for a BLOB field; any other raises 10753.
  void BlobFieldDesc(int fieldNo, bool tableNumbering, uint8_t* fieldDesc) const;
};
