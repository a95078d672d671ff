// The paint loop: rows into an off-screen row bitmap, each copied once.

#include <QPainter>
#include <QPaintEvent>
#include <algorithm>

#include "VTree.h"
#include "VTreeImages.h"
#include "uiCanvasQt.h"
#include "uiGraphicsBitmap.h"
#include "uiImageList.h"

namespace {

// One entry per indent slot of a row.
enum TLineKind : uint8_t { lkNone, lkFull, lkJunction, lkEnd, lkStart, lkBranch };

// The expand button's bars.
constexpr int ButtonBar = 5;

void Dot(TCanvas& c, int x, int y) { c.FillRect(Rect(x, y, x + 1, y + 1)); }

// Dots on every other pixel, aligned to the content so they do not crawl
// when rows move.
void DottedVertical(TCanvas& c, int x, int top, int bottom, int phase) {
  for (int y = top; y < bottom; ++y)
    if (((y + phase) & 1) == 0) Dot(c, x, y);
}

void DottedHorizontal(TCanvas& c, int left, int right, int y, int phase) {
  for (int x = left; x < right; ++x)
    if (((x + phase) & 1) == 0) Dot(c, x, y);
}

}  // namespace

uint32_t TBaseVirtualTree::NodeLevelForDisplay(PVirtualNode Node) const {
  return GetNodeLevel(Node) + (options.Contains(voShowRoot) ? 1 : 0);
}

int TBaseVirtualTree::GetNodeContentLeft(PVirtualNode Node) const {
  int left = offsetX;
  if (header->UseColumns()) {
    int right;
    header->Columns().GetColumnBounds(header->MainColumn(), left, right);
  }
  return left + static_cast<int>(NodeLevelForDisplay(Node) * indent) + margin;
}

void TBaseVirtualTree::BuildLineKinds(PVirtualNode Node, std::vector<uint8_t>& Lines) const {
  const uint32_t level = NodeLevelForDisplay(Node);
  Lines.assign(level, lkNone);
  if (level == 0) return;
  const bool showRoot = options.Contains(voShowRoot);
  // The node's own slot.
  if (showRoot && IsRootNode(Node->Parent)) {
    const bool first = !Node->PrevSibling, last = !Node->NextSibling;
    Lines[0] = first && last ? lkBranch : first ? lkStart : last ? lkEnd : lkJunction;
  } else
    Lines[level - 1] = Node->NextSibling ? lkJunction : lkEnd;
  // The ancestors' slots: a full line where the ancestor goes on below.
  uint32_t slot = level - 1;
  for (PVirtualNode a = Node->Parent; !IsRootNode(a) && slot > 0; a = a->Parent) {
    --slot;
    Lines[slot] = a->NextSibling ? lkFull : lkNone;
  }
}

int TBaseVirtualTree::ImageCenter(PVirtualNode Node) const {
  int imageHeight = 0;
  if (images) imageHeight = images->Height();
  else if (options.Contains(voShowButtons)) imageHeight = ButtonSize;
  if (imageHeight > 0) return (Node->NodeHeight - imageHeight) * Node->Align / 100 + imageHeight / 2;
  return Node->NodeHeight * Node->Align / 100;
}

void TBaseVirtualTree::EraseBackground(TCanvas& Canvas, const TRect& R, int ContentTop) {
  if (background && options.Contains(voShowBackground) && background->Width() > 0 && background->Height() > 0) {
    // Tiled at its place in the content, so it scrolls with the rows.
    TClipGuard clip(Canvas);
    Canvas.SetClipRect(R);
    const int w = background->Width(), h = background->Height();
    const int startX = R.Left - ((R.Left + (-offsetX)) % w + w) % w;
    const int startY = R.Top - ((ContentTop % h) + h) % h;
    for (int y = startY; y < R.Bottom; y += h)
      for (int x = startX; x < R.Right; x += w) Canvas.Draw(x, y, *background);
    return;
  }
  Canvas.Brush().SetStyle(bsSolid);
  Canvas.Brush().SetColor(color);
  Canvas.FillRect(R);
}

