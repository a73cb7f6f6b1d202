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
// standard output to the file (or /dev/null), standard error to /dev/null.
[[noreturn]] void exec_child(const ChildRun& run, int inputPipe) {
  const auto limit = static_cast<rlim_t>(run.memoryMB * 1048576.0);
  const rlimit space{limit, limit};
  setrlimit(RLIMIT_AS, &space);
  const int null = open("/dev/null", O_RDWR);
  dup2(inputPipe >= 0 ? inputPipe : null, 0);
  const int out = run.stdoutFile.empty() ? null : open(run.stdoutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  dup2(out >= 0 ? out : null, 1);
  dup2(null, 2);
  std::vector<char*> argv;
  for (const std::string& arg : run.argv) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  if (chdir(run.dir.c_str()) == 0) execv(argv[0], argv.data());
  _exit(127);
}

double seconds_of(timeval t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }

}  // namespace

ChildResult run_child(const ChildRun& run) {
  ChildResult result;
  if (run.argv.empty()) return result;
  int pipes[2] = {-1, -1};
  if (!run.input.empty() && pipe(pipes) != 0) return result;
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child < 0) return result;  // not ok
  if (child == 0) {
    if (pipes[1] >= 0) close(pipes[1]);
    exec_child(run, pipes[0]);
  }
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
  rusage usage{};
  bool timedOut = false, reaped = true;
  while (wait4(child, &status, 0, &usage) != child) {
    if (errno != EINTR) {  // the child cannot be waited for: no result
      reaped = false;
      break;
    }
    timedOut = true;
    kill(child, SIGKILL);
  }
  alarm(0);
  result.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  result.ok = reaped && !timedOut && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  result.seconds = seconds_of(usage.ru_utime) + seconds_of(usage.ru_stime);
  result.peakMB = static_cast<double>(usage.ru_maxrss) / 1024.0;
  return result;
}

}  // namespace facetor::bench
