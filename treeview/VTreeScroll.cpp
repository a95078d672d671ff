// Settings of the look, the header's glue, scrolling, positions, hit tests
// and the routing of the host's events.

#include <QFocusEvent>
#include <QDropEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QWheelEvent>
#include <algorithm>

#include "VTree.h"
#include "VTreeImages.h"
#include "uiGraphicsBitmap.h"
#include "uiCanvasQt.h"
#include "uiImageList.h"

void TBaseVirtualTree::FontChanged() {
  NodeChanged(nullptr);
  InvalidateControl();
}

void TBaseVirtualTree::SetColor(TColor Value) {
  color = Value;
  InvalidateControl();
}

void TBaseVirtualTree::SetTreeLineColor(TColor Value) {
  treeLineColor = Value;
  InvalidateControl();
}

void TBaseVirtualTree::SetGridLineColor(TColor Value) {
  gridLineColor = Value;
  InvalidateControl();
}

void TBaseVirtualTree::SetMargin(int Value) {
  if (margin == Value) return;
  margin = Value;
  InvalidateControl();
}

void TBaseVirtualTree::SetImages(TImageList* Value) {
  images = Value;
  InvalidateControl();
}

void TBaseVirtualTree::SetStateImages(TImageList* Value) {
  stateImages = Value;
  InvalidateControl();
}

void TBaseVirtualTree::SetCheckImageKind(TCheckImageKind Value) {
  checkImageKind = Value;
  InvalidateControl();
}

void TBaseVirtualTree::SetBackground(const TBitmap* Picture) {
  background = Picture;
  InvalidateControl();
}

void TBaseVirtualTree::SetScrollBarOptions(TScrollBarOptions Value) {
  scrollBarOptions = Value;
  SetScrollBarStyle(Value.ScrollBarStyle);
  UpdateScrollBars();
}

void TBaseVirtualTree::SetAutoScrollInterval(int Value) { autoScrollInterval = std::clamp(Value, 1, 1000); }

// The header's glue ------------------------------------------------------------

void TBaseVirtualTree::ColumnsChanged() {
  UpdateHorizontalScrollBar();
  InvalidateControl();
  HeaderArea()->update();
}

void TBaseVirtualTree::ColumnResized(int Column) {
  DoColumnResize(Column);
  if (states.Contains(tsLoading)) return;
  header->AutoFitColumns();
  UpdateHorizontalScrollBar();
  InvalidateControl();
  HeaderArea()->update();
  if (OnColumnResize) OnColumnResize(this, Column);
  if (IsEditing() && (Column == editColumn || Column == header->AutoSizeIndex())) {
    // The editor follows its cell.
    EndEditNode();
  }
}

void TBaseVirtualTree::DoColumnResize(int Column) {}

void TBaseVirtualTree::HeaderLayoutChanged() {
  SetHeaderHeight(header->Options().Contains(hoVisible) ? header->Height() : 0);
}

void TBaseVirtualTree::HeaderMouseDown() {
  editTimer.Stop();
  autoScrollTimer.Stop();
}

void TBaseVirtualTree::DoHeaderClick(int Column) {
  if (OnHeaderClick) OnHeaderClick(this, Column);
}

bool TBaseVirtualTree::DoDrawHeader(TCanvas& Canvas, int Column, const TRect& R, bool Hover, bool Pressed) {
  if (!OnDrawHeader) return false;
  OnDrawHeader(this, Canvas, Column, R, Hover, Pressed);
  return true;
}

void TBaseVirtualTree::DoHotChange(PVirtualNode OldNode, PVirtualNode NewNode) {
  if (OnHotChange) OnHotChange(this, OldNode, NewNode);
}

// Scrolling --------------------------------------------------------------------

uint32_t TBaseVirtualTree::RangeY() const { return root->TotalHeight - root->NodeHeight; }

void TBaseVirtualTree::SetOffsetY(int Value) {
  const int range = static_cast<int>(RangeY());
  const int lowest = std::min(0, ClientHeight() - range);
  Value = std::clamp(Value, lowest, 0);
  if (Value == offsetY) return;
  offsetY = Value;
  InvalidateControl();
  UpdateVerticalScrollBar();
}

