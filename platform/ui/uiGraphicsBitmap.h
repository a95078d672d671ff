#pragma once
// A bitmap in memory (32-bit RGB) with its own canvas at a chosen
// resolution (96 pixels per inch unless set). On a high-density screen it
// keeps PixelRatio() pixels per unit each way: sizes, coordinates and its
// canvas stay in units, and it is drawn at its size in units.

#include <memory>

#include <QImage>

#include "uiCanvas.h"

class TQtCanvas;

class TBitmap {
public:
  explicit TBitmap(int pixelsPerInch = 96);
  TBitmap(const TBitmap&) = delete;
  TBitmap& operator=(const TBitmap&) = delete;
  ~TBitmap();

  int Width() const { return image.width() / pixelRatio; }
  int Height() const { return image.height() / pixelRatio; }
  // New pixels are white; the canvas keeps its font, pen and brush.
  void SetSize(int width, int height);
  int PixelRatio() const { return pixelRatio; }
  // Keeps the size in units; what was drawn is scaled to the new pixels.
  void SetPixelRatio(int ratio);
  void Assign(const TBitmap& source);

  TCanvas& Canvas();
  // A unit's colour (its top-left pixel's); setting one sets all its pixels.
  TColor Pixel(int x, int y) const;
  void SetPixel(int x, int y, TColor color);

  // The pixels as drawn so far.
  const QImage& Image() const;
  // Takes a copy of an image's pixels (converted to 32-bit RGB), pixelRatio
  // of them per unit each way. A ratio the image carries is not taken: a
  // picture file named "@2x" keeps its size in pixels as its size.
  void SetImage(const QImage& source, int pixelRatio = 1);
  bool LoadFromFile(const std::string& fileName);
  bool SaveToFile(const std::string& fileName) const;

private:
  int pixelsPerInch;
  int pixelRatio = 1;
  mutable QImage image;
  std::unique_ptr<TQtCanvas> canvas;

  void FinishPainting() const;
  void Reshape(int width, int height, int ratio);
};
