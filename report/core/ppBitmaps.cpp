#include "ppBitmaps.h"

#include <QImage>

#include "rtlResources.h"

std::unique_ptr<TBitmap> ppLoadBitmapResource(const std::string& name) {
  const TResourceData* resource = FindResource(ppBitmapResourceType, name);
  if (!resource) return nullptr;
  QImage image;
  if (!image.loadFromData(static_cast<const uchar*>(resource->Data), static_cast<int>(resource->Size))) return nullptr;
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->SetImage(image);
  return bitmap;
}

void ppDrawDIBitmap(TCanvas& canvas, const TRect& rect, const TBitmap& bitmap) { canvas.StretchDraw(rect, bitmap); }

void ppDrawTransparentBitmap(TCanvas& canvas, const TRect& rect, const TBitmap& bitmap) {
  if (rect.IsEmpty()) return;
  if (rect.Width() == bitmap.Width() && rect.Height() == bitmap.Height()) {
    canvas.DrawMasked(rect.Left, rect.Top, bitmap, clWhite, 100);
    return;
  }
  TBitmap scaled;
  scaled.SetImage(bitmap.Image().scaled(rect.Width(), rect.Height()));
  canvas.DrawMasked(rect.Left, rect.Top, scaled, clWhite, 100);
}

TppDeviceCompatibleCanvas::TppDeviceCompatibleCanvas(int devicePixelsPerInch, int width, int height)
    : bitmap(devicePixelsPerInch) {
  bitmap.SetSize(width, height);
}

void TppDeviceCompatibleCanvas::RenderToDevice(TCanvas& device, const TRect& rect) const {
  device.StretchDraw(rect, bitmap);
}
