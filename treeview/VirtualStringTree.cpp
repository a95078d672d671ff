// Texts asked for on demand: measuring, painting, streams and hints.

#include "VirtualStringTree.h"

#include <QString>
#include <algorithm>

#include "VTreeEditLink.h"
#include "VTreeStreamFormat.h"
#include "rtlStreams.h"
#include "VTreeStringEdit.h"
#include "uiCanvas.h"

namespace {

// The last whole UTF-8 character's start in text[0, end).
size_t PreviousCharStart(const std::string& text, size_t end) {
  if (end == 0) return 0;
  size_t i = end - 1;
  while (i > 0 && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) --i;
  return i;
}

}  // namespace

TCustomVirtualStringTree::TCustomVirtualStringTree(QWidget* Parent) : TBaseVirtualTree(Parent), measureBitmap(96) {
  measureBitmap.SetSize(1, 1);
  FontChanged();
}

TCustomVirtualStringTree::~TCustomVirtualStringTree() = default;

void TCustomVirtualStringTree::SetDefaultText(const std::string& Value) {
  if (defaultText == Value) return;
  defaultText = Value;
  if (!TreeStates().Contains(tsLoading)) {
    NodeChanged(nullptr);
    InvalidateControl();
  }
}

void TCustomVirtualStringTree::SetStringOptions(TVSTOptions Value) {
  if (stringOptions == Value) return;
  stringOptions = Value;
  InvalidateControl();
}

void TCustomVirtualStringTree::FontChanged() {
  TCanvas& canvas = measureBitmap.Canvas();
  canvas.Font().Assign(Font());
  ellipsisWidth = 3 * canvas.TextWidth(".");
  textHeight = canvas.TextMetrics().Height;
  TBaseVirtualTree::FontChanged();
}

void TCustomVirtualStringTree::NodeChanged(PVirtualNode Node) {
  if (Node && !IsRootNode(Node)) {
    SetCachedWidth(Node, 0);
    return;
  }
  // Every initialised node measures again.
  for (PVirtualNode n = RootNode()->FirstChild; n; n = GetNextNoInit(n))
    if (n->States & nsInitialized) SetCachedWidth(n, 0);
}

std::string TCustomVirtualStringTree::DoGetText(PVirtualNode Node, int Column, TVSTTextType TextType) {
  std::string text = defaultText;
  if (OnGetText) OnGetText(this, Node, Column, TextType, text);
  return text;
}

void TCustomVirtualStringTree::DoGetDrawInfo(PVirtualNode Node, int Column, TVSTTextType TextType,
                                             TDrawInfo& DrawInfo) {
  if (OnGetDrawInfo) OnGetDrawInfo(this, Node, Column, TextType, DrawInfo);
}

void TCustomVirtualStringTree::DoNewText(PVirtualNode Node, int Column, const std::string& Text) {
  if (OnNewText) OnNewText(this, Node, Column, Text);
}

bool TCustomVirtualStringTree::ColumnIsEmpty(PVirtualNode Node, int Column) {
  if (columnTextsNode == Node && Column >= 0 && Column < static_cast<int>(columnTexts.size()))
    return columnTexts[Column].Text.empty();
  return DoGetText(Node, Column, ttNormal).empty();
}

int TCustomVirtualStringTree::MeasureText(PVirtualNode Node, int Column) {
  const std::string text = DoGetText(Node, Column, ttNormal);
  if (text.empty()) return EmptyTextWidth;
  TCanvas& canvas = measureBitmap.Canvas();
  canvas.Font().Assign(Font());
  if (Customizing()) {
    TDrawInfo info{Font(), Color()};
    DoGetDrawInfo(Node, Column, ttNormal, info);
    canvas.Font().Assign(info.Font);
  }
  return canvas.TextWidth(text) + 2 * TextPadding;
}

int TCustomVirtualStringTree::GetNodeWidth(PVirtualNode Node, int Column) {
  if (!Node || IsRootNode(Node)) return 0;
  if (Column >= 1) return MeasureText(Node, Column);
  if (CachedWidth(Node) != 0) return CachedWidth(Node);
  const int width = MeasureText(Node, Column);
  SetCachedWidth(Node, width);
  return width;
}

std::string TCustomVirtualStringTree::ShortenString(TCanvas& Canvas, const std::string& Text, int Width) {
  if (Text.empty() || Width < 1) return {};
  if (Canvas.TextWidth(Text) <= Width) return Text;
  // The characters that fit beside the ellipsis, less one.
  const size_t fit = static_cast<size_t>(Canvas.FitCount(Text, std::max(0, Width - ellipsisWidth)));
  return Text.substr(0, PreviousCharStart(Text, fit)) + "...";
}

void TCustomVirtualStringTree::PreparePaint() {
  columnTexts.assign(static_cast<size_t>(Header().Columns().Count()), TColumnText{});
  for (int i = 0; i < Header().Columns().Count(); ++i) {
    columnTexts[i].Visible = Header().Columns().Items(i).Visible();
    columnTexts[i].Width = Header().Columns().Items(i).Width();
  }
  columnTextsNode = nullptr;
}

