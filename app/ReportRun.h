#pragma once
// One report request as the query thread sees it. The thread framework and
// the components declare types of the same names, so the thread unit knows
// the request only through this interface: the viewer, its query and the
// parameter list live on the other side.

#include <memory>

class QWidget;

class TReportRun {
public:
  virtual ~TReportRun() = default;
  // On the main thread, before the query opens: the viewer made and
  // shown, the query's SQL set.
  virtual void Prepare() = 0;
  // In the query thread: the query opened.
  virtual void Open() = 0;
  // On the main thread once the thread has ended (also when Prepare or
  // Open failed, or never ran): the viewer's setup. Never raises.
  virtual void Finish() = 0;
};

// Starts a query thread for the request; the thread owns it and frees
// itself when it ends.
void StartQueryThread(std::unique_ptr<TReportRun> run);

// "&Preview and Print": the options, then a report query for the choice.
void PreviewAndPrint(QWidget* owner);
