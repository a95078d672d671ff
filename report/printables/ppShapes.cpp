#include "ppShapes.h"

#include <QByteArray>
#include <QImage>
#include <algorithm>

#include "ppDataPipeline.h"
#include "ppDrwCmd.h"
#include "ppReport.h"
#include "ppUnits.h"
#include "rtlStrUtils.h"
#include "uiGraphicsBitmap.h"

namespace {
int ScreenToMM(int pixels, TppAxis axis) { return ppUnitsToMMThousandths(pixels, utScreenPixels, axis); }
int MMToScreen(int mm, TppAxis axis) { return ppRound(ppMMThousandthsToUnits(mm, utScreenPixels, axis)); }

bool Reading(const TComponent& component) {
  const TComponentState state = component.ComponentState();
  return state.Contains(csLoading) || state.Contains(csReading);
}
}  // namespace

// ---------------------------------------------------------------------------
// TppCustomGraphic

const TClassInfo& TppCustomGraphic::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TppCustomGraphic>("TppCustomGraphic")
                                     .Property("Brush", &TppCustomGraphic::Brush, &TppCustomGraphic::SetBrush)
                                     .Property("Pen", &TppCustomGraphic::Pen, &TppCustomGraphic::SetPen)
                                     .Build();
  return info;
}

TppCustomGraphic::TppCustomGraphic(TComponent* owner)
    : TppCustomComponent(owner), brush(std::make_unique<TppBrush>()), pen(std::make_unique<TppPen>()) {
  TppPrintable::SetmmWidth(ScreenToMM(50, axHorizontal));
  TppPrintable::SetmmHeight(ScreenToMM(50, axVertical));
}

void TppCustomGraphic::SetBrush(TppBrush* value) {
  if (!value) return;
  brush->Assign(value);
  AppearanceChanged();
}

void TppCustomGraphic::SetPen(TppPen* value) {
  if (!value) return;
  pen->Assign(value);
  AppearanceChanged();
}

void TppCustomGraphic::AppearanceChanged() {
  if (!Reading(*this)) PropertyChange();
}

void TppCustomGraphic::SetFillColor(int color, bool transparent) {
  if (transparent) {
    brush->SetStyle(bsClear);
  } else {
    brush->SetColor(color);
    if (brush->Style() == bsClear) brush->SetStyle(bsSolid);
  }
  AppearanceChanged();
}

void TppCustomGraphic::SetTextColor(int color, bool transparent) {
  if (transparent) {
    pen->SetStyle(psClear);
  } else {
    pen->SetColor(color);
    if (pen->Style() == psClear) pen->SetStyle(psSolid);
  }
  AppearanceChanged();
}

// ---------------------------------------------------------------------------
// TppShape

const TClassInfo& TppShape::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TppShape>("TppShape")
                                     .Property("Shape", &TppShape::Shape, &TppShape::SetShape)
                                     .Default(stRectangle)
                                     .Build();
  return info;
}

TppShape::TppShape(TComponent* owner) : TppCustomGraphic(owner) {
  SetDrawCommandClass(&TppDrawShape::StaticClassType());
}

void TppShape::SetShape(TShapeType value) {
  if (value == shape) return;
  shape = value;
  AppearanceChanged();
}

void TppShape::AppearanceChanged() {
  if (!Reading(*this)) SetTransparent(Brush()->Style() == bsClear);
  inherited::AppearanceChanged();
}

TppShape::TGeometry TppShape::Geometry(TShapeType shape, int width, int height, int penWidth) {
  const int inset = penWidth / 2;
  TGeometry g{inset, inset, width - 2 * inset, height - 2 * inset, 0, 0, shape};
  if (shape == stSquare || shape == stRoundSquare || shape == stCircle) {
    const int side = std::min(g.Width, g.Height);
    g.Left += (g.Width - side) / 2;
    g.Top += (g.Height - side) / 2;
    g.Width = g.Height = side;
  }
  g.CornerWidth = g.CornerHeight = std::min(g.Width, g.Height) / 4;
  if (shape == stSquare) g.Kind = stRectangle;
  else if (shape == stRoundSquare) g.Kind = stRoundRect;
  else if (shape == stCircle) g.Kind = stEllipse;
  return g;
}