void TBaseVirtualTree::PaintTreeLines(TCanvas& Canvas, PVirtualNode Node, const TRect& Cell, int Level,
                                      const std::vector<uint8_t>& Lines, int CenterY) {
  Canvas.Brush().SetStyle(bsSolid);
  Canvas.Brush().SetColor(treeLineColor);
  const int half = static_cast<int>(indent) / 2;
  for (size_t i = 0; i < Lines.size(); ++i) {
    const int x = Cell.Left + static_cast<int>(i * indent) + half;
    const int phase = x + Cell.Top;
    const int bottom = Cell.Top + Node->NodeHeight;
    switch (Lines[i]) {
      case lkFull:
        DottedVertical(Canvas, x, Cell.Top, bottom, phase);
        break;
      case lkJunction:
        DottedVertical(Canvas, x, Cell.Top, bottom, phase);
        DottedHorizontal(Canvas, x, x + half + 1, Cell.Top + CenterY, phase);
        break;
      case lkEnd:
        DottedVertical(Canvas, x, Cell.Top, Cell.Top + CenterY + 1, phase);
        DottedHorizontal(Canvas, x, x + half + 1, Cell.Top + CenterY, phase);
        break;
      case lkStart:
        DottedVertical(Canvas, x, Cell.Top + CenterY, bottom, phase);
        DottedHorizontal(Canvas, x, x + half + 1, Cell.Top + CenterY, phase);
        break;
      case lkBranch:
        DottedHorizontal(Canvas, x, x + half + 1, Cell.Top + CenterY, phase);
        break;
      default:
        break;
    }
  }
}

void TBaseVirtualTree::PaintRow(TCanvas& Canvas, PVirtualNode Node, int RowTop, const TRect& Window, int Level,
                                const std::vector<uint8_t>& Lines, const TVTPaintOptions& PaintOptions) {
  const int height = Node->NodeHeight;
  const TRect itemRect = Rect(0, 0, Window.Width(), height);
  PrepareRow(Node);
  if (!DoBeforeItemPaint(Canvas, Node, itemRect)) {
    TColor eraseColor = color;
    TItemEraseAction action = eaDefault;
    DoBeforeItemErase(Canvas, Node, itemRect, eraseColor, action);
    if (action == eaDefault) {
      if (options.Contains(voFullRowSelect) && (Node->States & nsSelected)) {
        Canvas.Brush().SetStyle(bsSolid);
        Canvas.Brush().SetColor(hasFocus ? clHighlight : clBtnFace);
        Canvas.FillRect(itemRect);
      } else if (PaintOptions.Background)
        EraseBackground(Canvas, itemRect, RowTop);
      else {
        Canvas.Brush().SetColor(color);
        Canvas.FillRect(itemRect);
      }
    } else if (action == eaColor) {
      Canvas.Brush().SetStyle(bsSolid);
      Canvas.Brush().SetColor(eraseColor);
      Canvas.FillRect(itemRect);
    }
    if (action != eaNone) DoAfterItemErase(Canvas, Node, itemRect);
    if (Node == dropTargetNode) DoPaintDropMark(Canvas, Node, itemRect);

    const bool useColumns = header->UseColumns();
    const TVirtualTreeColumns& columns = header->Columns();
    const int mainColumn = header->MainColumn();
    const int centerY = ImageCenter(Node);
    // Content x to row-bitmap x.
    const int dx = -Window.Left;
    int position = 0;
    for (;;) {
      int column = -1;
      TRect cell;
      if (useColumns) {
        if (position >= columns.Count()) break;
        column = columns.ColumnAtPosition(position);
        ++position;
        if (!columns.Items(column).Visible()) continue;
        if (PaintOptions.MainColumnOnly && column != mainColumn) continue;
        int left, right;
        columns.GetColumnBounds(column, left, right);
        left -= offsetX;
        right -= offsetX;
        if (options.Contains(voAutoSpanColumns)) {
          for (int next = GetNextSpanColumn(Node, column); next >= 0; next = GetNextSpanColumn(Node, next)) {
            int l, r;
            columns.GetColumnBounds(next, l, r);
            right = r - offsetX;
          }
        }
        cell = Rect(left + dx, 0, right + dx, height);
        if (cell.Left >= itemRect.Right) break;
        if (cell.Right <= 0) continue;
      } else {
        cell = Rect(dx, 0, std::max(itemRect.Right, static_cast<int>(rangeX) + dx), height);
      }
      if (PaintOptions.GridLines) {
        Canvas.Brush().SetStyle(bsSolid);
        Canvas.Brush().SetColor(gridLineColor);
        if (options.Contains(voShowHorzGridLines)) Canvas.FillRect(Rect(cell.Left, height - 1, cell.Right, height));
        if (useColumns && options.Contains(voShowVertGridLines) &&
            !(column == columns.GetLastVisibleColumn() && header->Options().Contains(hoAutoResize)))
          Canvas.FillRect(Rect(cell.Right - 1, 0, cell.Right, height));
      }
      TClipGuard clip(Canvas);
      Canvas.SetClipRect(Rect(cell.Left, 0, std::max(cell.Left, cell.Right - 3), height));
      TVTPaintInfo info;
      info.Canvas = &Canvas;
      info.Node = Node;
      info.Column = column;
      info.Position = useColumns ? columns.PositionOf(column) : 0;
      info.CellRect = cell;
      int x = cell.Left;
      if (column == mainColumn) {
        if (options.Contains(voShowTreeLines)) PaintTreeLines(Canvas, Node, cell, Level, Lines, centerY);
        x = cell.Left + Level * static_cast<int>(indent);
        if (options.Contains(voShowButtons) && (Node->States & nsHasChildren) && Level > 0) {
          // The button sits centred in the last indent before the item.
          const int bx = x - static_cast<int>(indent) + (static_cast<int>(indent) - ButtonSize + 1) / 2;
          const int by = centerY - ButtonSize / 2;
          Canvas.Brush().SetColor(treeLineColor);
          Canvas.FrameRect(Rect(bx, by, bx + ButtonSize, by + ButtonSize));
          Canvas.Brush().SetColor(color);
          Canvas.FillRect(Rect(bx + 1, by + 1, bx + ButtonSize - 1, by + ButtonSize - 1));
          Canvas.Brush().SetColor(clBlack);
          const int mid = ButtonSize / 2;
          Canvas.FillRect(Rect(bx + (ButtonSize - ButtonBar) / 2, by + mid,
                               bx + (ButtonSize - ButtonBar) / 2 + ButtonBar, by + mid + 1));
          if (!(Node->States & nsExpanded))
            Canvas.FillRect(Rect(bx + mid, by + (ButtonSize - ButtonBar) / 2, bx + mid + 1,
                                 by + (ButtonSize - ButtonBar) / 2 + ButtonBar));
        }
        x += margin;
        const bool disabled = (Node->States & nsDisabled) || !isEnabled();
        const bool cut = states.Contains(tsCutPending) && (Node->States & nsCutOrCopy);
        const TImageDrawStyle style = disabled ? idsDisabled : cut ? idsBlended : idsNormal;
        if (options.Contains(voCheckSupport) && Node->CheckType != ctNone) {
          const TImageList& checks = CheckImages();
          checks.Draw(Canvas, x, centerY - checks.Height() / 2, GetCheckImage(Node), idsNormal);
          x += checks.Width() + 2;
        }
        if (stateImages) {
          const int index = DoGetImageIndex(Node, ikState, column);
          if (index >= 0) {
            stateImages->Draw(Canvas, x, centerY - stateImages->Height() / 2, index, style);
            x += stateImages->Width() + 2;
          }
        }
        if (images) {
          const int index = DoGetImageIndex(Node, (Node->States & nsSelected) ? ikSelected : ikNormal, column);
          if (index >= 0) {
            const int y = centerY - images->Height() / 2;
            images->Draw(Canvas, x, y, index, style);
            const int overlay = DoGetImageIndex(Node, ikOverlay, column);
            if (overlay >= 0) images->Draw(Canvas, x, y, overlay, style);
            x += images->Width() + 2;
          }
        }
      }
      info.ContentRect = Rect(x, 0, cell.Right, height);
      DoPaintNode(info);
      if (!useColumns) break;
    }
  }
  DoAfterItemPaint(Canvas, Node, itemRect);
}

