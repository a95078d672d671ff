#include "VTreeWalk.h"

bool IsVisiblePathNode(const TVirtualNode* Node) {
  if (!Node || IsRootNode(Node)) return true;
  for (const TVirtualNode* p = Node->Parent; !IsRootNode(p); p = p->Parent)
    if (!(p->States & nsExpanded)) return false;
  return true;
}

PVirtualNode NextNodeSkippingChildren(PVirtualNode Node) {
  for (PVirtualNode n = Node; n && !IsRootNode(n); n = n->Parent)
    if (n->NextSibling) return n->NextSibling;
  return nullptr;
}

PVirtualNode NextVisibleNode(PVirtualNode Node) {
  if (!Node || IsRootNode(Node)) return nullptr;
  // The outermost ancestor whose parent is collapsed hides Node's branch.
  PVirtualNode anchor = Node;
  for (PVirtualNode p = Node->Parent; !IsRootNode(p); p = p->Parent)
    if (!(p->States & nsExpanded)) anchor = p;
  if (anchor == Node && (Node->States & nsExpanded) && Node->FirstChild) return Node->FirstChild;
  return NextNodeSkippingChildren(anchor);
}

PVirtualNode PreviousVisibleNode(PVirtualNode Node) {
  if (!Node || IsRootNode(Node)) return nullptr;
  PVirtualNode anchor = Node;
  for (PVirtualNode p = Node->Parent; !IsRootNode(p); p = p->Parent)
    if (!(p->States & nsExpanded)) anchor = p;
  if (anchor != Node) return anchor;
  if (PVirtualNode prev = Node->PrevSibling) {
    while ((prev->States & nsExpanded) && prev->LastChild) prev = prev->LastChild;
    return prev;
  }
  return IsRootNode(Node->Parent) ? nullptr : Node->Parent;
}
