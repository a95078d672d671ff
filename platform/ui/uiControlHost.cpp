#include "uiControlHost.h"

#include <QEvent>
#include <QPainter>
#include <QVariant>
#include <utility>

namespace {

constexpr const char* HelpContextProperty = "helpContext";

THelpRunner& HelpRunner() {
  static THelpRunner runner;
  return runner;
}

}  // namespace

int WidgetHelpContext(const QWidget* Widget) {
  return Widget ? Widget->property(HelpContextProperty).toInt() : 0;
}

void SetWidgetHelpContext(QWidget* Widget, int Context) { Widget->setProperty(HelpContextProperty, Context); }

int InheritedHelpContext(const QWidget* Widget) {
  for (; Widget; Widget = Widget->parentWidget())
    if (const int context = WidgetHelpContext(Widget)) return context;
  return 0;
}

void SetHelpRunner(THelpRunner Runner) { HelpRunner() = std::move(Runner); }

void ShowHelpContext(int Context) {
  if (HelpRunner()) HelpRunner()(Context);
}

TControlHost::TControlHost(QWidget* Parent)
    : QWidget(Parent),
      viewport(new QWidget(this)),
      header(new QWidget(this)),
      vertical(new QScrollBar(Qt::Vertical, this)),
      horizontal(new QScrollBar(Qt::Horizontal, this)) {
  // The control paints every pixel itself: no background fill, no
  // double buffering by Qt on top of its own row buffer.
  for (QWidget* area : {viewport, header}) {
    area->setAttribute(Qt::WA_OpaquePaintEvent);
    area->setAttribute(Qt::WA_NoSystemBackground);
    area->setMouseTracking(true);
    area->installEventFilter(this);
  }
  viewport->setFocusPolicy(Qt::NoFocus);
  header->hide();
  vertical->hide();
  horizontal->hide();
  setFocusPolicy(Qt::StrongFocus);
  QObject::connect(vertical, &QScrollBar::valueChanged, [this](int value) {
    if (!settingBars) ScrollBarMoved(Qt::Vertical, value);
  });
  QObject::connect(horizontal, &QScrollBar::valueChanged, [this](int value) {
    if (!settingBars) ScrollBarMoved(Qt::Horizontal, value);
  });
  resize(200, 100);
}

TControlHost::~TControlHost() {
  viewport->removeEventFilter(this);
  header->removeEventFilter(this);
  // The bars outlive this body: they must not keep a look that goes first.
  SetScrollBarStyle(sbmRegular);
}

void TControlHost::SetBiDiMode(TBiDiMode Mode) {
  if (Mode == biDiMode) return;
  biDiMode = Mode;
  LayoutChildren();
  BiDiModeChanged();
  update();
}

void TControlHost::SetScrollBarStyle(TScrollBarStyle Style) {
  if (Style == barStyle) return;
  std::unique_ptr<TScrollBarLook> look = Style == sbmRegular ? nullptr : std::make_unique<TScrollBarLook>(Style);
  for (QScrollBar* bar : {vertical, horizontal}) {
    bar->setStyle(look.get());
    bar->update();
  }
  barLook = std::move(look);
  barStyle = Style;
}

void TControlHost::SetFramed(bool Framed) {
  if (framed == Framed) return;
  framed = Framed;
  LayoutChildren();
  update();
}

void TControlHost::SetHeaderHeight(int Height) {
  if (Height < 0) Height = 0;
  if (headerHeight == Height) return;
  headerHeight = Height;
  LayoutChildren();
}

void TControlHost::SetScrollBar(Qt::Orientation Orientation, const TScrollBarSettings& Settings,
                                bool Allowed, bool AlwaysVisible) {
  QScrollBar* bar = Orientation == Qt::Vertical ? vertical : horizontal;
  const bool scrolls = Settings.Maximum > Settings.Page && Settings.Page > 0;
  settingBars = true;
  if (scrolls) {
    bar->setRange(0, Settings.Maximum - Settings.Page);
    bar->setPageStep(Settings.Page);
    bar->setSingleStep(Settings.Line);
    bar->setValue(Settings.Position);
  } else {
    bar->setRange(0, 0);
    bar->setValue(0);
  }
  settingBars = false;
  const bool show = Allowed && (scrolls || AlwaysVisible);
  bar->setEnabled(scrolls);
  if (show != !bar->isHidden()) {
    bar->setVisible(show);
    LayoutChildren();
  }
}

void TControlHost::resizeEvent(QResizeEvent*) { LayoutChildren(); }

void TControlHost::LayoutChildren() {
  if (laying) return;
  laying = true;
  const int frame = framed ? FrameWidth : 0;
  const QRect inner = rect().adjusted(frame, frame, -frame, -frame);
  const int barV = vertical->isHidden() ? 0 : vertical->sizeHint().width();
  const int barH = horizontal->isHidden() ? 0 : horizontal->sizeHint().height();
  // The header runs over the vertical bar's column, as a caption row does,
  // except where the bar stands left: the header starts where the rows do.
  const bool barLeft = UseRightToLeftScrollBar(biDiMode);
  const int left = inner.left() + (barLeft ? barV : 0);
  header->setVisible(headerHeight > 0);
  header->setGeometry(left, inner.top(), inner.width() - (barLeft ? barV : 0), headerHeight);
  const int top = inner.top() + headerHeight;
  const int height = std::max(0, inner.bottom() + 1 - top - barH);
  viewport->setGeometry(left, top, std::max(0, inner.width() - barV), height);
  vertical->setGeometry(barLeft ? inner.left() : inner.right() + 1 - barV, top, barV, height);
  horizontal->setGeometry(left, inner.bottom() + 1 - barH, std::max(0, inner.width() - barV), barH);
  laying = false;
  LayoutChanged();
}

void TControlHost::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QPalette& colours = palette();
  painter.fillRect(rect(), colours.color(QPalette::Button));
  if (!framed) return;
  // A sunken client edge: shadow and dark outside at the top left,
  // highlight and face at the bottom right.
  const QRect outer = rect().adjusted(0, 0, -1, -1);
  const QRect inner = outer.adjusted(1, 1, -1, -1);
  auto edge = [&painter](const QRect& r, const QColor& topLeft, const QColor& bottomRight) {
    painter.setPen(topLeft);
    painter.drawLine(r.topLeft(), r.topRight());
    painter.drawLine(r.topLeft(), r.bottomLeft());
    painter.setPen(bottomRight);
    painter.drawLine(r.bottomLeft(), r.bottomRight());
    painter.drawLine(r.topRight(), r.bottomRight());
  };
  edge(outer, colours.color(QPalette::Mid), colours.color(QPalette::Light));
  edge(inner, colours.color(QPalette::Dark), colours.color(QPalette::Button));
}

bool TControlHost::eventFilter(QObject* Watched, QEvent* Event) {
  if (Watched == viewport) return ViewportEvent(Event);
  if (Watched == header) return HeaderEvent(Event);
  return QWidget::eventFilter(Watched, Event);
}