void TBaseVirtualTree::PaintTree(TCanvas& Target, const TRect& Window, TPoint Origin,
                                 const TVTPaintOptions& PaintOptions) {
  if (Window.IsEmpty()) return;
  THoldValidation hold(*this);
  PreparePaint();
  DoBeforePaint(Target);
  if (!rowBuffer) rowBuffer = std::make_unique<TBitmap>(96);
  // Rows are drawn at the target's pixel density, so that text and images
  // on a high-density screen are not enlarged afterwards.
  rowBuffer->SetPixelRatio(Target.PixelRatio());
  uint32_t top = 0;
  PVirtualNode node = nullptr;
  if (Window.Top >= 0) {
    int clientTop = 0;
    node = GetNodeAt(0, Window.Top + offsetY, &clientTop);
    top = static_cast<uint32_t>(clientTop - offsetY);
  } else
    node = root->FirstChild;
  std::vector<uint8_t> lines;
  int y = static_cast<int>(top);
  while (node && y < Window.Bottom) {
    if (!(node->States & nsInitialized)) InitNode(node);
    if (!PaintOptions.SelectedOnly || (node->States & nsSelected)) {
      const int height = node->NodeHeight;
      if (rowBuffer->Width() != Window.Width() || rowBuffer->Height() != height)
        rowBuffer->SetSize(Window.Width(), height);
      TCanvas& rowCanvas = rowBuffer->Canvas();
      rowCanvas.Font().Assign(font);
      rowCanvas.Pen().SetColor(treeLineColor);
      BuildLineKinds(node, lines);
      PaintRow(rowCanvas, node, y, Window, static_cast<int>(NodeLevelForDisplay(node)), lines, PaintOptions);
      Target.Draw(Origin.X, Origin.Y + y - Window.Top, *rowBuffer);
    }
    y += node->NodeHeight;
    node = GetNextVisible(node);
  }
  if (y < Window.Bottom) {
    const TRect rest = Rect(Origin.X, Origin.Y + std::max(0, y - Window.Top), Origin.X + Window.Width(),
                            Origin.Y + Window.Height());
    if (PaintOptions.Background)
      EraseBackground(Target, rest, std::max(y, Window.Top));
    else {
      Target.Brush().SetStyle(bsSolid);
      Target.Brush().SetColor(color);
      Target.FillRect(rest);
    }
  }
  if (states.Contains(tsDrawSelecting)) {
    TRect r = SelectionRect();
    OffsetRect(r, Origin.X - Window.Left, Origin.Y - Window.Top);
    Target.Brush().SetColor(clBlack);
    Target.FrameRect(r);
  }
  DoAfterPaint(Target);
}

