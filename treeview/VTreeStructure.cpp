// Initialisation, walks, expansion, re-initialisation and sorting.


#include "VTree.h"
#include "VTreeWalk.h"

void TBaseVirtualTree::DoInitNode(PVirtualNode Parent, PVirtualNode Node, TVirtualNodeInitStates& InitStates) {
  if (OnInitNode) OnInitNode(this, Parent, Node, InitStates);
}

void TBaseVirtualTree::DoInitChildren(PVirtualNode Node, uint32_t& ChildCount) {
  if (OnInitChildren) OnInitChildren(this, Node, ChildCount);
}

void TBaseVirtualTree::InitNode(PVirtualNode Node) {
  THoldValidation hold(*this);
  if (!Node || IsRootNode(Node)) return;
  StopValidation();
  TVirtualNodeInitStates initStates;
  DoInitNode(IsRootNode(Node->Parent) ? nullptr : Node->Parent, Node, initStates);
  Node->States |= nsInitialized;
  if (initStates.Contains(ivsDisabled)) Node->States |= nsDisabled;
  if (initStates.Contains(ivsHasChildren)) Node->States |= nsHasChildren;
  if (initStates.Contains(ivsSelected)) AddToSelection(Node, false);
  const bool expanded = (Node->States & nsExpanded) != 0;
  if (initStates.Contains(ivsExpanded) != expanded) {
    if (initStates.Contains(ivsExpanded))
      ToggleNode(Node);
    else if (Node->States & nsHasChildren)
      InitChildren(Node);
  }
  ResumeValidation();
}

void TBaseVirtualTree::InitChildren(PVirtualNode Node) {
  if (!Node || IsRootNode(Node) || !(Node->States & nsHasChildren)) return;
  uint32_t count = Node->ChildCount;
  DoInitChildren(Node, count);
  if (count == 0) {
    DeleteChildren(Node, true);
  } else
    SetChildCount(Node, count);
}

PVirtualNode TBaseVirtualTree::GetFirst() {
  PVirtualNode n = root->FirstChild;
  if (n && !(n->States & nsInitialized)) InitNode(n);
  return root->FirstChild;
}

PVirtualNode TBaseVirtualTree::GetNext(PVirtualNode Node) {
  if (!Node) return nullptr;
  if (IsRootNode(Node)) return GetFirst();
  if (!(Node->States & nsInitialized)) InitNode(Node);
  if ((Node->States & nsHasChildren) && Node->ChildCount == 0) InitChildren(Node);
  PVirtualNode next = Node->FirstChild ? Node->FirstChild : NextNodeSkippingChildren(Node);
  if (next && !(next->States & nsInitialized)) InitNode(next);
  return next;
}

PVirtualNode TBaseVirtualTree::GetNextNoInit(PVirtualNode Node) const {
  if (!Node) return nullptr;
  if (IsRootNode(Node)) return root->FirstChild;
  if ((Node->States & nsInitialized) && Node->FirstChild) return Node->FirstChild;
  return NextNodeSkippingChildren(Node);
}

PVirtualNode TBaseVirtualTree::GetFirstVisible() const { return root->FirstChild; }

PVirtualNode TBaseVirtualTree::GetNextVisible(PVirtualNode Node) const { return NextVisibleNode(Node); }

PVirtualNode TBaseVirtualTree::GetPreviousVisible(PVirtualNode Node) const { return PreviousVisibleNode(Node); }

PVirtualNode TBaseVirtualTree::GetLast(PVirtualNode Node) {
  if (!Node) Node = root;
  PVirtualNode n = Node;
  for (;;) {
    if (!IsRootNode(n)) {
      if (!(n->States & nsInitialized)) InitNode(n);
      if ((n->States & nsHasChildren) && n->ChildCount == 0) InitChildren(n);
    }
    if (!n->LastChild) break;
    n = n->LastChild;
  }
  return IsRootNode(n) ? nullptr : n;
}

PVirtualNode TBaseVirtualTree::GetLastVisible() const {
  PVirtualNode n = root->LastChild;
  while (n && (n->States & nsExpanded) && n->LastChild) n = n->LastChild;
  return n;
}