void TBaseVirtualTree::SetOffsetX(int Value) {
  const int lowest = std::min(0, ClientWidth() - static_cast<int>(rangeX));
  Value = std::clamp(Value, lowest, 0);
  if (Value == offsetX) return;
  offsetX = Value;
  InvalidateControl();
  HeaderArea()->update();
  UpdateHorizontalScrollBar();
}

uint32_t TBaseVirtualTree::ComputeRangeX() {
  if (header->UseColumns()) return static_cast<uint32_t>(header->Columns().TotalWidth());
  // The largest right edge among the rows on screen; a tree not on screen
  // initialises nothing for it.
  if (!isVisible() && !rendering) return rangeX;
  THoldValidation hold(*this);
  int top = 0;
  PVirtualNode node = GetNodeAt(0, 0, &top);
  int widest = 0;
  const int checkWidth = options.Contains(voCheckSupport) ? CheckImages().Width() + 2 : 0;
  for (; node && top < ClientHeight(); node = GetNextVisible(node)) {
    if (!(node->States & nsInitialized)) InitNode(node);
    int right = static_cast<int>(NodeLevelForDisplay(node) * indent) + margin + GetNodeWidth(node, -1);
    if (node->CheckType != ctNone) right += checkWidth;
    if (stateImages && DoGetImageIndex(node, ikState, -1) >= 0) right += stateImages->Width() + 2;
    if (images && DoGetImageIndex(node, ikNormal, -1) >= 0) right += images->Width() + 2;
    widest = std::max(widest, right);
    top += node->NodeHeight;
  }
  return static_cast<uint32_t>(widest);
}

void TBaseVirtualTree::UpdateScrollBars() {
  if (InUpdate()) return;
  UpdateVerticalScrollBar();
  UpdateHorizontalScrollBar();
}

void TBaseVirtualTree::UpdateVerticalScrollBar() {
  if (InUpdate() || states.Contains(tsDestroying)) return;
  TScrollBarSettings bar;
  const int range = static_cast<int>(RangeY());
  if (range > ClientHeight()) {
    bar.Maximum = range;
    bar.Page = ClientHeight();
    bar.Position = -offsetY;
    bar.Line = static_cast<int>(DefaultNodeHeight());
  }
  bar.Allowed = scrollBarOptions.ScrollBars == ssVertical || scrollBarOptions.ScrollBars == ssBoth;
  bar.AlwaysVisible = scrollBarOptions.AlwaysVisible;
  SetScrollBar(Qt::Vertical, bar);
  const int lowest = std::min(0, ClientHeight() - range);
  if (offsetY < lowest) SetOffsetY(lowest);
}

void TBaseVirtualTree::UpdateHorizontalScrollBar() {
  if (InUpdate() || states.Contains(tsDestroying)) return;
  rangeX = ComputeRangeX();
  TScrollBarSettings bar;
  const int range = static_cast<int>(rangeX);
  if (range > ClientWidth()) {
    bar.Maximum = range;
    bar.Page = ClientWidth();
    bar.Position = -offsetX;
    bar.Line = static_cast<int>(indent);
  }
  bar.Allowed = scrollBarOptions.ScrollBars == ssHorizontal || scrollBarOptions.ScrollBars == ssBoth;
  bar.AlwaysVisible = scrollBarOptions.AlwaysVisible;
  SetScrollBar(Qt::Horizontal, bar);
  const int lowest = std::min(0, ClientWidth() - range);
  if (offsetX < lowest) SetOffsetX(lowest);
}

void TBaseVirtualTree::ScrollIntoView(PVirtualNode Node, bool Center) {
  if (!Node || IsRootNode(Node) || !IsVisiblePath(Node)) return;
  const int top = static_cast<int>(GetNodeTop(Node));
  const int height = Node->NodeHeight;
  if (Center)
    SetOffsetY(-(top + height / 2 - ClientHeight() / 2));
  else if (top + offsetY < 0)
    SetOffsetY(-top);
  else if (top + height + offsetY > ClientHeight())
    SetOffsetY(ClientHeight() - top - height);
  if (header->UseColumns() && focusedColumn >= 0 && Node == focusedNode) {
    int left, right;
    header->Columns().GetColumnBounds(focusedColumn, left, right);
    if (left < 0) SetOffsetX(offsetX - left);
    else if (right > ClientWidth()) SetOffsetX(offsetX - std::min(left, right - ClientWidth()));
  }
}

