// The program itself, headless, watching a private cupsd: what watching
// costs the print server and the program as the number of queues grows, and
// whether the program's memory levels off over many jobs.
//
//   bench_program scale QUEUES [IDLE_S] [STEADY_S]
//       QUEUES raw queues; one job submitted with lp to each queue in turn,
//       first without the program, then with it; idle CPU of both over
//       IDLE_S seconds (30), threads and memory of the program, IPP requests
//       per job that the program adds to the burst, the time until every job
//       is a row, and the program's CPU per recorded job at a steady 20 jobs
//       a second for STEADY_S seconds (20).
//   bench_program steady QUEUES [SECONDS]
//       only the steady load, for a profile of the program.
//   bench_program memory JOBS [QUEUES]
//       JOBS jobs on QUEUES queues (4) as fast as the program records them;
//       the program's memory every 1,000 rows.
//
// Run on a release build: ORVELLE is the program (default: the build's
// app/orvelle beside this executable's folder).

#include <cups/cups.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "JobsDataModule.h"
#include "MDBSessionList.h"
#include "MDBTable.h"
#include "splCupsSession.h"
#include "splPrivateCupsd.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

struct TProcSample {
  double CpuSeconds = 0;
  long RssKb = 0;
  int Threads = 0;
};

TProcSample Sample(pid_t pid) {
  TProcSample s;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(stat, line);
  // Fields after the command's closing parenthesis: state is field 3.
  std::istringstream rest(line.substr(line.rfind(')') + 2));
  std::vector<std::string> fields;
  for (std::string f; rest >> f;) fields.push_back(f);
  if (fields.size() > 12) s.CpuSeconds = (std::stod(fields[11]) + std::stod(fields[12])) / sysconf(_SC_CLK_TCK);
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) s.RssKb = std::stol(line.substr(6));
    if (line.rfind("Threads:", 0) == 0) s.Threads = std::stoi(line.substr(8));
  }
  return s;
}

class TBench {
 public:
  explicit TBench(const char* argv0) {
    const char* program = std::getenv("ORVELLE");
    programPath = program ? program
                          : (std::filesystem::path(argv0).parent_path().parent_path() / "app" / "orvelle").string();
    home = cupsd.Folder() + "/home";
  }
  ~TBench() { StopProgram(); }

  bool Start(int queues) {
    if (!cupsd.Start()) {
      std::fprintf(stderr, "cupsd: %s\n", cupsd.Error().c_str());
      return false;
    }
    session = std::make_unique<TCupsSession>(cupsd.Socket(), 631, 30000);
    for (int i = 0; i < queues; ++i)
      if (!AddQueue(Queue(i))) return false;
    file = cupsd.WriteFile("page.txt", 1000);
    return true;
  }

  static std::string Queue(int i) { return "q" + std::to_string(i); }

  // What lpadmin -p q -E -v file:... does, in one request.
  bool AddQueue(const std::string& queue) {
    IppPtr request = session->NewRequest(IPP_OP_CUPS_ADD_MODIFY_PRINTER, "/printers/" + queue);
    ippAddString(request.get(), IPP_TAG_PRINTER, IPP_TAG_URI, "device-uri", nullptr,
                 ("file://" + cupsd.Folder() + "/out/" + queue).c_str());
    ippAddBoolean(request.get(), IPP_TAG_PRINTER, "printer-is-accepting-jobs", 1);
    ippAddInteger(request.get(), IPP_TAG_PRINTER, IPP_TAG_ENUM, "printer-state", IPP_PSTATE_IDLE);
    IppPtr response;
    const OsError e = session->Do(std::move(request), "/admin/", response);
    if (e) std::fprintf(stderr, "adding %s: %s\n", queue.c_str(), session->LastErrorText().c_str());
    return e == ERROR_SUCCESS;
  }

