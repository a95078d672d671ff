// Creation, node blocks, child counts, deletion and attachment.

#include "VTree.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "rtlAssert.h"
#include "VTreeWalk.h"
#include "VTreeEditLink.h"
#include "uiGraphicsBitmap.h"
#include "uiHint.h"

TBaseVirtualTree::TBaseVirtualTree(QWidget* Parent) : TControlHost(Parent) {
  header = std::make_unique<TVTHeader>(*this);
  Viewport()->setAcceptDrops(true);
  font.SetName("Liberation Sans");
  font.SetSize(8);
  MakeRootNode();
  LiveTrees().insert(this);
  cache = std::make_unique<TPositionCache>(root);
  AddTreeReference();
  selection.reserve(1);
  changeTimer.OnTimer = [this] { FireChangeTimer(); };
  structureChangeTimer.OnTimer = [this] { FireStructureTimer(); };
  editTimer.OnTimer = [this] {
    editTimer.Stop();
    if (pendingEditNode) EditNode(pendingEditNode, focusedColumn);
    pendingEditNode = nullptr;
  };
  autoScrollTimer.OnTimer = [this] { DoAutoScroll(); };
  expandTimer.OnTimer = [this] {
    expandTimer.Stop();
    if (dropTargetNode && !(dropTargetNode->States & nsExpanded)) ToggleNode(dropTargetNode);
  };
}

TBaseVirtualTree::~TBaseVirtualTree() {
  ReleaseTreeReference(*cache);
  states.Include(tsDestroying);
  LiveTrees().erase(this);
  CancelEditNode();
  ReleaseClipboard();
  Clear();
  FreeRootNode();
}

void TBaseVirtualTree::MakeRootNode() {
  root = MakeNewNode();
  root->States = nsInitialized | nsExpanded | nsHasChildren;
  root->NextSibling = root;
  // The root's parent is the tree: TreeFromNode's only way back.
  root->Parent = reinterpret_cast<PVirtualNode>(this);
}

void TBaseVirtualTree::FreeRootNode() {
  FreeNodeBlock(root);
  root = nullptr;
}

TBaseVirtualTree* TBaseVirtualTree::TreeFromNode(PVirtualNode Node) {
  if (!Node) return nullptr;
  while (!IsRootNode(Node)) Node = Node->Parent;
  return reinterpret_cast<TBaseVirtualTree*>(Node->Parent);
}

bool TBaseVirtualTree::ContainsNode(PVirtualNode Node) const {
  if (!Node) return false;
  for (PVirtualNode n = root->FirstChild; n; n = n->FirstChild ? n->FirstChild : NextNodeSkippingChildren(n))
    if (n == Node) return true;
  return false;
}

size_t TBaseVirtualTree::NodeBlockSize() {
  int dataSize = nodeDataSize;
  if (dataSize == -1) dataSize = DoGetNodeDataSize();
  return sizeof(TVirtualNode) + static_cast<size_t>(dataSize > 0 ? dataSize : 0);
}

TNodePool& TBaseVirtualTree::NodePool() {
  const size_t size = NodeBlockSize();
  if (!pool) pool = std::make_unique<TNodePool>(size);
  ORV_ASSERT(pool->BlockSize() >= size);
  return *pool;
}

PVirtualNode TBaseVirtualTree::MakeNewNode() {
  PVirtualNode node;
  if (!root) {
    // The root stays outside the pool, so an emptied tree can drop it.
    node = static_cast<PVirtualNode>(std::calloc(1, NodeBlockSize()));
    if (!node) throw std::bad_alloc();
  } else {
    node = static_cast<PVirtualNode>(NodePool().Allocate());
  }
  node->TotalCount = 1;
  node->TotalHeight = defaultNodeHeight;
  node->NodeHeight = static_cast<uint16_t>(defaultNodeHeight);
  node->Align = 50;
  return node;
}