void TCustomVirtualStringTree::PrepareRow(PVirtualNode Node) {
  if (!Header().UseColumns()) return;
  if (columnTexts.size() != static_cast<size_t>(Header().Columns().Count())) PreparePaint();
  for (int p = 0; p < Header().Columns().Count(); ++p) {
    const int column = Header().Columns().ColumnAtPosition(p);
    columnTexts[column].Text = DoGetText(Node, column, ttNormal);
  }
  columnTextsNode = Node;
}

void TCustomVirtualStringTree::DoPaintNode(TVTPaintInfo& PaintInfo) {
  TCanvas& canvas = *PaintInfo.Canvas;
  PVirtualNode node = PaintInfo.Node;
  const int column = PaintInfo.Column;
  TDrawInfo info{Font(), Color()};
  std::string text;
  if (column >= 0 && columnTextsNode == node && column < static_cast<int>(columnTexts.size()))
    text = columnTexts[column].Text;
  else
    text = DoGetText(node, column, ttNormal);
  int offset;
  if (Customizing()) {
    DoGetDrawInfo(node, column, ttNormal, info);
    canvas.Font().Assign(info.Font);
    canvas.Brush().SetColor(info.Color);
    canvas.Font().SetStyle(info.Font.Style());
    TCanvas& measure = measureBitmap.Canvas();
    measure.Font().Assign(info.Font);
    offset = (node->NodeHeight - measure.TextMetrics().Height) / 2;
  } else {
    canvas.Font().Assign(Font());
    canvas.Brush().SetColor(Color());
    offset = (node->NodeHeight - textHeight) / 2;
  }
  if (Options().Contains(voHotTrack)) {
    TFontStyles style = canvas.Font().Style();
    style = node == HotNode() ? (style | fsUnderline) : (style & ~fsUnderline);
    canvas.Font().SetStyle(style);
  }
  const TRect content = PaintInfo.ContentRect;
  // The width from the text in hand: no second call for the same text.
  int nodeWidth;
  if (column <= 0 && CachedWidth(node) != 0)
    nodeWidth = CachedWidth(node);
  else {
    TCanvas& measure = measureBitmap.Canvas();
    measure.Font().Assign(canvas.Font());
    nodeWidth = text.empty() ? EmptyTextWidth : measure.TextWidth(text) + 2 * TextPadding;
    if (column <= 0) SetCachedWidth(node, nodeWidth);
  }
  const bool rightToLeft = RightToLeftText(column);
  const TRect textRect = rightToLeft ? Rect(std::max(content.Left, content.Right - nodeWidth), content.Top,
                                            content.Right, content.Bottom)
                                     : Rect(content.Left, content.Top, std::min(content.Right, content.Left + nodeWidth),
                                            content.Bottom);
  TColor textColor = canvas.Font().Color();
  const bool focusedColumn = column == FocusedColumn() || !Header().UseColumns();
  if (focusedColumn || Options().Contains(voFullRowSelect)) {
    const TRect fill = Options().Contains(voGridExtensions) ? PaintInfo.CellRect : textRect;
    canvas.Brush().SetStyle(bsSolid);
    if (node == DropTargetNode() && LastDropMode() == dmOnNode) {
      canvas.Brush().SetColor(clHighlight);
      canvas.FillRect(fill);
      textColor = clWhite;
    } else if (node->States & nsSelected) {
      canvas.Brush().SetColor(Focused() ? clHighlight : clBtnFace);
      canvas.FillRect(fill);
      textColor = Focused() ? clWhite : info.Font.Color();
    }
  }
  if ((node->States & nsDisabled) || !isEnabled()) textColor = clBtnShadow;
  canvas.Brush().SetStyle(bsClear);
  if (!text.empty()) {
    if (column >= 0) text = ShortenString(canvas, text, content.Width() - TextPadding);
    TClipGuard clip(canvas);
    const TRect cut = IntersectRect(textRect.IsEmpty() ? content : content, canvas.ClipRect().value_or(content));
    canvas.SetClipRect(cut);
    canvas.Font().SetColor(textColor);
    canvas.TextOut(textRect.Left + TextPadding, content.Top + offset, text);
  }
  if (focusedColumn && Focused() && node == FocusedNode()) {
    // A dotted focus frame round the text.
    canvas.Brush().SetStyle(bsSolid);
    canvas.Brush().SetColor(ColorToRGB(Color()) == ColorToRGB(clGray) ? clWhite : clBlack);
    for (int x = textRect.Left; x < textRect.Right; ++x)
      if ((x & 1) == 0) {
        canvas.FillRect(Rect(x, textRect.Top, x + 1, textRect.Top + 1));
        canvas.FillRect(Rect(x, textRect.Bottom - 1, x + 1, textRect.Bottom));
      }
    for (int y = textRect.Top; y < textRect.Bottom; ++y)
      if ((y & 1) == 0) {
        canvas.FillRect(Rect(textRect.Left, y, textRect.Left + 1, y + 1));
        canvas.FillRect(Rect(textRect.Right - 1, y, textRect.Right, y + 1));
      }
  }
  if (stringOptions.Contains(soShowStaticText)) {
    const std::string extra = DoGetText(node, column, ttStatic);
    if (!extra.empty()) {
      if (Customizing()) {
        TDrawInfo staticInfo{Font(), Color()};
        DoGetDrawInfo(node, column, ttStatic, staticInfo);
        canvas.Font().Assign(staticInfo.Font);
      }
      canvas.Brush().SetStyle(bsClear);
      canvas.TextOut(content.Left + nodeWidth + TextPadding, content.Top + offset, extra);
    }
  }
  canvas.Brush().SetStyle(bsSolid);
}

