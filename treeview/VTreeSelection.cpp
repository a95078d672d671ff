// Update blocks, change notifications, selection, focus and check states.

#include <algorithm>

#include "rtlAssert.h"
#include "VTree.h"
#include "VTreeWalk.h"

void TBaseVirtualTree::BeginUpdate() {
  if (updateCount == 0 && !states.Contains(tsDestroying)) Viewport()->setUpdatesEnabled(false);
  ++updateCount;
  states.Include(tsUpdating);
}

void TBaseVirtualTree::EndUpdate() {
  if (updateCount > 0) --updateCount;
  if (updateCount > 0 || states.Contains(tsDestroying)) return;
  // Every count, height and link, checked where the walk is cheap enough.
  ORV_ASSERT(root->TotalCount > StructureCheckLimit || CheckStructure());
  states.Exclude(tsUpdating);
  cache->Invalidate(-1, visibleCount, validationHeld == 0);
  cacheDropped = validationHeld > 0;
  Viewport()->setUpdatesEnabled(true);
  UpdateScrollBars();
  if (states.Contains(tsStructureChangePending)) {
    states.Exclude(tsStructureChangePending);
    DoStructureChange(nullptr);
  }
  if (states.Contains(tsChangePending)) {
    states.Exclude(tsChangePending);
    DoChange(nullptr);
  }
  InvalidateControl();
}

void TBaseVirtualTree::DoChange(PVirtualNode Node) {
  if (changeDelay < 1) {
    DoChangeNow(Node);
    return;
  }
  if (states.Contains(tsChangePending)) changeTimer.Stop();
  lastChangedNode = Node;
  states.Include(tsChangePending);
  changeTimer.Start(changeDelay);
}

void TBaseVirtualTree::DoChangeNow(PVirtualNode Node) {
  changeTimer.Stop();
  if (OnChange) OnChange(this, Node);
}

void TBaseVirtualTree::FireChangeTimer() {
  states.Exclude(tsChangePending);
  DoChangeNow(lastChangedNode);
}

void TBaseVirtualTree::DoStructureChange(PVirtualNode Node) {
  if (changeDelay < 1) {
    DoStructureChangeNow(Node);
    return;
  }
  structureChangeTimer.Stop();
  lastChangedNode = Node;
  structureChangeTimer.Start(changeDelay);
}

void TBaseVirtualTree::DoStructureChangeNow(PVirtualNode Node) {
  structureChangeTimer.Stop();
  if (OnStructureChange) OnStructureChange(this, Node);
}

void TBaseVirtualTree::FireStructureTimer() { DoStructureChangeNow(lastChangedNode); }

void TBaseVirtualTree::AddToSelection(PVirtualNode Node, bool Forced) {
  if (!Node || IsRootNode(Node)) return;
  if (!Forced && (Node->States & (nsSelected | nsDisabled))) return;
  if (Node->States & nsSelected) return;
  if (!Forced && options.Contains(voLevelSelectConstraint)) {
    const int level = static_cast<int>(GetNodeLevel(Node));
    if (selection.empty()) selectionLevel = level;
    else if (level != selectionLevel) return;
  }
  StopValidation();
  Node->States |= nsSelected;
  selection.insert(std::lower_bound(selection.begin(), selection.end(), Node), Node);
  ResumeValidation();
}

void TBaseVirtualTree::RemoveFromSelection(PVirtualNode Node) {
  StopValidation();
  Node->States &= ~nsSelected;
  auto at = std::lower_bound(selection.begin(), selection.end(), Node);
  if (at != selection.end() && *at == Node) selection.erase(at);
  if (selection.empty()) selectionLevel = -1;
  ResumeValidation();
}

void TBaseVirtualTree::SetSelected(PVirtualNode Node, bool Value) {
  if (!Node || IsRootNode(Node) || Selected(Node) == Value) return;
  if (Value) {
    if (!options.Contains(voMultiSelect)) ClearSelection();
    AddToSelection(Node, false);
    if (!Selected(Node)) return;
    if (!InUpdate())
      DoChange(Node);
    else
      states.Include(tsChangePending);
  } else
    RemoveFromSelection(Node);
  if (IsVisiblePath(Node)) InvalidateNode(Node);
}

void TBaseVirtualTree::ClearSelection() {
  if (selection.empty() || states.Contains(tsDestroying)) return;
  StopValidation();
  for (auto it = selection.rbegin(); it != selection.rend(); ++it) (*it)->States &= ~nsSelected;
  selection.clear();
  selectionLevel = -1;
  ResumeValidation();
  if (!InUpdate()) {
    InvalidateControl();
    DoChange(nullptr);
  } else
    states.Include(tsChangePending);
}

std::vector<PVirtualNode> TBaseVirtualTree::GetSortedSelection(bool TopmostOnly) const {
  std::vector<PVirtualNode> result;
  if (selection.empty()) return result;
  result.reserve(selection.size());
  for (PVirtualNode n = root->FirstChild; n;) {
    if (n->States & nsSelected) {
      result.push_back(n);
      if (TopmostOnly) {
        n = NextNodeSkippingChildren(n);
        continue;
      }
    }
    n = n->FirstChild ? n->FirstChild : NextNodeSkippingChildren(n);
  }
  return result;
}

