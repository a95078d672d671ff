// The road of a job measured end to end: the spooler, the watch threads,
// the pending list, the data thread and one committed row of the jobs
// table. Jobs per second through the whole road (a burst), and the latency
// from a job's final state to its committed row (jobs one at a time).
//
//   bench_road simulated PRINTERS [JOBS]   the simulated spooler; the final
//                                          state is the script's last step
//   bench_road cups [JOBS] [POLL_MS]       a private cupsd; the final state
//                                          is when a 5 ms poller first sees
//                                          the job completed
// The CUPS run also measures the idle watch's share of one core.

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "DMTestDatabase.h"
#include "JobsStore.h"
#include "JobsTable.h"
#include "Queue.h"
#include "splCupsSession.h"
#include "splCupsSpooler.h"
#include "splPrivateCupsd.h"
#include "splSimulatedSpooler.h"
#include "splTestJobs.h"
#include "thrWatchHarness.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

// When each job's row was committed, by printer and job id.
class TCommitLog {
public:
  void Install() {
    TJobWriter inner = GetJobWriter();
    SetJobWriter([this, inner](const QueueJob& Job, const std::string& Printer) {
      const TJobWriteResult result = inner(Job, Printer);
      const auto now = Clock::now();
      std::lock_guard<std::mutex> guard(lock);
      committed[{Printer, Job.JobId}] = now;
      return result;
    });
  }
  size_t Count() {
    std::lock_guard<std::mutex> guard(lock);
    return committed.size();
  }
  bool Find(const std::string& Printer, uint32_t Id, Clock::time_point& At) {
    std::lock_guard<std::mutex> guard(lock);
    const auto found = committed.find({Printer, Id});
    if (found == committed.end()) return false;
    At = found->second;
    return true;
  }
  Clock::time_point Last() {
    std::lock_guard<std::mutex> guard(lock);
    Clock::time_point last{};
    for (const auto& [key, at] : committed) last = std::max(last, at);
    return last;
  }

private:
  std::mutex lock;
  std::map<std::pair<std::string, uint32_t>, Clock::time_point> committed;
};

struct TLatencies {
  std::vector<double> Ms;
  void Report(const char* What) {
    std::sort(Ms.begin(), Ms.end());
    if (Ms.empty()) return;
    const auto at = [&](double q) { return Ms[std::min(Ms.size() - 1, size_t(q * double(Ms.size())))]; };
    std::printf("%-44s jobs %5zu  median %8.1f ms  p99 %8.1f ms  max %8.1f ms\n", What, Ms.size(), at(0.5), at(0.99),
                Ms.back());
  }
};

// The windows' part (headless), the data thread and the jobs database.
struct TRoad {
  TWatchHarness harness;
  TTestJobsDatabase database;
  TCommitLog commits;

  TRoad() {
    GetDataThread();
    commits.Install();
  }
  ~TRoad() { harness.ShutdownMonitoring(120000); }

  bool WaitCommits(size_t Count, uint32_t LimitMs) {
    return harness.WaitUntil([&] { return commits.Count() >= Count; }, LimitMs);
  }
  void Pause(uint32_t Ms) {
    harness.WaitUntil([] { return false; }, Ms);
  }
};

JobInfo2 BenchJob(int Number) {
  TSpoolingJobShape shape;
  shape.UserName = "bench";
  shape.MachineName = "\\\\DESK";
  shape.Size = 4096;
  return SpoolingJob("bench " + std::to_string(Number), shape);
}

int RunSimulated(int PrinterCount, int JobCount) {
  const std::string local = "\\\\BENCHA", remote = "\\\\BENCHB";
  auto spooler = std::make_shared<TSimulatedSpooler>(local);
  spooler->AddServer(remote);
  SetCurrentSpooler(spooler);
  std::vector<std::string> printers;
  for (int i = 0; i < PrinterCount; ++i) {
    PrinterInfo2 printer;
    printer.PrinterName = (i % 2 ? remote : local) + "\\p" + std::to_string(i);
    spooler->AddPrinter(printer);
    printers.push_back(printer.PrinterName);
  }
  {
    TRoad road;
    const auto startWatching = Clock::now();
    road.harness.StartEnumeration("");
    if (!road.harness.WaitUntil([&] { return road.harness.EnumerationsEnded() && PrinterThreadCount() == PrinterCount; },
                                600000)) {
      std::fprintf(stderr, "the printer threads did not start\n");
      return 1;
    }
    for (const std::string& printer : printers) {
      uint32_t status = 0;
      road.harness.WaitUntilWatched(printer, [&] {
        status ^= PRINTER_STATUS_PAUSED;
        spooler->SetPrinterStatus(printer, status);
      });
      spooler->SetPrinterStatus(printer, 0);
    }
    std::printf("simulated, %4d printers: watching after %.0f ms\n", PrinterCount,
                MsBetween(startWatching, Clock::now()));

    // A burst: every job submitted, printed and gone at once.
    const auto burst = Clock::now();
    for (int i = 0; i < JobCount; ++i) {
      const std::string& printer = printers[size_t(i) % printers.size()];
      const uint32_t id = spooler->SubmitJob(printer, BenchJob(i));
      spooler->PrintJob(printer, id);
      spooler->RemoveJob(printer, id);
    }
    const auto scripted = Clock::now();
    if (!road.WaitCommits(size_t(JobCount), 600000)) {
      std::fprintf(stderr, "only %zu of %d rows\n", road.commits.Count(), JobCount);
      return 1;
    }
    const double seconds = MsBetween(burst, road.commits.Last()) / 1000;
    std::printf("simulated, %4d printers: %d jobs in a burst  %8.0f jobs/s (the script alone %.0f ms)\n",
                PrinterCount, JobCount, JobCount / seconds, MsBetween(burst, scripted));

    // One at a time: the latency of each.
    TLatencies latencies;
    const int paced = std::min(JobCount, 400);
    for (int i = 0; i < paced; ++i) {
      const std::string& printer = printers[size_t(i * 7) % printers.size()];
      const uint32_t id = spooler->SubmitJob(printer, BenchJob(i));
      spooler->PrintJob(printer, id);
      spooler->RemoveJob(printer, id);
      const auto final = Clock::now();
      Clock::time_point at;
      if (!road.harness.WaitUntil([&] { return road.commits.Find(printer, id, at); }, 60000)) return 1;
      latencies.Ms.push_back(MsBetween(final, at));
    }
    char what[64];
    std::snprintf(what, sizeof what, "simulated, %4d printers: final state to row", PrinterCount);
    latencies.Report(what);
  }
  SetCurrentSpooler(nullptr);
  return 0;
}