uint32_t TBaseVirtualTree::GetNodeLevel(PVirtualNode Node) const {
  uint32_t level = 0;
  if (!Node || IsRootNode(Node)) return 0;
  for (PVirtualNode p = Node->Parent; !IsRootNode(p); p = p->Parent) ++level;
  return level;
}

bool TBaseVirtualTree::HasAsParent(PVirtualNode Node, PVirtualNode PotentialParent) const {
  if (!Node || !PotentialParent || IsRootNode(Node) || IsRootNode(PotentialParent)) return false;
  for (PVirtualNode p = Node->Parent; !IsRootNode(p); p = p->Parent)
    if (p == PotentialParent) return true;
  return false;
}

int TBaseVirtualTree::CompareNodePositions(PVirtualNode Node1, PVirtualNode Node2) const {
  if (Node1 == Node2) return 0;
  if (HasAsParent(Node1, Node2)) return 1;
  if (HasAsParent(Node2, Node1)) return -1;
  uint32_t l1 = GetNodeLevel(Node1), l2 = GetNodeLevel(Node2);
  for (; l1 > l2; --l1) Node1 = Node1->Parent;
  for (; l2 > l1; --l2) Node2 = Node2->Parent;
  while (Node1->Parent != Node2->Parent) {
    Node1 = Node1->Parent;
    Node2 = Node2->Parent;
  }
  return static_cast<int>(static_cast<int64_t>(Node1->Index) - Node2->Index);
}

uint32_t TBaseVirtualTree::CountVisibleChildren(PVirtualNode Node) const {
  if (!(Node->States & nsExpanded)) return 0;
  uint32_t count = 0;
  // Climbs back up by parent links, so deep branches need no stack.
  PVirtualNode n = Node->FirstChild;
  while (n) {
    ++count;
    if ((n->States & nsExpanded) && n->FirstChild) {
      n = n->FirstChild;
      continue;
    }
    while (n != Node && !n->NextSibling) n = n->Parent;
    n = n == Node ? nullptr : n->NextSibling;
  }
  return count;
}

uint32_t TBaseVirtualTree::AbsoluteIndex(PVirtualNode Node) {
  if (!Node || IsRootNode(Node)) return 0;
  uint32_t result = 0;
  for (PVirtualNode n = Node; !IsRootNode(n); n = n->Parent) {
    if (!(n->States & nsInitialized)) InitNode(n);
    for (PVirtualNode s = n->PrevSibling; s; s = s->PrevSibling) result += s->TotalCount;
    if (!IsRootNode(n->Parent)) ++result;
  }
  return result;
}

bool TBaseVirtualTree::IsVisiblePath(PVirtualNode Node) const { return IsVisiblePathNode(Node); }

uint32_t TBaseVirtualTree::GetNodeTop(PVirtualNode Node) const {
  uint32_t top = 0;
  for (PVirtualNode n = Node; n && !IsRootNode(n); n = n->Parent) {
    for (PVirtualNode s = n->PrevSibling; s; s = s->PrevSibling) top += s->TotalHeight;
    if (!IsRootNode(n->Parent)) top += n->Parent->NodeHeight;
  }
  return top;
}

bool TBaseVirtualTree::DoCollapsing(PVirtualNode Node) {
  bool allowed = true;
  if (OnCollapsing) OnCollapsing(this, Node, allowed);
  return allowed;
}

void TBaseVirtualTree::DoCollapsed(PVirtualNode Node) {
  if (OnCollapsed) OnCollapsed(this, Node);
}

bool TBaseVirtualTree::DoExpanding(PVirtualNode Node) {
  bool allowed = true;
  if (OnExpanding) OnExpanding(this, Node, allowed);
  return allowed;
}

void TBaseVirtualTree::DoExpanded(PVirtualNode Node) {
  if (OnExpanded) OnExpanded(this, Node);
}

