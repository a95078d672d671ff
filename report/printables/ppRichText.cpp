#include "ppRichText.h"

#include <algorithm>
#include <cstring>

#include "ppDataPipeline.h"
#include "ppDrwCmd.h"
#include "ppForms.h"
#include "ppGraphics.h"
#include "ppReport.h"
#include "ppUnits.h"
#include "rtlStrUtils.h"
#include "uiMeasuringCanvas.h"
#include "uiRichTextLayout.h"

namespace {

std::string StreamBytes(TStream& stream) {
  const int64_t count = std::max<int64_t>(0, stream.Size() - stream.Position());
  std::string bytes(static_cast<size_t>(count), '\0');
  if (count > 0) stream.ReadBuffer(bytes.data(), count);
  return bytes;
}

int PixelsToMM(int pixels) { return ppUnitsToMMThousandths(pixels, utScreenPixels, axVertical, nullptr); }

int MMToPixels(int mm, TppAxis axis) {
  return static_cast<int>(ppMMThousandthsToUnits(mm, utScreenPixels, axis, nullptr));
}

}  // namespace

// ---------------------------------------------------------------------------
// TTextAttributes, TParaAttributes

const TClassInfo& TTextAttributes::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TTextAttributes>("TTextAttributes")
                                     .Property("Color", &TTextAttributes::Color, &TTextAttributes::SetColor)
                                     .Idents(ppColorIdents())
                                     .Property("Name", &TTextAttributes::Name, &TTextAttributes::SetName)
                                     .Property("Size", &TTextAttributes::Size, &TTextAttributes::SetSize)
                                     .Property("Style", &TTextAttributes::Style, &TTextAttributes::SetStyle)
                                     .Build();
  return info;
}

// Attributes made without a rich text (as a class's sample) stand for an
// empty selection: they read the default font and change nothing.
TFont TTextAttributes::Font() const { return owner ? owner->SelAttributes() : TFont{}; }

void TTextAttributes::Change(const std::function<void(TFont&)>& change) {
  if (owner) owner->ChangeSelAttributes(change);
}

void TTextAttributes::SetName(const std::string& value) {
  Change([&](TFont& font) { font.SetName(value); });
}

void TTextAttributes::SetSize(int value) {
  // The format keeps half points from 1 to 32767.
  const int size = std::clamp(value, 1, 1638);
  Change([&](TFont& font) { font.SetSize(size); });
}

void TTextAttributes::SetColor(int value) {
  Change([&](TFont& font) { font.SetColor(value); });
}

void TTextAttributes::SetStyle(int value) {
  Change([&](TFont& font) { font.SetStyle(static_cast<TFontStyles>(value & 0x0F)); });
}

void TTextAttributes::Assign(const TPersistent* source) {
  TFont font;
  if (const auto* other = dynamic_cast<const TTextAttributes*>(source))
    font = other->Font();
  else if (const auto* ppFont = dynamic_cast<const TppFont*>(source))
    font = ppFont->Value();
  else
    return inherited::Assign(source);
  if (owner) owner->SetSelAttributes(font);
}

const TClassInfo& TParaAttributes::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TParaAttributes>("TParaAttributes")
                                     .Property("Alignment", &TParaAttributes::Alignment, &TParaAttributes::SetAlignment)
                                     .Property("FirstIndent", &TParaAttributes::FirstIndent, &TParaAttributes::SetFirstIndent)
                                     .Property("LeftIndent", &TParaAttributes::LeftIndent, &TParaAttributes::SetLeftIndent)
                                     .Property("RightIndent", &TParaAttributes::RightIndent, &TParaAttributes::SetRightIndent)
                                     .Property("TabCount", &TParaAttributes::TabCount)
                                     .Build();
  return info;
}

TRichParagraphFormat TParaAttributes::Format() const { return owner ? owner->Paragraph() : TRichParagraphFormat{}; }

void TParaAttributes::Change(const std::function<void(TRichParagraphFormat&)>& change) {
  if (owner) owner->ChangeParagraph(change);
}

