#pragma once
// The string tree: one text per node and column, never stored; every text
// is asked for through OnGetText when it is painted, measured, edited,
// saved or shown as a hint. Per node it keeps only the measured width of
// the main column's text (in the record's TextWidth).

#include "VTree.h"
#include "uiGraphicsBitmap.h"

enum TVSTTextType { ttNormal = 0, ttStatic = 1 };
enum TVSTOption { soSaveCaptions, soShowStaticText };
using TVSTOptions = TSet<TVSTOption>;

struct TDrawInfo {
  TFont Font;
  TColor Color = clWindow;
};

class TCustomVirtualStringTree;

using TVSTGetTextEvent = std::function<void(TBaseVirtualTree* Sender, PVirtualNode Node, int Column,
                                            TVSTTextType TextType, std::string& Text)>;
using TVSTGetDrawInfoEvent = std::function<void(TBaseVirtualTree* Sender, PVirtualNode Node, int Column,
                                                TVSTTextType TextType, TDrawInfo& DrawInfo)>;
using TVSTNewTextEvent =
    std::function<void(TBaseVirtualTree* Sender, PVirtualNode Node, int Column, const std::string& Text)>;

// Text measures of the string tree.
constexpr int TextPadding = 4;      // left of a text, and right of it
constexpr int EmptyTextWidth = 8;   // the width of a node without text
constexpr int MinEditWidth = 30;
constexpr int EditClientGap = 6;    // the editor stops this short of the client edge

class TCustomVirtualStringTree : public TBaseVirtualTree {
public:
  explicit TCustomVirtualStringTree(QWidget* Parent = nullptr);
  ~TCustomVirtualStringTree() override;

  TVSTGetTextEvent OnGetText;
  TVSTGetDrawInfoEvent OnGetDrawInfo;
  TVSTGetTextEvent OnGetHint;
  TVSTNewTextEvent OnNewText;

  const std::string& DefaultText() const { return defaultText; }
  void SetDefaultText(const std::string& Value);
  TVSTOptions StringOptions() const { return stringOptions; }
  void SetStringOptions(TVSTOptions Value);
  int EllipsisWidth() const { return ellipsisWidth; }
  int TextHeight() const { return textHeight; }

  std::string GetText(PVirtualNode Node, int Column) { return DoGetText(Node, Column, ttNormal); }
  // The text cut to Width with "..." (empty below 1 pixel).
  std::string ShortenString(TCanvas& Canvas, const std::string& Text, int Width);
  // The font, text rectangle (client coordinates) and text of a cell, for
  // the editor and tooltips.
  void GetTextInfo(PVirtualNode Node, int Column, TFont& Font, TRect& R, std::string& Text);
  void FontChanged() override;

protected:
  virtual std::string DoGetText(PVirtualNode Node, int Column, TVSTTextType TextType);
  virtual void DoGetDrawInfo(PVirtualNode Node, int Column, TVSTTextType TextType, TDrawInfo& DrawInfo);
  virtual void DoNewText(PVirtualNode Node, int Column, const std::string& Text);
  friend class TStringEditLink;

  bool ColumnIsEmpty(PVirtualNode Node, int Column) override;
  int GetNodeWidth(PVirtualNode Node, int Column) override;
  void DoPaintNode(TVTPaintInfo& PaintInfo) override;
  void PreparePaint() override;
  void PrepareRow(PVirtualNode Node) override;
  void NodeChanged(PVirtualNode Node) override;
  std::shared_ptr<IVTEditLink> CreateEditor(PVirtualNode Node, int Column) override;
  void WriteDescendantChunks(TStream& Stream, PVirtualNode Node) override;
  bool ReadChunk(TStream& Stream, PVirtualNode Node, uint32_t ChunkType, uint32_t ChunkSize) override;
  std::string ContentToText() override;
  std::string GetNodeHint(PVirtualNode Node, int Column) override;
  std::string TooltipText(PVirtualNode Node, int Column) override;

private:
  bool Customizing() const { return Options().Contains(voCustomizeItems) && static_cast<bool>(OnGetDrawInfo); }
  int MeasureText(PVirtualNode Node, int Column);
  // The main column's measured width, kept in the node record; 0: measure.
  static int CachedWidth(PVirtualNode Node) { return Node->TextWidth; }
  static void SetCachedWidth(PVirtualNode Node, int Width) {
    Node->TextWidth = Width > 0 && Width <= UINT16_MAX ? static_cast<uint16_t>(Width) : 0;
  }

  struct TColumnText {
    bool Visible = false;
    std::string Text;
    int Width = 0;
  };

  std::string defaultText = "Node";
  TVSTOptions stringOptions{soSaveCaptions};
  int ellipsisWidth = 0;
  int textHeight = 0;
  TBitmap measureBitmap;  // its canvas measures texts
  std::vector<TColumnText> columnTexts;  // by column index, refilled per row
  PVirtualNode columnTextsNode = nullptr;
};

// The published form.
class TVirtualStringTree : public TCustomVirtualStringTree {
public:
  using TCustomVirtualStringTree::TCustomVirtualStringTree;
};