void TBaseVirtualTree::FreeNodeBlock(PVirtualNode Node) {
  if (Node == root)
    std::free(Node);
  else
    pool->Free(Node);
}

int TBaseVirtualTree::DoGetNodeDataSize() {
  int size = 0;
  if (OnGetNodeDataSize) OnGetNodeDataSize(this, size);
  nodeDataSize = size < 0 ? 0 : size;
  return nodeDataSize;
}

void* TBaseVirtualTree::GetNodeData(PVirtualNode Node) {
  if (!Node || IsRootNode(Node)) return nullptr;
  if (nodeDataSize == -1) DoGetNodeDataSize();
  if (nodeDataSize < 1) return nullptr;
  return reinterpret_cast<uint8_t*>(Node) + sizeof(TVirtualNode);
}

void TBaseVirtualTree::SetNodeDataSize(int Value) {
  if (Value < -1) Value = -1;
  if (Value == nodeDataSize) return;
  const uint32_t count = root->ChildCount;
  Clear();
  StopValidation();
  FreeRootNode();
  nodeDataSize = Value;
  MakeRootNode();
  cache = std::make_unique<TPositionCache>(root);
  SetRootNodeCount(count);
}

void TBaseVirtualTree::SetRootNodeCount(uint32_t Value) {
  if (states.Contains(tsLoading)) {
    root->ChildCount = Value;
    return;
  }
  if (Value == root->ChildCount) return;
  BeginUpdate();
  StopValidation();
  SetChildCount(root, Value);
  EndUpdate();
}

void TBaseVirtualTree::SetDefaultNodeHeight(uint32_t Value) {
  if (Value == 0) Value = 18;
  defaultNodeHeight = Value > UINT16_MAX ? UINT16_MAX : Value;
  // Existing nodes keep their heights; the root's own row follows.
  StopValidation();
  root->TotalHeight = root->TotalHeight - root->NodeHeight + defaultNodeHeight;
  root->NodeHeight = static_cast<uint16_t>(defaultNodeHeight);
  StructureChanged();
}

void TBaseVirtualTree::SetIndent(uint32_t Value) {
  if (indent == Value) return;
  indent = Value;
  UpdateScrollBars();
  InvalidateControl();
}

void TBaseVirtualTree::SetOptions(TVirtualTreeOptions Value) {
  if (options == Value) return;
  options = Value;
  InvalidateControl();
}

void TBaseVirtualTree::AdjustTotalCount(PVirtualNode Node, int64_t Value, bool Relative) {
  const int64_t delta = Relative ? Value : Value - Node->TotalCount;
  if (delta == 0) return;
  for (PVirtualNode n = Node;; n = n->Parent) {
    n->TotalCount = static_cast<uint32_t>(n->TotalCount + delta);
    if (IsRootNode(n)) break;
  }
}

void TBaseVirtualTree::AdjustTotalHeight(PVirtualNode Node, int64_t Value, bool Relative) {
  const int64_t delta = Relative ? Value : Value - Node->TotalHeight;
  if (delta == 0) return;
  for (PVirtualNode n = Node;; n = n->Parent) {
    n->TotalHeight = static_cast<uint32_t>(n->TotalHeight + delta);
    if (IsRootNode(n) || !(n->Parent->States & nsExpanded)) break;
  }
  if (!InUpdate()) UpdateScrollBars();
}

