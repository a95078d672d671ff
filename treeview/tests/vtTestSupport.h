#pragma once
// The tree tests' kit: the window layer's offscreen application and wait,
// and a tree whose node data is one integer.

#include <string>
#include <vector>

#include <QColor>

#include "VTree.h"
#include "uiGraphics.h"
#include "uiTestSupport.h"

// Node data of the test trees.
inline int& NodeId(TBaseVirtualTree& tree, PVirtualNode node) { return *static_cast<int*>(tree.GetNodeData(node)); }

// The pixel a colour paints as, system colours resolved.
QRgb Rgb(TColor c);

// Event log: every hook the tests listen to appends one line.
struct TEventLog {
  std::vector<std::string> Lines;
  void Add(std::string line) { Lines.push_back(std::move(line)); }
  std::string Joined() const;
  void Clear() { Lines.clear(); }
};
