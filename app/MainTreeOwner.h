#pragma once
// The tree as the watch threads' node owner. A thread hands its node back
// at its end; the deletion runs on the GUI thread, only while the tree
// lives, and only for a node the tree still holds.

#include "VTree.h"
#include "AppMonitor.h"

class TTreeNodeOwner : public TWatchNodeOwner {
public:
  explicit TTreeNodeOwner(TBaseVirtualTree& Tree) : tree(Tree.Ref()) {}

  void DeleteNode(TVirtualNode* Node) noexcept override {
    tree.Post([Node](TBaseVirtualTree& Tree) {
      if (Tree.ContainsNode(Node)) Tree.DeleteNode(Node);
    });
  }

private:
  TGuiRef<TBaseVirtualTree> tree;
};