void TBaseVirtualTree::SetChildCount(PVirtualNode Node, uint32_t NewCount) {
  THoldValidation hold(*this);
  if (!Node) Node = root;
  if (NewCount == 0) {
    DeleteChildren(Node, false);
    return;
  }
  const int64_t delta = static_cast<int64_t>(NewCount) - Node->ChildCount;
  if (delta == 0) return;
  StopValidation();
  const bool expanded = (Node->States & nsExpanded) != 0;
  if (delta < 0) {
    for (int64_t i = 0; i < -delta; ++i) {
      PVirtualNode child = Node->LastChild;
      UnlinkNode(child);
      DeleteBranch(child);
    }
  } else {
    uint32_t index = Node->LastChild ? Node->LastChild->Index + 1 : 0;
    Node->States |= nsHasChildren;
    // The totals are carried once for the nodes linked so far, also when
    // an allocation fails half-way.
    uint32_t added = 0;
    uint64_t heights = 0;
    struct TCarry {
      TBaseVirtualTree* tree;
      PVirtualNode node;
      const uint32_t& added;
      const uint64_t& heights;
      bool expanded;
      ~TCarry() {
        tree->AdjustTotalCount(node, added, true);
        if (expanded) {
          tree->AdjustTotalHeight(node, static_cast<int64_t>(heights), true);
          if (tree->IsVisiblePath(node)) tree->visibleCount += added;
        }
      }
    } carry{this, Node, added, heights, expanded};
    PVirtualNode last = Node->LastChild;
    NodePool().Reserve(static_cast<size_t>(delta));
    for (int64_t i = 0; i < delta; ++i) {
      PVirtualNode child = MakeNewNode();
      child->Index = index++;
      child->PrevSibling = last;
      child->Parent = Node;
      if (last)
        last->NextSibling = child;
      else
        Node->FirstChild = child;
      last = child;
      Node->LastChild = child;
      ++Node->ChildCount;
      ++added;
      heights += child->NodeHeight;
    }
  }
  ORV_ASSERT(Node->ChildCount == NewCount);
  StructureChanged();
  if (InUpdate())
    states.Include(tsStructureChangePending);
  else {
    StructureChanged();
    DoStructureChange(IsRootNode(Node) ? nullptr : Node);
  }
}

PVirtualNode TBaseVirtualTree::AddChild(PVirtualNode Parent) {
  if (!Parent) Parent = root;
  SetChildCount(Parent, Parent->ChildCount + 1);
  if (!InUpdate()) {
    InvalidateToBottom(Parent);
    UpdateScrollBars();
  }
  return Parent->LastChild;
}

PVirtualNode TBaseVirtualTree::InsertNode(PVirtualNode Node, TVTNodeAttachMode Mode) {
  THoldValidation hold(*this);
  if (Mode == amNowhere) return nullptr;
  if (!Node) Node = root;
  if (IsRootNode(Node)) {
    if (Mode == amInsertBefore) Mode = amAddChildFirst;
    if (Mode == amInsertAfter) Mode = amAddChildLast;
  }
  if (states.Contains(tsEditing)) EndEditNode();
  StopValidation();
  PVirtualNode node = MakeNewNode();
  AttachNode(node, Node, Mode);
  PVirtualNode parent = node->Parent;
  if (InUpdate())
    states.Include(tsStructureChangePending);
  else {
    StructureChanged();
    UpdateScrollBars();
    ScrollIntoView(node, false);
    InvalidateToBottom(Mode == amInsertBefore ? node : Node);
    DoStructureChange(IsRootNode(parent) ? nullptr : parent);
  }
  return node;
}

