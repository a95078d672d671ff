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

int WidgetHelpContext(const QWidget* widget) {
  return widget ? widget->property(HelpContextProperty).toInt() : 0;
}

void SetWidgetHelpContext(QWidget* widget, int context) { widget->setProperty(HelpContextProperty, context); }

int InheritedHelpContext(const QWidget* widget) {
  for (; widget; widget = widget->parentWidget())
    if (const int context = WidgetHelpContext(widget)) return context;
  return 0;
}

void SetHelpRunner(THelpRunner runner) { HelpRunner() = std::move(runner); }

void ShowHelpContext(int context) {
  if (HelpRunner()) HelpRunner()(context);
}

TControlHost::TControlHost(QWidget* parent)
    : QWidget(parent),
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

void TControlHost::SetBiDiMode(TBiDiMode mode) {
  if (mode == biDiMode) return;
  biDiMode = mode;
  LayoutChildren();
  BiDiModeChanged();
  update();
}

void TControlHost::SetScrollBarStyle(TScrollBarStyle style) {
  if (style == barStyle) return;
  std::unique_ptr<TScrollBarLook> look = style == sbmRegular ? nullptr : std::make_unique<TScrollBarLook>(style);
  for (QScrollBar* bar : {vertical, horizontal}) {
    bar->setStyle(look.get());
    bar->update();
  }
  barLook = std::move(look);
  barStyle = style;
}

void TControlHost::SetFramed(bool value) {
  if (framed == value) return;
  framed = value;
  LayoutChildren();
  update();
}

void TControlHost::SetHeaderHeight(int height) {
  if (height < 0) height = 0;
  if (headerHeight == height) return;
  headerHeight = height;
  LayoutChildren();
}

void TControlHost::SetScrollBar(Qt::Orientation orientation, const TScrollBarSettings& settings) {
  QScrollBar* bar = orientation == Qt::Vertical ? vertical : horizontal;
  const bool scrolls = settings.Maximum > settings.Page && settings.Page > 0;
  settingBars = true;
  if (scrolls) {
    bar->setRange(0, settings.Maximum - settings.Page);
    bar->setPageStep(settings.Page);
    bar->setSingleStep(settings.Line);
    bar->setValue(settings.Position);
  } else {
    bar->setRange(0, 0);
    bar->setValue(0);
  }
  settingBars = false;
  const bool show = settings.Allowed && (scrolls || settings.AlwaysVisible);
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

bool TControlHost::eventFilter(QObject* watched, QEvent* event) {
  if (watched == viewport) return ViewportEvent(event);
  if (watched == header) return HeaderEvent(event);
  return QWidget::eventFilter(watched, event);
}
