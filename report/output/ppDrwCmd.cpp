#include "ppDrwCmd.h"

#include <charconv>
#include <cstring>

#include "ppDevice.h"
#include "ppDrawBarCode.h"
#include "uiCanvas.h"
#include "uiMeasuringCanvas.h"
#include "uiRichTextLayout.h"
#include "ppPage.h"
#include "ppUtils.h"
#include "rtlFormat.h"
#include "rtlReader.h"
#include "rtlWriter.h"

namespace {

// A command's length field is this many bytes.
constexpr int64_t richTextLengthSize = 4;

}  // namespace

// ---- descriptors ----

const TClassInfo& TppDrawCommand::StaticClassType() {
  static const TClassInfo info =
      TClassBuilder<TppDrawCommand>("TppDrawCommand")
          .Property("Clickable", &TppDrawCommand::Clickable, &TppDrawCommand::SetClickable)
          .Default(0)
          .Property("DataType", &TppDrawCommand::DataType, &TppDrawCommand::SetDataType)
          .Default(dtString)
          .Property("Height", &TppDrawCommand::Height, &TppDrawCommand::SetHeight)
          .Default(0)
          .Property("Left", &TppDrawCommand::Left, &TppDrawCommand::SetLeft)
          .Default(0)
          .Property("Top", &TppDrawCommand::Top, &TppDrawCommand::SetTop)
          .Default(0)
          .Property("Width", &TppDrawCommand::Width, &TppDrawCommand::SetWidth)
          .Default(0)
          .Build();
  return info;
}

const TClassInfo& TppDrawText::StaticClassType() {
  static const TClassInfo info =
      TClassBuilder<TppDrawText>("TppDrawText")
          .Property("AutoSize", &TppDrawText::AutoSize, &TppDrawText::AutoSize)
          .Default(0)
          .Property("BandSave", &TppDrawText::BandSave, &TppDrawText::BandSave)
          .Default(0)
          .Property("BandSaveNo", &TppDrawText::BandSaveNo, &TppDrawText::BandSaveNo)
          .Default(0)
          .Property("Color", &TppDrawText::Color, &TppDrawText::Color)
          .Default(clWhite)
          .Idents(ppColorIdents())
          .Property("ComponentSave", &TppDrawText::ComponentSave, &TppDrawText::ComponentSave)
          .Default(0)
          .Property("ComponentSaveNo", &TppDrawText::ComponentSaveNo, &TppDrawText::ComponentSaveNo)
          .Default(0)
          .Property("Font", &TppDrawText::Font, &TppDrawText::SetFont)
          .Property("ForceJustifyLastLine", &TppDrawText::ForceJustifyLastLine, &TppDrawText::ForceJustifyLastLine)
          .Default(0)
          .Property("IsMemo", &TppDrawText::IsMemo, &TppDrawText::IsMemo)
          .Default(0)
          .Property("Leading", &TppDrawText::Leading, &TppDrawText::Leading)
          .Default(0)
          .Property("SaveLength", &TppDrawText::SaveLength, &TppDrawText::SaveLength)
          .Default(0)
          .Property("TabStopPositions", &TppDrawText::TabStopPositions, &TppDrawText::SetTabStopPositions)
          .Property("Text", &TppDrawText::Text, &TppDrawText::Text)
          .Property("TextAlignment", &TppDrawText::TextAlignment, &TppDrawText::SetTextAlignment)
          .Default(taLeftJustified)
          .Property("Transparent", &TppDrawText::Transparent, &TppDrawText::Transparent)
          .Default(0)
          .Property("WordWrap", &TppDrawText::WordWrap, &TppDrawText::WordWrap)
          .Default(0)
          .Property("WrappedText", &TppDrawText::WrappedText, &TppDrawText::SetWrappedText)
          .Build();
  return info;
}

const TClassInfo& TppDrawVar::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TppDrawVar>("TppDrawVar")
                                     .Property("VarType", &TppDrawVar::VarType, &TppDrawVar::VarType)
                                     .Default(vtDate)
                                     .Build();
  return info;
}

const TClassInfo& TppDrawCalc::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TppDrawCalc>("TppDrawCalc")
                                     .Property("CalcType", &TppDrawCalc::CalcType, &TppDrawCalc::CalcType)
                                     .Default(ctDate)
                                     .Build();
  return info;
}