void TppShape::PropertiesToDrawCommand(TppDrawCommand* command) {
  inherited::PropertiesToDrawCommand(command);
  auto* draw = dynamic_cast<TppDrawShape*>(command);
  if (!draw) return;
  const TRect& rect = DrawRect();
  const TGeometry g = Geometry(shape, MMToScreen(rect.Width(), axHorizontal), MMToScreen(rect.Height(), axVertical),
                               Pen()->Width());
  draw->SetBrush(Brush());
  draw->SetPen(Pen());
  draw->SetLeft(rect.Left + ScreenToMM(g.Left, axVertical));
  draw->SetTop(rect.Top + ScreenToMM(g.Top, axVertical));
  draw->SetWidth(ScreenToMM(g.Width, axVertical));
  draw->SetHeight(ScreenToMM(g.Height, axVertical));
  draw->XCornerRound = ScreenToMM(g.CornerWidth, axVertical);
  draw->YCornerRound = ScreenToMM(g.CornerHeight, axVertical);
  draw->ShapeType = g.Kind;
}

// ---------------------------------------------------------------------------
// TppLine

const TClassInfo& TppLine::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TppLine>("TppLine")
                                     .Property("Position", &TppLine::Position, &TppLine::SetPosition)
                                     .Default(lpTop)
                                     .Property("Style", &TppLine::Style, &TppLine::SetStyle)
                                     .Default(lsSingle)
                                     .Property("Weight", &TppLine::Weight, &TppLine::SetWeight)
                                     .Build();
  return info;
}

TppLine::TppLine(TComponent* owner) : TppCustomGraphic(owner), position(lpTop), style(lsSingle) {
  SetDrawCommandClass(&TppDrawLine::StaticClassType());
  TppPrintable::SetmmHeight(ScreenToMM(15, axVertical));
  SetTransparent(true);
  SetWeight(0.75f);
}

void TppLine::SetPosition(TppLinePositionType value) {
  position = value;
  AppearanceChanged();
}

void TppLine::SetStyle(TppLineStyleType value) {
  style = value;
  AppearanceChanged();
}

void TppLine::SetWeight(float value) {
  weight = value;
  settingWeight = true;
  Pen()->SetWidth(ppRound(ppScreenPixelsPerInch * value / 72.0));
  settingWeight = false;
  AppearanceChanged();
}

void TppLine::UpgradeFromVersion(int versionNo) {
  inherited::UpgradeFromVersion(versionNo);
  if (versionNo < 3000) weight = static_cast<float>(Pen()->Width() * 72.0 / ppScreenPixelsPerInch);
}

void TppLine::AppearanceChanged() {
  // A pen width set by itself gives the weight in points.
  if (!settingWeight && ppRound(ppScreenPixelsPerInch * weight / 72.0) != Pen()->Width())
    weight = static_cast<float>(Pen()->Width() * 72.0 / ppScreenPixelsPerInch);
  inherited::AppearanceChanged();
}

void TppLine::PropertiesToDrawCommand(TppDrawCommand* command) {
  inherited::PropertiesToDrawCommand(command);
  auto* draw = dynamic_cast<TppDrawLine*>(command);
  if (!draw) return;
  draw->LinePosition = position;
  draw->LineStyle = style;
  draw->SetPen(Pen());
  draw->Weight = weight;
}

// ---------------------------------------------------------------------------
// TppCustomImage

const TClassInfo& TppCustomImage::StaticClassType() {
  static const TClassInfo info =
      TClassBuilder<TppCustomImage>("TppCustomImage")
          .Property("Center", &TppCustomImage::Center, &TppCustomImage::SetCenter)
          .Default(1)
          .Property("DirectDraw", &TppCustomImage::DirectDraw, &TppCustomImage::SetDirectDraw)
          .Default(0)
          .Property("MaintainAspectRatio", &TppCustomImage::MaintainAspectRatio,
                    &TppCustomImage::SetMaintainAspectRatio)
          .Default(0)
          .Property("Picture", &TppCustomImage::Picture, &TppCustomImage::SetPicture)
          .Property("Stretch", &TppCustomImage::Stretch, &TppCustomImage::SetStretch)
          .Default(0)
          .Build();
  return info;
}

TppCustomImage::TppCustomImage(TComponent* owner) : TppCustomComponent(owner), picture(std::make_unique<TppPicture>()) {
  SetDrawCommandClass(&TppDrawImage::StaticClassType());
  TppPrintable::SetmmWidth(ScreenToMM(50, axHorizontal));
  TppPrintable::SetmmHeight(ScreenToMM(50, axVertical));
}

TppPicture* TppCustomImage::Picture() const { return picture.get(); }

void TppCustomImage::SetPicture(TppPicture* value) {
  if (!value) return;
  picture->Assign(value);
  PictureChanged();
}

void TppCustomImage::SetCenter(bool value) {
  if (value == center) return;
  center = value;
  PictureChanged();
}

