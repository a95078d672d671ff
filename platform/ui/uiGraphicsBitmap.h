#pragma once
// A bitmap in memory (32-bit RGB) with its own canvas at a chosen
// resolution (96 pixels per inch unless set).

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

  int Width() const { return image.width(); }
  int Height() const { return image.height(); }
  // New pixels are white; the canvas keeps its font, pen and brush.
  void SetSize(int width, int height);
  void Assign(const TBitmap& source);

  TCanvas& Canvas();
  TColor Pixel(int x, int y) const;
  void SetPixel(int x, int y, TColor color);

  // The pixels as drawn so far.
  const QImage& Image() const;
  // Takes a copy of an image's pixels (converted to 32-bit RGB).
  void SetImage(const QImage& source);
  bool LoadFromFile(const std::string& fileName);
  bool SaveToFile(const std::string& fileName) const;

private:
  int pixelsPerInch;
  mutable QImage image;
  std::unique_ptr<TQtCanvas> canvas;

  void FinishPainting() const;
};
