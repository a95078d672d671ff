#pragma once
// The tree tests' kit: one offscreen application for the whole executable,
// pinned fonts and resolution, and a tree whose node data is one integer.

#include <QApplication>
#include <functional>
#include <string>
#include <vector>

#include "VTree.h"

// The application, made on first use with the offscreen platform.
QApplication& TestApplication();

// Node data of the test trees.
inline int& NodeId(TBaseVirtualTree& tree, PVirtualNode node) { return *static_cast<int*>(tree.GetNodeData(node)); }

// Runs the GUI thread's posted work until Condition holds; false after
// TimeoutMs.
bool PumpUntil(const std::function<bool()>& Condition, int TimeoutMs = 10000);

// Event log: every hook the tests listen to appends one line.
struct TEventLog {
  std::vector<std::string> Lines;
  void Add(std::string line) { Lines.push_back(std::move(line)); }
  std::string Joined() const;
  void Clear() { Lines.clear(); }
};
