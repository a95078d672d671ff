#include "ReportQuery.h"

#include <QPointer>

#include "Main.h"
#include "ReportOptions.h"
#include "ReportRun.h"
#include "ReportViewer.h"
#include "osThreadContext.h"
#include "rtlAssert.h"
#include "rtlStringList.h"

namespace {

QPointer<TReportViewer>& LastViewer() {
  static QPointer<TReportViewer> viewer;
  return viewer;
}

class TViewerRun : public TReportRun {
public:
  explicit TViewerRun(std::unique_ptr<TStringList> parameterList) : parameters(std::move(parameterList)) {}

  void Prepare() override {
    ORV_ASSERT(IsMainThread());  // the viewer is a window
    auto* made = new TReportViewer(MainForm(), std::move(parameters));
    LastViewer() = made;
    made->Prepare();
    viewer = made;
    made->show();
  }

  // The viewer stays while its query runs: closing it only hides it.
  void Open() override {
    ORV_ASSERT(!IsMainThread());  // a long query never holds the windows up
    if (viewer) viewer->OpenQuery();
  }

  void Finish() override {
    ORV_ASSERT(IsMainThread());
    if (!viewer) return;
    TReportViewer* finished = viewer;
    viewer = nullptr;
    Guarded([finished] {
      // A program on its way out shows no more reports.
      if (MainForm() && MainForm()->ShuttingDown()) finished->CloseWhenDone();
      finished->Setup();
      if (finished->CloseRequested()) delete finished;
    });
  }

private:
  std::unique_ptr<TStringList> parameters;
  TReportViewer* viewer = nullptr;
};

}  // namespace

void StartReportQuery(std::unique_ptr<TStringList> parameters) {
  StartQueryThread(std::make_unique<TViewerRun>(std::move(parameters)));
}

TReportViewer* LastReportViewer() { return LastViewer(); }

void PreviewAndPrint(QWidget* owner) {
  std::unique_ptr<TStringList> parameters;
  if (ExecuteReportOptions(owner, parameters)) StartReportQuery(std::move(parameters));
}
