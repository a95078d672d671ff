#pragma once
// The looks a self-drawn control's scroll bars can take: the platform's
// own, flat (plain fills, no bevels) or 3D (raised bevels on the arrows and
// the thumb). Only the drawing differs: sizes and behaviour stay the
// platform style's.

#include <QProxyStyle>

enum TScrollBarStyle { sbmRegular, sbmFlat, sbm3D };

class TScrollBarLook : public QProxyStyle {
public:
  // style must be sbmFlat or sbm3D.
  explicit TScrollBarLook(TScrollBarStyle style);

  void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                          const QWidget* widget = nullptr) const override;

private:
  void DrawPart(QPainter* painter, const QRect& rect, bool sunken) const;

  TScrollBarStyle look;
};
