#pragma once
// Bitmaps of the report engine: loaded from the program's resources, drawn
// stretched into a rectangle, drawn with white transparent, and drawn first
// into a memory bitmap at a device's resolution.

#include <memory>
#include <string>

#include "uiCanvas.h"
#include "uiGraphicsBitmap.h"

// The resource type report bitmaps are compiled in under.
constexpr const char* ppBitmapResourceType = "BITMAP";

// nullptr when no resource has the name or its bytes are no image.
std::unique_ptr<TBitmap> ppLoadBitmapResource(const std::string& name);
void ppDrawDIBitmap(TCanvas& canvas, const TRect& rect, const TBitmap& bitmap);
// White pixels let what is below show through.
void ppDrawTransparentBitmap(TCanvas& canvas, const TRect& rect, const TBitmap& bitmap);

// A memory bitmap, white at first, at the resolution of the device it is
// rendered to afterwards.
class TppDeviceCompatibleCanvas {
public:
  TppDeviceCompatibleCanvas(int devicePixelsPerInch, int width, int height);
  TCanvas& Canvas() { return bitmap.Canvas(); }
  const TBitmap& Bitmap() const { return bitmap; }
  void RenderToDevice(TCanvas& device, const TRect& rect) const;

private:
  TBitmap bitmap;
};
