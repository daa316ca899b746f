// Runs one command and prints how long it took and how much memory it used at its peak:
//
//   bench-timeit [-i INPUT] [-C DIR] -- COMMAND ARGS...
//   -> "<wall seconds> <peak resident KiB> <exit status>"
//
// The clock is CLOCK_MONOTONIC around spawn and wait; the peak comes from the child's own resource
// usage (wait4), so neither includes this program. Standard input comes from INPUT (default
// /dev/null), standard output and error go to /dev/null, and the command starts in DIR.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

extern char** environ;

namespace {

double Now() {
  timespec ts;
  (void)clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

int Usage() {
  std::fprintf(stderr, "usage: bench-timeit [-i INPUT] [-C DIR] -- COMMAND ARGS...\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string input = "/dev/null";
  std::string directory;
  int i = 1;
  for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
    if (i + 1 >= argc) return Usage();
    if (std::strcmp(argv[i], "-i") == 0) {
      input = argv[++i];
    } else if (std::strcmp(argv[i], "-C") == 0) {
      directory = argv[++i];
    } else {
      return Usage();
    }
  }
  if (i + 1 >= argc) return Usage();
  char** command = argv + i + 1;

  posix_spawn_file_actions_t actions;
  (void)posix_spawn_file_actions_init(&actions);
  (void)posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
  (void)posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  (void)posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  if (!directory.empty()) {
    (void)posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
  }

  const double start = Now();
  pid_t child = 0;
  const int error = posix_spawnp(&child, command[0], &actions, nullptr, command, environ);
  if (error != 0) {
    std::fprintf(stderr, "bench-timeit: %s: %s\n", command[0], std::strerror(error));
    return 1;
  }
  int status = 0;
  rusage usage;
  std::memset(&usage, 0, sizeof(usage));
  if (wait4(child, &status, 0, &usage) != child) {
    std::perror("bench-timeit: wait4");
    return 1;
  }
  const double elapsed = Now() - start;
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  std::printf("%.6f %ld %d\n", elapsed, usage.ru_maxrss, code);
  return 0;
}