void TBaseVirtualTree::ScrollBarMoved(Qt::Orientation Orientation, int Position) {
  if (Orientation == Qt::Vertical)
    SetOffsetY(-Position);
  else
    SetOffsetX(-Position);
}

void TBaseVirtualTree::LayoutChanged() {
  header->AutoFitColumns();
  UpdateScrollBars();
  InvalidateControl();
  HeaderArea()->update();
}

// Positions and hit tests ------------------------------------------------------

PVirtualNode TBaseVirtualTree::GetNodeAt(int X, int Y, int* NodeTop) {
  const int64_t content = static_cast<int64_t>(Y) - offsetY;
  if (content < 0 || content >= RangeY()) return nullptr;
  const uint32_t y = static_cast<uint32_t>(content);
  TCacheEntry start = cache->FindStart(y);
  if (lastHit.Node) {
    // Close to the last row found: walk from it, back or forth.
    if (y >= lastHit.AbsoluteTop && (!start.Node || lastHit.AbsoluteTop >= start.AbsoluteTop))
      start = lastHit;
    else if (y < lastHit.AbsoluteTop && (!start.Node || start.AbsoluteTop < y) &&
             lastHit.AbsoluteTop - y < CacheThreshold * defaultNodeHeight / 8) {
      PVirtualNode n = lastHit.Node;
      uint32_t top = lastHit.AbsoluteTop;
      while (n && top > y) {
        n = PreviousVisibleNode(n);
        if (n) top -= n->NodeHeight;
      }
      if (n) start = {n, top};
    }
  }
  PVirtualNode node = start.Node ? start.Node : root->FirstChild;
  uint32_t top = start.Node ? start.AbsoluteTop : 0;
  while (node) {
    if (y < top + node->NodeHeight) break;
    if (top + node->TotalHeight <= y || !(node->States & nsExpanded) || !node->FirstChild) {
      // Past this node and its open branch: the next visible node after it.
      top += (node->States & nsExpanded) ? node->TotalHeight : node->NodeHeight;
      node = NextNodeSkippingChildren(node);
    } else {
      top += node->NodeHeight;
      node = node->FirstChild;
    }
  }
  if (node) lastHit = {node, top};
  if (node && NodeTop) *NodeTop = static_cast<int>(top) + offsetY;
  return node;
}

