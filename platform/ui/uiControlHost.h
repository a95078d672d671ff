#pragma once
// The host of a control that draws itself: a frame, a header area, a
// viewport and two scroll bars, each a Qt widget, laid out by the host. The
// control derived from it receives the viewport's and the header's events
// and the scroll bars' moves through its overrides; the host owns no
// content.

#include <QScrollBar>
#include <QWidget>
#include <functional>
#include <memory>

#include "uiTreeScrollBars.h"

struct TScrollBarSettings {
  int Maximum = 0;  // 0 with Page 0: the bar has nothing to scroll
  int Page = 0;
  int Position = 0;
  int Line = 1;
  bool Allowed = true;         // false: the bar never shows
  bool AlwaysVisible = false;  // shown, disabled, even with nothing to scroll
};

// Help contexts: a number that names a page of the application's help, 0
// for none. Any widget may carry one (forms and panels too), so the search
// for a control's context can go on through its parents.
int WidgetHelpContext(const QWidget* widget);
void SetWidgetHelpContext(QWidget* widget, int context);
// The first context other than 0 of widget and then its parents; 0 when
// none has one.
int InheritedHelpContext(const QWidget* widget);

// The application's help: shows the page of a context. The program brings
// no help system of its own, so until one is set nothing is shown; tests
// set their own to see what was asked.
using THelpRunner = std::function<void(int context)>;
void SetHelpRunner(THelpRunner runner);
void ShowHelpContext(int context);

// Bidirectional modes, as a control reads them: right-to-left alignment
// flips where texts sit; right-to-left reading lays texts out right to
// left; a right-to-left scroll bar stands at the left edge.
enum TBiDiMode { bdLeftToRight, bdRightToLeft, bdRightToLeftNoAlign, bdRightToLeftReadingOnly };
constexpr bool UseRightToLeftAlignment(TBiDiMode mode) { return mode == bdRightToLeft; }
constexpr bool UseRightToLeftScrollBar(TBiDiMode mode) {
  return mode == bdRightToLeft || mode == bdRightToLeftNoAlign;
}

class TControlHost : public QWidget {
public:
  explicit TControlHost(QWidget* parent = nullptr);
  ~TControlHost() override;

  QWidget* Viewport() const { return viewport; }
  QWidget* HeaderArea() const { return header; }
  QScrollBar* VerticalBar() const { return vertical; }

  // The frame: a sunken edge FrameWidth pixels wide round everything.
  void SetFramed(bool value);
  static constexpr int FrameWidth = 2;

  // 0 hides the header area.
  void SetHeaderHeight(int height);
  int HeaderHeight() const { return headerHeight; }

  // Sets a bar's range, page and position without calling ScrollBarMoved.
  // A bar is shown when it has something to scroll, or always when
  // alwaysVisible (then disabled while there is nothing to scroll); allowed
  // false hides it whatever else holds.
  void SetScrollBar(Qt::Orientation orientation, const TScrollBarSettings& settings);

  TBiDiMode BiDiMode() const { return biDiMode; }
  void SetBiDiMode(TBiDiMode mode);

  // The look of both bars.
  void SetScrollBarStyle(TScrollBarStyle style);
  TScrollBarStyle ScrollBarStyle() const { return barStyle; }


protected:
  // The viewport's and header's events; true when handled.
  virtual bool ViewportEvent(QEvent* event) { return false; }
  virtual bool HeaderEvent(QEvent* event) { return false; }
  // A bar was moved by the user.
  virtual void ScrollBarMoved(Qt::Orientation orientation, int position) {}
  // After the children were placed again (the viewport may have resized).
  virtual void LayoutChanged() {}
  virtual void BiDiModeChanged() {}

  void resizeEvent(QResizeEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

  void LayoutChildren();

private:
  QWidget* viewport;
  QWidget* header;
  QScrollBar* vertical;
  QScrollBar* horizontal;
  bool framed = true;
  int headerHeight = 0;
  bool settingBars = false;
  bool laying = false;
  TBiDiMode biDiMode = bdLeftToRight;
  TScrollBarStyle barStyle = sbmRegular;
  std::unique_ptr<TScrollBarLook> barLook;  // none for the regular look
};
