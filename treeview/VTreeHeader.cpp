// The header: settings, auto-size, mouse tracking and painting.

#include "VTreeHeader.h"

#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QStyleHints>
#include <algorithm>

#include "VTree.h"
#include "uiCanvas.h"
#include "uiGraphicsBitmap.h"
#include "uiImageList.h"

TVTHeader::TVTHeader(TBaseVirtualTree& Tree) : tree(Tree), columns(*this) {
  font.SetName("Liberation Sans");
  font.SetSize(8);
}

TVTHeader::~TVTHeader() = default;

bool TVTHeader::UseColumns() const { return options.Contains(hoVisible) && columns.Count() > 0; }

void TVTHeader::Invalidate() { tree.HeaderArea()->update(); }

void TVTHeader::SetAutoSizeIndex(int Value) {
  if (autoSizeIndex == Value) return;
  autoSizeIndex = Value;
  if (options.Contains(hoAutoResize)) AutoFitColumns();
}

void TVTHeader::SetBackground(TColor Value) {
  background = Value;
  Invalidate();
}

void TVTHeader::SetHeight(int Value) {
  if (Value < 0) Value = 0;
  if (height == Value) return;
  height = Value;
  tree.HeaderLayoutChanged();
}

void TVTHeader::SetOptions(TVTHeaderOptions Value) {
  if (options == Value) return;
  const TVTHeaderOptions old = options;
  options = Value;
  if (old.Contains(hoAutoResize) != Value.Contains(hoAutoResize)) {
    AutoFitColumns();
    tree.ColumnsChanged();
  }
  if (old.Contains(hoVisible) != Value.Contains(hoVisible)) tree.HeaderLayoutChanged();
  Invalidate();
}

void TVTHeader::SetStyle(TVTHeaderStyle Value) {
  style = Value;
  Invalidate();
}

void TVTHeader::SetImages(TImageList* Value) {
  images = Value;
  Invalidate();
}

void TVTHeader::AutoFitColumns() {
  if (!options.Contains(hoAutoResize) || columns.Count() == 0 || tree.TreeStates().Contains(tsLoading)) return;
  const int index = std::min(autoSizeIndex, columns.Count() - 1);
  if (index < 0) return;
  int others = 0;
  for (int i = 0; i < columns.Count(); ++i)
    if (i != index && columns.Items(i).Visible()) others += columns.Items(i).Width();
  TVirtualTreeColumn& column = columns.Items(index);
  // Clamped like any width: an auto-size never breaks a column's limits.
  column.StoreWidth(std::clamp(tree.ClientWidth() - others, column.MinWidth(), column.MaxWidth()));
}

int TVTHeader::DividerAt(int X) const {
  if (!UseColumns()) return -2;
  for (int p = 0; p < columns.Count(); ++p) {
    const int column = columns.ColumnAtPosition(p);
    if (!columns.Items(column).Visible()) continue;
    int left, right;
    columns.GetColumnBounds(column, left, right);
    if (X > right - DividerLeftZone && X < right + DividerRightZone) return column;
  }
  return -2;
}

void TVTHeader::SetHover(int Column) {
  if (columns.hoverColumn == Column) return;
  columns.hoverColumn = Column;
  Invalidate();
}

void TVTHeader::CancelTracking() {
  if (tracking == htDragging || tracking == htDragPending) EndDrag();
  columns.pressedColumn = -2;
  tracking = htNone;
  trackColumn = -2;
  tree.HeaderArea()->releaseMouse();
  Invalidate();
}

bool TVTHeader::HandleEvent(QEvent* Event) {
  switch (Event->type()) {
    case QEvent::MouseButtonPress: {
      auto* e = static_cast<QMouseEvent*>(Event);
      const QPoint p = e->position().toPoint();
      return MouseDown(p.x(), p.y(), e->button() == Qt::LeftButton ? 0 : e->button() == Qt::RightButton ? 1 : 2);
    }
    case QEvent::MouseMove: {
      const QPoint p = static_cast<QMouseEvent*>(Event)->position().toPoint();
      return MouseMove(p.x(), p.y());
    }
    case QEvent::MouseButtonRelease: {
      auto* e = static_cast<QMouseEvent*>(Event);
      const QPoint p = e->position().toPoint();
      return MouseUp(p.x(), p.y(), e->button() == Qt::LeftButton ? 0 : e->button() == Qt::RightButton ? 1 : 2);
    }
    case QEvent::Leave:
      if (tracking == htNone) {
        columns.pressedColumn = -2;
        SetHover(-2);
      }
      return true;
    default:
      return false;
  }
}

bool TVTHeader::MouseDown(int X, int Y, int Button) {
  if (Button != 0) return Button == 1;
  tree.HeaderMouseDown();
  const int divider = options.Contains(hoColumnResize) ? DividerAt(X) : -2;
  if (divider >= 0 && columns.Items(divider).Options().Contains(coResizable)) {
    tracking = htResizing;
    trackColumn = divider;
    tree.HeaderArea()->grabMouse();
    return true;
  }
  const int column = UseColumns() ? columns.GetColumnAt(X) : -2;
  if (column >= 0) {
    const TVTColumnOptions o = columns.Items(column).Options();
    if (o.Contains(coAllowClick) && o.Contains(coEnabled)) columns.pressedColumn = column;
    tracking = htDragPending;
    trackColumn = column;
    trackStartX = X;
    trackStartY = Y;
    tree.HeaderArea()->grabMouse();
    Invalidate();
  }
  return true;
}

