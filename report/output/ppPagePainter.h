#pragma once
// Draws a page's commands on any canvas at the canvas's resolution: the
// screen, a bitmap, the printer, or the measuring canvas that tests read.
// Positions are the commands' mm-thousandths on the page, turned into
// pixels at 0.03937 inches a millimetre.

#include "ppUnits.h"

class TCanvas;
class TppDrawCommand;
class TppPage;
struct TRect;

class TppPagePainter : public TppPrinterResolution {
public:
  explicit TppPagePainter(TCanvas& canvas);

  int PixelsPerInchX() const override;
  int PixelsPerInchY() const override;
  int ToPixelsX(int mm) const;
  int ToPixelsY(int mm) const;
  TRect CommandRect(const TppDrawCommand& command) const;

  // Every command in drawing order; look-ahead texts (page n of m) are
  // brought up to date from the page first.
  void DrawPage(TppPage& page);
  // False for a kind it cannot draw.
  bool DrawCommand(TppDrawCommand& command);
  // The thickness in pixels of a line of the weight (points): at least 1.
  int LineThickness(float weight) const;

private:
  TCanvas& canvas;
};
