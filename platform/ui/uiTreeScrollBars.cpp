#include "uiTreeScrollBars.h"

#include <QPainter>
#include <QStyleFactory>
#include <QStyleOptionSlider>
#include <cassert>

#include "uiCanvasQt.h"
#include "uiGraphics.h"

TScrollBarLook::TScrollBarLook(TScrollBarStyle Style)
    // A style of its own to draw on: the proxy must not own the
    // application's style.
    : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))), look(Style) {
  assert(Style != sbmRegular);
}

void TScrollBarLook::DrawPart(QPainter* Painter, const QRect& R, bool Sunken) const {
  if (R.isEmpty()) return;
  Painter->fillRect(R, ToQColor(clBtnFace));
  if (look == sbmFlat) {
    // A flat part shows only its outline, darker while pressed.
    Painter->setPen(ToQColor(Sunken ? cl3DDkShadow : clBtnShadow));
    Painter->drawRect(R.adjusted(0, 0, -1, -1));
    return;
  }
  // Raised: light top and left, dark bottom and right (swapped while
  // pressed), two pixels deep.
  const QColor outerLight = ToQColor(Sunken ? cl3DDkShadow : cl3DLight);
  const QColor innerLight = ToQColor(Sunken ? clBtnShadow : clBtnHighlight);
  const QColor innerDark = ToQColor(Sunken ? clBtnHighlight : clBtnShadow);
  const QColor outerDark = ToQColor(Sunken ? cl3DLight : cl3DDkShadow);
  auto edge = [&](const QRect& r, const QColor& light, const QColor& dark) {
    Painter->setPen(light);
    Painter->drawLine(r.topLeft(), r.topRight());
    Painter->drawLine(r.topLeft(), r.bottomLeft());
    Painter->setPen(dark);
    Painter->drawLine(r.bottomLeft(), r.bottomRight());
    Painter->drawLine(r.topRight(), r.bottomRight());
  };
  edge(R, outerLight, outerDark);
  edge(R.adjusted(1, 1, -1, -1), innerLight, innerDark);
}

void TScrollBarLook::drawComplexControl(ComplexControl Control, const QStyleOptionComplex* Option,
                                        QPainter* Painter, const QWidget* Widget) const {
  const auto* bar = qstyleoption_cast<const QStyleOptionSlider*>(Option);
  if (Control != CC_ScrollBar || !bar) {
    QProxyStyle::drawComplexControl(Control, Option, Painter, Widget);
    return;
  }
  Painter->save();
  Painter->fillRect(bar->rect, ToQColor(clScrollBar));
  const bool enabled = bar->state & State_Enabled;
  const bool vertical = bar->orientation == Qt::Vertical;
  auto pressed = [&](SubControl part) { return (bar->activeSubControls & part) && (bar->state & State_Sunken); };
  struct TArrow {
    SubControl Part;
    PrimitiveElement Glyph;
  };
  const TArrow arrows[] = {{SC_ScrollBarSubLine, vertical ? PE_IndicatorArrowUp : PE_IndicatorArrowLeft},
                           {SC_ScrollBarAddLine, vertical ? PE_IndicatorArrowDown : PE_IndicatorArrowRight}};
  for (const TArrow& arrow : arrows) {
    const QRect r = subControlRect(CC_ScrollBar, bar, arrow.Part, Widget);
    DrawPart(Painter, r, pressed(arrow.Part));
    QStyleOption glyph(*bar);
    glyph.rect = r.adjusted(3, 3, -3, -3);
    glyph.state = enabled ? State_Enabled : State_None;
    glyph.palette.setColor(QPalette::ButtonText, ToQColor(enabled ? clBtnText : clGrayText));
    glyph.palette.setColor(QPalette::WindowText, ToQColor(enabled ? clBtnText : clGrayText));
    baseStyle()->drawPrimitive(arrow.Glyph, &glyph, Painter, Widget);
  }
  // Nothing to scroll: no thumb.
  if (enabled && bar->maximum > bar->minimum)
    DrawPart(Painter, subControlRect(CC_ScrollBar, bar, SC_ScrollBarSlider, Widget), pressed(SC_ScrollBarSlider));
  Painter->restore();
}
