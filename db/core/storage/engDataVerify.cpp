// Verification of the data file, run by the table's repair pass: the
// format, the locale, every field descriptor, and the record area's length
// (repaired after an interrupted append).

#include <cstring>
#include <vector>

#include "engDataDefaultText.h"
#include "engDataFile.h"
#include "engErrorCodes.h"
#include "engLanguages.h"
#include "engLittleEndian.h"
#include "engStrings.h"
#include "osLocale.h"
#include "rtlStrUtils.h"

namespace {

constexpr uint8_t MaxDeclaredSize = 250;
constexpr int LimitTextOffsets[] = {FieldDescMinOffset, FieldDescMaxOffset, FieldDescDefaultOffset};

bool HasDeclaredSize(uint8_t fieldType) { return fieldType == 1 || fieldType == 9 || fieldType == 15; }

bool NameIsSound(const uint8_t* desc) {
  const uint8_t length = desc[FieldDescNameOffset];
  return length >= 1 && length <= FieldNameLimit && IsIdentStartChar(char(desc[FieldDescNameOffset + 1]));
}

std::string TrimmedName(const uint8_t* desc) {
  return Trim(GetShortString(desc + FieldDescNameOffset, FieldNameLimit));
}

// Everything about one descriptor that does not depend on the record layout.
bool DescriptorIsSound(const uint8_t* descs, int position, const TFormatSettings& settings) {
  const uint8_t* desc = descs + size_t(position - 1) * FieldDescSize;
  const uint8_t type = desc[FieldDescTypeOffset];
  if (!NameIsSound(desc) || FieldDescNumber(desc) != position || type == 0) return false;
  const std::string name = TrimmedName(desc);
  for (int other = 1; other < position; ++other)
    if (SameText(name, TrimmedName(descs + size_t(other - 1) * FieldDescSize))) return false;
  const uint8_t declared = desc[FieldDescDeclaredSizeOffset];
  if (HasDeclaredSize(type) ? declared > MaxDeclaredSize : declared != 0) return false;
  for (int offset : LimitTextOffsets) {
    if (desc[offset] > FieldTextLimit) return false;
    if (!IsValidDefaultText(GetShortString(desc + offset, FieldTextLimit), type, settings)) return false;
  }
  return desc[FieldDescScaleOffset] == 0 || type == DecimalFieldType;
}

}  // namespace

void TDataFile::VerifyDataFile(bool repair) {
  if (header.Format() != DataFileFormat) RaiseData(EngErrWrongVersion);
  const uint16_t languageId = LanguageId();
  if (languageId != 0 && !IsValidLocale(MakeLCID(languageId, SortId()))) RaiseData(EngErrNoLanguageDriver);
  const TFormatSettings settings = FormatSettingsForLanguage(languageId);

  // The completed descriptors replace the file's only once all are sound,
  // so a failed check leaves no size that the record cannot hold.
  const size_t length = size_t(FieldCount()) * FieldDescSize;
  std::vector<uint8_t> completed(descriptors.Get(), descriptors.Get() + length);
  int32_t running = RecordFirstFieldOffset;
  for (int position = 1; position <= FieldCount(); ++position) {
    uint8_t* desc = completed.data() + size_t(position - 1) * FieldDescSize;
    SetStoredSize(desc);
    CopyScaleByte(desc);
    if (!DescriptorIsSound(completed.data(), position, settings)) RaiseData(EngErrHeaderCorrupt);
    const uint16_t offset = FieldRecordOffset(desc);
    if (IsAutoIncField(desc)) {
      if (offset != RecordAutoIncOffset) RaiseData(EngErrHeaderCorrupt);
    } else if (!IsNotStoredField(desc)) {
      if (offset != running) RaiseData(EngErrHeaderCorrupt);
      running += desc[FieldDescStoredSizeOffset] + 1;
    }
  }
  if (running != RecordSize()) RaiseData(EngErrHeaderCorrupt);

  VerifyRecordArea(repair);
  if (length > 0) std::memcpy(descriptors.Get(), completed.data(), length);
}

// A writer stopped between writing its records and writing the header
// leaves whole records past the header's count, and at most one partial
// record after them; a repair takes the first in and cuts the second.
// The same header write would have moved the row-number counter past the
// records taken in, so the repair moves it too: else the next append gives
// a row number twice.
void TDataFile::VerifyRecordArea(bool repair) {
  WriteHeld();
  const int64_t area = int64_t(FileSize()) - RecordAreaOffset();
  if (area < 0) RaiseData(EngErrHeaderCorrupt);
  const int64_t whole = area / RecordSize();
  const bool partial = area % RecordSize() != 0;
  if (whole + 1 == NextRecordNumber() && !partial) return;
  if (!repair || whole + 1 < NextRecordNumber() || whole >= MaxRecordNumber ||
      whole * RecordSize() > MaxRecordAreaBytes)
    RaiseData(EngErrHeaderCorrupt);
  int32_t lastRowNumber = GetAutoIncValue();
  for (uint32_t number = NextRecordNumber(); number <= uint32_t(whole); ++number) {
    int32_t rowNumber = 0;
    if (!IsAppendedRecord(number, rowNumber)) RaiseData(EngErrHeaderCorrupt);
    if (rowNumber > lastRowNumber) lastRowNumber = rowNumber;
  }
  if (partial) CutAt(RecordOffset(uint32_t(whole) + 1));
  if (whole + 1 == NextRecordNumber()) return;
  header.Put32(DatHdrNextRecord, uint32_t(whole) + 1);
  SetAutoIncValue(lastRowNumber);
  WriteHeader(true);
}

// An appended record is in use and links to itself; rowNumber receives the
// row number it carries.
bool TDataFile::IsAppendedRecord(uint32_t number, int32_t& rowNumber) {
  std::vector<uint8_t> image(RecordSize());
  ReadFileBytes(RecordOffset(number), image.data(), RecordSize(), false);
  if (IsEncrypted()) Decipher(image.data(), RecordSize());
  rowNumber = int32_t(GetLE32(image.data() + RecordAutoIncOffset));
  return image[RecordDeletedOffset] == 0 && GetLE32(image.data() + RecordLinkOffset) == number;
}
