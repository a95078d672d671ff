// Mouse, keyboard, the selection rectangle, auto-scroll and editing.

#include <QApplication>
#include <QDrag>
#include <QPixmap>
#include <QMimeData>
#include <algorithm>

#include "VTree.h"
#include "VTreeEditLink.h"
#include "uiGraphicsBitmap.h"
#include "uiPostToGui.h"

namespace {

// Timer 2: how long a second click on the focused node waits before the
// edit starts (a double click cancels it meanwhile).
constexpr int EditDelay = 1000;
// Mouse wheel: rows per notch.
constexpr int WheelRows = 3;

enum : uint8_t { sdLeft = 1, sdUp = 2, sdRight = 4, sdDown = 8 };

bool MultiKeys(Qt::KeyboardModifiers shift) {
  return shift & (Qt::ShiftModifier | Qt::ControlModifier);
}

}  // namespace

void TBaseVirtualTree::SetHotNode(PVirtualNode Node, int Column) {
  hotColumn = Column;
  if (Node == hotNode) return;
  PVirtualNode old = hotNode;
  hotNode = Node;
  DoHotChange(old, Node);
  if (old) InvalidateNode(old);
  if (Node) InvalidateNode(Node);
}

void TBaseVirtualTree::AdvanceCheckState(PVirtualNode Node) {
  TCheckState next;
  switch (Node->CheckType) {
    case ctButton:
      next = csButtonNormal;
      break;
    case ctRadioButton:
      next = csCheckedNormal;
      break;
    default:
      next = Node->CheckState == csCheckedNormal ? csUncheckedNormal : csCheckedNormal;
      break;
  }
  if (Node->CheckType == ctButton) {
    // The press is released whatever the handler says.
    Node->CheckState = csButtonPressed;
    SetCheckState(Node, csButtonNormal);
    if (Node->CheckState == csButtonPressed) Node->CheckState = csButtonNormal;
  } else
    SetCheckState(Node, next);
  InvalidateNode(Node);
}

void TBaseVirtualTree::SelectRange(PVirtualNode From, PVirtualNode To, bool AddOnly) {
  if (!From) From = To;
  if (CompareNodePositions(From, To) > 0) std::swap(From, To);
  BeginUpdate();
  if (!AddOnly) ClearSelection();
  for (PVirtualNode n = From; n; n = GetNextVisible(n)) {
    AddToSelection(n, false);
    if (n == To) break;
  }
  states.Include(tsChangePending);
  EndUpdate();
}

void TBaseVirtualTree::MoveFocus(PVirtualNode Node, Qt::KeyboardModifiers Shift) {
  if (!Node) return;
  const bool multi = options.Contains(voMultiSelect);
  if (!(multi && MultiKeys(Shift))) ClearSelection();
  if (!DoFocusChanging(focusedNode, Node, focusedColumn, focusedColumn)) return;
  ChangeFocus(Node, focusedColumn);
  if (multi && (Shift & Qt::ShiftModifier))
    SelectRange(rangeAnchor ? rangeAnchor : Node, Node, false);
  else if (!(Shift & Qt::ControlModifier)) {
    SetSelected(Node, true);
    rangeAnchor = Node;
  }
}