bool TVTHeader::MouseMove(int X, int Y) {
  switch (tracking) {
    case htResizing: {
      int left, right;
      columns.GetColumnBounds(trackColumn, left, right);
      columns.Items(trackColumn).SetWidth(X - left);
      return true;
    }
    case htDragPending: {
      const int threshold = QApplication::startDragDistance();
      if (options.Contains(hoDrag) && trackColumn >= 0 && tree.DoHeaderDragging(trackColumn) &&
          (std::abs(X - trackStartX) > threshold || std::abs(Y - trackStartY) > threshold)) {
        tracking = htDragging;
        columns.hoverColumn = -2;
        columns.pressedColumn = -2;
        StartDragImage(trackColumn, trackStartX);
        columns.dragColumn = trackColumn;
      } else
        break;
      [[fallthrough]];
    }
    case htDragging: {
      columns.dragImageLeft = X - columns.dragGrabOffset;
      const int target = columns.GetColumnAt(X);
      columns.dropTarget = target;
      if (target >= 0) {
        int left, right;
        columns.GetColumnBounds(target, left, right);
        columns.dropBefore = X < (left + right) / 2;
      }
      Invalidate();
      return true;
    }
    case htNone:
      break;
  }
  if (tracking == htNone) SetHover(UseColumns() ? columns.GetColumnAt(X) : -2);
  const bool divider = options.Contains(hoColumnResize) && DividerAt(X) >= 0 &&
                       columns.Items(DividerAt(X)).Options().Contains(coResizable);
  tree.HeaderArea()->setCursor(divider || tracking == htResizing ? Qt::SplitHCursor : Qt::ArrowCursor);
  return true;
}

bool TVTHeader::MouseUp(int X, int Y, int Button) {
  if (Button == 1) {
    if (popupMenu) popupMenu->popup(tree.HeaderArea()->mapToGlobal(QPoint(X, Y)));
    return true;
  }
  if (Button != 0) return false;
  const TTracking was = tracking;
  tracking = htNone;
  tree.HeaderArea()->releaseMouse();
  if (was == htDragging) {
    const int target = columns.dropTarget;
    const int dragged = columns.dragColumn;
    EndDrag();
    const bool inside = X >= 0 && X < tree.ClientWidth();
    if (target >= 0 && target != dragged && inside) {
      const int targetPos = columns.PositionOf(target);
      const int dragPos = columns.PositionOf(dragged);
      int newPos;
      if (columns.dropBefore)
        newPos = targetPos < dragPos ? targetPos : std::max(0, targetPos - 1);
      else
        newPos = targetPos <= dragPos ? targetPos + 1 : targetPos;
      columns.Items(dragged).SetPosition(newPos);
      tree.DoHeaderDragged(dragged, dragPos);
    }
  } else if (was == htDragPending) {
    const int pressed = columns.pressedColumn;
    if (pressed >= 0 && columns.GetColumnAt(X) == pressed && Y >= 0 && Y < height &&
        columns.Items(pressed).Options().Contains(coAllowClick))
      tree.DoHeaderClick(pressed);
  }
  columns.pressedColumn = -2;
  trackColumn = -2;
  Invalidate();
  return true;
}

void TVTHeader::StartDragImage(int Column, int X) {
  int left, right;
  columns.GetColumnBounds(Column, left, right);
  auto image = std::make_unique<TBitmap>();
  image->SetSize(right - left, height);
  image->Canvas().Font().Assign(font);
  // Drawn as it looks at rest: neither hovered nor pressed, no drop mark.
  PaintColumn(image->Canvas(), Column, Rect(0, 0, right - left, height));
  columns.dragImage = std::move(image);
  columns.dragGrabOffset = X - left;
  columns.dragImageLeft = left;
}

void TVTHeader::EndDrag() {
  columns.dropTarget = -2;
  columns.dragColumn = -2;
  columns.dragImage.reset();
}

// Painting -------------------------------------------------------------------

namespace {

// The platform's button edges as rings of Frame3D.
void RaisedEdge(TCanvas& canvas, TRect& r) {
  Frame3D(canvas, r, cl3DLight, cl3DDkShadow, 1);
  Frame3D(canvas, r, clBtnHighlight, clBtnShadow, 1);
}

void FlatEdge(TCanvas& canvas, TRect& r) {
  Frame3D(canvas, r, clBtnShadow, clBtnShadow, 1);
  InflateRect(r, -1, -1);
}

}  // namespace

