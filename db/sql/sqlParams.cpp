#include "sqlParams.h"

#include <cstring>

#include "engExpToken.h"
#include "sqlErrors.h"

namespace {

constexpr const char* ParamErrorText = "Internal parameter error";

// The bytes a fixed-width value takes; 0 for texts and BLOBs.
int32_t FixedWidth(uint8_t type) {
  switch (type) {
    case dtBoolean:
    case dtSmallInt:
    case dtWord:
      return 2;
    case dtDate:
    case dtInteger:
    case dtTime:
      return 4;
    case dtFloat:
    case dtBcd:
    case dtTimeStamp:
      return 8;
    default:
      return 0;
  }
}

}  // namespace

void AssignParamValue(TExpToken& token, const TSqlParamValue& value) {
  if (value.DataType == dtNone || value.DataType > dtWord) RaiseSqlError(ParamErrorText);
  token.DataType = value.DataType;
  token.SubType = value.SubType;
  token.Scale = value.DataType == dtBcd ? value.Scale : 0;
  if (value.IsNull) {
    token.SetNull();
    token.IsNull = true;
    return;
  }
  token.IsNull = false;
  const int32_t width = FixedWidth(value.DataType);
  if (width != 0) {
    if (int32_t(value.Bytes.size()) != width) RaiseSqlError(ParamErrorText);
    token.SetDataSize(width);
    std::memset(token.Value, 0, size_t(token.ValueCapacity));
    std::memcpy(token.Value, value.Bytes.data(), size_t(width));
    return;
  }
  if (value.DataType == dtString) {
    if (value.Bytes.find('\0') != std::string::npos) RaiseSqlError(ParamErrorText);
    token.SetText(value.Bytes);
    return;
  }
  // BLOB and byte values: the bytes as they are, with a zero after them so
  // that a memo reads as text.
  token.SetDataSize(int32_t(value.Bytes.size()) + 1);
  std::memcpy(token.Value, value.Bytes.data(), value.Bytes.size());
  token.Value[value.Bytes.size()] = 0;
  token.DataSize = int32_t(value.Bytes.size());
}
