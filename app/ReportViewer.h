#pragma once
// The report viewer: one report request's window. It owns the query over
// the jobs table, the data source and pipeline that feed the report, the
// report into which the chosen layout is loaded, and the parameter list.
//
// Life: made and shown on the main thread while the query thread starts;
// the query opens in that thread; Setup runs on the main thread after it.
// While the query opens the window cannot be freed (the thread uses the
// query): closing it then only hides it, and it is freed when the thread
// has ended.

#include <QWidget>
#include <memory>
#include <string>

#include "rtlClasses.h"

class QLabel;
class QLineEdit;
class QStatusBar;
class QToolButton;
class TDataSource;
class TMDBQuery;
class TppDBPipeline;
class TppReport;
class TppViewer;
class TStringList;

// Texts of the viewer.
inline constexpr const char* SReportCaption = "Orvelle - Report [%s]";
inline constexpr const char* SCloseCaption = "&Close";
inline constexpr const char* SCancelCaption = "&Cancel";
// How much a hidden document column takes off the detail band, in inches.
inline constexpr double DocumentBandInches = 0.27;

class TReportViewer : public QWidget {
public:
  // Takes the parameter list.
  TReportViewer(QWidget* owner, std::unique_ptr<TStringList> parameters);
  // The query closed, the parameter list freed.
  ~TReportViewer() override;

  // The main-thread part before the query opens: the SQL built from the
  // parameters, the data source pointed at the query.
  void Prepare();
  // In the query thread.
  void OpenQuery();
  // After the query thread ended: the layout loaded, adjusted and printed
  // to the viewer. A query that did not open leaves the viewer empty.
  // Nothing after a close request.
  void Setup();

  TMDBQuery& Query() const { return *query; }
  TppReport& Report() const { return *ppReport1; }
  TppDBPipeline& Pipeline() const { return *ppDBPipeline1; }
  const TStringList& Parameters() const { return *parameters; }
  // The window is to go once the query thread has ended (closed meanwhile,
  // or the program ends): Setup does nothing, the caller frees it.
  void CloseWhenDone() { closeWhenDone = true; }
  bool CloseRequested() const { return closeWhenDone; }
  // True from Prepare until Setup: the query thread may use the query.
  bool QueryRunning() const { return queryRunning; }

  QToolButton* spbPreviewPrint;
  QToolButton* spbPreviewWhole;
  QToolButton* spbPreviewWidth;
  QToolButton* spbPreview100Percent;
  QLineEdit* mskPreviewPercentage;
  QToolButton* spbPreviewFirst;
  QToolButton* spbPreviewPrior;
  QLineEdit* mskPreviewPage;
  QToolButton* spbPreviewNext;
  QToolButton* spbPreviewLast;
  QToolButton* spbPreviewClose;
  TppViewer* ppViewer1;
  QStatusBar* StatusBar;

  // The toolbar's and the viewer's events.
  void ZoomClick(QToolButton* button);
  void ZoomPercentageEntered();
  void PageEntered();
  void PageChange();
  void StatusChange();
  void PrintStateChange();
  void spbPreviewPrintClick();
  void spbPreviewCloseClick();
  // The keys of the form and of the zoom box; true when handled.
  bool PreviewKey(int key, Qt::KeyboardModifiers modifiers);

protected:
  void closeEvent(QCloseEvent* closing) override;
  void keyPressEvent(QKeyEvent* pressed) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void CreateComponents();
  void CreateToolbar();
  // The layout's adjustments to the parameters (steps 3 to 6 of the setup).
  void AdjustLayout();

  std::unique_ptr<TStringList> parameters;
  TObjectPtr<TComponent> components;
  TMDBQuery* query = nullptr;
  TDataSource* DataSource1 = nullptr;
  TppDBPipeline* ppDBPipeline1 = nullptr;
  TppReport* ppReport1 = nullptr;
  bool queryRunning = false;
  bool closeWhenDone = false;
};
