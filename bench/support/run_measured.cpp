// Runs a program as a child of its own and writes to descriptor 3 what the
// child spent: "user-seconds system-seconds peak-kilobytes". Its exit code
// is the child's (128 + the signal when a signal ended it); the child is
// killed when this program ends first.
//
// A process keeps the peak resident memory of the process it was forked
// from, even across exec, so a program started straight from a large
// process reports that process's peak as its own. Started afresh, this
// program holds little, and the child it forks reports its own peak.
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 2) return 127;
  const pid_t self = getpid();
  const pid_t child = fork();
  if (child < 0) return 127;
  if (child == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != self) _exit(127);
    close(3);
    execv(argv[1], argv + 1);
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  while (wait4(child, &status, 0, &usage) != child) {
    if (errno != EINTR) return 127;
  }
  dprintf(3, "%ld.%06ld %ld.%06ld %ld\n", static_cast<long>(usage.ru_utime.tv_sec),
          static_cast<long>(usage.ru_utime.tv_usec), static_cast<long>(usage.ru_stime.tv_sec),
          static_cast<long>(usage.ru_stime.tv_usec), usage.ru_maxrss);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
