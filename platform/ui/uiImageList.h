#pragma once
// An image list: images of one size, each drawn with one colour (the mask
// colour) left transparent. Images come from bitmaps or from glyphs painted
// by code onto a canvas filled with the mask colour. A list may keep each
// image at several pixel ratios, so that a high-density screen gets pixels
// of its own instead of enlarged ones.

#include <functional>
#include <memory>
#include <vector>

#include "uiGraphicsBitmap.h"

enum TImageDrawStyle { idsNormal, idsDisabled, idsBlended };

class TImageList {
public:
  static constexpr TColor MaskColor = clFuchsia;
  // A blended image lets this share of what lies under it show through.
  static constexpr int BlendPercent = 25;

  // Keeps every image at the pixel ratios 1 to pixelRatios.
  TImageList(int width, int height, int pixelRatios = 1);
  TImageList(const TImageList&) = delete;
  TImageList& operator=(const TImageList&) = delete;
  ~TImageList();

  int Width() const { return width; }
  int Height() const { return height; }
  int Count() const { return static_cast<int>(images.front().size()); }
  int PixelRatios() const { return static_cast<int>(images.size()); }

  // Adds a copy of image (cut or padded to the list's size, each of its
  // pixels enlarged at the higher ratios); returns its index.
  int Add(const TBitmap& image);
  // Adds an image that paint draws onto the mask colour, once per pixel
  // ratio: width and height are the pixels to fill, the list's size times
  // the ratio.
  int AddGlyph(const std::function<void(TCanvas& canvas, int width, int height)>& paint);

  // Draws image index with its top left at (x, y), from the pixels that
  // suit the canvas's pixel ratio; an index out of range draws nothing.
  // Disabled images are drawn in grey.
  void Draw(TCanvas& canvas, int x, int y, int index, TImageDrawStyle style = idsNormal) const;

  // The image's pixels at a pixel ratio the list keeps (for tests).
  const TBitmap& Image(int index, int pixelRatio = 1) const;

private:
  int width;
  int height;
  // One row per pixel ratio, from 1; every row holds every image.
  std::vector<std::vector<std::unique_ptr<TBitmap>>> images;
};
