#include "uiTreeScrollBars.h"

#include <QPainter>
#include <QStyleFactory>
#include <QStyleOptionSlider>

#include "rtlAssert.h"
#include "uiCanvasQt.h"
#include "uiGraphics.h"

TScrollBarLook::TScrollBarLook(TScrollBarStyle style)
    // A style of its own to draw on: the proxy must not own the
    // application's style.
    : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))), look(style) {
  ORV_ASSERT(style != sbmRegular);
}

void TScrollBarLook::DrawPart(QPainter* painter, const QRect& rect, bool sunken) const {
  if (rect.isEmpty()) return;
  painter->fillRect(rect, ToQColor(clBtnFace));
  if (look == sbmFlat) {
    // A flat part shows only its outline, darker while pressed.
    painter->setPen(ToQColor(sunken ? cl3DDkShadow : clBtnShadow));
    painter->drawRect(rect.adjusted(0, 0, -1, -1));
    return;
  }
  // Raised: light top and left, dark bottom and right (swapped while
  // pressed), two pixels deep.
  const QColor outerLight = ToQColor(sunken ? cl3DDkShadow : cl3DLight);
  const QColor innerLight = ToQColor(sunken ? clBtnShadow : clBtnHighlight);
  const QColor innerDark = ToQColor(sunken ? clBtnHighlight : clBtnShadow);
  const QColor outerDark = ToQColor(sunken ? cl3DLight : cl3DDkShadow);
  auto edge = [&](const QRect& r, const QColor& light, const QColor& dark) {
    painter->setPen(light);
    painter->drawLine(r.topLeft(), r.topRight());
    painter->drawLine(r.topLeft(), r.bottomLeft());
    painter->setPen(dark);
    painter->drawLine(r.bottomLeft(), r.bottomRight());
    painter->drawLine(r.topRight(), r.bottomRight());
  };
  edge(rect, outerLight, outerDark);
  edge(rect.adjusted(1, 1, -1, -1), innerLight, innerDark);
}

void TScrollBarLook::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                        QPainter* painter, const QWidget* widget) const {
  const auto* bar = qstyleoption_cast<const QStyleOptionSlider*>(option);
  if (control != CC_ScrollBar || !bar) {
    QProxyStyle::drawComplexControl(control, option, painter, widget);
    return;
  }
  painter->save();
  painter->fillRect(bar->rect, ToQColor(clScrollBar));
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
    const QRect r = subControlRect(CC_ScrollBar, bar, arrow.Part, widget);
    DrawPart(painter, r, pressed(arrow.Part));
    QStyleOption glyph(*bar);
    glyph.rect = r.adjusted(3, 3, -3, -3);
    glyph.state = enabled ? State_Enabled : State_None;
    glyph.palette.setColor(QPalette::ButtonText, ToQColor(enabled ? clBtnText : clGrayText));
    glyph.palette.setColor(QPalette::WindowText, ToQColor(enabled ? clBtnText : clGrayText));
    baseStyle()->drawPrimitive(arrow.Glyph, &glyph, painter, widget);
  }
  // Nothing to scroll: no thumb.
  if (enabled && bar->maximum > bar->minimum)
    DrawPart(painter, subControlRect(CC_ScrollBar, bar, SC_ScrollBarSlider, widget), pressed(SC_ScrollBarSlider));
  painter->restore();
}
