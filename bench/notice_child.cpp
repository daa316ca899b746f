// The child of the notice benchmark: writes the CLOCK_MONOTONIC time, in nanoseconds, to the file
// that TVX_BENCH_STAMP names, and ends at once. The time is taken as late as possible, after the
// file is open, so that what follows it is only the write and the process's end.
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

int main() {
  const char* path = std::getenv("TVX_BENCH_STAMP");
  if (path == nullptr) return 2;
  const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return 3;
  timespec ts;
  (void)clock_gettime(CLOCK_MONOTONIC, &ts);
  char text[32];
  const int length = std::snprintf(text, sizeof(text), "%lld\n",
                                   static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec);
  (void)!write(fd, text, static_cast<size_t>(length));
  _exit(0);
}
