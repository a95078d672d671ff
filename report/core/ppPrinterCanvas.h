#pragma once
// What text layout asks of a printer: its resolution and a canvas bound to
// it. The report printer implements it; without one, layout measures on a
// measuring canvas at the screen's resolution.

#include "ppUnits.h"

class TCanvas;

class TppCanvasPrinter : public TppPrinterResolution {
public:
  // nullptr when the printer cannot give a canvas now.
  virtual TCanvas* MeasuringCanvas() = 0;
};