void TBaseVirtualTree::PaintViewport(const QRect& Update) {
  QPainter painter(Viewport());
  if (!animationFrame.isNull()) {
    const qreal ratio = animationFrame.devicePixelRatio();
    painter.drawImage(QRectF(Update), animationFrame,
                      QRectF(Update.left() * ratio, Update.top() * ratio, Update.width() * ratio, Update.height() * ratio));
    return;
  }
  TQtCanvas canvas(painter, 96);
  const TRect window = Rect(-offsetX, Update.top() - offsetY, -offsetX + ClientWidth(), Update.bottom() + 1 - offsetY);
  PaintTree(canvas, window, TPoint{0, Update.top()}, TVTPaintOptions{});
}

QImage TBaseVirtualTree::RenderToImage() {
  ensurePolished();
  rendering = true;
  UpdateScrollBars();
  QImage image = grab().toImage().convertToFormat(QImage::Format_RGB32);
  rendering = false;
  return image;
}

// Painting hooks -------------------------------------------------------------

void TBaseVirtualTree::DoBeforePaint(TCanvas& Canvas) {
  if (OnBeforePaint) OnBeforePaint(this, Canvas);
}

void TBaseVirtualTree::DoAfterPaint(TCanvas& Canvas) {
  if (OnAfterPaint) OnAfterPaint(this, Canvas);
}

bool TBaseVirtualTree::DoBeforeItemPaint(TCanvas& Canvas, PVirtualNode Node, const TRect& ItemRect) {
  bool custom = false;
  if (OnBeforeItemPaint) OnBeforeItemPaint(this, Canvas, Node, ItemRect, custom);
  return custom;
}

void TBaseVirtualTree::DoBeforeItemErase(TCanvas& Canvas, PVirtualNode Node, const TRect& ItemRect, TColor& Color,
                                         TItemEraseAction& Action) {
  if (OnBeforeItemErase) OnBeforeItemErase(this, Canvas, Node, ItemRect, Color, Action);
}

void TBaseVirtualTree::DoAfterItemErase(TCanvas& Canvas, PVirtualNode Node, const TRect& ItemRect) {
  if (OnAfterItemErase) OnAfterItemErase(this, Canvas, Node, ItemRect);
}

void TBaseVirtualTree::DoAfterItemPaint(TCanvas& Canvas, PVirtualNode Node, const TRect& ItemRect) {
  if (OnAfterItemPaint) OnAfterItemPaint(this, Canvas, Node, ItemRect);
}

void TBaseVirtualTree::DoPaintDropMark(TCanvas& Canvas, PVirtualNode Node, const TRect& R) {
  if (dropMode != dmAbove && dropMode != dmBelow) return;
  Canvas.Brush().SetStyle(bsSolid);
  Canvas.Brush().SetColor(dropMarkColor);
  Canvas.Pen().SetStyle(psClear);
  const int y = dropMode == dmAbove ? R.Top + 1 : R.Bottom - 2;
  const int left = R.Left + 2, right = R.Right - 2;
  // A bar with an arrow head at each end.
  Canvas.Polygon({{left, y - 5}, {left + 6, y - 1}, {right - 6, y - 1}, {right, y - 5}, {right, y + 5},
                  {right - 6, y + 1}, {left + 6, y + 1}, {left, y + 5}});
  Canvas.Pen().SetStyle(psSolid);
}

int TBaseVirtualTree::DoGetImageIndex(PVirtualNode Node, TVTImageKind Kind, int Column) {
  int index = -1;
  if (OnGetImageIndex) OnGetImageIndex(this, Node, Kind, Column, index);
  return index;
}

int TBaseVirtualTree::GetNextSpanColumn(PVirtualNode Node, int Column) {
  const int next = header->Columns().GetNextVisibleColumn(Column);
  if (next < 0 || !ColumnIsEmpty(Node, next)) return -2;
  return next;
}

const TImageList& TBaseVirtualTree::CheckImages() const { return CheckImageList(checkImageKind); }

const TImageList* TBaseVirtualTree::UtilityImages() const { return &UtilityImageList(); }