bool TBaseVirtualTree::DoFocusChanging(PVirtualNode OldNode, PVirtualNode NewNode, int OldColumn, int NewColumn) {
  bool allowed = true;
  if (OnFocusChanging) OnFocusChanging(this, OldNode, NewNode, OldColumn, NewColumn, allowed);
  return allowed;
}

void TBaseVirtualTree::DoFocusChange(PVirtualNode Node, int Column) {
  if (OnFocusChanged) OnFocusChanged(this, Node, Column);
}

void TBaseVirtualTree::CollapseAfterFocusMove(PVirtualNode OldNode, PVirtualNode NewNode) {
  // Collapse the old branch up to (and including) the child of the common
  // parent, leaving the new node's ancestors as they are.
  if (!OldNode) return;
  PVirtualNode n = OldNode;
  while (n && !IsRootNode(n)) {
    if (NewNode && (n == NewNode || HasAsParent(NewNode, n))) break;
    if (n->States & nsExpanded) ToggleNode(n);
    n = n->Parent;
  }
}

void TBaseVirtualTree::SetFocusedNode(PVirtualNode Node) {
  if (Node && IsRootNode(Node)) Node = nullptr;
  if (Node == focusedNode) return;
  if (!DoFocusChanging(focusedNode, Node, focusedColumn, focusedColumn)) return;
  ChangeFocus(Node, focusedColumn);
}

void TBaseVirtualTree::ChangeFocus(PVirtualNode Node, int Column) {
  if (Node == focusedNode && Column == focusedColumn) return;
  if (states.Contains(tsEditing)) EndEditNode();
  PVirtualNode old = focusedNode;
  if (options.Contains(voAutoExpand) && old != Node) CollapseAfterFocusMove(old, Node);
  if (old) InvalidateNode(old);
  focusedNode = Node;
  focusedColumn = Column;
  if (focusedNode) {
    if (header->UseColumns() && focusedColumn < 0) focusedColumn = header->Columns().GetFirstVisibleColumn();
    if (options.Contains(voAutoExpand) && !(focusedNode->States & nsExpanded)) ToggleNode(focusedNode);
    InvalidateNode(focusedNode);
    if (!InUpdate()) ScrollIntoView(focusedNode, false);
  }
  DoFocusChange(focusedNode, focusedColumn);
}

void TBaseVirtualTree::SetFocusedColumn(int Column) {
  if (Column == focusedColumn) return;
  if (!DoFocusChanging(focusedNode, focusedNode, focusedColumn, Column)) return;
  if (states.Contains(tsEditing)) EndEditNode();
  focusedColumn = Column;
  if (focusedNode) {
    ScrollIntoView(focusedNode, false);
    InvalidateNode(focusedNode);
  }
  DoFocusChange(focusedNode, focusedColumn);
}

// Check states -------------------------------------------------------------

bool TBaseVirtualTree::DoChecking(PVirtualNode Node, TCheckState& NewState) {
  bool allowed = true;
  if (OnChecking) OnChecking(this, Node, NewState, allowed);
  return allowed;
}

void TBaseVirtualTree::DoChecked(PVirtualNode Node) {
  if (OnChecked) OnChecked(this, Node);
}

void TBaseVirtualTree::SetCheckState(PVirtualNode Node, TCheckState Value) {
  THoldValidation hold(*this);
  if (!Node || IsRootNode(Node)) return;
  if (Node->CheckState == Value || (Node->States & nsDisabled)) return;
  if (!DoChecking(Node, Value)) return;
  SetCheckStateInner(Node, Value);
}

void TBaseVirtualTree::SetCheckStateInner(PVirtualNode Node, TCheckState Value) {
  StopValidation();
  Node->States |= nsChecking;
  switch (Node->CheckType) {
    case ctButton:
      if (Value != csButtonNormal && Value != csButtonPressed) Value = csButtonNormal;
      break;
    case ctCheckBox:
      Value = (Value == csCheckedNormal || Value == csMixedNormal) ? csCheckedNormal : csUncheckedNormal;
      break;
    default:
      if (Value == csButtonNormal || Value == csButtonPressed) Value = csCheckedNormal;
      break;
  }
  if (Node->CheckType == ctRadioButton && (Value == csCheckedNormal || Value == csMixedNormal)) {
    Value = csCheckedNormal;
    for (PVirtualNode s = Node->Parent->FirstChild; s; s = s->NextSibling)
      if (s != Node && s->CheckType == ctRadioButton && s->CheckState != csUncheckedNormal) {
        SetCheckState(s, csUncheckedNormal);
        InvalidateNode(s);
      }
  }
  if (Node->CheckType == ctTriStateCheckBox && options.Contains(voAutoTristateTracking) &&
      (Value == csUncheckedNormal || Value == csCheckedNormal)) {
    for (PVirtualNode c = Node->FirstChild; c; c = c->NextSibling)
      if (c->CheckType == ctCheckBox || c->CheckType == ctTriStateCheckBox) SetCheckState(c, Value);
  }
  Node->CheckState = Value;
  InvalidateNode(Node);
  if (options.Contains(voAutoTristateTracking) &&
      (Node->CheckType == ctCheckBox || Node->CheckType == ctTriStateCheckBox))
    UpdateParentCheckState(Node);
  DoChecked(Node);
  Node->States &= ~nsChecking;
  ResumeValidation();
}

