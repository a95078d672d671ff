#include "ppDesignControls.h"

#include <QPainter>
#include <algorithm>

#include "ppDesignMenu.h"
#include "ppMessages.h"
#include "ppPrintable.h"
#include "ppUnits.h"
#include "ppPropAccess.h"
#include "rtlFormat.h"
#include "rtlStrUtils.h"

namespace {

QWidget* MakeHandle(Qt::CursorShape cursor, int size) {
  auto* handle = new QWidget;
  handle->resize(size, size);
  handle->setAutoFillBackground(true);
  QPalette palette = handle->palette();
  palette.setColor(QPalette::Window, Qt::black);
  handle->setPalette(palette);
  handle->setCursor(cursor);
  handle->hide();
  return handle;
}

void Adopt(QWidget* handle, QWidget* parent) {
  if (handle->parentWidget() != parent) handle->setParent(parent);
}

void Show(QWidget* handle, int x, int y) {
  handle->move(x, y);
  handle->raise();
  handle->show();
}

}  // namespace

// ---- pop-up menu ----

bool ppBuildDesignMenu(TppPopupMenu& menu, TObject* component) {
  auto* source = dynamic_cast<TppDesignMenuSource*>(component);
  if (!source) return false;
  for (const TppDesignMenuItem& item : source->DesignMenuItems()) {
    QAction* action = menu.AddItem(item.Order, item.Name, item.MessageNo);
    if (!action) continue;
    const TPropInfo* prop = component->ClassType().FindProperty(item.Name);
    if (prop && prop->TypeName() == "Boolean") continue;  // AssignComponent switches it
    QObject::connect(action, &QAction::triggered, &menu, [source, name = item.Name] { source->DesignCommand(name); });
  }
  menu.AssignComponent(component);
  return true;
}

TppPopupMenu::TppPopupMenu(QWidget* parent) : QMenu(parent) {}

QAction* TppPopupMenu::FindItem(const std::string& name) const {
  for (QAction* action : actions())
    if (action->objectName().toStdString() == name) return action;
  return nullptr;
}

QAction* TppPopupMenu::AddItem(int order, const std::string& name, int messageNo, const std::string& caption) {
  if (FindItem(name)) return nullptr;
  const std::string key = Format("%8d", {order}) + name;
  const auto at = std::lower_bound(keys.begin(), keys.end(), key);
  const size_t index = static_cast<size_t>(at - keys.begin());
  keys.insert(at, key);
  const std::string text = !caption.empty() ? caption : messageNo != 0 ? ppLoadMessage(messageNo) : std::string();
  auto* action = new QAction(QString::fromStdString(text), this);
  action->setObjectName(QString::fromStdString(name));
  action->setData(messageNo);
  const QList<QAction*> existing = actions();
  insertAction(index < static_cast<size_t>(existing.size()) ? existing[static_cast<qsizetype>(index)] : nullptr, action);
  return action;
}

void TppPopupMenu::AssignComponent(TObject* value) {
  component = value;
  for (QAction* action : actions()) {
    const std::string name = action->objectName().toStdString();
    const TPropInfo* prop = component ? component->ClassType().FindProperty(name) : nullptr;
    if (!prop || prop->TypeName() != "Boolean") continue;
    action->setCheckable(true);
    action->setChecked(ppGetOrdPropByName(component, name) != 0);
    QObject::disconnect(action, &QAction::triggered, nullptr, nullptr);
    QObject::connect(action, &QAction::triggered, this, [this, name, action] {
      if (!component) return;
      const bool value = ppGetOrdPropByName(component, name) == 0;
      ppSetOrdPropByName(component, name, value);
      action->setChecked(value);
    });
  }
}

// ---- selection decoration ----

TppBoundsRect::TppBoundsRect(QWidget* parent) : QFrame(parent) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  hide();
}

void TppBoundsRect::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  painter.setPen(QPen(palette().color(QPalette::Dark), 2));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(rect().adjusted(1, 1, -1, -1));
}

TppSizingHandles::TppSizingHandles() {
  // Top-left and bottom-right NW-SE; top and bottom middles vertical;
  // top-right and bottom-left NE-SW; the side middles horizontal.
  const Qt::CursorShape cursors[8] = {Qt::SizeFDiagCursor, Qt::SizeVerCursor, Qt::SizeBDiagCursor,
                                      Qt::SizeHorCursor,   Qt::SizeHorCursor, Qt::SizeBDiagCursor,
                                      Qt::SizeVerCursor,   Qt::SizeFDiagCursor};
  for (size_t i = 0; i < handles.size(); ++i) handles[i] = MakeHandle(cursors[i], HandleSize);
}

