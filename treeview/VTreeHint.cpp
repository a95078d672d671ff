// Which hint to show for the header section or node under the mouse.


#include "VTree.h"
#include "uiHint.h"

std::string TBaseVirtualTree::GetNodeHint(PVirtualNode Node, int Column) { return hint; }

bool TBaseVirtualTree::GetHintAt(TPoint Pt, std::string& Text, TRect& R) {
  Text.clear();
  R = TRect{};
  if (!showHint || states.Contains(tsDragging) || states.Contains(tsDrawSelecting) ||
      header->Tracking() != TVTHeader::htNone)
    return false;
  // Header sections: y above the client area.
  if (Pt.Y < 0) {
    if (!header->Options().Contains(hoShowHint) || !header->UseColumns()) return false;
    const int column = header->Columns().GetColumnAt(Pt.X);
    if (column < 0) return false;
    Text = header->Columns().Items(column).Hint();
    int left, right;
    header->Columns().GetColumnBounds(column, left, right);
    R = Rect(left, -header->Height(), right, 0);
    return !Text.empty();
  }
  if (hintMode == hmDefault) {
    Text = hint;
    return !Text.empty();
  }
  const THitInfo hit = GetHitTestInfoAt(Pt.X, Pt.Y);
  if (!hit.HitNode) {
    if (hintMode == hmHintAndDefault) Text = hint;
    return !Text.empty();
  }
  // The cell's visible extent, widened over empty columns on its right.
  TRect cell = GetDisplayRect(hit.HitNode, hit.HitColumn, false);
  if (header->UseColumns() && options.Contains(voAutoSpanColumns))
    for (int next = GetNextSpanColumn(hit.HitNode, hit.HitColumn); next >= 0;
         next = GetNextSpanColumn(hit.HitNode, next)) {
      int left, right;
      header->Columns().GetColumnBounds(next, left, right);
      cell.Right = right;
    }
  cell.Right = std::min(cell.Right, ClientWidth());
  if (hintMode == hmTooltip) {
    const TRect text = GetDisplayRect(hit.HitNode, hit.HitColumn, true);
    const int textRight = text.Left + GetNodeWidth(hit.HitNode, header->UseColumns() ? hit.HitColumn : -1) + margin;
    // Only over the text, and only when the text is cut off.
    if (Pt.X < text.Left || Pt.X >= cell.Right || textRight <= cell.Right) return false;
    Text = TooltipText(hit.HitNode, hit.HitColumn);
    R = Rect(text.Left, text.Top, textRight, text.Bottom);
  } else {
    Text = GetNodeHint(hit.HitNode, hit.HitColumn);
    R = cell;
  }
  states.Exclude(tsHintRebuild);
  return !Text.empty();
}

bool TBaseVirtualTree::ShowHintAt(TPoint Pt) {
  std::string text;
  TRect r;
  if (!GetHintAt(Pt, text, r)) {
    HideHint();
    return false;
  }
  if (!hintWindow) hintWindow = std::make_unique<THintWindow>();
  const QSize size = hintWindow->HintSize(text);
  if (r.IsEmpty()) r = Rect(Pt.X, Pt.Y + 20, Pt.X, Pt.Y + 20);
  const QPoint at = Viewport()->mapToGlobal(QPoint(r.Left, r.Top));
  const THintAnimationKind animation = hintAnimation == hatFade    ? hakFade
                                       : hintAnimation == hatSlide ? hakSlide
                                                                   : hakNone;
  // A node deleted while the hint comes up cancels it.
  return hintWindow->ActivateHint(QRect(at, QSize(std::max(size.width(), r.Width()), size.height())), text,
                                  animation, [this] { return !states.Contains(tsHintRebuild); });
}

void TBaseVirtualTree::HideHint() {
  if (hintWindow) hintWindow->HideHint();
}
