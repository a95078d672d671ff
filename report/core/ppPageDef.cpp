#include "ppPageDef.h"

#include "rtlTypeInfo.h"

RTL_DEFINE_CLASS(TppPageDef)

void TppPageDef::Assign(const TPersistent* source) {
  if (const auto* other = dynamic_cast<const TppPageDef*>(source)) {
    pageHeight = other->pageHeight;
    pageWidth = other->pageWidth;
    marginLeft = other->marginLeft;
    marginRight = other->marginRight;
    marginTop = other->marginTop;
    marginBottom = other->marginBottom;
    return;
  }
  inherited::Assign(source);
}

bool TppPageDef::SameAs(const TppPageDef& other) const {
  return pageHeight == other.pageHeight && pageWidth == other.pageWidth && marginLeft == other.marginLeft &&
         marginRight == other.marginRight && marginTop == other.marginTop && marginBottom == other.marginBottom;
}

TRect TppPageDef::mmPrintableRect() const {
  return Rect(marginLeft, marginTop, pageWidth - marginRight, pageHeight - marginBottom);
}
