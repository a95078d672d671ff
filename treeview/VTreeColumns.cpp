// Columns: their settings, the position array and the column geometry.

#include <algorithm>

#include "rtlAssert.h"
#include "VTree.h"
#include "VTreeHeader.h"
#include "rtlFormat.h"
#include "uiGraphicsBitmap.h"

TVirtualTreeColumn::TVirtualTreeColumn(TVirtualTreeColumns& Owner) : owner(Owner) {}

int TVirtualTreeColumn::Index() const {
  for (int i = 0; i < owner.Count(); ++i)
    if (&owner.Items(i) == this) return i;
  return -1;
}

std::string TVirtualTreeColumn::DisplayName() const { return Format("Column %d", {Index()}); }

void TVirtualTreeColumn::Changed() { owner.Changed(); }

void TVirtualTreeColumn::SetText(const std::string& Value) {
  if (text == Value) return;
  text = Value;
  Changed();
}

void TVirtualTreeColumn::SetWidth(int Value) {
  Value = std::clamp(Value, minWidth, maxWidth);
  if (Value == width) return;
  width = Value;
  owner.ColumnResized(Index());
}

void TVirtualTreeColumn::SetMinWidth(int Value) {
  minWidth = std::clamp(Value, 0, maxWidth);
  SetWidth(width);
}

void TVirtualTreeColumn::SetMaxWidth(int Value) {
  maxWidth = std::clamp(Value, minWidth, ColumnMaxWidth);
  SetWidth(width);
}

void TVirtualTreeColumn::SetStyle(TVirtualTreeColumnStyle Value) {
  if (style == Value) return;
  style = Value;
  Changed();
}

void TVirtualTreeColumn::SetImageIndex(int Value) {
  if (imageIndex == Value) return;
  imageIndex = Value;
  Changed();
}

void TVirtualTreeColumn::SetLayout(TButtonLayout Value) {
  if (layout == Value) return;
  layout = Value;
  Changed();
}

void TVirtualTreeColumn::SetMargin(int Value) {
  if (margin == Value) return;
  margin = Value;
  Changed();
}

void TVirtualTreeColumn::SetSpacing(int Value) {
  if (spacing == Value) return;
  spacing = Value;
  Changed();
}

void TVirtualTreeColumn::SetOptions(TVTColumnOptions Value) {
  if (options == Value) return;
  const bool visibility = options.Contains(coVisible) != Value.Contains(coVisible);
  options = Value;
  if (options.Contains(coParentBidiMode)) biDiMode = owner.Header().Tree().BiDiMode();
  Changed();
  if (visibility) owner.Header().Tree().ColumnsChanged();
}

void TVirtualTreeColumn::SetBiDiMode(TBiDiMode Value) {
  options.Exclude(coParentBidiMode);
  if (biDiMode == Value) return;
  biDiMode = Value;
  Changed();
}

int TVirtualTreeColumn::Position() const { return owner.PositionOf(Index()); }

void TVirtualTreeColumn::SetPosition(int Value) { owner.MoveToPosition(Index(), Value); }

// The collection -----------------------------------------------------------

TVirtualTreeColumns::TVirtualTreeColumns(TVTHeader& Header) : header(Header) {}

TVirtualTreeColumns::~TVirtualTreeColumns() = default;

TVirtualTreeColumn* TVirtualTreeColumns::Add() {
  items.push_back(std::make_unique<TVirtualTreeColumn>(*this));
  items.back()->biDiMode = header.Tree().BiDiMode();
  positions.push_back(Count() - 1);
  Changed();
  return items.back().get();
}

void TVirtualTreeColumns::ParentBiDiModeChanged() {
  for (const auto& column : items)
    if (column->options.Contains(coParentBidiMode)) column->biDiMode = header.Tree().BiDiMode();
  header.Invalidate();
}

void TVirtualTreeColumns::Clear() {
  if (items.empty()) return;
  items.clear();
  positions.clear();
  hoverColumn = pressedColumn = dragColumn = dropTarget = -2;
  Changed();
}

