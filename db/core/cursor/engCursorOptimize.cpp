// Which conditions the table's indexes can answer: the optimisation level
// of every node of a filter's condition, and the index a condition leaf
// is answered by.
//
// A leaf is served only where walking keys gives exactly what evaluating
// the leaf record by record gives: its constants must be in the tested
// column's own type and scale (a constant the table copy could not convert
// without loss stays as written and is evaluated per record), a text must
// fit the field, and UPPER of a column is served only against texts that
// are upper case already.

#include <cstring>
#include <string>

#include "engCursor.h"
#include "engDataLayout.h"
#include "engExpCodes.h"
#include "engExpParser.h"
#include "engExpTypes.h"
#include "engIndexFile.h"
#include "engKeyEncoding.h"
#include "engTextCompare.h"

namespace {

bool IsComparison(uint8_t op) { return op >= opEqual && op <= opLessEqual; }

// The column a leaf tests: the column itself or the one under UPPER.
const TExpToken* TestedColumn(const TExpToken* tested) {
  if (!tested) return nullptr;
  if (tested->Kind == nkColumn && tested->FieldNo > 0) return tested;
  if (IsUpperOfColumn(tested) && tested->First->FieldNo > 0) return tested->First;
  return nullptr;
}

bool IsServedPredicate(uint8_t op) {
  return op == opIn || op == opNotIn || op == opBetween || op == opNotBetween;
}

}  // namespace

// The case flag a leaf asks of its index: UPPER asks for a case-insensitive
// one, a string comparison with options for its own flag, anything else for
// a case-keeping one; null tests and fields that are not strings take any.
int TDataCursor::FindConditionIndex(const TExpToken& node, uint16_t secondField) const {
  const TExpToken* column = TestedColumn(node.First);
  if (!column) return -1;
  const bool nullTest = node.Kind == nkUnary;
  if (nullTest && column != node.First) return -1;
  const bool anyCase = nullTest || !IsTextType(column->DataType, column->SubType);
  const bool wantsNoCase = column != node.First || (node.Kind == nkStringCompare && node.CaseInsensitive);
  const int last = IndexFile().GetSecondaryCount();
  for (int n = 0; n <= last; ++n) {
    if (!KeepsKeysIn(n)) continue;
    uint16_t fields[IndexFieldListSize];
    GetIndexFieldList(n, fields);
    if (fields[0] != column->FieldNo || (secondField != 0 && fields[1] != secondField)) continue;
    if (!anyCase) {
      uint8_t desc[IndexDescSize];
      GetIndexDesc(n, desc);
      if ((desc[IdxDescCaseInsensitive] != 0) != wantsNoCase) continue;
    }
    return n;
  }
  return -1;
}

namespace {

// Whether a constant can be turned into a key of the tested column's index
// and compared there as evaluation compares it.
class TConstantCheck {
public:
  // allowNull: the leaf holds for nulls only against a NULL ("=", "<>",
  // IN); an ordering sees a NULL as zero and is left to evaluation.
  TConstantCheck(const TDataCursor& cursor, const TExpToken& tested, const TExpToken& column, uint16_t compareLength,
                 bool allowNull)
      : cursor(cursor), tested(tested), column(column), compareLength(compareLength), allowNull(allowNull) {}

  bool Serves(const TExpToken* constant) const {
    if (!constant || constant->Kind != nkConstant || constant->IsParam) return false;
    if (constant->IsNull || constant->DataType == dtNone) return allowNull;
    if (constant->DataType != column.DataType) return false;
    if (constant->DataType == dtBcd && constant->Scale != column.Scale) return false;
    if (!IsTextType(column.DataType, column.SubType)) return column.DataType != dtBlob;
    const std::string text = constant->AsText();
    // column.DataSize counts the terminator.
    const size_t room = size_t(column.DataSize > 0 ? column.DataSize - 1 : 0);
    if (text.size() > room || compareLength > room) return false;
    if (&tested == &column) return true;
    std::string upper = text;
    UpperText(cursor.LanguageId(), cursor.SortId(), text.c_str(), upper.data());
    return upper == text;
  }

private:
  const TDataCursor& cursor;
  const TExpToken& tested;
  const TExpToken& column;
  uint16_t compareLength;
  bool allowNull;
};

}  // namespace

uint8_t TDataCursor::CanOptimizeCondition(uint8_t parentOperator, TExpToken* node, bool estimate) {
  if (!node) return olNone;
  if (noFilterUpdate && !sqlSourceTable) {
    node->OptimizeLevel = olNone;
    return olNone;
  }
  uint8_t level = olNone;
  bool leaf = false;
  switch (node->Kind) {
    case nkUnary:
      if (node->Code == opIsNull || node->Code == opIsNotNull) {
        leaf = true;
        if (FindConditionIndex(*node) >= 0) level = olFull;
      } else if (node->Code == opNot || node->Code == opNegate || node->Code == opUnaryPlus) {
        level = CanOptimizeCondition(node->Code, node->First, estimate);
      }
      break;
    case nkBinary:
    case nkStringCompare:
      if (node->Code == opAnd) {
        const uint8_t left = CanOptimizeCondition(opAnd, node->First, estimate);
        const uint8_t right = CanOptimizeCondition(opAnd, node->Second, estimate);
        if (left == olFull && right == olFull) {
          level = olFull;
        } else {
          // The better served side narrows the records the other reads.
          if (right > left) std::swap(node->First, node->Second);
          level = left > olNone || right > olNone ? olPartial : olNone;
        }
      } else if (node->Code == opOr) {
        const uint8_t left = CanOptimizeCondition(opOr, node->First, estimate);
        const uint8_t right = CanOptimizeCondition(opOr, node->Second, estimate);
        level = left == olFull && right == olFull ? olFull : olNone;
      } else if (IsComparison(node->Code)) {
        leaf = true;
        const TExpToken* column = TestedColumn(node->First);
        const bool textOptions = node->Kind == nkStringCompare;
        // Under a language a text's first characters do not place it in
        // the collation order (case and accents weigh after the whole
        // text), so the texts of one prefix are no stretch of keys there.
        const bool localePrefix = textOptions && node->CompareLength > 0 && LanguageId() != 0;
        if (column && !localePrefix && (!textOptions || IsTextType(column->DataType, column->SubType)) &&
            FindConditionIndex(*node) >= 0 &&
            TConstantCheck(*this, *node->First, *column, textOptions ? node->CompareLength : 0,
                           node->Code == opEqual || node->Code == opNotEqual)
                .Serves(node->Second))
          level = olFull;
      }
      break;
    case nkPredicate:
      if (IsServedPredicate(node->Code)) {
        leaf = true;
        const TExpToken* column = TestedColumn(node->First);
        bool serves = column && FindConditionIndex(*node) >= 0 && node->Second;
        for (const TExpToken* element = node->Second; serves && element; element = element->Next)
          serves = TConstantCheck(*this, *node->First, *column, 0, node->Code == opIn || node->Code == opNotIn)
                       .Serves(element);
        if (serves) level = olFull;
      }
      break;
    default:
      break;
  }
  if (leaf && level == olFull && estimate && parentOperator != 0) {
    const uint32_t limit = uint32_t(0.9 * double(IndexFile().GetRecordCount()));
    if (CountKeysOfCondition(*node) > limit) level = olNone;
  }
  node->OptimizeLevel = level;
  return level;
}
