#pragma once
// An image list: images of one size, each drawn with one colour (the mask
// colour) left transparent. Images come from bitmaps or from glyphs painted
// by code onto a canvas filled with the mask colour.

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

  TImageList(int width, int height);
  TImageList(const TImageList&) = delete;
  TImageList& operator=(const TImageList&) = delete;
  ~TImageList();

  int Width() const { return width; }
  int Height() const { return height; }
  int Count() const { return static_cast<int>(images.size()); }

  // Adds a copy of image (cut or padded to the list's size); returns its
  // index.
  int Add(const TBitmap& image);
  // Adds an image that paint draws onto the mask colour.
  int AddGlyph(const std::function<void(TCanvas& canvas, int width, int height)>& paint);
  void Clear() { images.clear(); }

  // Draws image index with its top left at (x, y); an index out of range
  // draws nothing. Disabled images are drawn in grey.
  void Draw(TCanvas& canvas, int x, int y, int index, TImageDrawStyle style = idsNormal) const;

  // The image's pixels (for tests).
  const TBitmap& Image(int index) const { return *images.at(static_cast<size_t>(index)); }

private:
  int width;
  int height;
  std::vector<std::unique_ptr<TBitmap>> images;
};