void TBaseVirtualTree::UpdateParentCheckState(PVirtualNode Node) {
  for (PVirtualNode parent = Node->Parent; !IsRootNode(parent); parent = parent->Parent) {
    if ((parent->States & (nsDisabled | nsChecking)) || parent->CheckType != ctTriStateCheckBox) return;
    uint32_t boxes = 0, checked = 0, mixed = 0;
    for (PVirtualNode c = parent->FirstChild; c; c = c->NextSibling) {
      if (c->CheckType != ctCheckBox && c->CheckType != ctTriStateCheckBox) continue;
      ++boxes;
      if (c->CheckState == csCheckedNormal) ++checked;
      if (c->CheckState == csMixedNormal) ++mixed;
    }
    TCheckState state = csUncheckedNormal;
    if (boxes > 0 && checked == boxes) state = csCheckedNormal;
    else if (checked > 0 || mixed > 0) state = csMixedNormal;
    if (parent->CheckState == state) return;
    parent->CheckState = state;
    InvalidateNode(parent);
  }
}

int TBaseVirtualTree::GetCheckImage(PVirtualNode Node) const {
  if (!Node || Node->CheckType == ctNone) return -1;
  const bool enabled = !(Node->States & nsDisabled) && isEnabled();
  if (Node->CheckType == ctButton) return enabled ? (Node->CheckState == csButtonPressed ? 10 : 9) : 11;
  const bool normal = enabled && Node != checkNode;
  const int state = Node->CheckState <= csMixedNormal ? Node->CheckState : 0;
  static constexpr int images[3][3][2] = {
      {{1, 3}, {2, 4}, {1, 3}},
      {{1, 3}, {2, 4}, {4, 4}},
      {{5, 7}, {6, 8}, {5, 7}},
  };
  const int type = Node->CheckType - ctCheckBox;
  return images[type][state][normal ? 0 : 1];
}

// Hooks for moving and copying --------------------------------------------

bool TBaseVirtualTree::DoNodeMoving(PVirtualNode Node, PVirtualNode NewParent) {
  bool allowed = true;
  if (OnNodeMoving) OnNodeMoving(this, Node, NewParent, allowed);
  return allowed;
}

void TBaseVirtualTree::DoNodeMoved(PVirtualNode Node) {
  if (OnNodeMoved) OnNodeMoved(this, Node);
}

bool TBaseVirtualTree::DoNodeCopying(PVirtualNode Node) {
  bool allowed = true;
  if (OnNodeCopying) OnNodeCopying(this, Node, allowed);
  return allowed;
}

void TBaseVirtualTree::DoNodeCopied(PVirtualNode Node) {
  if (OnNodeCopied) OnNodeCopied(this, Node);
}

// Invalidation and the consistency check ----------------------------------

void TBaseVirtualTree::InvalidateControl() {
  if (!InUpdate()) Viewport()->update();
}

void TBaseVirtualTree::InvalidateNode(PVirtualNode Node) {
  if (Node) NodeChanged(Node);
  if (InUpdate() || !Node || IsRootNode(Node) || !IsVisiblePath(Node)) return;
  Viewport()->update();
}

void TBaseVirtualTree::InvalidateToBottom(PVirtualNode Node) {
  if (!InUpdate()) Viewport()->update();
}

bool TBaseVirtualTree::CheckStructure() const {
  // Post-order over every node by parent links: each node's totals are
  // checked against its children's.
  PVirtualNode n = root;
  auto check = [&](PVirtualNode node) -> bool {
    uint32_t count = 1, height = node->NodeHeight, children = 0;
    PVirtualNode prev = nullptr;
    for (PVirtualNode c = node->FirstChild; c; c = c->NextSibling) {
      if (c->Parent != node || c->PrevSibling != prev || c->Index != children) return false;
      ++children;
      count += c->TotalCount;
      if (node->States & nsExpanded) height += c->TotalHeight;
      prev = c;
    }
    if (node->LastChild != prev || node->ChildCount != children) return false;
    if (node->TotalCount != count || node->TotalHeight != height) return false;
    if ((node->States & nsSelected) && !std::binary_search(selection.begin(), selection.end(), node)) return false;
    return true;
  };
  for (;;) {
    if (!check(n)) return false;
    PVirtualNode next = n->FirstChild ? n->FirstChild : NextNodeSkippingChildren(n);
    if (!next) break;
    n = next;
  }
  if (CountVisibleChildren(root) != visibleCount) return false;
  for (PVirtualNode s : selection)
    if (!(s->States & nsSelected)) return false;
  return std::is_sorted(selection.begin(), selection.end());
}