void TBaseVirtualTree::ToggleNode(PVirtualNode Node) {
  THoldValidation hold(*this);
  if (!Node || IsRootNode(Node)) return;
  bool toggled = false;
  if (Node->States & nsExpanded) {
    if (DoCollapsing(Node)) {
      AnimateToggle(Node, Node->TotalHeight - Node->NodeHeight, false);
      StopValidation();
      const bool visible = IsVisiblePath(Node);
      if (visible) visibleCount -= CountVisibleChildren(Node);
      AdjustTotalHeight(Node, Node->NodeHeight, false);
      Node->States &= ~nsExpanded;
      toggled = true;
      DoCollapsed(Node);
    }
  } else if (DoExpanding(Node)) {
    StopValidation();
    if (!(Node->States & nsInitialized)) InitNode(Node);
    if ((Node->States & nsHasChildren) && Node->ChildCount == 0) InitChildren(Node);
    uint64_t heights = 0;
    for (PVirtualNode c = Node->FirstChild; c; c = c->NextSibling) heights += c->TotalHeight;
    if (!(Node->States & nsExpanded)) {
      AnimateToggle(Node, heights, true);
      Node->States |= nsExpanded;
      AdjustTotalHeight(Node, static_cast<int64_t>(heights), true);
      if (IsVisiblePath(Node)) visibleCount += CountVisibleChildren(Node);
      toggled = true;
    }
    DoExpanded(Node);
  }
  if (!toggled) return;
  StructureChanged();
  if (InUpdate()) return;
  if (Node->ChildCount > 0) {
    StructureChanged();
    UpdateScrollBars();
    InvalidateToBottom(Node);
  } else
    InvalidateNode(Node);
}

void TBaseVirtualTree::SetExpanded(PVirtualNode Node, bool Value) {
  if (Node && !IsRootNode(Node) && ((Node->States & nsExpanded) != 0) != Value) ToggleNode(Node);
}

void TBaseVirtualTree::FullExpand(PVirtualNode Node) {
  BeginUpdate();
  states.Include(tsFullExpanding);
  PVirtualNode stop = Node && !IsRootNode(Node) ? NextNodeSkippingChildren(Node) : nullptr;
  PVirtualNode n = Node && !IsRootNode(Node) ? Node : GetFirst();
  while (n && n != stop) {
    if (!(n->States & nsInitialized)) InitNode(n);
    if ((n->States & nsHasChildren) && !(n->States & nsExpanded)) ToggleNode(n);
    n = GetNext(n);
  }
  states.Exclude(tsFullExpanding);
  EndUpdate();
}

void TBaseVirtualTree::FullCollapse(PVirtualNode Node) {
  const bool whole = !Node || IsRootNode(Node);
  if (!whole && !((Node->States & nsExpanded) && IsVisiblePath(Node))) return;
  BeginUpdate();
  states.Include(tsCollapsing);
  // From the last visible node of the branch backwards up to the node.
  PVirtualNode n = whole ? GetLastVisible() : Node;
  if (!whole)
    while ((n->States & nsExpanded) && n->LastChild) n = n->LastChild;
  while (n && n != Node) {
    if (n->States & nsExpanded) ToggleNode(n);
    n = GetPreviousVisible(n);
  }
  if (!whole && (Node->States & nsExpanded)) ToggleNode(Node);
  states.Exclude(tsCollapsing);
  EndUpdate();
}

void TBaseVirtualTree::ValidateNode(PVirtualNode Node, bool Recursive) {
  if (!Node || IsRootNode(Node)) {
    ValidateChildren(nullptr, Recursive);
    return;
  }
  if (!(Node->States & nsInitialized)) InitNode(Node);
  if (Recursive) ValidateChildren(Node, true);
}

void TBaseVirtualTree::ValidateChildren(PVirtualNode Node, bool Recursive) {
  if (!Node) Node = root;
  if (!IsRootNode(Node) && (Node->States & nsHasChildren) && Node->ChildCount == 0) InitChildren(Node);
  // Pre-order over the branch without a stack.
  PVirtualNode n = Node->FirstChild;
  while (n) {
    if (!(n->States & nsInitialized)) InitNode(n);
    if (Recursive) {
      if ((n->States & nsHasChildren) && n->ChildCount == 0) InitChildren(n);
      if (n->FirstChild) {
        n = n->FirstChild;
        continue;
      }
    }
    while (n != Node && !n->NextSibling) n = n->Parent;
    n = n == Node ? nullptr : n->NextSibling;
  }
}