// A handle its parent already freed is null here.
TppSizingHandles::~TppSizingHandles() {
  for (QPointer<QWidget>& handle : handles) delete handle.data();
}

void TppSizingHandles::SetParent(QWidget* value) {
  parent = value;
  for (QWidget* handle : handles) Adopt(handle, value);
}

void TppSizingHandles::SetColor(const QColor& color) {
  for (QWidget* handle : handles) {
    QPalette palette = handle->palette();
    palette.setColor(QPalette::Window, color);
    handle->setPalette(palette);
  }
}

void TppSizingHandles::Place(const QRect& r) {
  const int L = r.x(), T = r.y(), W = r.width(), H = r.height(), d = HandleSize / 2;
  const QPoint points[8] = {{L, T},         {L + W / 2, T},     {L + W, T},         {L, T + H / 2},
                            {L + W, T + H / 2}, {L, T + H},     {L + W / 2, T + H}, {L + W, T + H}};
  for (size_t i = 0; i < handles.size(); ++i) Show(handles[i], points[i].x() - d, points[i].y() - d);
}

void TppSizingHandles::Hide() {
  for (QWidget* handle : handles) handle->hide();
}

TppSelectionHandles::TppSelectionHandles() {
  for (QPointer<QWidget>& handle : handles) handle = MakeHandle(Qt::ArrowCursor, HandleSize);
}

TppSelectionHandles::~TppSelectionHandles() {
  for (QPointer<QWidget>& handle : handles) delete handle.data();
}

void TppSelectionHandles::SetParent(QWidget* value) {
  if (parent == value) return;
  parent = value;
  for (QWidget* handle : handles) Adopt(handle, value);
}

void TppSelectionHandles::Place(const QRect& r) {
  const int L = r.x(), T = r.y(), W = r.width(), H = r.height(), s = HandleSize;
  Show(handles[0], L, T);
  Show(handles[1], L + W - s, T);
  Show(handles[2], L, T + H - s);
  Show(handles[3], L + W - s, T + H - s);
}

void TppSelectionHandles::Hide() {
  for (QWidget* handle : handles) handle->hide();
}

// ---- selection ----

TppSelectionObject::TppSelectionObject() : boundsRect(new TppBoundsRect) {}

TppSelectionObject::~TppSelectionObject() {
  if (boundsRect && !boundsRect->parentWidget()) delete boundsRect.data();
}

void TppSelectionObject::SetParent(QWidget* parent) {
  if (boundsRect) boundsRect->setParent(parent);
  selectionHandles.SetParent(parent);
  if (sizingHandles) sizingHandles->SetParent(parent);
}

void TppSelectionObject::Select(TppPrintable* value, QWidget* control) {
  component = value;
  designControl = control;
  UpdateBounds();
  if (visible) Show();
}

void TppSelectionObject::SetVisible(bool value) {
  visible = value;
  if (visible)
    Show();
  else
    Hide();
}

void TppSelectionObject::UpdateBounds() {
  if (!visible || !component || !designControl || !boundsRect) return;
  const int width = ppRound(ppMMThousandthsToUnits(component->mmWidth(), utScreenPixels, axHorizontal));
  const int height = ppRound(ppMMThousandthsToUnits(component->mmHeight(), utScreenPixels, axVertical));
  boundsRect->setGeometry(designControl->x(), designControl->y(), std::max(1, width), std::max(1, height));
}

void TppSelectionObject::Show() {
  if (!component || !designControl || !boundsRect) return;
  boundsRect->hide();
  const QRect bounds = boundsRect->geometry();
  if (sizingHandles) {
    // White handles on a black or navy control, black on any other.
    const QColor color = designControl->palette().color(QPalette::Window);
    const bool dark = color == QColor(Qt::black) || color == QColor(0, 0, 128);
    sizingHandles->SetColor(dark ? Qt::white : Qt::black);
    sizingHandles->Place(bounds);
  } else {
    selectionHandles.Place(bounds);
  }
}

void TppSelectionObject::Hide() {
  if (sizingHandles)
    sizingHandles->Hide();
  else
    selectionHandles.Hide();
}
