#pragma once
// The tree as the watch threads' node owner. A thread hands its node back
// at its end; the deletion runs on the GUI thread, only while the tree
// lives, and only for a node the tree still holds.

#include "VTree.h"
#include "AppMonitor.h"

class TTreeNodeOwner : public TWatchNodeOwner {
public:
  explicit TTreeNodeOwner(TBaseVirtualTree& nodeTree) : tree(nodeTree.Ref()) {}

  void DeleteNode(TVirtualNode* node) noexcept override {
    tree.Post([node](TBaseVirtualTree& nodeTree) {
      if (nodeTree.ContainsNode(node)) nodeTree.DeleteNode(node);
    });
  }

private:
  TGuiRef<TBaseVirtualTree> tree;
};