RTL_DEFINE_CLASS(TppDrawVariable)

const TClassInfo& TppDrawShape::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TppDrawShape>("TppDrawShape")
                                     .Property("Brush", &TppDrawShape::Brush, &TppDrawShape::SetBrush)
                                     .Property("Pen", &TppDrawShape::Pen, &TppDrawShape::SetPen)
                                     .Property("ShapeType", &TppDrawShape::ShapeType, &TppDrawShape::ShapeType)
                                     .Default(stRectangle)
                                     .Property("XCornerRound", &TppDrawShape::XCornerRound, &TppDrawShape::XCornerRound)
                                     .Default(0)
                                     .Property("YCornerRound", &TppDrawShape::YCornerRound, &TppDrawShape::YCornerRound)
                                     .Default(0)
                                     .Build();
  return info;
}

const TClassInfo& TppDrawLine::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TppDrawLine>("TppDrawLine")
                                     .Property("LinePosition", &TppDrawLine::LinePosition, &TppDrawLine::LinePosition)
                                     .Default(lpTop)
                                     .Property("LineStyle", &TppDrawLine::LineStyle, &TppDrawLine::LineStyle)
                                     .Default(lsSingle)
                                     .Property("Pen", &TppDrawLine::Pen, &TppDrawLine::SetPen)
                                     .Property("Weight", &TppDrawLine::Weight, &TppDrawLine::Weight)
                                     .Build();
  return info;
}

const TClassInfo& TppDrawImage::StaticClassType() {
  static const TClassInfo info =
      TClassBuilder<TppDrawImage>("TppDrawImage")
          .Property("Center", &TppDrawImage::Center, &TppDrawImage::Center)
          .Default(0)
          .Property("DirectDraw", &TppDrawImage::DirectDraw, &TppDrawImage::DirectDraw)
          .Default(0)
          .Property("ImageName", &TppDrawImage::ImageName, &TppDrawImage::ImageName)
          .Property("MaintainAspectRatio", &TppDrawImage::MaintainAspectRatio, &TppDrawImage::MaintainAspectRatio)
          .Default(0)
          .Property("Picture", &TppDrawImage::Picture, &TppDrawImage::SetPicture)
          .Property("Scale", &TppDrawImage::Scale, &TppDrawImage::Scale)
          .Default(0)
          .Property("Stretch", &TppDrawImage::Stretch, &TppDrawImage::Stretch)
          .Default(0)
          .Property("Transparent", &TppDrawImage::Transparent, &TppDrawImage::Transparent)
          .Default(0)
          .Build();
  return info;
}

const TClassInfo& TppDrawRichText::StaticClassType() {
  static const TClassInfo info =
      TClassBuilder<TppDrawRichText>("TppDrawRichText")
          .Property("Color", &TppDrawRichText::Color, &TppDrawRichText::Color)
          .Default(clWhite)
          .Idents(ppColorIdents())
          .Property("EndCharPos", &TppDrawRichText::EndCharPos, &TppDrawRichText::EndCharPos)
          .Default(-1)
          .Property("StartCharPos", &TppDrawRichText::StartCharPos, &TppDrawRichText::StartCharPos)
          .Default(-1)
          .Property("Transparent", &TppDrawRichText::Transparent, &TppDrawRichText::Transparent)
          .Default(0)
          .Build();
  return info;
}

void ppTextOutRotated(TCanvas& canvas, const TFont& font, int x, int y, const std::string& text, int angleDegrees) {
  const TFont savedFont = canvas.Font();
  const TBrushStyle savedStyle = canvas.Brush().Style();
  canvas.Font() = font;
  canvas.Brush().SetStyle(bsClear);
  canvas.TextOutRotated(x, y, text, angleDegrees);
  canvas.Font() = savedFont;
  canvas.Brush().SetStyle(savedStyle);
}

void ppRegisterDrawCommandClasses() {
  for (const TClassInfo* info :
       {&TppPage::StaticClassType(), &TppPageRequest::StaticClassType(), &TppDrawText::StaticClassType(),
        &TppDrawVar::StaticClassType(), &TppDrawCalc::StaticClassType(), &TppDrawShape::StaticClassType(),
        &TppDrawLine::StaticClassType(), &TppDrawImage::StaticClassType(), &TppDrawRichText::StaticClassType(),
        &TppDrawVariable::StaticClassType(), &TppDrawBarCode::StaticClassType()})
    RegisterClass(*info);
}