THitInfo TBaseVirtualTree::GetHitTestInfoAt(int X, int Y) {
  THitInfo hit;
  if (Y < 0) hit.HitPositions |= hiAbove;
  if (Y >= ClientHeight()) hit.HitPositions |= hiBelow;
  if (X < 0) hit.HitPositions |= hiToLeft;
  if (X >= ClientWidth()) hit.HitPositions |= hiToRight;
  const bool useColumns = header->UseColumns();
  hit.HitColumn = useColumns ? header->Columns().GetColumnAt(X) : InvalidColumn;
  int top = 0;
  hit.HitNode = GetNodeAt(X, Y, &top);
  if (!hit.HitNode) {
    hit.HitPositions |= hiNowhere;
    return hit;
  }
  PVirtualNode node = hit.HitNode;
  if (!(node->States & nsInitialized)) InitNode(node);
  if (useColumns && hit.HitColumn >= 0 && options.Contains(voAutoSpanColumns) &&
      options.Contains(voExtendedFocus)) {
    // An empty cell belongs to the nearest column on its left with text.
    int column = hit.HitColumn;
    while (column >= 0 && column != header->MainColumn() && ColumnIsEmpty(node, column))
      column = header->Columns().GetPreviousVisibleColumn(column);
    if (column >= 0) hit.HitColumn = column;
  }
  if (useColumns && hit.HitColumn != header->MainColumn()) {
    if (hit.HitColumn >= 0) hit.HitPositions |= hiOnItem | hiOnItemLabel;
    else
      hit.HitPositions |= hiNowhere;
    return hit;
  }
  const int itemLeft = GetNodeContentLeft(node) - margin;
  const int level = static_cast<int>(NodeLevelForDisplay(node));
  if (X < itemLeft) {
    hit.HitPositions |= hiOnItemIndent;
    if (options.Contains(voShowButtons) && (node->States & nsHasChildren) && level > 0 &&
        X >= itemLeft - static_cast<int>(indent)) {
      // The button's own square.
      const int bx = itemLeft - static_cast<int>(indent) + (static_cast<int>(indent) - ButtonSize + 1) / 2;
      const int by = top + ImageCenter(node) - ButtonSize / 2;
      if (X >= bx && X < bx + ButtonSize && Y >= by && Y < by + ButtonSize) hit.HitPositions = hiOnItemButton;
      else
        hit.HitPositions |= hiOnItemIndent;
    }
    return hit;
  }
  int x = itemLeft + margin;
  if (options.Contains(voCheckSupport) && node->CheckType != ctNone) {
    const int w = CheckImages().Width() + 2;
    if (X >= itemLeft && X < x + w) {
      hit.HitPositions |= hiOnItem | hiOnItemCheckbox;
      return hit;
    }
    x += w;
  }
  int imagesWidth = 0;
  if (stateImages && DoGetImageIndex(node, ikState, hit.HitColumn) >= 0) imagesWidth += stateImages->Width() + 2;
  if (images && DoGetImageIndex(node, ikNormal, hit.HitColumn) >= 0) imagesWidth += images->Width() + 2;
  if (X < x + imagesWidth) {
    hit.HitPositions |= hiOnItem | hiOnNormalIcon;
    return hit;
  }
  x += imagesWidth;
  const int width = GetNodeWidth(node, hit.HitColumn);
  // The label sits after the images, or at the cell's right end.
  const int labelLeft =
      RightToLeftText(hit.HitColumn) ? std::max(x, GetDisplayRect(node, hit.HitColumn, false).Right - width) : x;
  if (X >= labelLeft && X < labelLeft + width)
    hit.HitPositions |= hiOnItem | hiOnItemLabel;
  else
    hit.HitPositions |= hiOnItemRight;
  return hit;
}

TRect TBaseVirtualTree::GetDisplayRect(PVirtualNode Node, int Column, bool TextOnly) {
  if (!Node || IsRootNode(Node) || !IsVisiblePath(Node)) return TRect{};
  const int top = static_cast<int>(GetNodeTop(Node)) + offsetY;
  TRect r = Rect(offsetX, top, std::max(ClientWidth(), offsetX + static_cast<int>(rangeX)), top + Node->NodeHeight);
  const bool useColumns = header->UseColumns();
  if (useColumns) {
    if (Column < 0) Column = header->MainColumn();
    header->Columns().GetColumnBounds(Column, r.Left, r.Right);
  }
  if (!TextOnly) return r;
  if (!useColumns || Column == header->MainColumn()) {
    int x = GetNodeContentLeft(Node);
    if (options.Contains(voCheckSupport) && Node->CheckType != ctNone) x += CheckImages().Width() + 2;
    if (stateImages && DoGetImageIndex(Node, ikState, Column) >= 0) x += stateImages->Width() + 2;
    if (images && DoGetImageIndex(Node, ikNormal, Column) >= 0) x += images->Width() + 2;
    r.Left = x;
  }
  const int width = GetNodeWidth(Node, useColumns ? Column : -1);
  if (RightToLeftText(useColumns ? Column : -1))
    r.Left = std::max(r.Left, r.Right - width);
  else
    r.Right = std::min(r.Right, r.Left + width);
  return r;
}

bool TBaseVirtualTree::RightToLeftText(int Column) const {
  const TBiDiMode mode = Column >= 0 && Column < header->Columns().Count() && header->UseColumns()
                             ? header->Columns().Items(Column).BiDiMode()
                             : BiDiMode();
  return UseRightToLeftAlignment(mode);
}