TAlignment TParaAttributes::Alignment() const {
  switch (Format().Alignment) {
    case raRight: return taRightJustify;
    case raCenter: return taCenter;
    default: return taLeftJustify;
  }
}

void TParaAttributes::SetAlignment(TAlignment value) {
  const TRichAlignment alignment = value == taRightJustify ? raRight : value == taCenter ? raCenter : raLeft;
  Change([&](TRichParagraphFormat& format) { format.Alignment = alignment; });
}

namespace {

// Points to twips, within what the format's 16-bit-minded readers take.
int PointsToTwips(int points) { return std::clamp(points, -1638, 1638) * 20; }

}  // namespace

void TParaAttributes::SetFirstIndent(int value) {
  Change([&](TRichParagraphFormat& format) { format.FirstIndent = PointsToTwips(value); });
}

void TParaAttributes::SetLeftIndent(int value) {
  Change([&](TRichParagraphFormat& format) { format.LeftIndent = std::max(0, PointsToTwips(value)); });
}

void TParaAttributes::SetRightIndent(int value) {
  Change([&](TRichParagraphFormat& format) { format.RightIndent = std::max(0, PointsToTwips(value)); });
}

void TParaAttributes::Assign(const TPersistent* source) {
  const auto* other = dynamic_cast<const TParaAttributes*>(source);
  if (!other) return inherited::Assign(source);
  if (owner) owner->SetParagraph(other->Format());
}

// ---------------------------------------------------------------------------
// TppCustomRichText

const TClassInfo& TppCustomRichText::StaticClassType() {
  static const TClassInfo info =
      TClassBuilder<TppCustomRichText>("TppCustomRichText")
          .Property("MailMerge", &TppCustomRichText::MailMerge, &TppCustomRichText::SetMailMerge)
          .Default(0)
          .Property("ShiftRelativeTo", &TppCustomRichText::ShiftRelativeTo, &TppCustomRichText::SetShiftRelativeTo)
          .Property("Stretch", &TppCustomRichText::Stretch, &TppCustomRichText::SetStretch)
          .Default(0)
          .Build();
  return info;
}

TppCustomRichText::TppCustomRichText(TComponent* owner) : TppStretchable(owner) {
  SetDrawCommandClass(&TppDrawRichText::StaticClassType());
  SetCacheRecordSize(StateSize);
  SetColor(clWhite);
}

const TRichTextBuffer& TppCustomRichText::Text() const {
  RefreshText();
  return text;
}

void TppCustomRichText::LoadText(const std::string& bytes) const { text.LoadRichText(bytes, TFont{}); }

std::string TppCustomRichText::RichText() const {
  const TRichTextBuffer& t = Text();
  return t.CharCount() > 1 ? t.RichText() : std::string();
}

void TppCustomRichText::SetRichText(const std::string& value) {
  LoadText(value);
  PropertyChange();
  LayoutChanged();
}

TMemoryStreamObject& TppCustomRichText::RichTextStream() {
  const std::string rtf = RichText();
  stream.Clear();
  if (!rtf.empty()) stream.WriteBuffer(rtf.data(), static_cast<int64_t>(rtf.size()));
  stream.SetPosition(0);
  return stream;
}

void TppCustomRichText::SetSelText(const std::string& value) {
  text.SetSelText(value);
  PropertyChange();
}

void TppCustomRichText::SetSelAttributes(const TFont& value) {
  text.SetSelAttributes(value);
  PropertyChange();
}

void TppCustomRichText::SetParagraph(const TRichParagraphFormat& value) {
  text.SetParagraph(value);
  PropertyChange();
}

void TppCustomRichText::ChangeSelAttributes(const std::function<void(TFont&)>& change) {
  text.ChangeSelAttributes(change);
  PropertyChange();
}

void TppCustomRichText::ChangeParagraph(const std::function<void(TRichParagraphFormat&)>& change) {
  text.ChangeParagraphs(change);
  PropertyChange();
}