void TBaseVirtualTree::HandleClick(const THitInfo& Hit, Qt::KeyboardModifiers Shift, bool DoubleClick) {
  PVirtualNode node = Hit.HitNode;
  if (DoubleClick) {
    editTimer.Stop();
    states.Exclude(tsEditPending);
    if (Hit.HitPositions & hiOnItemCheckbox) {
      checkNode = node;
      InvalidateNode(node);
    } else if (Hit.HitPositions & hiOnItemButton)
      ToggleNode(node);
    else if (node && options.Contains(voToggleOnDblClick) &&
             ((Hit.HitPositions & (hiOnItemLabel | hiOnNormalIcon)) || options.Contains(voFullRowSelect)))
      ToggleNode(node);
    return;
  }
  if (Hit.HitPositions & hiOnItemButton) {
    ToggleNode(node);
    return;
  }
  if (Hit.HitPositions & hiOnItemCheckbox) {
    checkNode = node;
    if (node->CheckType == ctButton) node->CheckState = csButtonPressed;
    InvalidateNode(node);
    return;
  }
  const int column = header->UseColumns() ? Hit.HitColumn : focusedColumn;
  const bool multi = options.Contains(voMultiSelect);
  // Empty space: no node, or (with several selectable and rows not
  // selected whole) the room right of a node's text.
  const bool emptySpace = !node || ((Hit.HitPositions & hiOnItemRight) && !options.Contains(voFullRowSelect));
  if (emptySpace && multi) {
    if (!(Shift & Qt::ControlModifier)) ClearSelection();
    selectionAtStart = GetSortedSelection(false);
    states.Include(tsDrawSelPending);
    selectionAnchor = TPoint{mouseDownAt.X - offsetX, mouseDownAt.Y - offsetY};
    selectionCorner = selectionAnchor;
    return;
  }
  if (!node) return;
  const bool again = node == focusedNode && Selected(node) && column == focusedColumn && !MultiKeys(Shift);
  if (node != focusedNode || column != focusedColumn) {
    if (!DoFocusChanging(focusedNode, node, focusedColumn, column)) return;
    ChangeFocus(node, column);
  }
  if (again) {
    if (Hit.HitPositions & hiOnItemLabel) {
      states.Include(tsEditPending);
      pendingEditNode = node;
    }
  } else if (multi && (Shift & Qt::ControlModifier)) {
    SetSelected(node, !Selected(node));
    if (!Selected(node)) DoChange(node);
    rangeAnchor = node;
  } else if (multi && (Shift & Qt::ShiftModifier))
    SelectRange(rangeAnchor, node, false);
  else {
    ClearSelection();
    SetSelected(node, true);
    rangeAnchor = node;
  }
  if (Selected(node)) states.Include(tsDragPending);
}

void TBaseVirtualTree::HandleMouseDown(int X, int Y, Qt::MouseButton Button, Qt::KeyboardModifiers Shift,
                                       bool DoubleClick) {
  editTimer.Stop();
  HideHint();
  if (Button == Qt::MiddleButton && !options.Contains(voMiddleClickSelect)) return;
  if (Button == Qt::RightButton && !options.Contains(voRightClickSelect)) return;
  if (Button != Qt::LeftButton && Button != Qt::MiddleButton && Button != Qt::RightButton) return;
  if (IsEditing()) EndEditNode();
  mouseDownAt = TPoint{X, Y};
  if (Button == Qt::LeftButton) states.Include(tsLeftButtonDown);
  HandleClick(GetHitTestInfoAt(X, Y), Shift, DoubleClick);
}

void TBaseVirtualTree::HandleMouseUp(int X, int Y, Qt::MouseButton Button, Qt::KeyboardModifiers Shift) {
  if (Button == Qt::RightButton && !options.Contains(voRightClickSelect)) return;
  if (checkNode) {
    PVirtualNode pressed = checkNode;
    checkNode = nullptr;
    const THitInfo hit = GetHitTestInfoAt(X, Y);
    if (hit.HitNode == pressed && (hit.HitPositions & hiOnItemCheckbox))
      AdvanceCheckState(pressed);
    else if (pressed->CheckType == ctButton)
      pressed->CheckState = csButtonNormal;
    InvalidateNode(pressed);
  }
  if (states.Contains(tsEditPending)) {
    states.Exclude(tsEditPending);
    editTimer.Start(EditDelay);
  }
  if (states.Contains(tsDrawSelecting)) InvalidateControl();
  states.Exclude(tsDrawSelecting).Exclude(tsDrawSelPending).Exclude(tsLeftButtonDown).Exclude(tsDragPending);
  autoScrollTimer.Stop();
  autoScrollDirections = 0;
}

