#pragma once
// The virtual tree view: a tree of fixed-size node records that stores no
// texts of its own. Nodes are made empty and filled lazily through
// OnInitNode and OnInitChildren; every event goes through its Do... hook.
//
// Threading: every member runs on the GUI thread. Other threads reach a
// tree only through Ref().Post, which runs the call on the GUI thread while
// the tree is alive; the call checks with ContainsNode that its node still
// exists. The position cache worker reads nodes (see VTreeCache.h).

#include <QImage>
#include <QPointer>
#include <set>
#include <memory>
#include <vector>

#include "VTreeCache.h"
#include "VTreeHeader.h"
#include "VTreeNodePool.h"
#include "VTreeTypes.h"
#include "VTreeWalk.h"
#include "uiControlHost.h"
#include "uiPostToGui.h"
#include "uiTimer.h"

class TBitmap;
class TCanvas;
class TImageList;
class TStream;
class IVTEditLink;

enum TCheckImageKind { ckLightCheck, ckDarkCheck, ckLightTick, ckDarkTick };
enum TVTDragImageKind { diComplete, diMainColumnOnly, diNoImage };
enum TItemEraseAction { eaDefault = 0, eaColor = 1, eaNone = 2 };
enum TDropMode { dmNowhere, dmAbove, dmOnNode, dmBelow };
enum TVTHintMode { hmDefault, hmHint, hmHintAndDefault, hmTooltip };
enum THintAnimationType { hatNone, hatFade, hatSlide };
enum TScrollBars { ssNone, ssHorizontal, ssVertical, ssBoth };
enum TOLEFormat { ofNative, ofUnicodeText, ofText };
using TOLEFormats = TSet<TOLEFormat>;

// Hit-test position flags.
enum : uint16_t {
  hiAbove = 1,
  hiBelow = 2,
  hiNowhere = 4,
  hiOnItem = 8,
  hiOnItemButton = 16,
  hiOnNormalIcon = 32,
  hiOnItemCheckbox = 64,
  hiOnItemIndent = 128,
  hiOnItemLabel = 256,
  hiOnItemRight = 512,
  hiToLeft = 2048,
  hiToRight = 4096,
};

struct THitInfo {
  PVirtualNode HitNode = nullptr;
  int HitColumn = NoColumn;
  uint16_t HitPositions = 0;
};

// What one cell's painting gets.
struct TVTPaintInfo {
  TCanvas* Canvas = nullptr;
  PVirtualNode Node = nullptr;
  int Column = InvalidColumn;
  int Position = 0;
  TRect CellRect;
  TRect ContentRect;  // the text's room: right of the images
};

// The switches of PaintTree.
struct TVTPaintOptions {
  bool GridLines = true;
  bool Background = true;
  bool MainColumnOnly = false;
  bool SelectedOnly = false;
};

struct TScrollBarOptions {
  bool AlwaysVisible = false;
  TScrollBars ScrollBars = ssBoth;
  TScrollBarStyle ScrollBarStyle = sbmRegular;
};

using TVTColumnEvent = std::function<void(TBaseVirtualTree* Sender, int Column)>;
using TVTHeaderClickEvent = std::function<void(TBaseVirtualTree* Sender, int Column)>;
using TVTDrawHeaderEvent = std::function<void(TBaseVirtualTree* Sender, TCanvas& Canvas, int Column, const TRect& R,
                                              bool Hover, bool Pressed)>;
using TVTPaintEvent = std::function<void(TBaseVirtualTree* Sender, TCanvas& Canvas)>;
using TVTBeforeItemPaintEvent = std::function<void(TBaseVirtualTree* Sender, TCanvas& Canvas, PVirtualNode Node,
                                                   const TRect& ItemRect, bool& CustomDraw)>;
using TVTBeforeItemEraseEvent = std::function<void(TBaseVirtualTree* Sender, TCanvas& Canvas, PVirtualNode Node,
                                                   const TRect& ItemRect, TColor& Color, TItemEraseAction& Action)>;