void TppCustomImage::SetMaintainAspectRatio(bool value) {
  if (value == maintainAspectRatio) return;
  maintainAspectRatio = value;
  PictureChanged();
}

void TppCustomImage::SetStretch(bool value) {
  stretch = value;
  PictureChanged();
}

void TppCustomImage::SetDirectDraw(bool value) {
  directDraw = value;
  PictureChanged();
}

void TppCustomImage::PictureChanged() {
  if (Reading(*this)) return;
  const TBitmap* bitmap = picture->Bitmap();
  if (AutoSize() && bitmap && bitmap->Width() > 0 && bitmap->Height() > 0) {
    TppPrintable::SetmmWidth(ScreenToMM(bitmap->Width(), axHorizontal));
    TppPrintable::SetmmHeight(ScreenToMM(bitmap->Height(), axVertical));
  }
  PropertyChange();
  if (ReportIsPrinting()) ++imageCounter;
}

void TppCustomImage::InitGeneration() {
  inherited::InitGeneration();
  imageCounter = 0;
}

std::string TppCustomImage::ImageKey() { return Name() + std::to_string(imageCounter); }

void TppCustomImage::PropertiesToDrawCommand(TppDrawCommand* command) {
  LoadPicture();
  inherited::PropertiesToDrawCommand(command);
  auto* draw = dynamic_cast<TppDrawImage*>(command);
  if (!draw) return;
  draw->Stretch = stretch;
  draw->Center = center;
  draw->MaintainAspectRatio = maintainAspectRatio;
  draw->DirectDraw = directDraw;
  draw->Transparent = Transparent();
  draw->SetPicture(picture.get());
  draw->ImageName = ImageKey();
}

// ---------------------------------------------------------------------------
// TppImage, TppDBImage

RTL_DEFINE_CLASS(TppImage)

const TClassInfo& TppDBImage::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TppDBImage>("TppDBImage")
                                     .Property("AutoDisplay", &TppDBImage::AutoDisplay, &TppDBImage::SetAutoDisplay)
                                     .Default(1)
                                     .Property("GraphicType", &TppDBImage::GraphicType, &TppDBImage::SetGraphicType)
                                     .Event("OnGetPicture", &TppDBImage::OnGetPicture)
                                     .Build();
  return info;
}

TppDBImage::TppDBImage(TComponent* owner) : TppCustomImage(owner) {}

void TppDBImage::SetAutoDisplay(bool value) {
  if (value == autoDisplay) return;
  autoDisplay = value;
  if (value) LoadPicture();
}

void TppDBImage::SetGraphicType(const std::string& value) {
  static const char* const known[] = {"Bitmap", "GIF", "Icon", "JPEG", "MetaFile"};
  const auto* match = std::find_if(std::begin(known), std::end(known), [&](const char* k) { return SameText(k, value); });
  if (match == std::end(known)) return;
  graphicType = *match;
  if (!Reading(*this)) {
    SetDirectDraw(graphicType == "MetaFile");
    PropertyChange();
    LayoutChanged();
  }
}

void TppDBImage::LoadPicture() {
  picture->Clear();
  const bool hears = LinksListenTo(69);
  if (!autoDisplay && !OnGetPicture && !hears) return;
  if (OnGetPicture || hears) {
    if (OnGetPicture) OnGetPicture(this, picture.get());
    TppEventParams params{Variant(static_cast<int64_t>(reinterpret_cast<intptr_t>(picture.get())))};
    SendEventNotify(this, 69, &params);
    return;
  }
  if (!DataFieldReady()) return;
  const TppDataType type = DataPipeline()->GetFieldDataType(DataField());
  if (type != dtBLOB && type != dtGraphic) return;
  // A metafile has no player here: the picture stays empty and the
  // device draws the frame.
  if (graphicType == "MetaFile") return;
  try {
    const Variant value = DataPipeline()->GetFieldValue(DataField());
    if (!value.IsBytes()) return;
    const std::vector<uint8_t> bytes = value.AsBytes();
    QImage image;
    if (!bytes.empty() && image.loadFromData(bytes.data(), static_cast<int>(bytes.size())))
      picture->NewBitmap().SetImage(image);
  } catch (const Exception&) {
    picture->Clear();  // an unreadable field leaves no picture
  }
}

std::string TppDBImage::ImageKey() {
  if (!DataPipeline()) return inherited::ImageKey();
  return Name() + DataPipeline()->Name() + DataField() + std::to_string(DataPipeline()->TraversalCount());
}