void TVirtualTreeColumns::Assign(const TVirtualTreeColumns& Source) {
  items.clear();
  for (const auto& c : Source.items) {
    items.push_back(std::make_unique<TVirtualTreeColumn>(*this));
    TVirtualTreeColumn& n = *items.back();
    n.text = c->text;
    n.hint = c->hint;
    n.width = c->width;
    n.minWidth = c->minWidth;
    n.maxWidth = c->maxWidth;
    n.style = c->style;
    n.imageIndex = c->imageIndex;
    n.layout = c->layout;
    n.margin = c->margin;
    n.spacing = c->spacing;
    n.options = c->options;
    n.biDiMode = n.options.Contains(coParentBidiMode) ? header.Tree().BiDiMode() : c->biDiMode;
  }
  positions = Source.positions;
  Changed();
}

void TVirtualTreeColumns::Changed() {
  ORV_ASSERT(positions.size() == items.size());
  header.AutoFitColumns();
  header.Tree().ColumnsChanged();
}

void TVirtualTreeColumns::ColumnResized(int Column) { header.Tree().ColumnResized(Column); }

void TVirtualTreeColumns::MoveToPosition(int Column, int Position) {
  if (Column < 0 || Column >= Count()) return;
  Position = std::clamp(Position, 0, Count() - 1);
  const int old = PositionOf(Column);
  if (old == Position) return;
  if (header.Tree().IsEditing()) header.Tree().EndEditNode();
  positions.erase(positions.begin() + old);
  positions.insert(positions.begin() + Position, Column);
  header.Tree().ColumnsChanged();
}

int TVirtualTreeColumns::ColumnAtPosition(int Position) const {
  if (Position < 0 || Position >= Count()) return -2;
  return positions[static_cast<size_t>(Position)];
}

int TVirtualTreeColumns::PositionOf(int Column) const {
  auto at = std::find(positions.begin(), positions.end(), Column);
  return at == positions.end() ? -1 : static_cast<int>(at - positions.begin());
}

int TVirtualTreeColumns::GetColumnAt(int X) const {
  int left = header.Tree().OffsetX();
  if (X < left) return -2;
  for (int column : positions) {
    const TVirtualTreeColumn& c = *items[static_cast<size_t>(column)];
    if (!c.Visible()) continue;
    left += c.Width();
    if (X < left) return column;
  }
  return -2;
}

void TVirtualTreeColumns::GetColumnBounds(int Column, int& Left, int& Right) const {
  Left = header.Tree().OffsetX();
  for (int column : positions) {
    const TVirtualTreeColumn& c = *items[static_cast<size_t>(column)];
    if (column == Column) {
      Right = Left + (c.Visible() ? c.Width() : 0);
      return;
    }
    if (c.Visible()) Left += c.Width();
  }
  Right = Left;
}

int TVirtualTreeColumns::TotalWidth() const {
  int total = 0;
  for (const auto& c : items)
    if (c->Visible()) total += c->Width();
  return total;
}

int TVirtualTreeColumns::GetFirstVisibleColumn() const {
  for (int column : positions)
    if (items[static_cast<size_t>(column)]->Visible()) return column;
  return -2;
}

int TVirtualTreeColumns::GetLastVisibleColumn() const {
  for (auto it = positions.rbegin(); it != positions.rend(); ++it)
    if (items[static_cast<size_t>(*it)]->Visible()) return *it;
  return -2;
}

int TVirtualTreeColumns::GetNextVisibleColumn(int Column) const {
  const int position = PositionOf(Column);
  if (position < 0) return -2;
  for (int p = position + 1; p < Count(); ++p)
    if (items[static_cast<size_t>(positions[p])]->Visible()) return positions[p];
  return -2;
}

int TVirtualTreeColumns::GetPreviousVisibleColumn(int Column) const {
  const int position = PositionOf(Column);
  if (position < 0) return -2;
  for (int p = position - 1; p >= 0; --p)
    if (items[static_cast<size_t>(positions[p])]->Visible()) return positions[p];
  return -2;
}