// ---- TppDrawCommand ----

TppDrawCommand::TppDrawCommand(TComponent* owner) : TComponent(owner) {}

TppDrawCommand::~TppDrawCommand() { SetPage(nullptr); }

const std::string& TppDrawCommand::CommandName() const {
  static const std::string none;
  return commandName ? *commandName : none;
}

void TppDrawCommand::SetCommandName(const std::string& value) {
  commandName = value.empty() ? nullptr : std::make_unique<std::string>(value);
}

void TppDrawCommand::SetPage(TppPage* value) {
  if (page == value) return;
  if (page) page->RemoveDrawCommand(this);
  page = value;
  if (page) page->AddDrawCommand(this);
}

void TppDrawCommand::SetClickable(bool value) {
  clickable = value;
  if (page) page->CommandChanged(this);
}

bool TppDrawCommand::Draw(TppDevice* device) { return device && device->DrawCommand(this); }

void TppDrawCommand::Assign(const TPersistent* source) {
  const auto* other = dynamic_cast<const TppDrawCommand*>(source);
  if (!other) {
    inherited::Assign(source);
    return;
  }
  clickable = other->clickable;
  dataType = other->dataType;
  drawRect = other->drawRect;
  SetCommandName(other->CommandName());
  left = other->left;
  top = other->top;
  width = other->width;
  height = other->height;
  OnDrawCommandClick = other->OnDrawCommandClick;
  SetTag(other->Tag());
}

TComponent* TppDrawCommand::GetParentComponent() const { return page; }

void TppDrawCommand::SetParentComponent(TComponent* value) {
  if (auto* p = dynamic_cast<TppPage*>(value)) SetPage(p);
}

// ---- TppDrawText ----

TppDrawText::TppDrawText(TComponent* owner)
    : TppDrawCommand(owner) {}

TStringList* TppDrawText::WrappedText() const {
  if (!wrappedText) wrappedText = std::make_unique<TStringList>();
  return wrappedText.get();
}

TStringList* TppDrawText::TabStopPositions() const {
  if (!tabStops) tabStops = std::make_unique<TStringList>();
  return tabStops.get();
}

void TppDrawText::SetAlignment(TAlignment value) {
  alignment = value;
  textAlignment = value == taRightJustify ? taRightJustified : value == taCenter ? taCentered : taLeftJustified;
}

void TppDrawText::SetTextAlignment(TppTextAlignment value) {
  textAlignment = value;
  alignment = value == taRightJustified ? taRightJustify : value == taCentered ? taCenter : taLeftJustify;
}

void TppDrawText::SetFont(TppFont* value) {
  if (value) font.Assign(value);
}
void TppDrawText::SetWrappedText(TStringList* value) {
  if (value) WrappedText()->Assign(*value);
}
void TppDrawText::SetTabStopPositions(TStringList* value) {
  if (value) TabStopPositions()->Assign(*value);
}

std::string TppDrawText::SaveKey() const {
  // Text file exports sort every saved command of a page by it: each
  // number as "%8d" formats it (right-aligned in at least 8 characters),
  // without a formatter's cost.
  std::string key;
  key.reserve(16);
  for (const int value : {BandSaveNo, ComponentSaveNo}) {
    char digits[16];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    const size_t length = static_cast<size_t>(result.ptr - digits);
    if (length < 8) key.append(8 - length, ' ');
    key.append(digits, length);
  }
  return key;
}

void TppDrawText::Assign(const TPersistent* source) {
  inherited::Assign(source);
  const auto* other = dynamic_cast<const TppDrawText*>(source);
  if (!other) return;
  alignment = other->alignment;
  textAlignment = other->textAlignment;
  AutoSize = other->AutoSize;
  Color = other->Color;
  IsMemo = other->IsMemo;
  Leading = other->Leading;
  Text = other->Text;
  Transparent = other->Transparent;
  WordWrap = other->WordWrap;
  BandSave = other->BandSave;
  BandSaveNo = other->BandSaveNo;
  ComponentSave = other->ComponentSave;
  ComponentSaveNo = other->ComponentSaveNo;
  ForceJustifyLastLine = other->ForceJustifyLastLine;
  SaveLength = other->SaveLength;
  Component = other->Component;
  font.Assign(&other->font);
  if (other->wrappedText) WrappedText()->Assign(*other->wrappedText);
  else wrappedText.reset();
  if (other->tabStops) TabStopPositions()->Assign(*other->tabStops);
  else tabStops.reset();
}