using TVTItemEvent =
    std::function<void(TBaseVirtualTree* Sender, TCanvas& Canvas, PVirtualNode Node, const TRect& ItemRect)>;
using TVTHotNodeChangeEvent = std::function<void(TBaseVirtualTree* Sender, PVirtualNode OldNode, PVirtualNode NewNode)>;
using TVTEditChangingEvent =
    std::function<void(TBaseVirtualTree* Sender, PVirtualNode Node, int Column, bool& Allowed)>;
using TVTEditChangeEvent = std::function<void(TBaseVirtualTree* Sender, PVirtualNode Node, int Column)>;
using TVTEditCancelEvent = std::function<void(TBaseVirtualTree* Sender, int Column)>;
using TVTCreateEditorEvent = std::function<void(TBaseVirtualTree* Sender, PVirtualNode Node, int Column,
                                                std::shared_ptr<IVTEditLink>& EditLink)>;
using TVTSaveNodeEvent = std::function<void(TBaseVirtualTree* Sender, PVirtualNode Node, TStream& Stream)>;
using TVTHelpContextEvent =
    std::function<void(TBaseVirtualTree* Sender, PVirtualNode Node, int Column, int& HelpContext)>;
using TVTDragOverEvent = std::function<void(TBaseVirtualTree* Sender, TBaseVirtualTree* Source, Qt::KeyboardModifiers Shift,
                                            TPoint Pt, TDropMode Mode, Qt::DropAction& Effect, bool& Accept)>;
using TVTDragDropEvent = std::function<void(TBaseVirtualTree* Sender, TBaseVirtualTree* Source,
                                            const std::vector<std::string>& Formats, Qt::KeyboardModifiers Shift,
                                            TPoint Pt, Qt::DropAction& Effect, TDropMode Mode)>;

// The toggle animation moves the rows below a node this many pixels a
// frame, pausing this long after each.
constexpr int ToggleAnimationStep = 10;
constexpr int ToggleStepPauseMs = 1;

