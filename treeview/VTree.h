#pragma once
// The virtual tree view: a tree of fixed-size node records that stores no
// texts of its own. Nodes are made empty and filled lazily through
// OnInitNode and OnInitChildren; every event goes through its Do... hook.
//
// Threading: every member runs on the GUI thread. Other threads reach a
// tree only through Ref().Post, which runs the call on the GUI thread while
// the tree is alive; the call checks with ContainsNode that its node still
// exists. The position cache worker reads nodes (see VTreeCache.h).

#include <QPointer>
#include <memory>
#include <vector>

#include "VTreeCache.h"
#include "VTreeTypes.h"
#include "VTreeWalk.h"
#include "uiControlHost.h"
#include "uiPostToGui.h"
#include "uiTimer.h"

class TBaseVirtualTree : public TControlHost {
public:
  explicit TBaseVirtualTree(QWidget* Parent = nullptr);
  ~TBaseVirtualTree() override;

  // Events; an unassigned one is skipped.
  TVTInitNodeEvent OnInitNode;
  TVTInitChildrenEvent OnInitChildren;
  TVTNodeEvent OnFreeNode;
  TVTGetNodeDataSizeEvent OnGetNodeDataSize;
  TVTNodeEvent OnStructureChange;
  TVTNodeEvent OnChange;
  TVTCheckChangingEvent OnChecking;
  TVTNodeEvent OnChecked;
  TVTChangingEvent OnExpanding;
  TVTChangingEvent OnCollapsing;
  TVTNodeEvent OnExpanded;
  TVTNodeEvent OnCollapsed;
  TVTFocusChangingEvent OnFocusChanging;
  TVTFocusChangeEvent OnFocusChanged;
  TVTNodeEvent OnResetNode;
  TVTGetImageEvent OnGetImageIndex;
  TVTNodeMovingEvent OnNodeMoving;
  TVTNodeCopyingEvent OnNodeCopying;
  TVTNodeEvent OnNodeMoved;
  TVTNodeEvent OnNodeCopied;

  // A reference other threads may hold and post calls through.
  TGuiRef<TBaseVirtualTree> Ref() const { return TGuiRef<TBaseVirtualTree>(life.Token()); }
  // The tree that owns Node, found by its parent links alone; nil for nil.
  static TBaseVirtualTree* TreeFromNode(PVirtualNode Node);
  // True when Node is a node of this tree (the root excepted). A walk of
  // every node: meant for calls that arrive late from other threads.
  bool ContainsNode(PVirtualNode Node) const;

  // Properties.
  PVirtualNode RootNode() const { return root; }
  uint32_t RootNodeCount() const { return root->ChildCount; }
  void SetRootNodeCount(uint32_t Value);
  int NodeDataSize() const { return nodeDataSize; }
  void SetNodeDataSize(int Value);
  uint32_t DefaultNodeHeight() const { return defaultNodeHeight; }
  void SetDefaultNodeHeight(uint32_t Value);
  uint32_t Indent() const { return indent; }
  void SetIndent(uint32_t Value);
  int ChangeDelay() const { return changeDelay; }
  void SetChangeDelay(int Value) { changeDelay = Value; }
  TVirtualTreeOptions Options() const { return options; }
  virtual void SetOptions(TVirtualTreeOptions Value);
  TVirtualTreeStates TreeStates() const { return states; }
  uint32_t VisibleCount() const { return visibleCount; }
  int TotalInternalDataSize() const { return totalInternalDataSize; }
  uint32_t UpdateCount() const { return updateCount; }

