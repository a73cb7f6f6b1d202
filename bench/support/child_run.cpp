#include "support/child_run.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace facetor::bench {
namespace {

// In the child: standard input from a pipe the parent fills (or /dev/null),
// standard output to the file (or /dev/null), standard error to /dev/null,
// and the report of run_measured, which runs the program, to descriptor 3.
[[noreturn]] void exec_child(const ChildRun& run, int inputPipe, int reportPipe) {
  const auto limit = static_cast<rlim_t>(run.memoryMB * 1048576.0);
  const rlimit space{limit, limit};
  setrlimit(RLIMIT_AS, &space);
  const int null = open("/dev/null", O_RDWR);
  dup2(inputPipe >= 0 ? inputPipe : null, 0);
  const int out = run.stdoutFile.empty() ? null : open(run.stdoutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  dup2(out >= 0 ? out : null, 1);
  dup2(null, 2);
  dup2(reportPipe, 3);
  if (reportPipe != 3) close(reportPipe);  // the program holds no end of it
  std::vector<char*> argv{const_cast<char*>(FACETOR_RUN_MEASURED)};
  for (const std::string& arg : run.argv) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  if (chdir(run.dir.c_str()) == 0) execv(argv[0], argv.data());
  _exit(127);
}

// The report of run_measured: processor time and peak memory of the program.
bool read_report(int reportPipe, ChildResult& result) {
  char text[128] = {};
  std::size_t got = 0;
  for (ssize_t n = 1; n > 0 && got + 1 < sizeof text; got += static_cast<std::size_t>(n)) {
    n = read(reportPipe, text + got, sizeof text - 1 - got);
    if (n < 0 && errno == EINTR) n = 0;
    if (n < 0) return false;
    if (n == 0) break;
  }
  double user = 0, system = 0, peakKB = 0;
  if (std::sscanf(text, "%lf %lf %lf", &user, &system, &peakKB) != 3) return false;
  result.seconds = user + system;
  result.peakMB = peakKB / 1024.0;
  return true;
}

}  // namespace

ChildResult run_child(const ChildRun& run) {
  ChildResult result;
  if (run.argv.empty()) return result;
  int pipes[2] = {-1, -1};
  int report[2] = {-1, -1};
  if (pipe(report) != 0) return result;
  if (!run.input.empty() && pipe(pipes) != 0) {
    close(report[0]);
    close(report[1]);
    return result;
  }
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child < 0) {  // not ok
    for (int descriptor : {report[0], report[1], pipes[0], pipes[1]}) {
      if (descriptor >= 0) close(descriptor);
    }
    return result;
  }
  if (child == 0) {
    if (pipes[1] >= 0) close(pipes[1]);
    close(report[0]);
    exec_child(run, pipes[0], report[1]);
  }
  close(report[1]);
  if (pipes[0] >= 0) {  // a short dialogue: it fits the pipe's buffer
    close(pipes[0]);
    const ssize_t written = write(pipes[1], run.input.data(), run.input.size());
    (void)written;
    close(pipes[1]);
  }
  // The parent sleeps in wait4 until the child ends or the alarm interrupts
  // it, so that it takes no processor time from the child (polling would
  // disturb a child pinned to the same processor).
  struct sigaction wake{};
  wake.sa_handler = [](int) {};
  sigemptyset(&wake.sa_mask);
  sigaction(SIGALRM, &wake, nullptr);
  alarm(static_cast<unsigned>(std::max(1.0, std::ceil(run.timeoutSeconds))));
  int status = 0;
  bool timedOut = false, reaped = true;
  while (waitpid(child, &status, 0) != child) {
    if (errno != EINTR) {  // the child cannot be waited for: no result
      reaped = false;
      break;
    }
    timedOut = true;
    kill(child, SIGKILL);  // run_measured: the program ends with it
  }
  alarm(0);
  result.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const bool reported = reaped && !timedOut && read_report(report[0], result);
  close(report[0]);
  result.ok = reported && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return result;
}

}  // namespace facetor::bench
