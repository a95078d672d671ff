#pragma once
// What report components carry for a design surface: the pop-up menu whose
// items components add by name and whose check marks follow Boolean
// properties, and the selection decoration (bounds rectangle, corner
// handles, eight sizing handles). Only the menu's items are built at run
// time; the design surface itself is not part of this program.

#include <QFrame>
#include <QMenu>
#include <QPointer>
#include <QWidget>
#include <array>
#include <string>
#include <vector>

class TObject;

class TppPopupMenu : public QMenu {
public:
  explicit TppPopupMenu(QWidget* parent = nullptr);

  // Adds an item named name, ordered by order then name, its caption the
  // given one or, without one, engine message messageNo. nullptr when an
  // item of that name exists.
  QAction* AddItem(int order, const std::string& name, int messageNo, const std::string& caption = "");
  QAction* FindItem(const std::string& name) const;
  // Items named for a published Boolean property of the component show it
  // as a check mark and switch it when clicked.
  void AssignComponent(TObject* component);
  TObject* Component() const { return component; }

private:
  // Sorted keys: "%8d" order, then the name.
  std::vector<std::string> keys;
  TObject* component = nullptr;
};

// The designer menu of a component that offers one: its items, check marks
// on its Boolean properties, its commands run when chosen. False (and the
// menu left as it was) when the component offers none.
bool ppBuildDesignMenu(TppPopupMenu& menu, TObject* component);

class TppBandPopupMenu : public TppPopupMenu {
public:
  using TppPopupMenu::TppPopupMenu;
};

// A 2-pixel frame drawn over the selected component; hidden at creation.
class TppBoundsRect : public QFrame {
public:
  explicit TppBoundsRect(QWidget* parent = nullptr);

protected:
  void paintEvent(QPaintEvent*) override;
};

// Eight 5 x 5 handles round a control, each with its sizing cursor.
class TppSizingHandles : public QObject {
public:
  static constexpr int HandleSize = 5;
  TppSizingHandles();
  ~TppSizingHandles() override;
  void SetParent(QWidget* parent);
  void SetColor(const QColor& color);
  // Centred on the corners and edge middles of the rectangle.
  void Place(const QRect& bounds);
  void Hide();
  QWidget* Handle(int index) const { return handles[static_cast<size_t>(index)]; }

private:
  std::array<QPointer<QWidget>, 8> handles{};
  QPointer<QWidget> parent;
};

// Four handles inside the corners of the selected control.
class TppSelectionHandles {
public:
  static constexpr int HandleSize = 5;
  TppSelectionHandles();
  ~TppSelectionHandles();
  void SetParent(QWidget* parent);
  void Place(const QRect& bounds);
  void Hide();
  QWidget* Handle(int index) const { return handles[static_cast<size_t>(index)]; }

private:
  std::array<QPointer<QWidget>, 4> handles{};
  QPointer<QWidget> parent;
};

class TppPrintable;

// The decoration of the selected component: its bounds rectangle and
// either the sizing handles (when given; not owned, forgotten when freed)
// or the four corner handles.
class TppSelectionObject {
public:
  TppSelectionObject();
  ~TppSelectionObject();
  void SetParent(QWidget* parent);
  bool Visible() const { return visible; }
  void SetVisible(bool value);
  void SetSizingHandles(TppSizingHandles* value) { sizingHandles = value; }
  TppSizingHandles* SizingHandles() const { return sizingHandles; }
  // The component and the control that stands for it on the surface.
  void Select(TppPrintable* component, QWidget* designControl);
  // The bounds follow the control's place and the component's size.
  void UpdateBounds();
  TppBoundsRect& BoundsRect() { return *boundsRect; }
  TppSelectionHandles& SelectionHandles() { return selectionHandles; }

private:
  bool visible = true;
  QPointer<TppBoundsRect> boundsRect;
  TppSelectionHandles selectionHandles;
  QPointer<TppSizingHandles> sizingHandles;
  TppPrintable* component = nullptr;
  QPointer<QWidget> designControl;

  void Show();
  void Hide();
};
