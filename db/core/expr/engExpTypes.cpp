#include "engExpTypes.h"

#include <initializer_list>

#include "engExpCodes.h"

namespace {

bool IsComparison(uint8_t op) { return op >= opEqual && op <= opLessEqual; }

bool IsDateOrTimeStamp(uint8_t type) { return type == dtDate || type == dtTimeStamp; }

bool EqualityAccepts(uint8_t left, uint8_t leftSub, uint8_t right, uint8_t rightSub) {
  if (right == dtNone) return left != dtBytes && left != dtNone;
  if (IsTextType(left, leftSub)) return IsTextType(right, rightSub);
  if (IsDateOrTimeStamp(left)) return IsDateOrTimeStamp(right);
  if (left == dtBoolean) return right == dtBoolean;
  if (IsNumberType(left)) return IsNumberType(right);
  if (left == dtTime) return right == dtTime;
  return false;  // other BLOBs only against NULL
}

bool OrderingAccepts(uint8_t left, uint8_t leftSub, uint8_t right, uint8_t rightSub) {
  if (IsTextType(left, leftSub)) return IsTextType(right, rightSub);
  if (IsDateOrTimeStamp(left)) return IsDateOrTimeStamp(right);
  if (IsNumberType(left)) return IsNumberType(right);
  if (left == dtTime) return right == dtTime;
  return false;
}

bool AdditionAccepts(uint8_t left, uint8_t leftSub, uint8_t right, uint8_t rightSub) {
  if (IsTextType(left, leftSub)) return IsTextType(right, rightSub);
  if (IsDateTimeType(left)) return IsWholeNumberType(right);
  if (IsWholeNumberType(left)) return IsNumberType(right) || IsDateTimeType(right);
  if (left == dtFloat || left == dtBcd) return IsNumberType(right);
  return false;
}

bool SubtractionAccepts(uint8_t left, uint8_t right) {
  switch (left) {
    case dtDate:
      return right == dtDate || IsWholeNumberType(right);
    case dtTime:
      return right == dtTime || IsWholeNumberType(right);
    case dtTimeStamp:
      return IsDateTimeType(right) || IsWholeNumberType(right);
    default:
      return IsNumberType(left) && IsNumberType(right);
  }
}

uint8_t NumberResultType(uint8_t op, uint8_t left, uint8_t right) {
  if (op == opDivide) {
    bool bcd = (left == dtBcd && (right == dtBcd || IsWholeNumberType(right))) ||
               (right == dtBcd && IsWholeNumberType(left));
    return bcd ? dtBcd : dtFloat;
  }
  if (left == dtFloat || right == dtFloat) return dtFloat;
  if (left == dtBcd || right == dtBcd) return dtBcd;
  if (op == opSubtract && left == dtWord) return dtWord;
  return dtInteger;
}

}  // namespace

bool IsWholeNumberType(uint8_t type) { return type == dtSmallInt || type == dtInteger || type == dtWord; }

bool IsNumberType(uint8_t type) { return IsWholeNumberType(type) || type == dtFloat || type == dtBcd; }

bool IsDateTimeType(uint8_t type) { return type == dtDate || type == dtTime || type == dtTimeStamp; }

bool IsTextType(uint8_t type, uint8_t subType) { return type == dtString || (type == dtBlob && subType == stMemo); }

bool IsOperatorTypeCompatible(uint8_t op, uint8_t leftType, uint8_t leftSubType, uint8_t rightType,
                              uint8_t rightSubType) {
  switch (op) {
    case opEqual:
    case opNotEqual:
      return EqualityAccepts(leftType, leftSubType, rightType, rightSubType);
    case opGreater:
    case opLess:
    case opGreaterEqual:
    case opLessEqual:
      return OrderingAccepts(leftType, leftSubType, rightType, rightSubType);
    case opAnd:
    case opOr:
      return leftType == dtBoolean && rightType == dtBoolean;
    case opAdd:
      return AdditionAccepts(leftType, leftSubType, rightType, rightSubType);
    case opSubtract:
      return SubtractionAccepts(leftType, rightType);
    case opMultiply:
    case opDivide:
      return IsNumberType(leftType) && IsNumberType(rightType);
    default:
      return false;
  }
}

