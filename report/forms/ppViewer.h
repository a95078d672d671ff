#pragma once
// The page viewer: a control that shows one generated page of a report at
// a zoom, moves between pages and prints the report. It works through its
// own screen device, which receives the pages the report publishes, keeps
// the page on view and renders it into a bitmap; repainting copies the
// bitmap without drawing the commands again.

#include <QImage>
#include <QPointer>
#include <QScrollArea>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "ppDevice.h"
#include "ppPage.h"
#include "uiGraphics.h"

class TppDrawImage;
class TppDrawLine;
class TppDrawShape;
class TppDrawText;
class TppProducer;
class TppViewer;
class TQtCanvas;

enum TppZoomSettingType : uint8_t { zsWholePage, zsPageWidth, zs100Percent, zsPercentage };

// The zoom the percentage setting allows.
constexpr int ppMinZoomPercentage = 10;
constexpr int ppMaxZoomPercentage = 250;

// Where a page sits in the viewer's bitmap and how large it is there.
struct TppPageLayout {
  int BitmapWidth = 0, BitmapHeight = 0;
  TRect PageRect;  // the page inside the bitmap, in pixels
  int CalculatedZoom = 100;
};

// The page and bitmap sizes for a page of pageWidth x pageHeight screen
// pixels shown in a box of boxWidth x boxHeight by the zoom setting at
// pixelsPerInch. Sizes are at least one pixel.
TppPageLayout ppLayoutPage(TppZoomSettingType setting, int zoomPercentage, int pageWidth, int pageHeight,
                           int boxWidth, int boxHeight, int pixelsPerInch);

class TppScreenDevice : public TppDevice {
  RTL_DECLARE_CLASS(TppScreenDevice, TppDevice)

  static constexpr const char* ScreenDeviceName = "Screen";

  explicit TppScreenDevice(TComponent* owner);
  ~TppScreenDevice() override;
  std::string DeviceName() const override { return ScreenDeviceName; }

  TppViewer* Viewer() const { return viewer; }
  void SetViewer(TppViewer* value) { viewer = value; }
  // The report whose publisher feeds the device; forgotten when freed.
  TppProducer* Report() const { return report; }
  void SetReport(TppProducer* value);

  TppPage& PageOnView() { return pageOnView; }
  bool PageReceived() const { return pageReceived; }
  const QImage& PageBitmap() const { return bitmap; }
  const TppPageLayout& Layout() const { return layout; }
  int CalculatedZoom() const { return layout.CalculatedZoom; }
  // Absolute page number of the page on view (0: none yet).
  int AbsolutePageNo() const { return pageReceived ? pageOnView.AbsolutePageNo : 0; }

  // Page requests by kind; each asks the report's publisher at once.
  void RequestFirstPage();
  void RequestLastPage();
  void RequestSinglePage(int pageNo);

  void ReceivePage(TppPage* page) override;
  bool DrawCommand(TppDrawCommand* command) override;
  void StartJob() override;
  void EndJob() override;
  void CancelJob() override;
  void SetStatus(const std::string& value) override;
  void Reset() override;

  // Renders the page on view again at the viewer's zoom and box size.
  void RenderPage();
  // A command at the bitmap position: the clickable one on top, else
  // nullptr.
  TppDrawCommand* ClickableAt(int x, int y) const;
  // Clicks the command at the bitmap position; answers whether the page
  // had to be made again.
  bool ClickAt(int x, int y);

  std::function<void()> OnPageChange, OnStatusChange, OnPrintStateChange;

protected:
  void Notification(TComponent* component, TOperation operation) override;

private:
  TppViewer* viewer = nullptr;
  TppProducer* report = nullptr;
  TppPage pageOnView{nullptr};
  bool pageReceived = false;
  QImage bitmap;
  TppPageLayout layout;
  // While rendering: the canvas and the scale from screen pixels.
  TQtCanvas* canvas = nullptr;
  QPainter* painter = nullptr;
  double scaleX = 1, scaleY = 1;

  void Request(TppPageSettingType setting, int pageNo);
  TRect CommandRect(const TppDrawCommand& command) const;
  void DrawText(const TppDrawText& command, const TRect& rect);
  void DrawTabbedLine(const TppDrawText& command, int left, int y, const std::string& line);
  void DrawShape(const TppDrawShape& command, const TRect& rect);
  void DrawLine(const TppDrawLine& command, const TRect& rect);
  void DrawImage(const TppDrawImage& command, const TRect& rect);
};

class TppViewer : public QWidget {
public:
  explicit TppViewer(QWidget* parent = nullptr);
  ~TppViewer() override;

  TppProducer* Report() const { return device->Report(); }
  // The device listens to the report's publisher; nullptr detaches.
  void SetReport(TppProducer* value);
  TppScreenDevice& ScreenDevice() const { return *device; }

  TppZoomSettingType ZoomSetting() const { return zoomSetting; }
  void SetZoomSetting(TppZoomSettingType value);
  int ZoomPercentage() const { return zoomPercentage; }
  // Kept between the allowed bounds; selects zsPercentage.
  void SetZoomPercentage(int value);
  TColor PageColor() const { return pageColor; }
  void SetPageColor(TColor value);

  void FirstPage();
  void PriorPage();
  void NextPage();
  void LastPage();
  void GotoPage(int pageNo);
  // Prints the report on the printer device, the screen device detached
  // meanwhile; the device type is restored however printing ends.
  void Print();
  void Cancel();
  // Renders again at the present size and zoom.
  void Refresh();

  int AbsolutePageNo() const { return device->AbsolutePageNo(); }
  int CalculatedZoom() const { return device->CalculatedZoom(); }
  std::string Status() const { return device->Status(); }
  // True while the device is inside a print job.
  bool Busy() const { return device->JobRunning() || printing; }

  QScrollArea* ScrollBox() const { return scrollBox; }
  // The size the page is fitted into.
  QSize BoxSize() const;

  std::function<void(TppViewer* sender)> OnPageChange, OnPrintStateChange, OnStatusChange;

  // Called by the device when a requested page arrived.
  void PageArrived();
  void UpdateScrollRanges();

protected:
  void resizeEvent(QResizeEvent* e) override;

private:
  class TPaintBox;
  std::unique_ptr<TppScreenDevice, TObjectFree> device;
  QScrollArea* scrollBox = nullptr;
  TPaintBox* paintBox = nullptr;
  TppZoomSettingType zoomSetting = zsWholePage;
  int zoomPercentage = 100;
  TColor pageColor = clWindow;
  bool printing = false;
  bool resetScroll = false;
};

// Registers the screen device class by its name "Screen".
void ppRegisterScreenDevice();
