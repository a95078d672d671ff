#include "VirtualDrawTree.h"

TCustomVirtualDrawTree::TCustomVirtualDrawTree(QWidget* Parent) : TBaseVirtualTree(Parent), measureBitmap(96) {
  measureBitmap.SetSize(1, 1);
}

void TCustomVirtualDrawTree::DoPaintNode(TVTPaintInfo& PaintInfo) {
  if (OnDrawNode) OnDrawNode(this, PaintInfo);
}

int TCustomVirtualDrawTree::GetNodeWidth(PVirtualNode Node, int Column) {
  int width = DefaultDrawNodeWidth;
  if (OnGetNodeWidth) {
    TCanvas& canvas = measureBitmap.Canvas();
    canvas.Font().Assign(Font());
    OnGetNodeWidth(this, canvas, Node, Column, width);
  }
  return width;
}
