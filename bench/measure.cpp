// measure RESULT COMMAND [ARGUMENT...]: runs the command (fork and exec, with
// the standard streams inherited) and appends one line to the file RESULT:
//
//   <wall seconds> <user seconds> <system seconds> <peak RSS in KiB> <exit status>
//
// The peak RSS is the child's ru_maxrss as wait4 reports it. The exit
// status is 128 + the signal for a command killed by a signal, 127 when it
// could not be started.
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

namespace {

double Seconds(const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; }

double Now() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: measure RESULT COMMAND [ARGUMENT...]\n");
    return 2;
  }
  std::FILE* result = std::fopen(argv[1], "a");
  if (result == nullptr) {
    std::perror(argv[1]);
    return 2;
  }
  const double start = Now();
  const pid_t child = fork();
  if (child < 0) {
    std::perror("measure: fork");
    return 2;
  }
  if (child == 0) {
    std::fclose(result);
    execvp(argv[2], argv + 2);
    std::perror("measure: exec");
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  while (wait4(child, &status, 0, &usage) < 0) {
    if (errno != EINTR) {
      std::perror("measure: wait4");
      return 2;
    }
  }
  const double wall = Now() - start;
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  std::fprintf(result, "%.4f %.4f %.4f %ld %d\n", wall, Seconds(usage.ru_utime),
               Seconds(usage.ru_stime), usage.ru_maxrss, code);
  return std::fclose(result) == 0 ? 0 : 2;
}
