#pragma once
// The graphic components: shapes (rectangles, rounded ones, ellipses and
// their square forms), lines along one edge of their box, and pictures
// stored in the layout or read from a pipeline field.

#include <memory>
#include <string>

#include "ppPrintable.h"

#include "ppDrwCmd.h"

class TppCustomGraphic : public TppCustomComponent {
  RTL_DECLARE_CLASS(TppCustomGraphic, TppCustomComponent)

  explicit TppCustomGraphic(TComponent* owner);
  TppBrush* Brush() const { return brush.get(); }
  void SetBrush(TppBrush* value);
  TppPen* Pen() const { return pen.get(); }
  void SetPen(TppPen* value);
  bool HasFont() const { return false; }
  // Fill: the brush (clear: transparent); text colour: the pen.
  void SetFillColor(int color, bool transparent);
  void SetTextColor(int color, bool transparent);

protected:
  // The brush or the pen changed.
  virtual void AppearanceChanged();

private:
  std::unique_ptr<TppBrush> brush;
  std::unique_ptr<TppPen> pen;
};

class TppShape : public TppCustomGraphic {
  RTL_DECLARE_CLASS(TppShape, TppCustomGraphic)

  explicit TppShape(TComponent* owner);
  TShapeType Shape() const { return shape; }
  void SetShape(TShapeType value);

  // The shape's box on the page in screen pixels relative to the draw
  // rectangle: left, top, width, height, corner width and height, and the
  // kind a device draws (squares and circles as their general forms).
  struct TGeometry {
    int Left, Top, Width, Height, CornerWidth, CornerHeight;
    TShapeType Kind;
  };
  static TGeometry Geometry(TShapeType shape, int width, int height, int penWidth);

protected:
  void AppearanceChanged() override;
  void PropertiesToDrawCommand(TppDrawCommand* command) override;

private:
  TShapeType shape = stRectangle;
};

class TppLine : public TppCustomGraphic {
  RTL_DECLARE_CLASS(TppLine, TppCustomGraphic)

  explicit TppLine(TComponent* owner);
  TppLinePositionType Position() const { return position; }
  void SetPosition(TppLinePositionType value);
  TppLineStyleType Style() const { return style; }
  void SetStyle(TppLineStyleType value);
  // Points; the pen takes the width in screen pixels.
  float Weight() const { return weight; }
  void SetWeight(float value);
  // Layouts below 3000 kept only the pen's width.
  void UpgradeFromVersion(int versionNo) override;

protected:
  void AppearanceChanged() override;
  void PropertiesToDrawCommand(TppDrawCommand* command) override;

private:
  TppLinePositionType position;
  TppLineStyleType style;
  float weight = 0.75f;
  bool settingWeight = false;
};

class TppCustomImage : public TppCustomComponent {
  RTL_DECLARE_CLASS(TppCustomImage, TppCustomComponent)

  explicit TppCustomImage(TComponent* owner);
  TppPicture* Picture() const;
  void SetPicture(TppPicture* value);
  bool Center() const { return center; }
  void SetCenter(bool value);
  bool MaintainAspectRatio() const { return maintainAspectRatio; }
  void SetMaintainAspectRatio(bool value);
  bool Stretch() const { return stretch; }
  void SetStretch(bool value);
  bool DirectDraw() const { return directDraw; }
  void SetDirectDraw(bool value);
  // The picture changed: with AutoSize the component takes its size.
  void PictureChanged();
  void InitGeneration() override;

protected:
  void PropertiesToDrawCommand(TppDrawCommand* command) override;
  virtual std::string ImageKey();
  // Data images read their picture before it is drawn.
  virtual void LoadPicture() {}
  std::unique_ptr<TppPicture> picture;

private:
  bool center = true;
  bool maintainAspectRatio = false;
  bool stretch = false;
  bool directDraw = false;
  int imageCounter = 0;
};

class TppImage : public TppCustomImage {
  RTL_DECLARE_CLASS(TppImage, TppCustomImage)
  using TppCustomImage::TppCustomImage;
};

using TppPictureEvent = TEvent<void(TObject* sender, TObject* picture)>;

class TppDBImage : public TppCustomImage {
  RTL_DECLARE_CLASS(TppDBImage, TppCustomImage)

  explicit TppDBImage(TComponent* owner);
  bool IsDataAware() const override { return true; }
  bool AutoDisplay() const { return autoDisplay; }
  void SetAutoDisplay(bool value);
  const std::string& GraphicType() const { return graphicType; }
  // Only the known graphic types ("Bitmap", "MetaFile", "Icon", "GIF",
  // "JPEG") are taken.
  void SetGraphicType(const std::string& value);
  TppPictureEvent OnGetPicture;

protected:
  void LoadPicture() override;
  std::string ImageKey() override;

private:
  bool autoDisplay = true;
  std::string graphicType = "Bitmap";
};