// When each completed job was first seen completed, polling every 5 ms.
class TCompletionPoller {
public:
  explicit TCompletionPoller(const std::string& Socket) : session(Socket, 631, 3000), thread([this] { Run(); }) {}
  ~TCompletionPoller() {
    stop = true;
    thread.join();
  }
  bool Find(uint32_t Id, Clock::time_point& At) {
    std::lock_guard<std::mutex> guard(lock);
    const auto found = seen.find(Id);
    if (found == seen.end()) return false;
    At = found->second;
    return true;
  }

private:
  void Run() {
    while (!stop) {
      IppPtr request = session.NewRequest(IPP_OP_GET_JOBS, "/");
      ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "completed");
      ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "job-id");
      IppPtr response;
      if (session.Do(std::move(request), "/", response) == ERROR_SUCCESS) {
        const auto now = Clock::now();
        std::lock_guard<std::mutex> guard(lock);
        for (ipp_attribute_t* a = ippFirstAttribute(response.get()); a; a = ippNextAttribute(response.get()))
          if (ippGetName(a) && std::string(ippGetName(a)) == "job-id") seen.emplace(uint32_t(ippGetInteger(a, 0)), now);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }

  TCupsSession session;
  std::atomic<bool> stop{false};
  std::mutex lock;
  std::map<uint32_t, Clock::time_point> seen;
  std::thread thread;
};

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int RunCups(int JobCount, int PollMs) {
  TPrivateCupsd cupsd;
  if (!cupsd.Start() || !cupsd.AddQueue("q1")) {
    std::fprintf(stderr, "no private cupsd: %s\n", cupsd.Error().c_str());
    return 1;
  }
  const std::string local = "\\\\BENCHCUPS", queue = local + "\\q1";
  CupsConfig config = cupsd.Config(local);
  config.PollIntervalMs = PollMs;
  auto spooler = std::make_shared<TCupsSpooler>(config);
  SetCurrentSpooler(spooler);
  const std::string file = cupsd.WriteFile("page.txt", 2000);
  {
    TRoad road;
    road.harness.StartEnumeration(local);
    if (!road.harness.WaitUntil([&] { return road.harness.EnumerationsEnded() && PrinterThreadCount() == 1; })) return 1;
    bool enabled = true;
    road.harness.WaitUntilWatched(queue, [&] {
      enabled = !enabled;
      enabled ? cupsd.EnableQueue("q1") : cupsd.DisableQueue("q1");
    });
    cupsd.EnableQueue("q1");

    // Idle: nothing printed, the watch looking every PollMs.
    const double cpu = CpuSeconds();
    const auto idle = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(10));
    std::printf("cups, poll %4d ms: idle watch %.2f%% of one core\n", PollMs,
                100 * (CpuSeconds() - cpu) / (MsBetween(idle, Clock::now()) / 1000));

    TCompletionPoller poller(cupsd.Socket());
    const auto burst = Clock::now();
    for (int i = 0; i < JobCount; ++i) cupsd.Submit("q1", file, "burst " + std::to_string(i));
    const auto submitted = Clock::now();
    if (!road.WaitCommits(size_t(JobCount), 300000)) {
      std::fprintf(stderr, "only %zu of %d rows\n", road.commits.Count(), JobCount);
      return 1;
    }
    std::printf("cups, poll %4d ms: %d jobs by lp in %.0f ms, all rows after %.0f ms  %6.1f jobs/s\n", PollMs, JobCount,
                MsBetween(burst, submitted), MsBetween(burst, road.commits.Last()),
                JobCount / (MsBetween(burst, road.commits.Last()) / 1000));

    TLatencies latencies;
    for (int i = 0; i < 100; ++i) {
      const uint32_t id = cupsd.Submit("q1", file, "paced " + std::to_string(i));
      Clock::time_point completed, at;
      if (!road.harness.WaitUntil([&] { return road.commits.Find(queue, id, at) && poller.Find(id, completed); }, 60000))
        return 1;
      latencies.Ms.push_back(MsBetween(completed, at));
      // Completions fall anywhere in the watch's interval.
      road.Pause(uint32_t(std::rand() % std::max(PollMs, 1)));
    }
    char what[64];
    std::snprintf(what, sizeof what, "cups, poll %4d ms: completed to row", PollMs);
    latencies.Report(what);
  }
  SetCurrentSpooler(nullptr);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "simulated" && argc > 2) return RunSimulated(std::atoi(argv[2]), argc > 3 ? std::atoi(argv[3]) : 5000);
  if (mode == "cups")
    return RunCups(argc > 2 ? std::atoi(argv[2]) : 200, argc > 3 ? std::atoi(argv[3]) : CupsConfig{}.PollIntervalMs);
  std::fprintf(stderr, "usage: bench_road simulated PRINTERS [JOBS] | cups [JOBS] [POLL_MS]\n");
  return 2;
}