void TppDrawText::DefineProperties(TFiler& filer) {
  inherited::DefineProperties(filer);
  // Older layouts stored the alignment by the class library's names.
  filer.DefineProperty(
      "Alignment",
      [this](TReader& reader) {
        const std::string ident = reader.ReadIdent();
        if (ident == "taLeftJustify") SetAlignment(taLeftJustify);
        else if (ident == "taCenter") SetAlignment(taCenter);
        else if (ident == "taRightJustify") SetAlignment(taRightJustify);
      },
      nullptr, false);
}

// ---- TppDrawVar, TppDrawCalc ----

bool TppDrawVar::IsLookAhead() const {
  switch (VarType) {
    case vtPageCount:
    case vtPageSet:
    case vtPageSetDesc:
    case vtPageNo:
    case vtPageNoDesc: return true;
    default: return false;
  }
}

bool TppDrawVar::LookAheadPending() {
  if (!IsLookAhead() || !Page()) return false;
  const TppPageInfo info{Page()->PageNo, Page()->PageCount, Page()->PrintDateTime};
  Text = ppSystemVariableText(VarType, &info, NeutralFormatSettings());
  return true;
}

void TppDrawVar::Assign(const TPersistent* source) {
  inherited::Assign(source);
  if (const auto* other = dynamic_cast<const TppDrawVar*>(source)) VarType = other->VarType;
}

bool TppDrawCalc::LookAheadPending() {
  if (!Page()) return false;
  TppVarType type;
  switch (CalcType) {
    case ctPageCount: type = vtPageCount; break;
    case ctPageSet: type = vtPageSet; break;
    case ctPageSetDesc: type = vtPageSetDesc; break;
    default: return false;
  }
  const TppPageInfo info{Page()->PageNo, Page()->PageCount, Page()->PrintDateTime};
  Text = ppSystemVariableText(type, &info, NeutralFormatSettings());
  return true;
}

void TppDrawCalc::Assign(const TPersistent* source) {
  inherited::Assign(source);
  if (const auto* other = dynamic_cast<const TppDrawCalc*>(source)) CalcType = other->CalcType;
}

// ---- TppDrawVariable ----

TppDrawVariable::~TppDrawVariable() = default;

void TppDrawVariable::SetLookAhead(bool value) {
  if (value == lookAhead) return;
  lookAhead = value;
  if (value && !link) {
    link = new TppCommunicator(this);
    link->SetListensTo(ppevLookAheadValue, true);
    link->SetEventHandler([this](TppCommunicator*, TppCommunicator*, int, TppEventParams* params) {
      ValueArrived(params);
    });
  } else if (!value && link) {
    TppCommunicator* doomed = link;
    link = nullptr;
    doomed->Free();
  }
}

void TppDrawVariable::ValueArrived(TppEventParams* params) {
  if (!params || params->size() < 3) return;
  if ((*params)[0].AsString() != lookAheadKey) {
    link->ClearEventSet();  // the value is final
    return;
  }
  const int count = (*params)[1].AsInteger();
  if (count > valueCounter) {
    Text = (*params)[2].AsString();
    valueCounter = count;
  }
}

bool TppDrawVariable::LookAheadPending() { return lookAhead && link && link->ListensTo(ppevLookAheadValue); }

void TppDrawVariable::Assign(const TPersistent* source) {
  inherited::Assign(source);
  const auto* other = dynamic_cast<const TppDrawVariable*>(source);
  if (!other) return;
  lookAheadKey = other->lookAheadKey;
  SetLookAhead(other->lookAhead);
  if (!link || !other->link) return;
  for (int i = 0; i < other->link->GetNotifyLinkCount(); ++i)
    other->link->GetNotifyLink(i)->AddEventNotify(link);
}

// ---- shapes, lines, images ----

TppDrawShape::TppDrawShape(TComponent* owner)
    : TppDrawCommand(owner), brush(std::make_unique<TppBrush>()), pen(std::make_unique<TppPen>()) {
  DataTypeIs(dtGraphic);
}

