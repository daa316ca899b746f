#include "platform/host/io.h"

#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

namespace tvx::host {

int ReadAll(int fd, std::string* bytes) {
  bytes->clear();
  char buffer[65536];
  for (;;) {
    const ssize_t count = read(fd, buffer, sizeof buffer);
    if (count == 0) return 0;
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return errno;
    bytes->append(buffer, static_cast<size_t>(count));
  }
}

int WriteAll(int fd, std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t count = write(fd, bytes.data() + done, bytes.size() - done);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return errno;
    done += static_cast<size_t>(count);
  }
  return 0;
}

bool WriteQuietly(int fd, std::string_view bytes) {
  sigset_t pipe_signal;
  sigemptyset(&pipe_signal);
  sigaddset(&pipe_signal, SIGPIPE);
  sigset_t previous;
  if (pthread_sigmask(SIG_BLOCK, &pipe_signal, &previous) != 0) return false;
  sigset_t pending;
  sigemptyset(&pending);
  (void)sigpending(&pending);
  const bool was_pending = sigismember(&pending, SIGPIPE) == 1;
  const int error = WriteAll(fd, bytes);
  // The SIGPIPE this write raised is taken off the thread before the old mask comes back.
  if (error == EPIPE && !was_pending) {
    const struct timespec no_wait {};
    (void)sigtimedwait(&pipe_signal, nullptr, &no_wait);
  }
  (void)pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return error == 0;
}

}  // namespace tvx::host
