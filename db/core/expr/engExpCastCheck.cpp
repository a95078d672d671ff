// The arguments of a data type (CAST, SQL column definitions): lengths,
// scales and BLOB kinds, and the value size and scale they give.

#include "engExpTypeChecker.h"

namespace {

constexpr int64_t MaxTextLength = 250;
constexpr int64_t MaxBcdScale = 4;
constexpr int64_t DefaultLength = 10;
constexpr int64_t FirstBlobSubType = stMemo;
constexpr int64_t LastBlobSubType = 28;
constexpr int64_t BlobSubTypeBase = 21;

}  // namespace

void TExpTypeChecker::CheckCastArguments(TExpToken* typeNode) {
  TExpToken* operand = typeNode->First;
  TExpToken* first = typeNode->Second;
  TExpToken* second = first ? first->Next : nullptr;
  int64_t value = 0;
  typeNode->Scale = 0;
  switch (typeNode->DataType) {
    case dtString:
    case dtBytes: {
      if (!first) {
        typeNode->SetDataSize(operand ? operand->DataSize : static_cast<int32_t>(DefaultLength));
        return;
      }
      if (!IntegerConstant(first, value)) RaiseIn("Length argument must be an integer in ");
      if (value < 1 || value > MaxTextLength)
        Raise(std::string("Length argument must be an integer greater than 0 and less than or equal to ") + "250" +
              " in " + context.ContextName);
      typeNode->SetDataSize(static_cast<int32_t>(typeNode->DataType == dtString ? value + 1 : value));
      return;
    }
    case dtDate:
    case dtInteger:
    case dtTime:
      typeNode->SetDataSize(4);
      return;
    case dtBoolean:
    case dtSmallInt:
    case dtWord:
      typeNode->SetDataSize(2);
      return;
    case dtTimeStamp:
      typeNode->SetDataSize(8);
      return;
    case dtFloat:
    case dtBcd:
      typeNode->SetDataSize(8);
      if (!second) return;
      if (!IntegerConstant(second, value) || value < 0 || value > 255) RaiseIn("Scale argument must be an integer in ");
      if (typeNode->DataType == dtBcd && value > MaxBcdScale)
        RaiseIn("Scale argument must be an integer less than or equal to 4 for the BCD data type ");
      typeNode->Scale = static_cast<uint8_t>(value);
      return;
    case dtBlob:
      if (operand) typeNode->SetDataSize(operand->DataSize);
      if (!IntegerConstant(first, value)) RaiseIn("First BLOB type argument must be an integer with the value of 1 in ");
      if (!IntegerConstant(second, value)) RaiseIn("BLOB type argument must be an integer in ");
      if (value + BlobSubTypeBase < FirstBlobSubType || value + BlobSubTypeBase > LastBlobSubType)
        RaiseIn("BLOB type argument must be an integer greater than 0 and less than or equal to 5 in ");
      typeNode->SubType = static_cast<uint8_t>(value + BlobSubTypeBase);
      return;
    default:
      return;
  }
}
