#include "engExpEvalCondition.h"

#include <string>

#include "engExpCodes.h"
#include "engExpEvalInternal.h"
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

void Link(TExpToken* parent, TExpToken*& link, TExpTreePtr child) {
  child->Parent = parent;
  link = child.release();
}

// The node alone, without its links.
TExpTreePtr ShallowCopy(const TExpToken& node) {
  TExpTreePtr copy(NewToken());
  copy->Assign(node);
  copy->Parent = copy->First = copy->Second = copy->Third = copy->Next = nullptr;
  return copy;
}

class TConditionCopier {
public:
  TConditionCopier(const TExpEvalContext& context, bool exactMatch, bool caseInsensitive)
      : context(context), exactMatch(exactMatch), caseInsensitive(caseInsensitive) {}

  TExpTreePtr Copy(const TExpToken& node) const {
    switch (node.Kind) {
      case nkUnary:
        return CopyWithOperands(node);
      case nkBinary:
        if (node.Code == opAnd || node.Code == opOr) return CopyWithOperands(node);
        if (IsComparison(node.Code)) return CopyComparison(node);
        break;
      case nkPredicate:
        return CopyPredicate(node);
      default:
        break;
    }
    return TExpTreePtr(CloneTokenTree(&node));
  }

private:
  const TExpEvalContext& context;
  const bool exactMatch;
  const bool caseInsensitive;

  TExpTreePtr CopyWithOperands(const TExpToken& node) const {
    TExpTreePtr copy = ShallowCopy(node);
    if (node.First) Link(copy.get(), copy->First, Copy(*node.First));
    if (node.Second) Link(copy.get(), copy->Second, Copy(*node.Second));
    return copy;
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
  static void MakeStringCompare(TExpToken& copy, uint8_t op, uint16_t compareLength, bool noCase) {
    copy.Kind = nkStringCompare;
    copy.Code = op;
    copy.CompareLength = compareLength;
    copy.CaseInsensitive = noCase;
  }

  TExpTreePtr CopyComparison(const TExpToken& node) const {
    TExpTreePtr copy = ShallowCopy(node);
    Link(copy.get(), copy->First, Copy(*node.First));
    const TExpToken& right = *node.Second;
    if (!IsConstantOperand(right)) {
      Link(copy.get(), copy->Second, Copy(right));
      return copy;
    }
    if ((node.Code == opEqual || node.Code == opNotEqual) && right.Kind == nkConstant && right.DataType == dtString) {
      std::string text = right.AsText();
      const bool star = !text.empty() && text.back() == '*';
      if (caseInsensitive || star) {
        TExpTreePtr constant(CloneTokenTree(&right));
        uint16_t compareLength = 0;
        if (star && !exactMatch) {
          text.pop_back();
          constant->SetText(text);
          compareLength = static_cast<uint16_t>(text.size());
        }
        MakeStringCompare(*copy, node.Code, compareLength, caseInsensitive);
        Link(copy.get(), copy->Second, std::move(constant));
        return copy;
      }
    }
    Link(copy.get(), copy->Second, ConvertedConstant(*node.First, right));
    return copy;
  }

  // A pattern with no "_" and one "%", at its end, after some text.
  static bool IsPrefixPattern(const TExpToken& pattern) {
    if (pattern.Kind != nkConstant || pattern.DataType != dtString || pattern.IsNull) return false;
    const std::string_view text = pattern.AsText();
    return text.size() > 1 && text.find('%') == text.size() - 1 && text.find('_') == std::string_view::npos;
  }

  TExpTreePtr CopyPredicate(const TExpToken& node) const {
    if (node.Code == opInSelect || node.Code == opNotInSelect) return TExpTreePtr(CloneTokenTree(&node));
    TExpTreePtr copy = ShallowCopy(node);
    Link(copy.get(), copy->First, Copy(*node.First));
    if (node.Code == opLike || node.Code == opNotLike) {
      TExpTreePtr pattern(CloneTokenTree(node.Second));
      if (IsPrefixPattern(*pattern)) {
        const std::string_view text = pattern->AsText();
        const std::string prefix(text.substr(0, text.size() - 1));
        pattern->SetText(prefix);
        MakeStringCompare(*copy, node.Code == opLike ? opEqual : opNotEqual, static_cast<uint16_t>(prefix.size()),
                          false);
      }
      Link(copy.get(), copy->Second, std::move(pattern));
      return copy;
    }
    // IN lists and BETWEEN bounds.
    TExpToken** tail = &copy->Second;
    for (const TExpToken* element = node.Second; element; element = element->Next) {
      Link(copy.get(), *tail, ConvertedConstant(*node.First, *element));
      tail = &(*tail)->Next;
    }
    return copy;
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

TExpToken* CopyConditionForTable(const TExpEvalContext& context, const TExpToken& condition, bool exactMatch,
                                 bool caseInsensitive) {
  return TConditionCopier(context, exactMatch, caseInsensitive).Copy(condition).release();
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
