#include "ReportRun.h"

#include "AppMonitor.h"

namespace {

// The query thread: the request is prepared on the main thread, its query
// opened here, and its setup runs on the main thread when the thread ends.
// An exception of either step becomes an alert through the thread's own
// exception routing.
class TThreadQuery : public TBaseThread {
public:
  explicit TThreadQuery(std::unique_ptr<TReportRun> request) : run(std::move(request)) {}

  void Initialize() override {
    TBaseThread::Initialize();
    FreeOnTerminate = true;
    // The end event: the setup, whatever became of the query.
    OnTerminate = [this](TBaseThread*) { run->Finish(); };
  }

  void Execute() override {
    Synchronize([this] { run->Prepare(); });
    run->Open();
  }

private:
  std::unique_ptr<TReportRun> run;
};

}  // namespace

void StartQueryThread(std::unique_ptr<TReportRun> run) { TBaseThread::Create<TThreadQuery>(false, std::move(run)); }