void TBaseVirtualTree::AttachNode(PVirtualNode Node, PVirtualNode Destination, TVTNodeAttachMode Mode) {
  ORV_ASSERT(Node && !Node->Parent && "only an unlinked node is attached");
  if (!Destination) Destination = root;
  if (IsRootNode(Destination)) {
    if (Mode == amInsertBefore) Mode = amAddChildFirst;
    if (Mode == amInsertAfter) Mode = amAddChildLast;
  }
  PVirtualNode parent = (Mode == amInsertBefore || Mode == amInsertAfter) ? Destination->Parent : Destination;
  PVirtualNode prev = nullptr, next = nullptr;
  switch (Mode) {
    case amInsertBefore:
      prev = Destination->PrevSibling;
      next = Destination;
      break;
    case amInsertAfter:
      prev = Destination;
      next = Destination->NextSibling;
      break;
    case amAddChildFirst:
      next = parent->FirstChild;
      break;
    case amAddChildLast:
    case amNowhere:
      prev = parent->LastChild;
      break;
  }
  Node->Parent = parent;
  Node->PrevSibling = prev;
  Node->NextSibling = next;
  if (prev)
    prev->NextSibling = Node;
  else
    parent->FirstChild = Node;
  if (next)
    next->PrevSibling = Node;
  else
    parent->LastChild = Node;
  Node->Index = prev ? prev->Index + 1 : 0;
  for (PVirtualNode n = next; n; n = n->NextSibling) ++n->Index;
  ++parent->ChildCount;
  parent->States |= nsHasChildren;
  AdjustTotalCount(parent, Node->TotalCount, true);
  if (parent->States & nsExpanded) {
    AdjustTotalHeight(parent, Node->TotalHeight, true);
    if (IsVisiblePath(parent)) visibleCount += CountVisibleChildren(Node) + 1;
  }
  StructureChanged();
}

void TBaseVirtualTree::UnlinkNode(PVirtualNode Node) {
  PVirtualNode parent = Node->Parent;
  Node->States &= ~nsChecking;
  --parent->ChildCount;
  if (parent->ChildCount == 0 && !IsRootNode(parent)) parent->States &= ~nsHasChildren;
  AdjustTotalCount(parent, -static_cast<int64_t>(Node->TotalCount), true);
  if (parent->States & nsExpanded) {
    if (IsVisiblePath(parent)) visibleCount -= CountVisibleChildren(Node) + 1;
    AdjustTotalHeight(parent, -static_cast<int64_t>(Node->TotalHeight), true);
  }
  if (Node->PrevSibling)
    Node->PrevSibling->NextSibling = Node->NextSibling;
  else
    parent->FirstChild = Node->NextSibling;
  if (Node->NextSibling)
    Node->NextSibling->PrevSibling = Node->PrevSibling;
  else
    parent->LastChild = Node->PrevSibling;
  for (PVirtualNode n = Node->NextSibling; n; n = n->NextSibling) --n->Index;
  Node->Parent = Node->PrevSibling = Node->NextSibling = nullptr;
  if (Node == focusedNode) focusedNode = nullptr;
  StructureChanged();
}

// Frees an unlinked node and its whole branch, deepest first, without
// recursion: a branch may be deeper than any stack.
void TBaseVirtualTree::DeleteBranch(PVirtualNode Node) {
  PVirtualNode n = Node;
  for (;;) {
    while (n->LastChild) n = n->LastChild;
    n->States |= nsDeleting;
    PVirtualNode parent = n == Node ? nullptr : n->Parent;
    if (parent) {
      parent->LastChild = n->PrevSibling;
      if (n->PrevSibling)
        n->PrevSibling->NextSibling = nullptr;
      else
        parent->FirstChild = nullptr;
    }
    DoFreeNode(n);
    if (!parent) return;
    n = parent;
  }
}

void TBaseVirtualTree::ForgetReferences(PVirtualNode Node) {
  if (Node->States & nsSelected) RemoveFromSelection(Node);
  if (Node == focusedNode) focusedNode = nullptr;
  if (Node == hotNode) hotNode = nullptr;
  if (Node == checkNode) checkNode = nullptr;
  if (Node == dropTargetNode) dropTargetNode = nullptr;
  if (Node == rangeAnchor) rangeAnchor = nullptr;
  if (Node == lastChangedNode) lastChangedNode = nullptr;
  if (Node == editNode) {
    // Cancelled, not ended: ending would hand the text to a node that goes.
    editNode = nullptr;
    CancelEditNode();
  }
  if (Node == pendingEditNode) pendingEditNode = nullptr;
  if (!draggedNodes.empty()) std::erase(draggedNodes, Node);
  ForgetNode(Node);
}

