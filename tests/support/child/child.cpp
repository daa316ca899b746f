// tvx-test-child: a small program for the process tests, doing one thing its arguments name.
//   exit N                  exits with N
//   sleep MS [N]            exits with N (0) after MS milliseconds
//   wait-for PATH [N]       exits with N (0) once PATH exists; 99 after 60 s
//   args OUTFILE            writes its working directory, then each argument, one per line
//   spawn-and-exit PATH     leaves a detached grandchild waiting for PATH and exits 0 at once
//   kill-self SIGNAL        ends itself with signal number SIGNAL
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

int Number(int argc, char** argv, int index, int fallback) {
  return index < argc ? std::atoi(argv[index]) : fallback;
}

void SleepMilliseconds(long milliseconds) {
  struct timespec span = {milliseconds / 1000, (milliseconds % 1000) * 1000000};
  while (nanosleep(&span, &span) != 0) {
  }
}

long NowMilliseconds() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000L + now.tv_nsec / 1000000;
}

int WaitFor(const char* path, int code) {
  struct stat st;
  const long give_up = NowMilliseconds() + 60000;
  while (NowMilliseconds() < give_up) {
    if (stat(path, &st) == 0) return code;
    SleepMilliseconds(1);
  }
  return 99;
}

int WriteArguments(const char* out, int argc, char** argv) {
  FILE* file = std::fopen(out, "w");
  if (!file) return 1;
  char cwd[PATH_MAX];
  std::fprintf(file, "%s\n", getcwd(cwd, sizeof cwd) ? cwd : "?");
  for (int i = 0; i < argc; ++i) std::fprintf(file, "%s\n", argv[i]);
  return std::fclose(file) == 0 ? 0 : 1;
}

int SpawnAndExit(const char* path) {
  const pid_t pid = fork();
  if (pid < 0) return 1;
  if (pid == 0) {
    (void)setsid();
    _exit(WaitFor(path, 0));
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const char* command = argv[1];
  if (!std::strcmp(command, "exit")) return Number(argc, argv, 2, 0);
  if (!std::strcmp(command, "sleep")) {
    SleepMilliseconds(Number(argc, argv, 2, 0));
    return Number(argc, argv, 3, 0);
  }
  if (!std::strcmp(command, "wait-for")) return WaitFor(argv[2], Number(argc, argv, 3, 0));
  if (!std::strcmp(command, "args")) return WriteArguments(argv[2], argc, argv);
  if (!std::strcmp(command, "spawn-and-exit")) return SpawnAndExit(argv[2]);
  if (!std::strcmp(command, "kill-self")) {
    const int signal_number = Number(argc, argv, 2, SIGKILL);
    (void)signal(signal_number, SIG_DFL);
    (void)raise(signal_number);
    return 98;
  }
  return 2;
}