void TppDrawShape::Assign(const TPersistent* source) {
  inherited::Assign(source);
  const auto* other = dynamic_cast<const TppDrawShape*>(source);
  if (!other) return;
  brush->Assign(other->brush.get());
  pen->Assign(other->pen.get());
  ShapeType = other->ShapeType;
  XCornerRound = other->XCornerRound;
  YCornerRound = other->YCornerRound;
}

TppDrawLine::TppDrawLine(TComponent* owner) : TppDrawCommand(owner), pen(std::make_unique<TppPen>()) {
  DataTypeIs(dtGraphic);
}

void TppDrawLine::Assign(const TPersistent* source) {
  inherited::Assign(source);
  const auto* other = dynamic_cast<const TppDrawLine*>(source);
  if (!other) return;
  pen->Assign(other->pen.get());
  LinePosition = other->LinePosition;
  LineStyle = other->LineStyle;
  Weight = other->Weight;
}

TppDrawImage::TppDrawImage(TComponent* owner) : TppDrawCommand(owner), picture(std::make_unique<TppPicture>()) {
  DataTypeIs(dtGraphic);
}

void TppDrawImage::Assign(const TPersistent* source) {
  inherited::Assign(source);
  const auto* other = dynamic_cast<const TppDrawImage*>(source);
  if (!other) return;
  picture->Assign(other->picture.get());
  Center = other->Center;
  MaintainAspectRatio = other->MaintainAspectRatio;
  Scale = other->Scale;
  Stretch = other->Stretch;
  Transparent = other->Transparent;
  DirectDraw = other->DirectDraw;
  ImageName = other->ImageName;
}

// ---- TppDrawRichText ----

TppDrawRichText::TppDrawRichText(TComponent* owner) : TppDrawCommand(owner) { DataTypeIs(dtBLOB); }

void TppDrawRichText::Assign(const TPersistent* source) {
  inherited::Assign(source);
  const auto* other = dynamic_cast<const TppDrawRichText*>(source);
  if (!other) return;
  Color = other->Color;
  EndCharPos = other->EndCharPos;
  StartCharPos = other->StartCharPos;
  Transparent = other->Transparent;
  richText.Clear();
  // Size() is not const, though it changes nothing.
  auto& from = const_cast<TMemoryStream&>(other->richText);
  if (from.Size() > 0) richText.WriteBuffer(from.Memory(), from.Size());
}

bool TppDrawRichText::DrawRichText(TCanvas& canvas, const TRect& rect) {
  if (!Transparent) {
    canvas.Brush().SetStyle(bsSolid);
    canvas.Brush().SetColor(Color);
    canvas.FillRect(rect);
  }
  const std::string bytes(reinterpret_cast<const char*>(richText.Memory()), static_cast<size_t>(richText.Size()));
  const TRichDocument document = ParseRichText(bytes, canvas.Font());
  // Lines break where the component measured them, at the screen's
  // resolution, so no device ends a page's range early or late.
  TMeasuringCanvas reference(ppScreenPixelsPerInch);
  TRichTextLayout layout(document, canvas, &reference);
  return layout.DrawRange(rect, std::max(0, StartCharPos), EndCharPos).AllFit;
}

void TppDrawRichText::DefineProperties(TFiler& filer) {
  inherited::DefineProperties(filer);
  filer.DefineBinaryProperty(
      "RTFStream",
      [this](TStream& stream) {
        uint8_t bytes[richTextLengthSize] = {};
        stream.ReadBuffer(bytes, richTextLengthSize);
        const uint32_t length = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
        if (length > stream.Size() - stream.Position()) throw EReadError("Invalid rich text length");
        richText.Clear();
        if (length > 0) richText.CopyFrom(stream, length);
      },
      [this](TStream& stream) {
        const uint32_t length = static_cast<uint32_t>(richText.Size());
        const uint8_t bytes[richTextLengthSize] = {static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8),
                                                   static_cast<uint8_t>(length >> 16),
                                                   static_cast<uint8_t>(length >> 24)};
        stream.WriteBuffer(bytes, richTextLengthSize);
        if (length > 0) stream.WriteBuffer(richText.Memory(), length);
      },
      richText.Size() > 0);
}