void TBaseVirtualTree::DoFreeNode(PVirtualNode Node) {
  ForgetReferences(Node);
  if ((Node->States & nsInitialized) && OnFreeNode) OnFreeNode(this, Node);
  FreeNodeBlock(Node);
}

void TBaseVirtualTree::DeleteNode(PVirtualNode Node) {
  THoldValidation hold(*this);
  if (!Node || IsRootNode(Node)) return;
  ORV_ASSERT(TreeFromNode(Node) == this);
  StopValidation();
  PVirtualNode parent = Node->Parent;
  if (!InUpdate()) InvalidateToBottom(Node);
  states.Include(tsHintRebuild);
  UnlinkNode(Node);
  DeleteBranch(Node);
  if (InUpdate())
    states.Include(tsStructureChangePending);
  else {
    ORV_ASSERT(root->TotalCount > StructureCheckLimit || CheckStructure());
    StructureChanged();
    UpdateScrollBars();
    InvalidateControl();
    DoStructureChange(IsRootNode(parent) ? nullptr : parent);
  }
}

void TBaseVirtualTree::DeleteChildren(PVirtualNode Node, bool ResetHasChildren) {
  THoldValidation hold(*this);
  if (!Node) Node = root;
  if (Node->ChildCount == 0) {
    if (ResetHasChildren && !IsRootNode(Node)) Node->States &= ~nsHasChildren;
    return;
  }
  StopValidation();
  states.Include(tsHintRebuild);
  // The whole chain leaves first, so that the totals are true before any
  // free-node event runs; then one structure change.
  while (PVirtualNode child = Node->LastChild) {
    UnlinkNode(child);
    DeleteBranch(child);
  }
  if (ResetHasChildren && !IsRootNode(Node)) Node->States &= ~nsHasChildren;
  if (!ResetHasChildren && !IsRootNode(Node)) Node->States |= nsHasChildren;
  if (InUpdate()) {
    states.Include(tsStructureChangePending);
    return;
  }
  StructureChanged();
  UpdateScrollBars();
  InvalidateControl();
  DoStructureChange(IsRootNode(Node) ? nullptr : Node);
}

void TBaseVirtualTree::Clear() {
  if (states.Contains(tsEditing)) EndEditNode();
  BeginUpdate();
  StopValidation();
  DeleteChildren(root, true);
  // No node is left in the pool: its memory goes back.
  pool.reset();
  focusedNode = nullptr;
  states.Exclude(tsClipboardPending).Exclude(tsCutPending);
  ClearSelection();
  visibleCount = 0;
  EndUpdate();
}

void TBaseVirtualTree::StructureChanged() {
  if (states.Contains(tsDestroying)) return;
  // The entries are dropped at once, also inside update blocks (they may
  // name nodes that went); the worker starts again only outside blocks and
  // holds.
  lastHit = {};
  const bool queue = !InUpdate() && validationHeld == 0;
  // Within a block or hold, once dropped the cache stays empty: nothing
  // queues it meanwhile.
  if (!queue && cacheDropped) return;
  cache->Invalidate(-1, visibleCount, queue);
  cacheDropped = !queue;
}

void TBaseVirtualTree::ResumeValidation() {
  if (InUpdate() || validationHeld > 0 || states.Contains(tsDestroying)) return;
  cacheDropped = false;
  cache->Resume(visibleCount);
}

void TBaseVirtualTree::SetNodeHeight(PVirtualNode Node, uint32_t Value) {
  if (!Node || IsRootNode(Node)) return;
  if (Value > UINT16_MAX) Value = UINT16_MAX;
  if (Node->NodeHeight == Value) return;
  StopValidation();
  const int64_t delta = static_cast<int64_t>(Value) - Node->NodeHeight;
  Node->NodeHeight = static_cast<uint16_t>(Value);
  AdjustTotalHeight(Node, delta, true);
  StructureChanged();
  if (!InUpdate()) InvalidateToBottom(Node);
}
