#include "platform/host/io.h"

#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

namespace tvx::host {

int ReadAll(int fd, std::string* bytes) {
  bytes->clear();
  // Reading straight into a string sized from the file saves copying a large file (a registry
  // hive of megabytes) again each time the string would have grown.
  struct stat info;
  size_t expected = 0;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
    expected = static_cast<size_t>(info.st_size);
  }
  bytes->resize(expected + 1);
  size_t done = 0;
  for (;;) {
    if (done == bytes->size()) bytes->resize(bytes->size() * 2);
    const ssize_t count = read(fd, bytes->data() + done, bytes->size() - done);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) {
      const int error = count < 0 ? errno : 0;
      bytes->resize(done);
      return error;
    }
    done += static_cast<size_t>(count);
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
