#pragma once
// Questions the filter optimiser and the join planner ask of a tree.

#include <vector>

#include "engExpToken.h"

// An OR, or a NOT over a condition that is not disjunctive.
bool IsDisjunctiveCondition(const TExpToken* node);
// Walking up through binary operators from the node reaches a NOT.
bool IsUnderNot(const TExpToken* node);
// The tree holds a column reference; in functions and extended predicates
// only the first argument counts, except in IF, where all three do.
bool ReferencesColumn(const TExpToken* node);
// The tree holds SUM, COUNT, MIN, MAX or AVG, searched as ReferencesColumn.
bool ContainsAggregate(const TExpToken* node);
// The conditions an AND (and the ANDs under it) joins, in the order they
// are evaluated, appended to parts.
void CollectConjuncts(const TExpToken& node, std::vector<const TExpToken*>& parts);
