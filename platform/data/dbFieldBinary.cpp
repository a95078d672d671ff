// Fields of bytes: fixed and variable byte fields in the record, BLOB
// fields through the dataset's BLOB streams.

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "dbConsts.h"
#include "dbDataSet.h"
#include "dbFieldClasses.h"

// ---- TBinaryField ----

TBinaryField::TBinaryField(TComponent* owner) : TField(owner) {}

std::string TBinaryField::GetAsString() const {
  std::vector<uint8_t> buffer(static_cast<size_t>(DataSize()));
  if (!GetData(buffer.data())) return {};
  if (DataType() == ftVarBytes) {
    uint16_t length = 0;
    std::memcpy(&length, buffer.data(), sizeof length);
    length = static_cast<uint16_t>(std::min<int>(length, Size()));
    return std::string(reinterpret_cast<const char*>(buffer.data()) + sizeof length, length);
  }
  return std::string(reinterpret_cast<const char*>(buffer.data()), buffer.size());
}

void TBinaryField::SetAsStringValue(const std::string& value) {
  std::vector<uint8_t> buffer(static_cast<size_t>(DataSize()), 0);
  const size_t length = std::min(value.size(), static_cast<size_t>(Size()));
  if (DataType() == ftVarBytes) {
    const uint16_t prefix = static_cast<uint16_t>(length);
    std::memcpy(buffer.data(), &prefix, sizeof prefix);
    std::memcpy(buffer.data() + sizeof prefix, value.data(), length);
  } else {
    std::memcpy(buffer.data(), value.data(), length);
  }
  SetData(buffer.data());
}

Variant TBinaryField::GetAsVariant() const {
  const std::string bytes = GetAsString();
  return Variant::FromBytes(std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

void TBinaryField::SetVariantValue(const Variant& value) {
  const std::vector<uint8_t> bytes = value.AsBytes();
  SetAsStringValue(std::string(bytes.begin(), bytes.end()));
}

std::string TBinaryField::GetText(bool /*displayText*/) const {
  return DataType() == ftVarBytes ? "(VarBytes)" : "(Bytes)";
}

TBytesField::TBytesField(TComponent* owner) : TBinaryField(owner) {
  SetDataType(ftBytes);
  SetSizeValue(16);
}

TVarBytesField::TVarBytesField(TComponent* owner) : TBinaryField(owner) {
  SetDataType(ftVarBytes);
  SetSizeValue(16);
}

// ---- TBlobField ----

TBlobField::TBlobField(TComponent* owner) : TField(owner) { SetDataType(ftBlob); }

void TBlobField::SetBlobType(TFieldType value) {
  switch (value) {
    case ftBlob:
    case ftMemo:
    case ftGraphic:
    case ftFmtMemo:
    case ftParadoxOle:
    case ftDBaseOle:
    case ftTypedBinary: SetDataType(value); break;
    default: throw EDatabaseError(SFieldUnsupportedType, {DisplayName()});
  }
}

int64_t TBlobField::BlobSize() const {
  std::unique_ptr<TStream> stream = CheckedDataSet().CreateBlobStream(const_cast<TBlobField*>(this), bmRead);
  return stream ? stream->Size() : 0;
}

void TBlobField::SaveToStream(TStream& stream) const {
  std::unique_ptr<TStream> blob = CheckedDataSet().CreateBlobStream(const_cast<TBlobField*>(this), bmRead);
  if (blob) stream.CopyFrom(*blob, 0);
}

void TBlobField::LoadFromStream(TStream& stream) {
  std::unique_ptr<TStream> blob = CheckedDataSet().CreateBlobStream(this, bmWrite);
  if (!blob) throw EDatabaseError(SFieldUnsupportedType, {DisplayName()});
  blob->CopyFrom(stream, 0);
}

std::string TBlobField::GetAsString() const {
  TStringStream text;
  SaveToStream(text);
  return text.DataString();
}

void TBlobField::SetAsStringValue(const std::string& value) {
  TStringStream text(value);
  LoadFromStream(text);
}

Variant TBlobField::GetAsVariant() const {
  const std::string bytes = GetAsString();
  return Variant::FromBytes(std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

void TBlobField::SetVariantValue(const Variant& value) {
  const std::vector<uint8_t> bytes = value.AsBytes();
  SetAsStringValue(std::string(bytes.begin(), bytes.end()));
}

std::string TBlobField::GetText(bool /*displayText*/) const {
  std::string caption = TypeCaption();
  if (!IsNull())
    for (char& c : caption) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return "(" + caption + ")";
}

TMemoField::TMemoField(TComponent* owner) : TBlobField(owner) { SetBlobType(ftMemo); }

Variant TMemoField::GetAsVariant() const { return Variant(GetAsString()); }

TGraphicField::TGraphicField(TComponent* owner) : TBlobField(owner) { SetBlobType(ftGraphic); }