void TBaseVirtualTree::BiDiModeChanged() {
  header->Columns().ParentBiDiModeChanged();
  InvalidateControl();
}

// Event routing ----------------------------------------------------------------

bool TBaseVirtualTree::ViewportEvent(QEvent* Event) {
  switch (Event->type()) {
    case QEvent::Paint:
      PaintViewport(static_cast<QPaintEvent*>(Event)->rect());
      return true;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
      auto* e = static_cast<QMouseEvent*>(Event);
      setFocus(Qt::MouseFocusReason);
      const QPoint p = e->position().toPoint();
      HandleMouseDown(p.x(), p.y(), e->button(), e->modifiers(), Event->type() == QEvent::MouseButtonDblClick);
      return true;
    }
    case QEvent::MouseMove: {
      auto* e = static_cast<QMouseEvent*>(Event);
      const QPoint p = e->position().toPoint();
      HandleMouseMove(p.x(), p.y(), e->buttons(), e->modifiers());
      return true;
    }
    case QEvent::MouseButtonRelease: {
      auto* e = static_cast<QMouseEvent*>(Event);
      const QPoint p = e->position().toPoint();
      HandleMouseUp(p.x(), p.y(), e->button(), e->modifiers());
      return true;
    }
    case QEvent::Wheel:
      HandleMouseWheel(static_cast<QWheelEvent*>(Event)->angleDelta().y());
      return true;
    case QEvent::Leave:
      HandleMouseLeave();
      HideHint();
      return true;
    case QEvent::ToolTip: {
      const QPoint p = static_cast<QHelpEvent*>(Event)->pos();
      ShowHintAt(TPoint{p.x(), p.y()});
      return true;
    }
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* e = static_cast<QDragMoveEvent*>(Event);
      if (Event->type() == QEvent::DragEnter) HandleDragEnter(e->mimeData());
      const QPoint p = e->position().toPoint();
      const Qt::DropAction effect = HandleDragOver(e->mimeData(), TPoint{p.x(), p.y()}, e->possibleActions(),
                                                   e->modifiers());
      if (effect == Qt::IgnoreAction)
        e->ignore();
      else {
        e->setDropAction(effect);
        e->accept();
      }
      return true;
    }
    case QEvent::DragLeave:
      HandleDragLeave();
      return true;
    case QEvent::Drop: {
      auto* e = static_cast<QDropEvent*>(Event);
      const QPoint p = e->position().toPoint();
      const Qt::DropAction effect = HandleDrop(e->mimeData(), TPoint{p.x(), p.y()}, e->possibleActions(),
                                               e->modifiers());
      if (effect == Qt::IgnoreAction)
        e->ignore();
      else {
        e->setDropAction(effect);
        e->accept();
      }
      return true;
    }
    default:
      return false;
  }
}

bool TBaseVirtualTree::HeaderEvent(QEvent* Event) {
  if (Event->type() == QEvent::Paint) {
    QPainter painter(HeaderArea());
    TQtCanvas canvas(painter, 96);
    header->Paint(canvas, HeaderArea()->width());
    if (const TBitmap* dragged = header->DragImage()) {
      painter.setOpacity(HeaderDragImageOpacity);
      painter.drawImage(QPoint(header->DragImageLeft(), 0), dragged->Image());
    }
    return true;
  }
  if (Event->type() == QEvent::ToolTip) {
    // Header points lie above the client area.
    const QPoint p = static_cast<QHelpEvent*>(Event)->pos();
    ShowHintAt(TPoint{p.x(), p.y() - HeaderArea()->height()});
    return true;
  }
  return header->HandleEvent(Event);
}

void TBaseVirtualTree::keyPressEvent(QKeyEvent* Event) {
  if (!HandleKeyDown(Event->key(), Event->modifiers())) TControlHost::keyPressEvent(Event);
}

void TBaseVirtualTree::keyReleaseEvent(QKeyEvent* Event) { HandleKeyUp(Event->key(), Event->modifiers()); }

void TBaseVirtualTree::focusInEvent(QFocusEvent*) { FocusChanged(true); }

void TBaseVirtualTree::focusOutEvent(QFocusEvent*) { FocusChanged(false); }
