#include "engExpEvalCondition.h"

#include <string>

#include "engExpCodes.h"
#include "engExpEvalInternal.h"
#include "rtlAssert.h"
#include "rtlExceptions.h"

namespace {

bool IsComparison(uint8_t op) { return op >= opEqual && op <= opLessEqual; }

// A constant, or a sign applied to one.
bool IsConstantOperand(const TExpToken& node) {
  if (node.Kind == nkConstant) return true;
  return node.Kind == nkUnary && (node.Code == opNegate || node.Code == opUnaryPlus) && node.First &&
         node.First->Kind == nkConstant;
}

bool IsNullConstant(const TExpToken* node) { return node && node->Kind == nkConstant && node->IsNull; }

// The operand in link gives way to replacement, which takes its place in
// the operand list.
void Replace(TExpToken* parent, TExpToken*& link, TExpTreePtr replacement) {
  TExpToken* old = link;
  replacement->Parent = parent;
  replacement->Next = old->Next;
  old->Next = nullptr;
  link = replacement.release();
  FreeTokenTree(old);
}

// Converts a condition where it stands: its nodes are kept, changed where
// an option makes a comparison a string comparison, and constants compared
// with an expression are replaced by their converted values.
class TConditionConverter {
public:
  TConditionConverter(const TExpEvalContext& context, bool exactMatch, bool caseInsensitive)
      : context(context), exactMatch(exactMatch), caseInsensitive(caseInsensitive) {}

  void Convert(TExpToken& node) const {
    switch (node.Kind) {
      case nkUnary:
        ConvertOperands(node);
        return;
      case nkBinary:
        if (node.Code == opAnd || node.Code == opOr) ConvertOperands(node);
        else if (IsComparison(node.Code)) ConvertComparison(node);
        return;
      case nkPredicate:
        ConvertPredicate(node);
        return;
      default:
        return;
    }
  }

private:
  const TExpEvalContext& context;
  const bool exactMatch;
  const bool caseInsensitive;

  void ConvertOperands(TExpToken& node) const {
    if (node.First) Convert(*node.First);
    if (node.Second) Convert(*node.Second);
  }

  // The constant compared with the tested expression, in its type. A value
  // that type cannot hold (2.5 for an integer, 100000 for a small integer)
  // keeps its own type: converted, it would change what the comparison
  // selects.
  TExpTreePtr ConvertedConstant(const TExpToken& tested, const TExpToken& constant) const {
    TExpTreePtr original(EvaluateExpression(context, constant));
    TExpTreePtr converted;
    try {
      converted.reset(EvaluateAsType(context, tested, constant));
    } catch (const EConvertError&) {
      return original;
    }
    if (converted->IsNull || converted->DataType == original->DataType) return converted;
    return ApplyComparison(context, opEqual, *original, *converted) ? std::move(converted) : std::move(original);
  }

  // "=" or "<>" that compares texts with options: the compare length (0:
  // whole texts) and the case flag.
  static void MakeStringCompare(TExpToken& node, uint8_t op, uint16_t compareLength, bool noCase) {
    node.Kind = nkStringCompare;
    node.Code = op;
    node.CompareLength = compareLength;
    node.CaseInsensitive = noCase;
  }

  // The constant is converted against the tested expression as written,
  // before that is converted in turn.
  void ConvertComparison(TExpToken& node) const {
    TExpToken& right = *node.Second;
    if (!IsConstantOperand(right)) {
      ConvertOperands(node);
      return;
    }
    if ((node.Code == opEqual || node.Code == opNotEqual) && right.Kind == nkConstant && right.DataType == dtString) {
      std::string text = right.AsText();
      const bool star = !text.empty() && text.back() == '*';
      if (caseInsensitive || star) {
        uint16_t compareLength = 0;
        if (star && !exactMatch) {
          text.pop_back();
          right.SetText(text);
          compareLength = static_cast<uint16_t>(text.size());
        }
        MakeStringCompare(node, node.Code, compareLength, caseInsensitive);
        Convert(*node.First);
        return;
      }
    }
    Replace(&node, node.Second, ConvertedConstant(*node.First, right));
    Convert(*node.First);
  }

  // A pattern with no "_" and one "%", at its end, after some text.
  static bool IsPrefixPattern(const TExpToken& pattern) {
    if (pattern.Kind != nkConstant || pattern.DataType != dtString || pattern.IsNull) return false;
    const std::string_view text = pattern.AsText();
    return text.size() > 1 && text.find('%') == text.size() - 1 && text.find('_') == std::string_view::npos;
  }

  void ConvertPredicate(TExpToken& node) const {
    if (node.Code == opInSelect || node.Code == opNotInSelect) return;
    if (node.Code == opLike || node.Code == opNotLike) {
      TExpToken& pattern = *node.Second;
      if (IsPrefixPattern(pattern)) {
        const std::string_view text = pattern.AsText();
        const std::string prefix(text.substr(0, text.size() - 1));
        pattern.SetText(prefix);
        MakeStringCompare(node, node.Code == opLike ? opEqual : opNotEqual, static_cast<uint16_t>(prefix.size()),
                          false);
      }
      Convert(*node.First);
      return;
    }
    // IN lists and BETWEEN bounds.
    for (TExpToken** element = &node.Second; *element; element = &(*element)->Next)
      Replace(&node, *element, ConvertedConstant(*node.First, **element));
    Convert(*node.First);
  }
};

void FreeChain(TExpToken*& chain) {
  while (chain) {
    TExpToken* next = chain->Next;
    FreeTokenTree(chain);
    chain = next;
  }
}

// node becomes kept, which is one of its children; the other children go.
void TakeOver(TExpToken* node, TExpToken* kept) {
  for (TExpToken** link : {&node->First, &node->Second, &node->Third}) {
    if (*link == kept)
      *link = nullptr;
    else
      FreeChain(*link);
  }
  TExpToken* const parent = node->Parent;
  TExpToken* const next = node->Next;
  node->Assign(*kept);
  node->Parent = parent;
  node->Next = next;
  for (TExpToken* child : {node->First, node->Second, node->Third})
    for (TExpToken* element = child; element; element = element->Next) element->Parent = node;
  kept->First = kept->Second = kept->Third = nullptr;
  ReleaseToken(kept);
}

// AND, OR and IF keep the side that stays.
bool PruneSides(TExpToken* node, TExpToken* a, TExpToken* b) {
  const bool dropA = PruneCondition(a);
  const bool dropB = PruneCondition(b);
  if (dropA && dropB) return true;
  if (dropA || dropB) TakeOver(node, dropA ? b : a);
  return false;
}

}  // namespace

TExpToken* ConvertConditionForTable(const TExpEvalContext& context, TExpTreePtr condition, bool exactMatch,
                                    bool caseInsensitive) {
  ORV_ASSERT(!condition->Next);
  condition->Parent = nullptr;
  TConditionConverter(context, exactMatch, caseInsensitive).Convert(*condition);
  return condition.release();
}

bool PruneCondition(TExpToken* node) {
  if (!node) return false;
  switch (node->Kind) {
    case nkBinary:
    case nkStringCompare:
      if (node->Code == opEqual || node->Code == opNotEqual)
        return IsNullConstant(node->First) || IsNullConstant(node->Second);
      if (node->Code == opAnd || node->Code == opOr) return PruneSides(node, node->First, node->Second);
      return false;
    case nkUnary:
      return node->Code == opNot && PruneCondition(node->First);
    case nkFunction:
      return node->Code == fnIf && PruneSides(node, node->Second, node->Third);
    default:
      return false;
  }
}