void TCustomVirtualStringTree::GetTextInfo(PVirtualNode Node, int Column, TFont& Font, TRect& R,
                                           std::string& Text) {
  int lineHeight = textHeight;
  Font = this->Font();
  if (HintMode() == hmTooltip && Customizing()) {
    TDrawInfo info{this->Font(), Color()};
    DoGetDrawInfo(Node, Column, ttNormal, info);
    Font = info.Font;
    TCanvas& measure = measureBitmap.Canvas();
    measure.Font().Assign(Font);
    lineHeight = measure.TextMetrics().Height;
  }
  Text = DoGetText(Node, Column, ttNormal);
  R = GetDisplayRect(Node, Column, true);
  R.Right = R.Left + GetNodeWidth(Node, Header().UseColumns() ? Column : -1);
  R.Top += (Node->NodeHeight - lineHeight) / 2;
  R.Bottom = R.Top + lineHeight;
}

std::string TCustomVirtualStringTree::GetNodeHint(PVirtualNode Node, int Column) {
  std::string text = Hint();
  if (OnGetHint) OnGetHint(this, Node, Column, ttNormal, text);
  return text;
}

std::string TCustomVirtualStringTree::TooltipText(PVirtualNode Node, int Column) {
  return DoGetText(Node, Column, ttNormal);
}

std::string TCustomVirtualStringTree::ContentToText() {
  // One line per selected node in tree order; the cells of a row joined by
  // tabs in display order.
  std::string result;
  for (PVirtualNode n : GetSortedSelection(false)) {
    if (Header().UseColumns()) {
      for (int p = 0; p < Header().Columns().Count(); ++p) {
        const int column = Header().Columns().ColumnAtPosition(p);
        if (!Header().Columns().Items(column).Visible()) continue;
        if (p > 0) result += '\t';
        result += DoGetText(n, column, ttNormal);
      }
    } else
      result += DoGetText(n, -1, ttNormal);
    result += '\n';
  }
  return result;
}

void TCustomVirtualStringTree::WriteDescendantChunks(TStream& Stream, PVirtualNode Node) {
  if (!stringOptions.Contains(soSaveCaptions) || IsRootNode(Node) || !(Node->States & nsInitialized)) return;
  const QString text = QString::fromStdString(DoGetText(Node, Header().UseColumns() ? 0 : -1, ttNormal));
  if (text.isEmpty()) return;
  const uint32_t header[2] = {CaptionChunk, static_cast<uint32_t>(text.size() * 2)};
  uint8_t bytes[8];
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(header[i / 4] >> (8 * (i % 4)));
  Stream.WriteBuffer(bytes, 8);
  std::string utf16le;
  utf16le.reserve(text.size() * 2);
  for (QChar c : text) {
    utf16le.push_back(static_cast<char>(c.unicode() & 0xFF));
    utf16le.push_back(static_cast<char>(c.unicode() >> 8));
  }
  Stream.WriteBuffer(utf16le.data(), static_cast<int64_t>(utf16le.size()));
}

bool TCustomVirtualStringTree::ReadChunk(TStream& Stream, PVirtualNode Node, uint32_t ChunkType, uint32_t ChunkSize) {
  if (ChunkType != CaptionChunk) return TBaseVirtualTree::ReadChunk(Stream, Node, ChunkType, ChunkSize);
  if (ChunkSize == 0) return true;
  std::string bytes(ChunkSize / 2 * 2, '\0');
  Stream.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  QString text(static_cast<qsizetype>(bytes.size() / 2), QChar());
  for (qsizetype i = 0; i < text.size(); ++i)
    text[i] = QChar(static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                          (static_cast<uint8_t>(bytes[2 * i + 1]) << 8)));
  DoNewText(Node, Header().UseColumns() ? 0 : -1, text.toStdString());
  return true;
}

std::shared_ptr<IVTEditLink> TCustomVirtualStringTree::CreateEditor(PVirtualNode Node, int Column) {
  std::shared_ptr<IVTEditLink> link;
  if (OnCreateEditor) OnCreateEditor(this, Node, Column, link);
  if (!link) link = std::make_shared<TStringEditLink>();
  return link;
}