// Debug builds check the whole structure after deletions and update blocks
// of trees up to this many nodes.
constexpr uint32_t StructureCheckLimit = 5000;

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
  TVTColumnEvent OnColumnResize;
  TVTHeaderClickEvent OnHeaderClick;
  TVTDrawHeaderEvent OnDrawHeader;
  TVTPaintEvent OnBeforePaint;
  TVTPaintEvent OnAfterPaint;
  TVTBeforeItemPaintEvent OnBeforeItemPaint;
  TVTBeforeItemEraseEvent OnBeforeItemErase;
  TVTItemEvent OnAfterItemErase;
  TVTItemEvent OnAfterItemPaint;
  TVTHotNodeChangeEvent OnHotChange;
  TVTEditChangingEvent OnEditing;
  TVTEditChangeEvent OnEdited;
  TVTEditCancelEvent OnEditCancelled;
  TVTCreateEditorEvent OnCreateEditor;
  TVTSaveNodeEvent OnSaveNode;
  TVTSaveNodeEvent OnLoadNode;
  TVTDragOverEvent OnDragOver;
  TVTDragDropEvent OnDragDrop;
  // F1 asks it for the focused node, then its ancestors, until one gives a
  // context other than 0; F1 does nothing while it is unassigned.
  TVTHelpContextEvent OnGetHelpContext;

  // A reference other threads may hold and post calls through.
  TGuiRef<TBaseVirtualTree> Ref() const { return TGuiRef<TBaseVirtualTree>(life.Token()); }
  // The tree that owns Node, found by its parent links alone; nil for nil.
  static TBaseVirtualTree* TreeFromNode(PVirtualNode Node);
  // The trees alive in this process (GUI thread only): a tree named by
  // clipboard or drag data is used only when it is still among them.
  static std::set<TBaseVirtualTree*>& LiveTrees();
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
  // The selected nodes in tree order.
  std::vector<PVirtualNode> GetSortedSelection(bool TopmostOnly) const;
  void SetCheckState(PVirtualNode Node, TCheckState Value);
  virtual int GetCheckImage(PVirtualNode Node) const;

  virtual void InvalidateNode(PVirtualNode Node);
  void InvalidateToBottom(PVirtualNode Node);

  // Header, look and painting.
  TVTHeader& Header() { return *header; }
  const TVTHeader& Header() const { return *header; }
  TFont& Font() { return font; }
  virtual void FontChanged();
  TColor Color() const { return color; }
  void SetColor(TColor Value);
  TColor TreeLineColor() const { return treeLineColor; }
  void SetTreeLineColor(TColor Value);
  TColor GridLineColor() const { return gridLineColor; }
  void SetGridLineColor(TColor Value);
  TColor DropMarkColor() const { return dropMarkColor; }
  void SetDropMarkColor(TColor Value) { dropMarkColor = Value; }
  int Margin() const { return margin; }
  void SetMargin(int Value);
  TImageList* Images() const { return images; }
  void SetImages(TImageList* Value);
  TImageList* StateImages() const { return stateImages; }
  void SetStateImages(TImageList* Value);
  TCheckImageKind CheckImageKind() const { return checkImageKind; }
  void SetCheckImageKind(TCheckImageKind Value);
  // The background picture, used with voShowBackground; the tree does not
  // own it.
  void SetBackground(const TBitmap* Picture);
  TVTDragImageKind DragImageKind() const { return dragImageKind; }
  void SetDragImageKind(TVTDragImageKind Value) { dragImageKind = Value; }
  // What the data object offers: the native formats, and text (both text
  // formats are Qt's one text).
  TOLEFormats OLEFormats() const { return oleFormats; }
  void SetOLEFormats(TOLEFormats Value) { oleFormats = Value; }
  TVTNodeAttachMode DefaultPasteMode() const { return defaultPasteMode; }
  void SetDefaultPasteMode(TVTNodeAttachMode Value) { defaultPasteMode = Value; }
  TScrollBarOptions ScrollBarOptions() const { return scrollBarOptions; }
  void SetScrollBarOptions(TScrollBarOptions Value);
  int AutoScrollDelay() const { return autoScrollDelay; }
  void SetAutoScrollDelay(int Value) { autoScrollDelay = Value; }
  int AutoScrollInterval() const { return autoScrollInterval; }
  void SetAutoScrollInterval(int Value);
  TVTHintMode HintMode() const { return hintMode; }
  void SetHintMode(TVTHintMode Value) { hintMode = Value; }
  THintAnimationType HintAnimation() const { return hintAnimation; }
  void SetHintAnimation(THintAnimationType Value) { hintAnimation = Value; }
  const std::string& Hint() const { return hint; }
  void SetHint(const std::string& Value) { hint = Value; }
  bool ShowHint() const { return showHint; }
  void SetShowHint(bool Value) { showHint = Value; }
  // Glyphs of the header's drop mark.
  const TImageList* UtilityImages() const;
  const TImageList& CheckImages() const;

  int ClientWidth() const { return Viewport()->width(); }
  int ClientHeight() const { return Viewport()->height(); }
  // Paints the content area Window (content coordinates) into Target at
  // Origin; the paint loop of the viewport uses it too.
  void PaintTree(TCanvas& Target, const TRect& Window, TPoint Origin, const TVTPaintOptions& PaintOptions);
  // Renders the whole control (frame, header and viewport) into an image.
  QImage RenderToImage();

  // Scrolling and geometry.
  int OffsetX() const { return offsetX; }
  int OffsetY() const { return offsetY; }
  void SetOffsetX(int Value);
  void SetOffsetY(int Value);
  uint32_t RangeX() const { return rangeX; }
  uint32_t RangeY() const;
  void UpdateScrollBars();
  void UpdateHorizontalScrollBar();
  void UpdateVerticalScrollBar();
  void ScrollIntoView(PVirtualNode Node, bool Center);
  // The node whose row holds Y (client coordinates) and that row's top,
  // also in client coordinates; nil below the last node.
  PVirtualNode GetNodeAt(int X, int Y, int* NodeTop = nullptr);
  THitInfo GetHitTestInfoAt(int X, int Y);
  // True when the cell's text sits at its right: the column's mode, or the
  // tree's without columns.
  bool RightToLeftText(int Column) const;
  // The node's cell (or, with TextOnly, its text) in client coordinates.
  TRect GetDisplayRect(PVirtualNode Node, int Column, bool TextOnly);
  // The x where the node's content in the main column starts: its level's
  // indent and the margin (client coordinates).
  int GetNodeContentLeft(PVirtualNode Node) const;
  PVirtualNode HotNode() const { return hotNode; }
  PVirtualNode DropTargetNode() const { return dropTargetNode; }
  TDropMode LastDropMode() const { return dropMode; }

  // Input (the viewport's events go here; tests send them directly).
  void HandleMouseDown(int X, int Y, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, bool DoubleClick = false);
  void HandleMouseMove(int X, int Y, Qt::MouseButtons Buttons, Qt::KeyboardModifiers Shift);
  void HandleMouseUp(int X, int Y, Qt::MouseButton Button, Qt::KeyboardModifiers Shift);
  void HandleMouseWheel(int Delta);
  void HandleMouseLeave();
  // True when the key was used.
  bool HandleKeyDown(int Key, Qt::KeyboardModifiers Shift);
  void HandleKeyUp(int Key, Qt::KeyboardModifiers Shift);
  void FocusChanged(bool Focused);
  bool Focused() const { return hasFocus; }
  TTimer& AutoScrollTimer() { return autoScrollTimer; }
  // The selection rectangle in content coordinates while it is drawn.
  TRect SelectionRect() const;

  // In-place editing.
  bool EditNode(PVirtualNode Node, int Column);
  bool CancelEditNode();
  bool EndEditNode();
  bool IsEditing() const { return states.Contains(tsEditing); }
  IVTEditLink* EditLink() const { return editLink.get(); }

  // Streams, moves and the clipboard.
  virtual void SaveToStream(TStream& Stream, PVirtualNode Node = nullptr);
  virtual void LoadFromStream(TStream& Stream);
  void SaveToFile(const std::string& FileName);
  void LoadFromFile(const std::string& FileName);
  void MoveTo(PVirtualNode Source, PVirtualNode Target, TVTNodeAttachMode Mode, bool ChildrenOnly);
  void CopyToClipboard();
  void CutToClipboard();
  virtual bool PasteFromClipboard();
  void CancelCutOrCopy();
  void FlushClipboard();
  // The data the tree offers for its selected nodes (clipboard and drags).
  class QMimeData* CreateDataObject();
  // Inserts offered data at Target by Mode: nodes of a tree of this process
  // are moved (Move) or copied, others read from the native stream. From
  // the clipboard, the nodes are those the cut or copy marked, else the
  // dragged selection. True when something was inserted.
  struct TDropOptions {
    bool Move = false;
    bool FromClipboard = false;
  };
  bool ProcessDrop(const class QMimeData* Data, PVirtualNode Target, TVTNodeAttachMode Mode, TDropOptions Options);
  // Drag and drop by events the tests can make: the drop target's side.
  void HandleDragEnter(const class QMimeData* Data);
  Qt::DropAction HandleDragOver(const class QMimeData* Data, TPoint Pt, Qt::DropActions Allowed,
                                Qt::KeyboardModifiers Shift);
  void HandleDragLeave();
  Qt::DropAction HandleDrop(const class QMimeData* Data, TPoint Pt, Qt::DropActions Allowed,
                            Qt::KeyboardModifiers Shift);
  // The selected rows on screen as an image (DragImageKind says which
  // columns); null when none is on screen.
  QImage MakeDragImage();
  // The dragging side: after a move was dropped elsewhere, the dragged
  // nodes go.
  void DragFinished(Qt::DropAction Effect);

  // Hints: the text and place of the hint at a client point, as the hint
  // manager asks for it; false when no hint is to show.
  bool GetHintAt(TPoint Pt, std::string& Text, TRect& Rect);
  // Shows the hint for a client point (the header lies above 0); false
  // when there is none or a node went meanwhile.
  bool ShowHintAt(TPoint Pt);
  void HideHint();
  class THintWindow* HintWindow() const { return hintWindow.get(); }

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
  void InvalidateControl();

  // Painting hooks.
  virtual void DoBeforePaint(TCanvas& Canvas);
  virtual void DoAfterPaint(TCanvas& Canvas);
  virtual bool DoBeforeItemPaint(TCanvas& Canvas, PVirtualNode Node, const TRect& ItemRect);
  virtual void DoBeforeItemErase(TCanvas& Canvas, PVirtualNode Node, const TRect& ItemRect, TColor& Color,
                                 TItemEraseAction& Action);
  virtual void DoAfterItemErase(TCanvas& Canvas, PVirtualNode Node, const TRect& ItemRect);
  virtual void DoAfterItemPaint(TCanvas& Canvas, PVirtualNode Node, const TRect& ItemRect);
  virtual void DoPaintNode(TVTPaintInfo& PaintInfo) {}
  virtual void DoPaintDropMark(TCanvas& Canvas, PVirtualNode Node, const TRect& R);
  // Called before a row's cells: descendants gather what the row needs.
  virtual void PrepareRow(PVirtualNode Node) {}
  virtual void PreparePaint() {}
  virtual int DoGetImageIndex(PVirtualNode Node, TVTImageKind Kind, int Column);
  // The width of the node's content in a column (the text, for strings).
  virtual int GetNodeWidth(PVirtualNode Node, int Column) { return 0; }
  virtual bool ColumnIsEmpty(PVirtualNode Node, int Column) { return false; }
  // The cell a column spans into, with voAutoSpanColumns.
  int GetNextSpanColumn(PVirtualNode Node, int Column);

  // Header hooks.
  virtual void DoColumnResize(int Column);
  virtual void DoHotChange(PVirtualNode OldNode, PVirtualNode NewNode);

  // Editing hooks.
  virtual std::shared_ptr<IVTEditLink> CreateEditor(PVirtualNode Node, int Column);
  virtual bool DoEditing(PVirtualNode Node, int Column);
  virtual void DoEdit();
  virtual void DoEndEdit();
  virtual void DoCancelEdit();

  // Stream hooks.
  virtual void WriteNode(TStream& Stream, PVirtualNode Node);
  virtual void ReadNode(TStream& Stream, PVirtualNode Node, int64_t Limit);
  virtual bool ReadChunk(TStream& Stream, PVirtualNode Node, uint32_t ChunkType, uint32_t ChunkSize);
  virtual void DoSaveUserData(PVirtualNode Node, TStream& Stream);
  virtual void DoLoadUserData(PVirtualNode Node, TStream& Stream);
  // Descendants add their chunks after the base ones.
  virtual void WriteDescendantChunks(TStream& Stream, PVirtualNode Node) {}
  // The texts of the selected nodes for the text formats.
  virtual std::string ContentToText();
  virtual std::string GetNodeHint(PVirtualNode Node, int Column);
  // The node's own text, for tooltips of cut-off texts.
  virtual std::string TooltipText(PVirtualNode Node, int Column) { return {}; }
  virtual bool DoDragOver(TBaseVirtualTree* Source, Qt::KeyboardModifiers Shift, TPoint Pt, TDropMode Mode,
                          Qt::DropAction& Effect);

  bool ViewportEvent(QEvent* Event) override;
  bool HeaderEvent(QEvent* Event) override;
  void ScrollBarMoved(Qt::Orientation Orientation, int Position) override;
  void LayoutChanged() override;
  void BiDiModeChanged() override;
  void keyPressEvent(QKeyEvent* Event) override;
  void keyReleaseEvent(QKeyEvent* Event) override;
  void focusInEvent(QFocusEvent* Event) override;
  void focusOutEvent(QFocusEvent* Event) override;


  bool InUpdate() const { return updateCount > 0; }
  void AttachNode(PVirtualNode Node, PVirtualNode Destination, TVTNodeAttachMode Mode);
  // Takes a node (with its subtree) out of its parent's chain and totals.
  void UnlinkNode(PVirtualNode Node);
  PVirtualNode MakeNewNode();
  // The bytes of one node block (asks the data size when unknown).
  size_t NodeBlockSize();
  TNodePool& NodePool();
  void AdjustTotalHeight(PVirtualNode Node, int64_t Value, bool Relative);
  void AdjustTotalCount(PVirtualNode Node, int64_t Value, bool Relative);
  void AddToSelection(PVirtualNode Node, bool Forced);
  void RemoveFromSelection(PVirtualNode Node);
  // Around every write to nodes: the worker must not read them meanwhile.
  void StopValidation() {
    InterruptValidation(*cache);
    lastHit = {};
  }
  void StructureChanged();
  void ResumeValidation();
  // Keeps the worker off this tree for a whole operation, also while the
  // application's handlers run inside it (they may write nodes too): one
  // stop before, one resume after, none in between.
  class THoldValidation {
  public:
    explicit THoldValidation(TBaseVirtualTree& Tree) : tree(Tree) {
      if (tree.validationHeld++ == 0) InterruptValidation(*tree.cache);
      tree.lastHit = {};
    }
    THoldValidation(const THoldValidation&) = delete;
    THoldValidation& operator=(const THoldValidation&) = delete;
    ~THoldValidation() {
      if (--tree.validationHeld == 0) tree.ResumeValidation();
    }

  private:
    TBaseVirtualTree& tree;
  };

