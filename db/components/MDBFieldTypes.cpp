#include "MDBFieldTypes.h"


namespace {

// Engine type codes beyond the ones the record layout names.
namespace EngineCode {
enum : uint8_t {
  String = 1,
  Date = 2,
  Blob = 3,
  Boolean = 4,
  SmallInt = 5,
  Integer = 6,
  Float = 7,
  Decimal = 8,
  Bytes = 9,
  Time = 10,
  TimeStamp = 11,
  Word = 12,
  LongInteger = 13,
  VarBytes = 15,
  Cursor = 17,
  LargeInt = 18,
  LargeIntAlt = 19,
};
}

namespace Subtype {
enum : uint8_t {
  Money = 21,
  Memo = 22,
  Binary = 23,
  FormattedMemo = 24,
  Ole = 25,
  Graphic = 26,
  DBaseOle = 27,
  TypedBinary = 28,
  AutoInc = 29,
  FixedChar = 31,
  WideString = 32,
};
}

}  // namespace

TMDBEngineType EngineTypeOf(TFieldType type) {
  switch (type) {
    case ftString: return {EngineCode::String, 0};
    case ftFixedChar: return {EngineCode::String, Subtype::FixedChar};
    case ftWideString: return {EngineCode::String, Subtype::WideString};
    case ftSmallint: return {EngineCode::SmallInt, 0};
    case ftInteger: return {EngineCode::Integer, 0};
    case ftWord: return {EngineCode::Word, 0};
    case ftBoolean: return {EngineCode::Boolean, 0};
    case ftFloat: return {EngineCode::Float, 0};
    case ftCurrency: return {EngineCode::Float, Subtype::Money};
    case ftBCD: return {EngineCode::Decimal, 0};
    case ftDate: return {EngineCode::Date, 0};
    case ftTime: return {EngineCode::Time, 0};
    case ftDateTime: return {EngineCode::TimeStamp, 0};
    case ftBytes: return {EngineCode::Bytes, 0};
    case ftVarBytes: return {EngineCode::VarBytes, 0};
    case ftAutoInc: return {EngineCode::Integer, Subtype::AutoInc};
    case ftBlob:
    case ftParadoxOle:
    case ftDBaseOle: return {EngineCode::Blob, 0};
    case ftMemo: return {EngineCode::Blob, Subtype::Memo};
    case ftGraphic: return {EngineCode::Blob, Subtype::Graphic};
    case ftFmtMemo: return {EngineCode::Blob, Subtype::FormattedMemo};
    case ftTypedBinary: return {EngineCode::Blob, Subtype::TypedBinary};
    case ftCursor: return {EngineCode::Cursor, 0};
    case ftLargeint: return {EngineCode::LargeInt, 0};
    default: return {0, 0};
  }
}

bool FieldTypeOf(const TFieldDefinition& field, TFieldType& type, int& size) {
  const uint8_t subtype = field.Subtype;
  const uint8_t declared = field.DeclaredSize;
  size = 0;
  switch (field.Type) {
    case EngineCode::String:
      type = ftString;
      size = declared;
      return true;
    case EngineCode::Date: type = ftDate; return true;
    case EngineCode::Blob:
      switch (subtype) {
        case Subtype::Memo: type = ftMemo; break;
        case Subtype::FormattedMemo: type = ftFmtMemo; break;
        case Subtype::Graphic: type = ftGraphic; break;
        case Subtype::TypedBinary: type = ftTypedBinary; break;
        default: type = ftBlob; break;
      }
      return true;
    case EngineCode::Boolean: type = ftBoolean; return true;
    case EngineCode::SmallInt: type = ftSmallint; return true;
    case EngineCode::Integer: type = subtype == Subtype::AutoInc ? ftAutoInc : ftInteger; return true;
    case EngineCode::Float: type = subtype == Subtype::Money ? ftCurrency : ftFloat; return true;
    case EngineCode::Decimal:
      type = ftBCD;
      size = field.Scale;
      return true;
    case EngineCode::Bytes:
      type = ftBytes;
      size = declared;
      return true;
    case EngineCode::Time: type = ftTime; return true;
    case EngineCode::TimeStamp: type = ftDateTime; return true;
    case EngineCode::Word: type = ftWord; return true;
    case EngineCode::LongInteger: type = ftInteger; return true;
    case EngineCode::VarBytes:
      type = ftVarBytes;
      size = declared;
      return true;
    case EngineCode::LargeInt:
    case EngineCode::LargeIntAlt: type = ftLargeint; return true;
    default: return false;
  }
}