void TBaseVirtualTree::HandleMouseMove(int X, int Y, Qt::MouseButtons Buttons, Qt::KeyboardModifiers Shift) {
  if (options.Contains(voHotTrack)) {
    const THitInfo hit = GetHitTestInfoAt(X, Y);
    SetHotNode(hit.HitNode, hit.HitColumn);
  }
  if (!(Buttons & Qt::LeftButton)) return;
  if (states.Contains(tsDrawSelPending) || states.Contains(tsDrawSelecting)) {
    states.Exclude(tsDrawSelPending).Include(tsDrawSelecting);
    selectionCorner = TPoint{X - offsetX, Y - offsetY};
    UpdateDrawSelection();
    if (options.Contains(voAutoScroll)) {
      const int edge = static_cast<int>(DefaultNodeHeight()) / 2;
      autoScrollDirections = 0;
      if (X < edge && offsetX < 0) autoScrollDirections |= sdLeft;
      if (X >= ClientWidth() - edge && ClientWidth() - offsetX < static_cast<int>(rangeX)) autoScrollDirections |= sdRight;
      if (Y < edge && offsetY < 0) autoScrollDirections |= sdUp;
      if (Y >= ClientHeight() - edge && ClientHeight() - offsetY < static_cast<int>(RangeY()))
        autoScrollDirections |= sdDown;
      if (autoScrollDirections == 0)
        autoScrollTimer.Stop();
      else if (!autoScrollTimer.Enabled())
        autoScrollTimer.Start(autoScrollDelay);
    }
    InvalidateControl();
    return;
  }
  if (states.Contains(tsDragPending)) {
    const int threshold = QApplication::startDragDistance();
    if (std::abs(X - mouseDownAt.X) > threshold || std::abs(Y - mouseDownAt.Y) > threshold) {
      states.Exclude(tsDragPending).Exclude(tsLeftButtonDown);
      auto* drag = new QDrag(this);
      drag->setMimeData(CreateDataObject());
      if (dragImageKind != diNoImage) {
        const QImage image = MakeDragImage();
        if (!image.isNull()) drag->setPixmap(QPixmap::fromImage(image));
      }
      draggedNodes = GetSortedSelection(true);
      dropTakenInProcess = false;
      states.Include(tsDragging);
      const Qt::DropAction effect = drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::MoveAction);
      states.Exclude(tsDragging);
      DragFinished(effect);
    }
  }
}

QImage TBaseVirtualTree::MakeDragImage() {
  // The selected rows between the first and the last one on screen.
  int top = -1, bottom = -1, rowTop = 0;
  for (PVirtualNode n = GetNodeAt(0, 0, &rowTop); n && rowTop < ClientHeight(); n = GetNextVisible(n)) {
    if (n->States & nsSelected) {
      if (top < 0) top = rowTop;
      bottom = rowTop + n->NodeHeight;
    }
    rowTop += n->NodeHeight;
  }
  if (top < 0) return {};
  TBitmap bitmap(96);
  bitmap.SetSize(ClientWidth(), bottom - top);
  TVTPaintOptions paintOptions;
  paintOptions.GridLines = false;
  paintOptions.Background = false;
  paintOptions.SelectedOnly = true;
  paintOptions.MainColumnOnly = dragImageKind == diMainColumnOnly;
  PaintTree(bitmap.Canvas(), Rect(-offsetX, top - offsetY, -offsetX + ClientWidth(), bottom - offsetY), TPoint{0, 0},
            paintOptions);
  return bitmap.Image();
}

void TBaseVirtualTree::DoAutoScroll() {
  // Restarted with the tick interval after the first delay.
  autoScrollTimer.Start(autoScrollInterval);
  const int stepY = static_cast<int>(DefaultNodeHeight()), stepX = static_cast<int>(indent);
  if (autoScrollDirections & sdUp) SetOffsetY(offsetY + stepY);
  if (autoScrollDirections & sdDown) SetOffsetY(offsetY - stepY);
  if (autoScrollDirections & sdLeft) SetOffsetX(offsetX + stepX);
  if (autoScrollDirections & sdRight) SetOffsetX(offsetX - stepX);
  if (states.Contains(tsDrawSelecting)) UpdateDrawSelection();
}

TRect TBaseVirtualTree::SelectionRect() const {
  return Rect(std::min(selectionAnchor.X, selectionCorner.X), std::min(selectionAnchor.Y, selectionCorner.Y),
              std::max(selectionAnchor.X, selectionCorner.X) + 1, std::max(selectionAnchor.Y, selectionCorner.Y) + 1);
}

void TBaseVirtualTree::UpdateDrawSelection() {
  const TRect r = SelectionRect();
  const bool toggle = QApplication::keyboardModifiers() & Qt::ControlModifier;
  BeginUpdate();
  ClearSelection();
  for (PVirtualNode n : selectionAtStart) AddToSelection(n, false);
  int top = 0;
  PVirtualNode node = GetNodeAt(0, std::max(0, r.Top) + offsetY, &top);
  int contentTop = top - offsetY;
  for (; node && contentTop < r.Bottom; node = GetNextVisible(node)) {
    if (toggle && Selected(node))
      RemoveFromSelection(node);
    else
      AddToSelection(node, false);
    contentTop += node->NodeHeight;
  }
  states.Include(tsChangePending);
  EndUpdate();
}