private:
  TVirtualTreeStates states;
  std::shared_ptr<IVTEditLink> editLink;
  int editColumn = NoColumn;
  PVirtualNode hotNode = nullptr;
  int hotColumn = NoColumn;
  PVirtualNode checkNode = nullptr;  // whose check box the mouse presses
  PVirtualNode dropTargetNode = nullptr;
  PVirtualNode rangeAnchor = nullptr;
  PVirtualNode editNode = nullptr;

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
  // Moves the focus once DoFocusChanging allowed it.
  void ChangeFocus(PVirtualNode Node, int Column);

  friend class TVTHeader;
  friend class TVirtualTreeColumns;
  friend class TVirtualTreeColumn;
  // From the header and its columns.
  void ColumnsChanged();
  void ColumnResized(int Column);
  void HeaderLayoutChanged();
  void HeaderMouseDown();
  bool DoHeaderDragging(int Column) { return true; }
  void DoHeaderDragged(int Column, int OldPosition) {}
  void DoHeaderClick(int Column);
  bool DoDrawHeader(TCanvas& Canvas, int Column, const TRect& R, bool Hover, bool Pressed);

  // Painting pieces.
  void PaintViewport(const QRect& Update);
  // With voAnimatedToggle and the node's row on screen: the rows below it
  // slide Distance pixels (at most the client height) before it toggles.
  void AnimateToggle(PVirtualNode Node, uint64_t Distance, bool Opening);
  void PaintRow(TCanvas& Canvas, PVirtualNode Node, int RowTop, const TRect& Window, int Level,
                const std::vector<uint8_t>& Lines, const TVTPaintOptions& PaintOptions);
  void PaintTreeLines(TCanvas& Canvas, PVirtualNode Node, const TRect& Cell, int Level,
                      const std::vector<uint8_t>& Lines, int CenterY);
  void BuildLineKinds(PVirtualNode Node, std::vector<uint8_t>& Lines) const;
  uint32_t NodeLevelForDisplay(PVirtualNode Node) const;
  int ImageCenter(PVirtualNode Node) const;
  void EraseBackground(TCanvas& Canvas, const TRect& R, int ContentTop);

  // Input pieces.
  void HandleClick(const THitInfo& Hit, Qt::KeyboardModifiers Shift, bool DoubleClick);
  void SelectRange(PVirtualNode From, PVirtualNode To, bool AddOnly);
  void UpdateDrawSelection();
  void DoAutoScroll();
  void SetHotNode(PVirtualNode Node, int Column);
  void AdvanceCheckState(PVirtualNode Node);
  void MoveFocus(PVirtualNode Node, Qt::KeyboardModifiers Shift);
  // F1: the node's context, else the control's or a parent's, through the
  // application's help.
  void ShowHelp();
  void ReleaseEditLink();
  uint32_t ComputeRangeX();

  // Stream pieces.
  void WriteNodeRecord(TStream& Stream, PVirtualNode Node);
  void ResolveReadSelection(PVirtualNode Node);
  void ClearCutMarks();
  // Empties the clipboard when it still holds this tree's data.
  void ReleaseClipboard();
  std::vector<PVirtualNode> MarkedNodes(bool TopmostOnly) const;
  TDropMode DropModeAt(TPoint Pt, PVirtualNode& Node);
  bool InsertFromStream(TStream& Stream, PVirtualNode Target, TVTNodeAttachMode Mode, bool Copying);

  TGuiLife<TBaseVirtualTree> life{this};
  std::unique_ptr<TVTHeader> header;
  TFont font;
  TColor color = clWindow;
  TColor treeLineColor = clBtnFace;
  TColor gridLineColor = clBtnFace;
  TColor dropMarkColor = RGBColor(192, 192, 192);
  int margin = 4;
  TImageList* images = nullptr;
  TImageList* stateImages = nullptr;
  const TBitmap* background = nullptr;
  TCheckImageKind checkImageKind = ckLightCheck;
  TVTDragImageKind dragImageKind = diComplete;
  TVTNodeAttachMode defaultPasteMode = amAddChildLast;
  TOLEFormats oleFormats{ofNative, ofUnicodeText, ofText};
  TScrollBarOptions scrollBarOptions;
  int autoScrollDelay = 1000;
  int autoScrollInterval = 1;
  TVTHintMode hintMode = hmDefault;
  THintAnimationType hintAnimation = hatNone;
  std::string hint;
  bool showHint = false;
  int offsetX = 0;
  int offsetY = 0;
  uint32_t rangeX = 0;
  bool hasFocus = false;
  bool rendering = false;  // drawn off screen: measured as if shown
  std::unique_ptr<TBitmap> rowBuffer;
  QImage animationFrame;  // shown instead of the rows while a toggle animates
  std::unique_ptr<class THintWindow> hintWindow;
  // Mouse tracking.
  TPoint mouseDownAt;
  TPoint selectionAnchor;  // content coordinates
  TPoint selectionCorner;
  std::vector<PVirtualNode> selectionAtStart;
  PVirtualNode pendingEditNode = nullptr;
  TDropMode dropMode = dmNowhere;
  const class QMimeData* clipboardData = nullptr;  // what this tree put there
  std::vector<PVirtualNode> draggedNodes;
  bool dropTakenInProcess = false;
  uint8_t autoScrollDirections = 0;
  TTimer expandTimer;      // 1
  TTimer editTimer;        // 2
  TTimer autoScrollTimer;  // 4
  PVirtualNode root = nullptr;
  std::unique_ptr<TNodePool> pool;  // every node but the root
  std::unique_ptr<TPositionCache> cache;
  // The row GetNodeAt found last: the next look-up near it walks a few rows
  // from there. Dropped at every write to a node.
  TCacheEntry lastHit;
  int validationHeld = 0;
  bool cacheDropped = false;  // emptied inside a block or hold, not queued
  uint32_t defaultNodeHeight = 18;
  uint32_t indent = 18;
  int nodeDataSize = 0;
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

};
