#pragma once
// The page the engine lays out on: size and margins in mm-thousandths.

#include "rtlClasses.h"
#include "uiGraphics.h"

class TppPageDef : public TPersistent {
  RTL_DECLARE_CLASS(TppPageDef, TPersistent)

  TppPageDef() = default;
  TppPageDef(int pageHeight, int pageWidth, int left, int right, int top, int bottom)
      : pageHeight(pageHeight), pageWidth(pageWidth), marginLeft(left), marginRight(right),
        marginTop(top), marginBottom(bottom) {}

  void Assign(const TPersistent* source) override;
  bool SameAs(const TppPageDef& other) const;

  int mmHeight() const { return pageHeight; }
  int mmWidth() const { return pageWidth; }
  int mmMarginLeft() const { return marginLeft; }
  int mmMarginRight() const { return marginRight; }
  int mmMarginTop() const { return marginTop; }
  int mmMarginBottom() const { return marginBottom; }
  void SetmmHeight(int value) { pageHeight = value; }
  void SetmmWidth(int value) { pageWidth = value; }
  void SetmmMarginLeft(int value) { marginLeft = value; }
  void SetmmMarginRight(int value) { marginRight = value; }
  void SetmmMarginTop(int value) { marginTop = value; }
  void SetmmMarginBottom(int value) { marginBottom = value; }

  int mmPrintableHeight() const { return pageHeight - (marginTop + marginBottom); }
  int mmPrintableWidth() const { return pageWidth - (marginLeft + marginRight); }
  TRect mmPrintableRect() const;

private:
  int pageHeight = 0;
  int pageWidth = 0;
  int marginLeft = 0;
  int marginRight = 0;
  int marginTop = 0;
  int marginBottom = 0;
};