void TBaseVirtualTree::HandleMouseWheel(int Delta) {
  SetOffsetY(offsetY + Delta / 120 * WheelRows * static_cast<int>(DefaultNodeHeight()));
}

void TBaseVirtualTree::HandleMouseLeave() {
  if (options.Contains(voHotTrack)) SetHotNode(nullptr, NoColumn);
}

void TBaseVirtualTree::FocusChanged(bool Focused) {
  hasFocus = Focused;
  if (!Focused) {
    expandTimer.Stop();
    editTimer.Stop();
    autoScrollTimer.Stop();
    states.Exclude(tsEditPending);
    header->CancelTracking();
  }
  if (selection.empty() && focusedNode)
    InvalidateNode(focusedNode);
  else
    InvalidateControl();
}

bool TBaseVirtualTree::HandleKeyDown(int Key, Qt::KeyboardModifiers Shift) {
  const bool ctrl = Shift & Qt::ControlModifier;
  const bool onlyCtrl = ctrl && !(Shift & (Qt::ShiftModifier | Qt::AltModifier));
  PVirtualNode node = focusedNode;
  switch (Key) {
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: {
      const bool down = Key == Qt::Key_PageDown;
      if (!node) node = down ? GetLastVisible() : GetFirstVisible();
      if (!node) return true;
      int sum = 0;
      for (PVirtualNode next = down ? GetNextVisible(node) : GetPreviousVisible(node); next;
           next = down ? GetNextVisible(next) : GetPreviousVisible(next)) {
        if (sum + next->NodeHeight >= ClientHeight()) break;
        sum += next->NodeHeight;
        node = next;
      }
      SetOffsetY(offsetY + (down ? -sum : sum));
      if (!onlyCtrl) MoveFocus(node, Shift);
      return true;
    }
    case Qt::Key_Home:
    case Qt::Key_End: {
      PVirtualNode target = Key == Qt::Key_Home ? GetFirstVisible() : GetLastVisible();
      if (!target) return true;
      if (onlyCtrl)
        ScrollIntoView(target, false);
      else
        MoveFocus(target, Shift);
      return true;
    }
    case Qt::Key_Left:
    case Qt::Key_Right: {
      const bool right = Key == Qt::Key_Right;
      if (ctrl) {
        SetOffsetX(offsetX + (right ? -1 : 1) * static_cast<int>(indent));
        return true;
      }
      if (options.Contains(voExtendedFocus) && header->UseColumns()) {
        const int column = right ? header->Columns().GetNextVisibleColumn(focusedColumn)
                                 : header->Columns().GetPreviousVisibleColumn(focusedColumn);
        if (column >= 0) SetFocusedColumn(column);
        return true;
      }
      if (!node) return true;
      if (!right) {
        if ((node->States & nsExpanded) && (node->States & nsHasChildren) && Shift == Qt::NoModifier)
          ToggleNode(node);
        else if (!IsRootNode(node->Parent))
          MoveFocus(node->Parent, Shift);
      } else {
        if (!(node->States & nsExpanded) && (node->States & nsHasChildren) && Shift == Qt::NoModifier)
          ToggleNode(node);
        else if ((node->States & nsExpanded) && node->FirstChild)
          MoveFocus(node->FirstChild, Shift);
      }
      return true;
    }
    case Qt::Key_Up:
    case Qt::Key_Down: {
      PVirtualNode target;
      if (!node)
        target = GetFirstVisible();
      else
        target = Key == Qt::Key_Down ? GetNextVisible(node) : GetPreviousVisible(node);
      if (target) MoveFocus(target, Shift);
      return true;
    }
    case Qt::Key_Plus:
      if (ctrl)
        FullExpand();
      else if (node && !(node->States & nsExpanded))
        ToggleNode(node);
      return true;
    case Qt::Key_Minus:
      if (ctrl)
        FullCollapse();
      else if (node && (node->States & nsExpanded))
        ToggleNode(node);
      return true;
    case Qt::Key_Asterisk:
      if (node && !(node->States & nsExpanded)) FullExpand(node);
      return true;
    case Qt::Key_Space:
      if (node && options.Contains(voCheckSupport) && node->CheckType != ctNone) {
        checkNode = node;
        if (node->CheckType == ctButton) node->CheckState = csButtonPressed;
        InvalidateNode(node);
      }
      return true;
    case Qt::Key_F2:
      if (node) EditNode(node, focusedColumn);
      return true;
    case Qt::Key_F1:
      if (!OnGetHelpContext) return false;
      ShowHelp();
      return true;
    case Qt::Key_Escape:
      if (states.Contains(tsDrawSelecting)) {
        states.Exclude(tsDrawSelecting).Exclude(tsDrawSelPending);
        InvalidateControl();
      } else if (IsEditing())
        CancelEditNode();
      else
        header->CancelTracking();
      return true;
    default:
      return false;
  }
}