  // Structure.
  void SetChildCount(PVirtualNode Node, uint32_t NewCount);
  PVirtualNode AddChild(PVirtualNode Parent);
  PVirtualNode InsertNode(PVirtualNode Node, TVTNodeAttachMode Mode);
  void DeleteNode(PVirtualNode Node);
  void DeleteChildren(PVirtualNode Node, bool ResetHasChildren = false);
  virtual void Clear();
  void* GetNodeData(PVirtualNode Node);
  void InitNode(PVirtualNode Node);
  void InitChildren(PVirtualNode Node);
  virtual void ReinitNode(PVirtualNode Node, bool Recursive);
  virtual void ReinitChildren(PVirtualNode Node, bool Recursive);
  virtual void ResetNode(PVirtualNode Node);
  void ValidateChildren(PVirtualNode Node, bool Recursive);
  void ValidateNode(PVirtualNode Node, bool Recursive);
  void ToggleNode(PVirtualNode Node);
  void SetExpanded(PVirtualNode Node, bool Value);
  void FullExpand(PVirtualNode Node = nullptr);
  void FullCollapse(PVirtualNode Node = nullptr);
  void SetNodeHeight(PVirtualNode Node, uint32_t Value);
  virtual void Sort(PVirtualNode Node, int Column, TSortDirection Direction, const TVTCompareEvent& Compare,
                    bool DoInit = true);

  // Walks.
  PVirtualNode GetFirst();
  PVirtualNode GetNext(PVirtualNode Node);
  PVirtualNode GetNextNoInit(PVirtualNode Node) const;
  PVirtualNode GetFirstVisible() const;
  PVirtualNode GetNextVisible(PVirtualNode Node) const;
  PVirtualNode GetPreviousVisible(PVirtualNode Node) const;
  PVirtualNode GetLast(PVirtualNode Node = nullptr);
  PVirtualNode GetLastVisible() const;
  uint32_t GetNodeLevel(PVirtualNode Node) const;
  bool HasAsParent(PVirtualNode Node, PVirtualNode PotentialParent) const;
  int CompareNodePositions(PVirtualNode Node1, PVirtualNode Node2) const;
  uint32_t CountVisibleChildren(PVirtualNode Node) const;
  uint32_t AbsoluteIndex(PVirtualNode Node);
  bool IsVisiblePath(PVirtualNode Node) const;
  // The top of the node's row in the laid-out content (collapsed branches
  // take no room); the node must be visible.
  uint32_t GetNodeTop(PVirtualNode Node) const;

  // Update blocks.
  void BeginUpdate();
  void EndUpdate();

  // Focus, selection and check states.
  PVirtualNode FocusedNode() const { return focusedNode; }
  void SetFocusedNode(PVirtualNode Node);
  int FocusedColumn() const { return focusedColumn; }
  void SetFocusedColumn(int Column);
  bool Selected(PVirtualNode Node) const { return Node && !IsRootNode(Node) && (Node->States & nsSelected); }
  void SetSelected(PVirtualNode Node, bool Value);
  void ClearSelection();
  uint32_t SelectedCount() const { return static_cast<uint32_t>(selection.size()); }
  // The selected nodes, sorted by address.
  const std::vector<PVirtualNode>& Selection() const { return selection; }
  // The selected nodes in tree order.
  std::vector<PVirtualNode> GetSortedSelection(bool TopmostOnly) const;
  void SetCheckState(PVirtualNode Node, TCheckState Value);
  virtual int GetCheckImage(PVirtualNode Node) const;

  virtual void InvalidateNode(PVirtualNode Node);
  void InvalidateToBottom(PVirtualNode Node);

