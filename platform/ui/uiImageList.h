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

  TImageList(int Width, int Height);
  TImageList(const TImageList&) = delete;
  TImageList& operator=(const TImageList&) = delete;
  ~TImageList();

  int Width() const { return width; }
  int Height() const { return height; }
  int Count() const { return static_cast<int>(images.size()); }

  // Adds a copy of Image (cut or padded to the list's size); returns its
  // index.
  int Add(const TBitmap& Image);
  // Adds an image that Paint draws onto the mask colour.
  int AddGlyph(const std::function<void(TCanvas& Canvas, int Width, int Height)>& Paint);
  void Clear() { images.clear(); }

  // Draws image Index with its top left at (X, Y); an index out of range
  // draws nothing. Disabled images are drawn in grey.
  void Draw(TCanvas& Canvas, int X, int Y, int Index, TImageDrawStyle Style = idsNormal) const;

  // The image's pixels (for tests).
  const TBitmap& Image(int Index) const { return *images.at(static_cast<size_t>(Index)); }

private:
  int width;
  int height;
  std::vector<std::unique_ptr<TBitmap>> images;
};