void TBaseVirtualTree::HandleKeyUp(int Key, Qt::KeyboardModifiers Shift) {
  if (Key == Qt::Key_Space && checkNode) {
    PVirtualNode pressed = checkNode;
    checkNode = nullptr;
    AdvanceCheckState(pressed);
  }
}

// Editing ----------------------------------------------------------------------

bool TBaseVirtualTree::DoEditing(PVirtualNode Node, int Column) {
  if (!options.Contains(voEditable) || !isEnabled()) return false;
  bool allowed = true;
  if (OnEditing) OnEditing(this, Node, Column, allowed);
  return allowed;
}

std::shared_ptr<IVTEditLink> TBaseVirtualTree::CreateEditor(PVirtualNode Node, int Column) {
  std::shared_ptr<IVTEditLink> link;
  if (OnCreateEditor) {
    OnCreateEditor(this, Node, Column, link);
    if (!link) throw EVirtualTreeError("Edit link must not be nil.");
  }
  return link;
}

bool TBaseVirtualTree::EditNode(PVirtualNode Node, int Column) {
  if (!Node || IsRootNode(Node) || IsEditing()) return false;
  editTimer.Stop();
  if (!DoEditing(Node, Column)) return false;
  editNode = Node;
  editColumn = Column;
  DoEdit();
  return IsEditing();
}

void TBaseVirtualTree::DoEdit() {
  editLink = CreateEditor(editNode, editColumn);
  if (!editLink) return;
  if (!editLink->PrepareEdit(this, editNode, editColumn)) {
    editLink.reset();
    return;
  }
  ScrollIntoView(editNode, false);
  editLink->SetBounds(GetDisplayRect(editNode, editColumn, true));
  states.Include(tsEditing);
  if (!editLink->BeginEdit()) {
    states.Exclude(tsEditing);
    editLink.reset();
  }
}

void TBaseVirtualTree::ReleaseEditLink() {
  // The link may be inside its own call (its key handler ended the edit):
  // it goes later, from the event loop.
  if (editLink) PostToGui([link = std::move(editLink)] {});
  editLink.reset();
}

void TBaseVirtualTree::DoEndEdit() {
  PVirtualNode node = editNode;
  const int column = editColumn;
  states.Exclude(tsEditing);
  if (editLink && editLink->IsActive()) editLink->EndEdit();
  if (!states.Contains(tsDestroying)) setFocus();
  ReleaseEditLink();
  editNode = nullptr;
  if (node && OnEdited) OnEdited(this, node, column);
}

void TBaseVirtualTree::DoCancelEdit() {
  editTimer.Stop();
  const int column = editColumn;
  states.Exclude(tsEditing);
  if (editLink && editLink->IsActive()) editLink->CancelEdit();
  if (OnEditCancelled) OnEditCancelled(this, column);
  if (!states.Contains(tsDestroying)) setFocus();
  ReleaseEditLink();
  editNode = nullptr;
}

bool TBaseVirtualTree::EndEditNode() {
  if (!IsEditing()) return false;
  DoEndEdit();
  return true;
}

bool TBaseVirtualTree::CancelEditNode() {
  if (!IsEditing()) {
    editTimer.Stop();
    return false;
  }
  DoCancelEdit();
  return true;
}

void TBaseVirtualTree::ShowHelp() {
  int context = 0;
  for (PVirtualNode n = focusedNode; n && !IsRootNode(n) && context == 0; n = n->Parent)
    OnGetHelpContext(this, n, focusedColumn, context);
  if (context == 0) context = InheritedHelpContext(this);
  if (context != 0) ShowHelpContext(context);
}