void TppCustomRichText::LoadFromFile(const std::string& fileName) {
  TFileStream file(fileName, fmOpenRead);
  LoadFromRTFStream(file);
}

void TppCustomRichText::SaveToFile(const std::string& fileName) {
  TFileStream file(fileName, fmCreate);
  SaveToRTFStream(file);
}

void TppCustomRichText::LoadFromRTFStream(TStream& source) { SetRichText(StreamBytes(source)); }

void TppCustomRichText::SaveToRTFStream(TStream& target) {
  const std::string rtf = RichText();
  if (!rtf.empty()) target.WriteBuffer(rtf.data(), static_cast<int64_t>(rtf.size()));
}

void TppCustomRichText::SetMailMerge(bool value) {
  if (value == mailMerge) return;
  mailMerge = value;
  PropertyChange();
  LayoutChanged();
}

void TppCustomRichText::Merge() {
  // Field references are found in the characters, not in the RTF, and the
  // values go in as characters: braces and backslashes stay text.
  const TRichTextBuffer& source = Text();
  TppDataPipeline* pipeline = GetReport() ? GetReport()->DataPipeline() : nullptr;
  std::string values;
  for (int i = 0; pipeline && i < pipeline->FieldCount(); ++i) {
    const std::string value = pipeline->GetFieldAsString(pipeline->Field(i).FieldName);
    values += std::to_string(value.size()) + ":" + value;
  }
  if (merged && source.Stamp() == mergedFrom && values == mergedValues) return;
  mergedFrom = source.Stamp();
  mergedValues = std::move(values);
  if (!merged) merged = std::make_unique<TRichTextBuffer>();
  *merged = source;
  if (!pipeline) return;
  constexpr TRichFindOptions exact{true, false};
  // A ">" before the next "<" only moves the scan on, so the scan looks
  // for "<" first and keeps the ">" found after it while it still lies
  // ahead.
  int position = 0;
  int close = -1;
  while (position < merged->CharCount()) {
    const int open = merged->FindText("<", position, -1, exact);
    if (open < 0) break;
    if (close <= open) close = merged->FindText(">", open + 1, -1, exact);
    if (close < 0) break;
    const std::string name = merged->TextRange(open + 1, close - open - 1);
    std::string field;
    for (int i = 0; i < pipeline->FieldCount() && field.empty(); ++i)
      if (SameText(pipeline->Field(i).FieldName, name)) field = pipeline->Field(i).FieldName;
    for (int i = 0; i < pipeline->FieldCount() && field.empty(); ++i)
      if (SameText(pipeline->Field(i).FieldAlias, name)) field = pipeline->Field(i).FieldName;
    if (field.empty()) {
      position = open + 1;
      continue;
    }
    const int before = merged->CharCount();
    merged->SetSelStart(open);
    merged->SetSelLength(close - open + 1);
    merged->SetSelText(pipeline->GetFieldAsString(field));
    position = close + 1 + (merged->CharCount() - before);
    close = -1;
  }
}

std::vector<TppDesignMenuItem> TppCustomRichText::DesignMenuItems() const {
  const int order = ppComponentMenuOrder;
  return {{order, "KeepTogether", 1130},
          {order, "ReprintOnOverFlow", 238},
          {order, "ShiftWithParent", 240},
          {order, "Stretch", 243},
          {order, "Transparent", 246}};
}