  // A job through the client library, without a process per job: one
  // Print-Job request, so a connection the daemon drops leaves no job
  // without its document.
  bool Print(const std::string& queue) {
    for (int attempt = 0; attempt < 3; ++attempt) {
      http_t* http = session->Connection();
      if (!http) return false;
      IppPtr request = session->NewRequest(IPP_OP_PRINT_JOB, "/printers/" + queue);
      ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, "bench");
      IppPtr response(cupsDoFileRequest(http, request.release(), ("/printers/" + queue).c_str(), file.c_str()));
      if (response && ippGetStatusCode(response.get()) <= IPP_STATUS_OK_CONFLICTING) return true;
      // A connection the daemon closed: a new one.
      session = std::make_unique<TCupsSession>(cupsd.Socket(), 631, 30000);
    }
    return false;
  }

  bool StartProgram() {
    const std::string runtime = cupsd.Folder() + "/run";
    std::filesystem::create_directories(runtime);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    program = fork();
    if (program == 0) {
      setenv("ORVELLE_HOME", home.c_str(), 1);
      setenv("XDG_CONFIG_HOME", (cupsd.Folder() + "/config").c_str(), 1);
      setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
      setenv("CUPS_SERVER", cupsd.Socket().c_str(), 1);
      unsetenv("DISPLAY");
      unsetenv("WAYLAND_DISPLAY");
      unsetenv("QT_QPA_PLATFORM");
      execl(programPath.c_str(), programPath.c_str(), nullptr);
      _exit(127);
    }
    return program > 0;
  }

  // Until its thread count has not changed for two seconds: every watch runs.
  void WaitSettled(int minimumThreads) {
    int last = -1;
    auto since = Clock::now();
    const auto start = Clock::now();
    while (SecondsSince(start) < 600) {
      const int threads = Sample(program).Threads;
      if (threads != last) {
        last = threads;
        since = Clock::now();
      } else if (threads >= minimumThreads && SecondsSince(since) > 2) {
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }

  void StopProgram() {
    if (program <= 0) return;
    kill(program, SIGTERM);
    int status = 0;
    waitpid(program, &status, 0);
    program = -1;
  }

  int Rows() {
    int count = -1;
    try {
      TMDBTable table(nullptr);
      table.SetDatabaseName(home + "/DATA");
      table.SetTableName(JobsTableName);
      table.Open();
      count = table.RecordCount();
      table.Close();
    } catch (const Exception&) {
    }
    DefaultSession().Close();
    return count;
  }

  // Seconds until the table holds rows rows; negative when it never did.
  double WaitRows(int rows, double limitSeconds) {
    const auto start = Clock::now();
    while (SecondsSince(start) < limitSeconds) {
      if (Rows() >= rows) return SecondsSince(start);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
  }

  size_t Requests() {
    std::ifstream log(cupsd.Folder() + "/log/access_log");
    size_t lines = 0;
    for (std::string line; std::getline(log, line);) ++lines;
    return lines;
  }

  // Lines of the access log after line from, by operation.
  std::vector<std::pair<std::string, int>> RequestsByOperation(size_t from) {
    std::ifstream log(cupsd.Folder() + "/log/access_log");
    std::vector<std::pair<std::string, int>> counts;
    size_t n = 0;
    for (std::string line; std::getline(log, line); ++n) {
      if (n < from) continue;
      std::istringstream words(line);
      std::vector<std::string> w;
      for (std::string s; words >> s;) w.push_back(s);
      if (w.size() < 2) continue;
      const std::string op = w[w.size() - 2];
      auto found = std::find_if(counts.begin(), counts.end(), [&](const auto& c) { return c.first == op; });
      if (found == counts.end()) counts.push_back({op, 1});
      else ++found->second;
    }
    return counts;
  }

  TPrivateCupsd cupsd;
  std::unique_ptr<TCupsSession> session;
  std::string programPath, home, file;
  pid_t program = -1;
};

// Seconds for one lp per queue.
double LpBurst(TBench& bench, int queues) {
  const auto start = Clock::now();
  for (int i = 0; i < queues; ++i)
    if (bench.cupsd.Submit(TBench::Queue(i), bench.file, "burst") == 0) std::fprintf(stderr, "lp failed\n");
  return SecondsSince(start);
}

int Scale(TBench& bench, int queues, int idleSeconds, int steadySeconds) {
  if (!bench.Start(queues)) return 1;
  std::printf("queues %d\n", queues);
  const size_t before = bench.Requests();
  const double cupsd0 = Sample(bench.cupsd.Pid()).CpuSeconds;
  const double without = LpBurst(bench, queues);
  const double cupsdWithout = Sample(bench.cupsd.Pid()).CpuSeconds - cupsd0;
  const size_t requestsWithout = bench.Requests() - before;
  std::printf("  submit %d jobs without the program: %.2f s (%.1f ms a job, %zu requests)\n", queues, without,
              1000 * without / queues, requestsWithout);

  const auto started = Clock::now();
  if (!bench.StartProgram()) return 1;
  bench.WaitSettled(queues + 3);
  std::printf("  program started and watching in %.1f s\n", SecondsSince(started) - 2);
  // Its start records the burst from the history.
  bench.WaitRows(queues, 120);

  const TProcSample p0 = Sample(bench.program), c0 = Sample(bench.cupsd.Pid());
  std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
  const TProcSample p1 = Sample(bench.program), c1 = Sample(bench.cupsd.Pid());
  std::printf("  idle over %d s: program %.2f%% of a core, cupsd %.2f%%; program threads %d, memory %.1f MB "
              "(%.1f KB a queue)\n",
              idleSeconds, 100 * (p1.CpuSeconds - p0.CpuSeconds) / idleSeconds,
              100 * (c1.CpuSeconds - c0.CpuSeconds) / idleSeconds, p1.Threads, p1.RssKb / 1024.0,
              double(p1.RssKb) / queues);

  const int rowsBefore = bench.Rows();
  const size_t from = bench.Requests();
  const TProcSample b0 = Sample(bench.program), d0 = Sample(bench.cupsd.Pid());
  const double with = LpBurst(bench, queues);
  const double rowsAfter = bench.WaitRows(rowsBefore + queues, 600);
  const TProcSample b1 = Sample(bench.program), d1 = Sample(bench.cupsd.Pid());
  const size_t requestsWith = bench.Requests() - from;
  std::printf("  submit %d jobs with the program: %.2f s (%.1f ms a job), ratio %.2f; every job a row %.2f s after "
              "the last submit\n",
              queues, with, 1000 * with / queues, with / without, rowsAfter);
  std::printf("  CPU during the burst: program %.2f ms a job, cupsd %.2f ms a job (without the program: %.2f)\n",
              1000 * (b1.CpuSeconds - b0.CpuSeconds) / queues, 1000 * (d1.CpuSeconds - d0.CpuSeconds) / queues,
              1000 * cupsdWithout / queues);
  std::printf("  requests during the burst: %zu, %.2f a job more than without the program\n", requestsWith,
              double(requestsWith) - double(requestsWithout) > 0
                  ? (double(requestsWith) - double(requestsWithout)) / queues
                  : 0.0);
  for (const auto& [op, count] : bench.RequestsByOperation(from))
    std::printf("    %-32s %6d (%.2f a job)\n", op.c_str(), count, double(count) / queues);

  // Steady load: 20 jobs a second over the first queues in turn.
  const int steadyJobs = 20 * steadySeconds;
  const int rows0 = bench.Rows();
  const TProcSample s0 = Sample(bench.program);
  const auto steadyStart = Clock::now();
  int printed = 0;
  for (int i = 0; i < steadyJobs; ++i) {
    printed += bench.Print(TBench::Queue(i % std::min(queues, 4)));
    std::this_thread::sleep_until(steadyStart + std::chrono::milliseconds(50 * (i + 1)));
  }
  bench.WaitRows(rows0 + printed, 120);
  const TProcSample s1 = Sample(bench.program);
  std::printf("  steady 20 jobs a second for %d s: program CPU %.2f ms a recorded job (%d jobs)\n", steadySeconds,
              1000 * (s1.CpuSeconds - s0.CpuSeconds) / printed, printed);
  bench.StopProgram();
  return 0;
}

// The program's CPU a recorded job at 20 jobs a second, for a profile.
int Steady(TBench& bench, int queues, int seconds) {
  if (!bench.Start(queues) || !bench.StartProgram()) return 1;
  bench.WaitSettled(queues + 3);
  std::printf("program %d steady on %d queues\n", int(bench.program), queues);
  std::fflush(stdout);
  const int rows0 = bench.Rows();
  const TProcSample s0 = Sample(bench.program);
  const auto start = Clock::now();
  int printed = 0;
  for (int i = 0; i < 20 * seconds; ++i) {
    printed += bench.Print(TBench::Queue(i % std::min(queues, 4)));
    std::this_thread::sleep_until(start + std::chrono::milliseconds(50 * (i + 1)));
  }
  bench.WaitRows(rows0 + printed, 120);
  const TProcSample s1 = Sample(bench.program);
  std::printf("  %.2f ms a recorded job (%d jobs)\n", 1000 * (s1.CpuSeconds - s0.CpuSeconds) / printed, printed);
  bench.StopProgram();
  return 0;
}

int Memory(TBench& bench, int jobs, int queues) {
  if (!bench.Start(queues) || !bench.StartProgram()) return 1;
  bench.WaitSettled(queues + 3);
  std::printf("%d jobs on %d queues\n  rows      memory MB   program CPU s\n", jobs, queues);
  const auto show = [&](int rows) {
    const TProcSample s = Sample(bench.program);
    std::printf("  %6d    %8.1f   %8.1f\n", rows, s.RssKb / 1024.0, s.CpuSeconds);
    std::fflush(stdout);
  };
  show(0);
  int submitted = 0, rows = 0, next = 1000;
  while (rows < jobs) {
    // A few hundred in flight at most: the program records as it goes.
    while (submitted < jobs && submitted - rows < 200)
      if (!bench.Print(TBench::Queue(submitted++ % queues))) --jobs;
    rows = bench.Rows();
    if (rows >= next) {
      show(rows);
      next += 1000;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  bench.StopProgram();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: bench_program scale QUEUES [IDLE_S] [STEADY_S] | memory JOBS [QUEUES]\n");
    return 2;
  }
  signal(SIGPIPE, SIG_IGN);
  TBench bench(argv[0]);
  const std::string mode = argv[1];
  if (mode == "scale")
    return Scale(bench, std::atoi(argv[2]), argc > 3 ? std::atoi(argv[3]) : 30, argc > 4 ? std::atoi(argv[4]) : 20);
  if (mode == "steady") return Steady(bench, std::atoi(argv[2]), argc > 3 ? std::atoi(argv[3]) : 30);
  if (mode == "memory") return Memory(bench, std::atoi(argv[2]), argc > 3 ? std::atoi(argv[3]) : 4);
  return 2;
}
