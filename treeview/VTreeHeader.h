#pragma once
// The header and its columns. Columns split every row into cells; the
// header paints their captions above the client area, and lets the user
// resize, reorder and click them. Positions (display order) are kept apart
// from indexes (collection order) in one array.

#include <memory>
#include <string>
#include <vector>

#include "rtlSets.h"
#include "uiControlHost.h"
#include "uiGraphics.h"

class QEvent;
class QMenu;
class TBaseVirtualTree;
class TBitmap;
class TCanvas;
class TImageList;
class TVTHeader;
class TVirtualTreeColumns;

enum TVTColumnOption { coAllowClick, coEnabled, coMovable, coParentBidiMode, coResizable, coShowDropMark, coVisible };
using TVTColumnOptions = TSet<TVTColumnOption>;
inline constexpr TVTColumnOptions DefaultColumnOptions{coAllowClick,  coEnabled,      coMovable, coParentBidiMode,
                                                       coResizable,   coShowDropMark, coVisible};

enum TVirtualTreeColumnStyle { vsText, vsOwnerDraw };
enum TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };

enum TVTHeaderOption {
  hoAutoResize,
  hoColumnResize,
  hoDrag,
  hoHotTrack,
  hoOwnerDraw,
  hoRestrictDrag,
  hoShowHint,
  hoShowImages,
  hoVisible,
};
using TVTHeaderOptions = TSet<TVTHeaderOption>;

enum TVTHeaderStyle { hsThickButtons, hsFlatButtons, hsPlates };

// Width limits of every column.
constexpr int ColumnMaxWidth = 10000;
// The dragged column's picture covers the header at this opacity.
constexpr double HeaderDragImageOpacity = 0.6;
// The divider zone: from 3 pixels left of a column's right edge to 5 right.
constexpr int DividerLeftZone = 3;
constexpr int DividerRightZone = 5;

class TVirtualTreeColumn {
public:
  explicit TVirtualTreeColumn(TVirtualTreeColumns& Owner);

  int Index() const;
  // "Column %d" with the index, as the collection editor names it.
  std::string DisplayName() const;

  const std::string& Text() const { return text; }
  void SetText(const std::string& Value);
  const std::string& Hint() const { return hint; }
  void SetHint(const std::string& Value) { hint = Value; }
  int Width() const { return width; }
  void SetWidth(int Value);
  int MinWidth() const { return minWidth; }
  void SetMinWidth(int Value);
  int MaxWidth() const { return maxWidth; }
  void SetMaxWidth(int Value);
  TVirtualTreeColumnStyle Style() const { return style; }
  void SetStyle(TVirtualTreeColumnStyle Value);
  int ImageIndex() const { return imageIndex; }
  void SetImageIndex(int Value);
  TButtonLayout Layout() const { return layout; }
  void SetLayout(TButtonLayout Value);
  int Margin() const { return margin; }
  void SetMargin(int Value);
  int Spacing() const { return spacing; }
  void SetSpacing(int Value);
  TVTColumnOptions Options() const { return options; }
  void SetOptions(TVTColumnOptions Value);
  // The tree's while coParentBidiMode is set; setting one clears it.
  TBiDiMode BiDiMode() const { return biDiMode; }
  void SetBiDiMode(TBiDiMode Value);
  int Position() const;
  void SetPosition(int Value);

  bool Visible() const { return options.Contains(coVisible); }

private:
  friend class TVirtualTreeColumns;
  friend class TVTHeader;
  void Changed();
  // Stores a width without the setter's events (the auto-size does).
  void StoreWidth(int Value) { width = Value; }

  TVirtualTreeColumns& owner;
  std::string text;
  std::string hint;
  int width = 50;
  int minWidth = 0;
  int maxWidth = ColumnMaxWidth;
  TVirtualTreeColumnStyle style = vsText;
  int imageIndex = -1;
  TButtonLayout layout = blGlyphLeft;
  int margin = -1;
  int spacing = 4;
  TVTColumnOptions options = DefaultColumnOptions;
  TBiDiMode biDiMode = bdLeftToRight;
};

class TVirtualTreeColumns {
public:
  explicit TVirtualTreeColumns(TVTHeader& Header);
  ~TVirtualTreeColumns();

  TVTHeader& Header() const { return header; }
  int Count() const { return static_cast<int>(items.size()); }
  TVirtualTreeColumn* Add();
  TVirtualTreeColumn& Items(int Index) const { return *items.at(static_cast<size_t>(Index)); }
  void Clear();
  void Assign(const TVirtualTreeColumns& Source);