void TppCustomRichText::PaintDesignView(TCanvas& canvas, const TRect& area) {
  const int width = area.Width();
  const int height = area.Height();
  if (width <= 0 || height <= 0) return;
  const TRichTextBuffer& current = Text();
  const bool stale = !designPicture || designPicture->Width() != width || designPicture->Height() != height ||
                     designPicture->Canvas().PixelsPerInch() != canvas.PixelsPerInch() || designStamp != current.Stamp() ||
                     designColor != Color() || designTransparent != Transparent();
  if (stale) {
    designPicture = std::make_unique<TBitmap>(canvas.PixelsPerInch());
    designPicture->SetSize(width, height);
    TCanvas& picture = designPicture->Canvas();
    picture.Brush().SetStyle(bsSolid);
    picture.Brush().SetColor(Transparent() ? clWhite : Color());
    picture.FillRect(TRect{0, 0, width, height});
    if (current.CharCount() > 1) {
      // Lines break as they print, at the screen's resolution.
      TMeasuringCanvas reference(ppScreenPixelsPerInch);
      TRichTextLayout layout(current.Document(), picture, &reference);
      layout.DrawRange(TRect{0, 0, width, height}, 0, -1);
    }
    designStamp = current.Stamp();
    designColor = Color();
    designTransparent = Transparent();
  }
  if (Transparent())
    canvas.DrawMasked(area.Left, area.Top, *designPicture, clWhite, 100);
  else
    canvas.Draw(area.Left, area.Top, *designPicture);
}

void TppCustomRichText::InitGeneration() {
  inherited::InitGeneration();
  startCharPos = 0;
  endCharPos = -1;
  resumeCharPos = 0;
}

void TppCustomRichText::StretchContent() {
  if (mailMerge) Merge();
  else Text();
  const TRichTextBuffer& printed = PrintedText();
  const int last = printed.CharCount() - 1;
  if (!Stretch() || !ContainerCanGrow()) {
    // A fixed height shows the whole text in one range, clipped.
    startCharPos = 0;
    endCharPos = last;
    resumeCharPos = 0;
    SetSpaceUsed(mmHeight());
    SetOverFlow(false);
    return;
  }
  const int start = std::clamp(resumeCharPos, 0, last);
  if (printed.CharCount() <= 1) {
    startCharPos = 0;
    endCharPos = last;
    resumeCharPos = 0;
    SetSpaceUsed(0);
    SetOverFlow(false);
    return;
  }
  TMeasuringCanvas canvas(ppScreenPixelsPerInch);
  const TRect& area = DrawRect();
  const TRect rect{0, 0, std::max(1, MMToPixels(area.Right - area.Left, axHorizontal)),
                   std::max(0, MMToPixels(PageBottom() - area.Top, axVertical))};
  TRichTextLayout layout(printed.Document(), canvas);
  // On a page where nothing stands above, waiting for the next page would
  // never end: the first line is placed even when it does not fit.
  const TRichRangeResult result = layout.MeasureRange(rect, start, -1, OnFreshPage());
  const int room = std::max(PageBottom() - area.Top, 0);
  startCharPos = start;
  if (result.AllFit || result.LastChar >= last) {
    endCharPos = last;
    resumeCharPos = 0;
    SetOverFlow(false);
    SetSpaceUsed(std::min(PixelsToMM(result.Height), room));
    SetKeptTogether(false);
    return;
  }
  SetOverFlow(true);
  if (result.LastChar < start) {
    // Nothing fits here: no space used, and the next page goes on from
    // the same character.
    startCharPos = endCharPos = -1;
    resumeCharPos = start;
    SetSpaceUsed(0);
    SetDrawComponent(false);
    return;
  }
  endCharPos = result.LastChar;
  resumeCharPos = result.LastChar + 1;
  SetSpaceUsed(std::min(PixelsToMM(result.Height), room));
  if (CheckKeepTogether()) {
    // The whole text starts on the next page instead.
    SetSpaceUsed(0);
    SetKeptTogether(true);
    startCharPos = endCharPos = -1;
    resumeCharPos = start;
    SetDrawComponent(false);
  }
}

void TppCustomRichText::PropertiesToDrawCommand(TppDrawCommand* command) {
  inherited::PropertiesToDrawCommand(command);
  auto* rich = dynamic_cast<TppDrawRichText*>(command);
  if (!rich) return;
  rich->Color = Color();
  rich->Transparent = Transparent();
  rich->StartCharPos = startCharPos;
  rich->EndCharPos = endCharPos;
  if (PrintedText().Stamp() != rtfStamp) {
    rtf = PrintedText().RichText();
    rtfStamp = PrintedText().Stamp();
  }
  TMemoryStream& target = rich->RichTextStream();
  target.Clear();
  target.WriteBuffer(rtf.data(), static_cast<int64_t>(rtf.size()));
}

