#include "engExpTreeQueries.h"

namespace {

template <typename Test>
bool AnyNode(const TExpToken* node, Test test) {
  if (!node) return false;
  if (test(node)) return true;
  switch (node->Kind) {
    case nkUnary:
      return AnyNode(node->First, test);
    case nkBinary:
    case nkStringCompare:
      return AnyNode(node->First, test) || AnyNode(node->Second, test);
    case nkFunction:
      if (node->Code == fnIf)
        return AnyNode(node->First, test) || AnyNode(node->Second, test) || AnyNode(node->Third, test);
      return AnyNode(node->First, test);
    case nkPredicate:
      return AnyNode(node->First, test);
    default:
      return false;
  }
}

bool IsNot(const TExpToken* node) { return node->Kind == nkUnary && node->Code == opNot; }

}  // namespace

bool IsDisjunctiveCondition(const TExpToken* node) {
  if (!node) return false;
  if (node->Kind == nkBinary && node->Code == opOr) return true;
  return IsNot(node) && !IsDisjunctiveCondition(node->First);
}

bool IsUnderNot(const TExpToken* node) {
  for (const TExpToken* up = node ? node->Parent : nullptr; up; up = up->Parent) {
    if (IsNot(up)) return true;
    if (up->Kind != nkBinary) return false;
  }
  return false;
}

bool ReferencesColumn(const TExpToken* node) {
  return AnyNode(node, [](const TExpToken* n) { return n->Kind == nkColumn; });
}

bool ContainsAggregate(const TExpToken* node) {
  return AnyNode(node, [](const TExpToken* n) { return n->Kind == nkFunction && n->Code >= fnSum && n->Code <= fnAvg; });
}

void CollectConjuncts(const TExpToken& node, std::vector<const TExpToken*>& parts) {
  if (node.Kind == nkBinary && node.Code == opAnd && node.First && node.Second) {
    CollectConjuncts(*node.First, parts);
    CollectConjuncts(*node.Second, parts);
    return;
  }
  parts.push_back(&node);
}
