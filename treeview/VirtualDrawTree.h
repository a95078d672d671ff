#pragma once
// The draw tree: the application paints each cell and gives each node's
// width itself; nothing else differs from the base tree.

#include "VTree.h"
#include "uiGraphicsBitmap.h"

using TVTDrawNodeEvent = std::function<void(TBaseVirtualTree* Sender, const TVTPaintInfo& PaintInfo)>;
using TVTGetNodeWidthEvent =
    std::function<void(TBaseVirtualTree* Sender, TCanvas& Canvas, PVirtualNode Node, int Column, int& NodeWidth)>;

// A node's width while no handler says otherwise.
constexpr int DefaultDrawNodeWidth = 4;

class TCustomVirtualDrawTree : public TBaseVirtualTree {
public:
  explicit TCustomVirtualDrawTree(QWidget* Parent = nullptr);

  TVTDrawNodeEvent OnDrawNode;
  TVTGetNodeWidthEvent OnGetNodeWidth;

protected:
  void DoPaintNode(TVTPaintInfo& PaintInfo) override;
  int GetNodeWidth(PVirtualNode Node, int Column) override;

private:
  TBitmap measureBitmap;  // the canvas handed to the width event
};

class TVirtualDrawTree : public TCustomVirtualDrawTree {
public:
  using TCustomVirtualDrawTree::TCustomVirtualDrawTree;
};