  // Consistency of every count, height and link, for assertions and tests;
  // returns false at the first fault.
  bool CheckStructure() const;
  const TPositionCache& PositionCache() const { return *cache; }

protected:
  // The hooks, each firing its event.
  virtual void DoInitNode(PVirtualNode Parent, PVirtualNode Node, TVirtualNodeInitStates& InitStates);
  virtual void DoInitChildren(PVirtualNode Node, uint32_t& ChildCount);
  virtual void DoFreeNode(PVirtualNode Node);
  virtual int DoGetNodeDataSize();
  virtual void DoChange(PVirtualNode Node);
  virtual void DoChangeNow(PVirtualNode Node);
  virtual void DoStructureChange(PVirtualNode Node);
  virtual void DoStructureChangeNow(PVirtualNode Node);
  virtual bool DoChecking(PVirtualNode Node, TCheckState& NewState);
  virtual void DoChecked(PVirtualNode Node);
  virtual bool DoCollapsing(PVirtualNode Node);
  virtual void DoCollapsed(PVirtualNode Node);
  virtual bool DoExpanding(PVirtualNode Node);
  virtual void DoExpanded(PVirtualNode Node);
  virtual bool DoFocusChanging(PVirtualNode OldNode, PVirtualNode NewNode, int OldColumn, int NewColumn);
  virtual void DoFocusChange(PVirtualNode Node, int Column);
  virtual void DoReset(PVirtualNode Node);
  virtual bool DoNodeMoving(PVirtualNode Node, PVirtualNode NewParent);
  virtual void DoNodeMoved(PVirtualNode Node);
  virtual bool DoNodeCopying(PVirtualNode Node);
  virtual void DoNodeCopied(PVirtualNode Node);
  // A node whose row or text changed: descendants drop what they measured.
  virtual void NodeChanged(PVirtualNode Node) {}
  // A node is about to be freed; descendants forget what refers to it.
  virtual void ForgetNode(PVirtualNode Node) {}
  virtual void EndEditNode() {}
  // The scroll bars follow the totals; repaint requests go to the viewport.
  virtual void UpdateScrollBars() {}
  virtual void ScrollIntoView(PVirtualNode Node, bool Center) {}
  void InvalidateControl();

  bool InUpdate() const { return updateCount > 0; }
  void AttachNode(PVirtualNode Node, PVirtualNode Destination, TVTNodeAttachMode Mode);
  // Takes a node (with its subtree) out of its parent's chain and totals.
  void UnlinkNode(PVirtualNode Node);
  PVirtualNode MakeNewNode();
  void AdjustTotalHeight(PVirtualNode Node, int64_t Value, bool Relative);
  void AdjustTotalCount(PVirtualNode Node, int64_t Value, bool Relative);
  void AddToSelection(PVirtualNode Node, bool Forced);
  void RemoveFromSelection(PVirtualNode Node);
  // Around every write to nodes: the worker must not read them meanwhile.
  void StopValidation() { InterruptValidation(*cache); }
  void StructureChanged();
  void ResumeValidation();

  TVirtualTreeStates states;
  PVirtualNode hotNode = nullptr;
  PVirtualNode checkNode = nullptr;  // whose check box the mouse presses
  PVirtualNode dropTargetNode = nullptr;
  PVirtualNode rangeAnchor = nullptr;
  PVirtualNode editNode = nullptr;

private:
  void MakeRootNode();
  void FreeRootNode();
  void FreeNodeBlock(PVirtualNode Node);
  void DeleteBranch(PVirtualNode Node);
  void ForgetReferences(PVirtualNode Node);
  void SetCheckStateInner(PVirtualNode Node, TCheckState Value);
  void UpdateParentCheckState(PVirtualNode Node);
  void FireChangeTimer();
  void FireStructureTimer();
  void CollapseAfterFocusMove(PVirtualNode OldNode, PVirtualNode NewNode);

  TGuiLife<TBaseVirtualTree> life{this};
  PVirtualNode root = nullptr;
  std::unique_ptr<TPositionCache> cache;
  uint32_t defaultNodeHeight = 18;
  uint32_t indent = 18;
  int nodeDataSize = 0;
  int totalInternalDataSize = 0;
  int changeDelay = 0;
  uint32_t updateCount = 0;
  uint32_t visibleCount = 0;
  TVirtualTreeOptions options = DefaultVirtualTreeOptions;
  PVirtualNode focusedNode = nullptr;
  int focusedColumn = NoColumn;
  std::vector<PVirtualNode> selection;  // sorted by address
  int selectionLevel = -1;              // the level-select constraint's level
  PVirtualNode lastChangedNode = nullptr;
  TTimer changeTimer;
  TTimer structureChangeTimer;

protected:
  // For descendants that reserve per-node data (before any node is made).
  void SetTotalInternalDataSize(int Size);
  void* GetInternalData(PVirtualNode Node) const {
    return reinterpret_cast<uint8_t*>(Node) + sizeof(TVirtualNode);
  }
};
