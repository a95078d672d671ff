#pragma once
// Walks over node links alone: they call no application code and touch no
// tree field, so the cache worker may use them too.

#include "VTreeNode.h"

inline bool IsRootNode(const TVirtualNode* Node) { return Node && Node->NextSibling == Node; }

// True when every ancestor below the root is expanded (true for the root).
bool IsVisiblePathNode(const TVirtualNode* Node);

// The next node in visible order: climbs first to the outermost ancestor
// inside a collapsed branch. Nil after the last.
PVirtualNode NextVisibleNode(PVirtualNode Node);
// The previous visible node: the deepest expanded last descendant of the
// previous sibling, else the parent; nil at the top.
PVirtualNode PreviousVisibleNode(PVirtualNode Node);
// The next node in tree order that is not inside Node's branch.
PVirtualNode NextNodeSkippingChildren(PVirtualNode Node);