void TBaseVirtualTree::ReinitNode(PVirtualNode Node, bool Recursive) {
  THoldValidation hold(*this);
  if (!Node || IsRootNode(Node)) {
    if (Recursive) ReinitChildren(nullptr, true);
    return;
  }
  StopValidation();
  Node->States &= ~(nsChecking | nsCutOrCopy | nsDeleting);
  NodeChanged(Node);
  InitNode(Node);
  if (Recursive) ReinitChildren(Node, true);
}

void TBaseVirtualTree::ReinitChildren(PVirtualNode Node, bool Recursive) {
  if (!Node) Node = root;
  if (!IsRootNode(Node) && (Node->States & nsHasChildren) && Node->ChildCount == 0) InitChildren(Node);
  for (PVirtualNode c = Node->FirstChild; c;) {
    PVirtualNode next = c->NextSibling;
    ReinitNode(c, Recursive);
    c = next;
  }
}

void TBaseVirtualTree::DoReset(PVirtualNode Node) {
  if (OnResetNode) OnResetNode(this, Node);
}

void TBaseVirtualTree::ResetNode(PVirtualNode Node) {
  THoldValidation hold(*this);
  if (!Node || IsRootNode(Node)) {
    Clear();
    return;
  }
  DoReset(Node);
  DeleteChildren(Node, false);
  StopValidation();
  if (Node->States & nsExpanded) {
    if (IsVisiblePath(Node)) visibleCount -= CountVisibleChildren(Node);
    AdjustTotalHeight(Node, Node->NodeHeight, false);
  }
  Node->States &= (nsSelected | nsDisabled);
  NodeChanged(Node);
  StructureChanged();
  InvalidateNode(Node);
}

// Sorting ----------------------------------------------------------------

namespace {

// Merge sort of a sibling chain linked through NextSibling; stable, and
// without recursion per element so long chains need no deep stack.
PVirtualNode MergeSortChain(PVirtualNode head, uint32_t count, const std::function<bool(PVirtualNode, PVirtualNode)>& takeSecond) {
  if (count < 2) {
    if (head) head->NextSibling = nullptr;
    return head;
  }
  const uint32_t half = count / 2;
  PVirtualNode mid = head;
  for (uint32_t i = 0; i < half; ++i) mid = mid->NextSibling;
  PVirtualNode a = MergeSortChain(head, half, takeSecond);
  PVirtualNode b = MergeSortChain(mid, count - half, takeSecond);
  TVirtualNode dummy{};
  PVirtualNode tail = &dummy;
  while (a && b) {
    if (takeSecond(a, b)) {
      tail->NextSibling = b;
      b = b->NextSibling;
    } else {
      tail->NextSibling = a;
      a = a->NextSibling;
    }
    tail = tail->NextSibling;
  }
  tail->NextSibling = a ? a : b;
  return dummy.NextSibling;
}

}  // namespace

void TBaseVirtualTree::Sort(PVirtualNode Node, int Column, TSortDirection Direction, const TVTCompareEvent& Compare,
                            bool DoInit) {
  THoldValidation hold(*this);
  if (!Node) Node = root;
  if (!(Node->States & nsHasChildren) || !Compare) return;
  if (!IsRootNode(Node) && Node->ChildCount == 0) InitChildren(Node);
  if (DoInit && Node->ChildCount >= 2)
    for (PVirtualNode c = Node->FirstChild; c; c = c->NextSibling)
      if (!(c->States & nsInitialized)) InitNode(c);
  if (Node->ChildCount > 1) {
    StopValidation();
    auto takeSecond = [&](PVirtualNode a, PVirtualNode b) {
      const int result = Compare(this, a, b, Column);
      return Direction == sdAscending ? result > 0 : result < 0;
    };
    // Recursion depth is log2 of the child count: bounded.
    PVirtualNode head = MergeSortChain(Node->FirstChild, Node->ChildCount, takeSecond);
    PVirtualNode prev = nullptr;
    uint32_t index = 0;
    for (PVirtualNode n = head; n; n = n->NextSibling) {
      n->Index = index++;
      n->PrevSibling = prev;
      prev = n;
    }
    Node->FirstChild = head;
    Node->LastChild = prev;
    StructureChanged();
  }
  if (!InUpdate()) InvalidateControl();
}
