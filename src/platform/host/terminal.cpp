// The host machine's user: the message box as a dialogue on the terminal, and the beep.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <iterator>

#include "platform/host/dialog.h"
#include "platform/host/host_machine_impl.h"
#include "platform/host/io.h"

namespace tvx::host {
namespace {

constexpr char kEscape = 0x1B;
constexpr char kInterrupt = 0x03;   // Ctrl-C with the terminal's signals off
constexpr char kEndOfInput = 0x04;  // Ctrl-D
constexpr int kNoAnswer = -1;

std::atomic<int> g_wake_fd{-1};

void OnInterrupt(int) {
  const int saved_errno = errno;
  const int fd = g_wake_fd.load();
  if (fd >= 0) (void)!write(fd, "!", 1);
  errno = saved_errno;
}

// While asking, an interrupt, a hang-up or a request to end stops the question instead of the
// process, so that the terminal is always restored: their handler wakes the reader through a
// pipe, whichever thread the signal lands on. A signal the process ignores stays ignored.
class InterruptWatch {
 public:
  InterruptWatch() {
    if (pipe2(fds_, O_CLOEXEC | O_NONBLOCK) != 0) return;
    g_wake_fd.store(fds_[1]);
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < std::size(kSignals); ++i) {
      (void)sigaction(kSignals[i], nullptr, &old_[i]);
      if (old_[i].sa_handler != SIG_IGN) (void)sigaction(kSignals[i], &action, nullptr);
    }
  }
  ~InterruptWatch() {
    if (fds_[0] < 0) return;
    for (size_t i = 0; i < std::size(kSignals); ++i)
      (void)sigaction(kSignals[i], &old_[i], nullptr);
    g_wake_fd.store(-1);
    (void)close(fds_[0]);
    (void)close(fds_[1]);
  }
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

  /// Waits until `fd` can be read; false when interrupted or when `fd` cannot be polled.
  bool WaitForInput(int fd) const {
    for (;;) {
      struct pollfd ready[2] = {{fd, POLLIN, 0}, {fds_[0], POLLIN, 0}};
      const int count = poll(ready, fds_[0] >= 0 ? 2 : 1, -1);
      if (count < 0 && errno == EINTR) continue;
      if (count < 0 || (ready[1].revents & POLLIN) || (ready[0].revents & POLLNVAL)) return false;
      if (ready[0].revents) return true;
    }
  }

 private:
  int fds_[2] = {-1, -1};
  static constexpr int kSignals[] = {SIGINT, SIGHUP, SIGTERM};
  struct sigaction old_[std::size(kSignals)]{};
};

// Single keys on a terminal: no line editing, no echo, no signal keys. The old state always
// comes back, and typed-ahead keys are dropped so that none answers a question not yet seen.
class RawMode {
 public:
  explicit RawMode(int fd) : fd_(fd) {
    if (!isatty(fd) || tcgetattr(fd, &saved_) != 0) return;
    struct termios raw = saved_;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
    raw.c_iflag &= ~static_cast<tcflag_t>(IXON);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    active_ = tcsetattr(fd, TCSAFLUSH, &raw) == 0;
  }
  ~RawMode() {
    if (active_) (void)tcsetattr(fd_, TCSANOW, &saved_);
  }
  RawMode(const RawMode&) = delete;
  RawMode& operator=(const RawMode&) = delete;

  bool active() const { return active_; }

 private:
  int fd_;
  struct termios saved_ {};
  bool active_ = false;
};

// Reads once; the count, 0 at the end of input, -1 on an error other than a retry.
ssize_t ReadSome(int fd, char* buffer, size_t size) {
  for (;;) {
    const ssize_t count = read(fd, buffer, size);
    if (count >= 0 || (errno != EINTR && errno != EAGAIN)) return count;
  }
}

// The length of the Escape sequence (an arrow or function key) at `i`, or 0 for a lone Escape.
ssize_t SequenceLength(const char* keys, ssize_t i, ssize_t count) {
  if (keys[i] != kEscape || i + 1 >= count || (keys[i + 1] != '[' && keys[i + 1] != 'O')) return 0;
  ssize_t end = i + 2;
  while (end < count && keys[end] >= 0x20 && keys[end] <= 0x3F) ++end;
  return std::min(end + 1, count) - i;
}

int ReadKeys(int fd, const Dialog& dialog, const InterruptWatch& watch) {
  char keys[16];
  for (;;) {
    if (!watch.WaitForInput(fd)) return kNoAnswer;
    const ssize_t count = ReadSome(fd, keys, sizeof keys);
    if (count <= 0) return kNoAnswer;
    for (ssize_t i = 0; i < count; ++i) {
      // Arrow and function keys arrive as Escape sequences in one read; they choose nothing.
      if (const ssize_t length = SequenceLength(keys, i, count)) {
        i += length - 1;
        continue;
      }
      if (keys[i] == kInterrupt || keys[i] == kEndOfInput) return kNoAnswer;
      if (const int answer = dialog.AnswerForKey(keys[i])) return answer;
    }
  }
}

// One line at a time, read byte by byte so that nothing past the answer is taken from the input.
int ReadLines(int fd, const Dialog& dialog, const InterruptWatch& watch) {
  std::string line;
  for (;;) {
    if (!watch.WaitForInput(fd)) return kNoAnswer;
    char c = 0;
    const ssize_t count = ReadSome(fd, &c, 1);
    if (count < 0) return kNoAnswer;
    if (count == 0 || c == '\n') {
      if (const int answer = count == 0 && line.empty() ? 0 : dialog.AnswerForLine(line)) {
        return answer;
      }
      if (count == 0) return kNoAnswer;
      line.clear();
      continue;
    }
    line += c;
  }
}

}  // namespace

int HostMachine::AskQuestion(const std::string& caption, const std::string& text, uint32_t type) {
  const int input = options_.input_fd;
  const int output = options_.output_fd;
  const Dialog dialog(type);
  if (!dialog.CanShow() || fcntl(input, F_GETFL) < 0) return 0;
  InterruptWatch watch;
  RawMode raw(input);
  // A question nobody could read gets no answer: the box could not be shown.
  if (!WriteQuietly(output, dialog.Render(caption, text))) return 0;
  const int answer =
      raw.active() ? ReadKeys(input, dialog, watch) : ReadLines(input, dialog, watch);
  if (answer == kNoAnswer) return 0;
  if (raw.active()) (void)WriteQuietly(output, std::string(dialog.LabelOf(answer)) + "\n");
  return answer;
}

void HostMachine::Beep(uint32_t /*type*/) {
  (void)WriteQuietly(options_.output_fd, "\a");
}

}  // namespace tvx::host