uint8_t BinaryResultType(uint8_t op, uint8_t leftType, uint8_t rightType) {
  if (IsComparison(op) || op == opAnd || op == opOr) return dtBoolean;
  if (IsNumberType(leftType) && IsNumberType(rightType)) return NumberResultType(op, leftType, rightType);
  if (leftType == dtString && rightType == dtString) return dtString;
  if ((leftType == dtString || leftType == dtBlob) && (rightType == dtString || rightType == dtBlob)) return dtBlob;
  if (IsDateTimeType(leftType) && IsWholeNumberType(rightType)) return leftType;
  if (IsWholeNumberType(leftType) && IsDateTimeType(rightType)) return rightType;
  if (op == opSubtract && leftType == dtTimeStamp && rightType == dtTimeStamp) return dtFloat;
  if (op == opSubtract && IsDateTimeType(leftType) && IsDateTimeType(rightType)) return dtInteger;
  return dtNone;
}

uint8_t BinaryResultSubtype(uint8_t op, uint8_t leftType, uint8_t leftSubType, uint8_t rightType,
                            uint8_t rightSubType) {
  if (op == opAdd && IsTextType(leftType, leftSubType) && IsTextType(rightType, rightSubType))
    return leftSubType == stMemo || rightSubType == stMemo ? stMemo : stNone;
  bool moneyByNumber = leftSubType == stMoney && IsNumberType(rightType);
  if (op == opAdd || op == opMultiply)
    return (leftSubType == stNone && rightSubType == stMoney) || moneyByNumber ? stMoney : stNone;
  if (op == opSubtract || op == opDivide) return moneyByNumber ? stMoney : stNone;
  return stNone;
}

bool IsUnaryTypeCompatible(uint8_t op, uint8_t type) {
  switch (op) {
    case opNot:
    case opIsNull:
    case opIsNotNull:
      return type == dtBoolean;
    case opUnaryPlus:
      if (type == dtWord) return true;
      [[fallthrough]];
    case opNegate:
      return type == dtDate || type == dtSmallInt || type == dtInteger || type == dtFloat || type == dtBcd ||
             type == dtTime || type == dtTimeStamp;
    default:
      return false;
  }
}

uint8_t UnaryResultType(uint8_t op, uint8_t type) {
  if (op == opNegate || op == opUnaryPlus) return type;
  return dtBoolean;
}

uint8_t UnaryResultSubtype(uint8_t op, uint8_t type, uint8_t subType) {
  if (op == opNegate || op == opUnaryPlus) return subType;
  return stNone;
}

bool IsCastCompatible(uint8_t targetType, uint8_t sourceType) {
  auto isOneOf = [sourceType](std::initializer_list<uint8_t> types) {
    for (uint8_t type : types)
      if (type == sourceType) return true;
    return false;
  };
  switch (targetType) {
    case dtString:
    case dtBytes:
      return sourceType != dtBlob;
    case dtDate:
      return isOneOf({dtString, dtDate, dtBytes, dtTimeStamp});
    case dtBlob:
      return sourceType == dtBlob;
    case dtBoolean:
      return isOneOf({dtString, dtBoolean, dtSmallInt, dtInteger, dtBcd, dtBytes, dtWord});
    case dtSmallInt:
    case dtWord:
      return isOneOf({dtString, dtBoolean, dtSmallInt, dtInteger, dtFloat, dtBcd, dtBytes, dtWord});
    case dtInteger:
    case dtFloat:
    case dtBcd:
      return isOneOf({dtString, dtSmallInt, dtInteger, dtFloat, dtBcd, dtBytes, dtWord});
    case dtTime:
      return isOneOf({dtString, dtBytes, dtTime, dtTimeStamp});
    case dtTimeStamp:
      return isOneOf({dtString, dtDate, dtBytes, dtTime, dtTimeStamp});
    default:
      return false;
  }
}