  // Column index at a display position; -2 when out of range.
  int ColumnAtPosition(int Position) const;
  int PositionOf(int Column) const;
  // Geometry in tree client coordinates (the horizontal offset applied).
  int GetColumnAt(int X) const;
  void GetColumnBounds(int Column, int& Left, int& Right) const;
  int TotalWidth() const;
  int GetFirstVisibleColumn() const;
  int GetLastVisibleColumn() const;
  int GetNextVisibleColumn(int Column) const;
  int GetPreviousVisibleColumn(int Column) const;

  // Every column with coParentBidiMode takes the tree's mode.
  void ParentBiDiModeChanged();

  int HoverColumn() const { return hoverColumn; }

private:
  friend class TVirtualTreeColumn;
  friend class TVTHeader;
  void Changed();
  void ColumnResized(int Column);
  void MoveToPosition(int Column, int Position);

  TVTHeader& header;
  std::vector<std::unique_ptr<TVirtualTreeColumn>> items;
  std::vector<int> positions;  // column index per display position
  int hoverColumn = -2;
  int pressedColumn = -2;
  int dragColumn = -2;
  int dropTarget = -2;
  bool dropBefore = false;
  // While a column is dragged: its picture, and where it is drawn (header
  // coordinates), following the mouse.
  std::unique_ptr<TBitmap> dragImage;
  int dragImageLeft = 0;
  int dragGrabOffset = 0;  // the mouse's distance from the image's left
};

class TVTHeader {
public:
  explicit TVTHeader(TBaseVirtualTree& Tree);
  ~TVTHeader();

  TBaseVirtualTree& Tree() const { return tree; }
  TVirtualTreeColumns& Columns() { return columns; }
  const TVirtualTreeColumns& Columns() const { return columns; }
  int AutoSizeIndex() const { return autoSizeIndex; }
  void SetAutoSizeIndex(int Value);
  TColor Background() const { return background; }
  void SetBackground(TColor Value);
  TFont& Font() { return font; }
  int Height() const { return height; }
  void SetHeight(int Value);
  TVTHeaderOptions Options() const { return options; }
  void SetOptions(TVTHeaderOptions Value);
  TVTHeaderStyle Style() const { return style; }
  void SetStyle(TVTHeaderStyle Value);
  QMenu* PopupMenu() const { return popupMenu; }
  void SetPopupMenu(QMenu* Menu) { popupMenu = Menu; }
  TImageList* Images() const { return images; }
  void SetImages(TImageList* Value);

  // True with hoVisible and at least one column; the main column is then 0.
  bool UseColumns() const;
  int MainColumn() const { return UseColumns() ? 0 : -1; }

  // The column whose divider zone holds X, or -2.
  int DividerAt(int X) const;
  // Runs the auto-size (with hoAutoResize).
  void AutoFitColumns();

  // The header area's mouse and paint events; true when handled.
  bool HandleEvent(QEvent* Event);
  void Paint(TCanvas& Canvas, int Width);
  // Ends a resize or drag (Escape, focus lost).
  void CancelTracking();
  void Invalidate();

  enum TTracking { htNone, htResizing, htDragPending, htDragging };
  TTracking Tracking() const { return tracking; }
  // The dragged column's picture and its left edge; nil while none is
  // dragged.
  const TBitmap* DragImage() const { return columns.dragImage.get(); }
  int DragImageLeft() const { return columns.dragImageLeft; }

private:
  friend class TVirtualTreeColumns;
  bool MouseDown(int X, int Y, int Button);
  bool MouseMove(int X, int Y);
  bool MouseUp(int X, int Y, int Button);
  void SetHover(int Column);
  void PaintColumn(TCanvas& Canvas, int Column, const TRect& R);
  void StartDragImage(int Column, int X);
  void EndDrag();

  TBaseVirtualTree& tree;
  TVirtualTreeColumns columns;
  TFont font;
  TColor background = clBtnFace;
  int height = 24;
  int autoSizeIndex = 0;
  TVTHeaderOptions options{hoColumnResize, hoDrag};
  TVTHeaderStyle style = hsThickButtons;
  QMenu* popupMenu = nullptr;
  TImageList* images = nullptr;
  TTracking tracking = htNone;
  int trackColumn = -2;
  int trackStartX = 0;
  int trackStartY = 0;
};