void TVTHeader::Paint(TCanvas& Canvas, int Width) {
  Canvas.Font().Assign(font);
  Canvas.Brush().SetColor(background);
  Canvas.Brush().SetStyle(bsSolid);
  int right = tree.OffsetX();
  if (UseColumns()) {
    for (int p = 0; p < columns.Count(); ++p) {
      const int column = columns.ColumnAtPosition(p);
      const TVirtualTreeColumn& c = columns.Items(column);
      if (!c.Visible()) continue;
      TRect r = Rect(right, 0, right + c.Width(), height);
      right = r.Right;
      if (r.Right <= 0 || r.Left >= Width) continue;
      const bool hover = column == columns.hoverColumn, pressed = column == columns.pressedColumn;
      if (options.Contains(hoOwnerDraw) && c.Style() == vsOwnerDraw &&
          tree.DoDrawHeader(Canvas, column, r, hover, pressed))
        continue;
      PaintColumn(Canvas, column, r);
    }
  }
  if (right < Width) {
    Canvas.Brush().SetColor(background);
    Canvas.FillRect(Rect(std::max(right, 0), 0, Width, height));
  }
}

void TVTHeader::PaintColumn(TCanvas& Canvas, int Column, const TRect& R) {
  const TVirtualTreeColumn& c = columns.Items(Column);
  const bool pressed = Column == columns.pressedColumn;
  const bool hover = Column == columns.hoverColumn;
  const TVTColumnOptions o = c.Options();
  TRect r = R;
  Canvas.Brush().SetColor(background);
  Canvas.Brush().SetStyle(bsSolid);
  Canvas.FillRect(r);
  switch (style) {
    case hsThickButtons:
      if (pressed) FlatEdge(Canvas, r);
      else RaisedEdge(Canvas, r);
      break;
    case hsFlatButtons:
      if (pressed) Frame3D(Canvas, r, clBtnShadow, clBtnHighlight, 1);
      else Frame3D(Canvas, r, clBtnHighlight, clBtnShadow, 1);
      break;
    case hsPlates:
      if (pressed) Frame3D(Canvas, r, clBtnShadow, clBtnHighlight, 1);
      else if (hover && o.Contains(coAllowClick) && o.Contains(coEnabled))
        Frame3D(Canvas, r, clBtnHighlight, clBtnShadow, 1);
      else {
        // An etched line along the right edge only.
        Canvas.Brush().SetColor(clBtnShadow);
        Canvas.FillRect(Rect(r.Right - 2, r.Top + 2, r.Right - 1, r.Bottom - 2));
        Canvas.Brush().SetColor(clBtnHighlight);
        Canvas.FillRect(Rect(r.Right - 1, r.Top + 2, r.Right, r.Bottom - 2));
      }
      break;
  }
  TRect inner = R;
  InflateRect(inner, -2, -2);
  if (pressed) OffsetRect(inner, 1, 1);
  TClipGuard clip(Canvas);
  Canvas.SetClipRect(inner);
  // Right-to-left: image and caption from the right edge, mirrored.
  const bool rightToLeft = UseRightToLeftAlignment(c.BiDiMode());
  const int margin = c.Margin() < 0 ? 4 : c.Margin();
  int left = inner.Left + margin;
  int right = inner.Right - margin;
  if (options.Contains(hoShowImages) && images && c.ImageIndex() >= 0) {
    const int y = inner.Top + (inner.Height() - images->Height()) / 2;
    const int x = rightToLeft ? right - images->Width() : left;
    images->Draw(Canvas, x, y, c.ImageIndex(), o.Contains(coEnabled) ? idsNormal : idsDisabled);
    if (rightToLeft)
      right = x - c.Spacing();
    else
      left = x + images->Width() + c.Spacing();
  }
  if (!c.Text().empty()) {
    Canvas.Brush().SetStyle(bsClear);
    std::string caption = c.Text();
    const int available = (rightToLeft ? right : inner.Right) - left;
    // Shortened with an ellipsis of 10 pixels.
    if (Canvas.TextWidth(caption) > available) {
      const int fit = Canvas.FitCount(caption, std::max(0, available - 10));
      caption = caption.substr(0, static_cast<size_t>(fit)) + "...";
    }
    const int x = rightToLeft ? std::max(left, right - Canvas.TextWidth(caption)) : left;
    const int y = inner.Top + (inner.Height() - Canvas.TextHeight("Wg")) / 2;
    if (o.Contains(coEnabled)) {
      Canvas.Font().SetColor(hover && options.Contains(hoHotTrack) ? clBtnShadow : font.Color());
      Canvas.TextOut(x, y, caption);
    } else {
      Canvas.Font().SetColor(clBtnHighlight);
      Canvas.TextOut(x + 1, y + 1, caption);
      Canvas.Font().SetColor(clBtnShadow);
      Canvas.TextOut(x, y, caption);
    }
    Canvas.Brush().SetStyle(bsSolid);
  }
  if (Column == columns.dropTarget && columns.dragColumn >= 0 && o.Contains(coShowDropMark)) {
    if (const TImageList* utilities = tree.UtilityImages()) {
      const int y = R.Top + (R.Height() - utilities->Height()) / 2;
      Canvas.SetClipRect(std::nullopt);
      if (columns.dropBefore)
        utilities->Draw(Canvas, R.Left, y, 0);
      else
        utilities->Draw(Canvas, R.Right - 16, y, 1);
    }
  }
}