namespace {
struct TRichTextState {
  int32_t StartCharPos, EndCharPos, ResumeCharPos;
};
static_assert(sizeof(TRichTextState) == TppCustomRichText::StateSize - TppStretchable::StateSize);
}  // namespace

void TppCustomRichText::CaptureState(uint8_t* record) const {
  inherited::CaptureState(record);
  const TRichTextState s{startCharPos, endCharPos, resumeCharPos};
  std::memcpy(record + TppStretchable::StateSize, &s, sizeof s);
}

void TppCustomRichText::ApplyState(const uint8_t* record) {
  inherited::ApplyState(record);
  TRichTextState s;
  std::memcpy(&s, record + TppStretchable::StateSize, sizeof s);
  startCharPos = s.StartCharPos;
  endCharPos = s.EndCharPos;
  resumeCharPos = s.ResumeCharPos;
}

// ---------------------------------------------------------------------------
// TppRichText, TppDBRichText

const TClassInfo& TppRichText::StaticClassType() {
  static const TClassInfo info =
      TClassBuilder<TppRichText>("TppRichText")
          .Property("RichText", &TppRichText::RichText, &TppRichText::SetRichText)
          .Build();
  return info;
}

TppRichText::TppRichText(TComponent* owner) : TppCustomRichText(owner) {}

std::vector<TppDesignMenuItem> TppRichText::DesignMenuItems() const {
  std::vector<TppDesignMenuItem> items = inherited::DesignMenuItems();
  items.push_back({ppComponentMenuOrder, "Edit", 120});
  items.push_back({ppComponentMenuOrder, "MailMerge", 502});
  return items;
}

bool TppRichText::DesignCommand(const std::string& name) { return name == "Edit" && Edit(); }

bool TppRichText::Edit() {
  std::unique_ptr<TppCustomRTFEditor> editor = ppCreateForm<TppCustomRTFEditor>();
  if (!editor) return false;
  TppCustomReport* report = GetReport();
  editor->SetReport(report);
  editor->SetLanguageIndex(report ? report->LanguageIndex() : 0);
  editor->MailMerge = MailMerge();
  editorStream.Clear();
  SaveToRTFStream(editorStream);
  editorStream.SetPosition(0);
  editor->EditorStream = &editorStream;
  editor->LoadFromEditorStream();
  if (editor->ShowModal() != ppmrOK) return false;
  editorStream.SetPosition(0);
  LoadFromRTFStream(editorStream);
  return true;
}

const TClassInfo& TppDBRichText::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TppDBRichText>("TppDBRichText")
                                     .Property("AutoDisplay", &TppDBRichText::AutoDisplay, &TppDBRichText::SetAutoDisplay)
                                     .Default(1)
                                     .Event("OnGetRichText", &TppDBRichText::OnGetRichText)
                                     .Build();
  return info;
}

TppDBRichText::TppDBRichText(TComponent* owner) : TppCustomRichText(owner) {}

void TppDBRichText::SetAutoDisplay(bool value) {
  if (value == autoDisplay) return;
  autoDisplay = value;
  anyLoaded = false;
  if (!value) text.Clear();
  RefreshText();
  PropertyChange();
}

void TppDBRichText::RefreshText() const {
  std::string source;
  if (OnGetRichText) {
    OnGetRichText(const_cast<TppDBRichText*>(this), source);
  } else if (autoDisplay && DataFieldReady()) {
    source = DataPipeline()->GetFieldAsString(DataField());
  } else {
    return;
  }
  if (anyLoaded && source == loaded) return;
  LoadText(source);
  loaded = std::move(source);
  anyLoaded = true;
}
