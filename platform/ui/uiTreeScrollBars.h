#pragma once
// The looks a self-drawn control's scroll bars can take: the platform's
// own, flat (plain fills, no bevels) or 3D (raised bevels on the arrows and
// the thumb). Only the drawing differs: sizes and behaviour stay the
// platform style's.

#include <QProxyStyle>

enum TScrollBarStyle { sbmRegular, sbmFlat, sbm3D };

class TScrollBarLook : public QProxyStyle {
public:
  // Style must be sbmFlat or sbm3D.
  explicit TScrollBarLook(TScrollBarStyle Style);

  void drawComplexControl(ComplexControl Control, const QStyleOptionComplex* Option, QPainter* Painter,
                          const QWidget* Widget = nullptr) const override;

private:
  void DrawPart(QPainter* Painter, const QRect& R, bool Sunken) const;

  TScrollBarStyle look;
};
