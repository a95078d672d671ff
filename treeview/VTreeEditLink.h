#pragma once
// The in-place editor's interface: the tree creates a link per edit,
// prepares it for a cell, places it and starts it, and ends or cancels it.

#include "VTreeNode.h"
#include "uiGraphics.h"

class TBaseVirtualTree;

class IVTEditLink {
public:
  virtual ~IVTEditLink() = default;
  virtual bool BeginEdit() = 0;
  virtual bool CancelEdit() = 0;
  virtual bool IsActive() const = 0;
  virtual bool EndEdit() = 0;
  virtual bool PrepareEdit(TBaseVirtualTree* Tree, PVirtualNode Node, int Column) = 0;
  virtual TRect GetBounds() const = 0;
  virtual void SetBounds(TRect R) = 0;
};
