#include "platform/host/process_table.h"

#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "platform/host/orphans.h"

namespace tvx::host {
namespace {

constexpr uint32_t kInfinite = 0xFFFFFFFF;
constexpr uint32_t kStillActive = 259;
// A child killed by signal N reports 0xC0000000 | N: an error status in Windows' terms, and
// never 259 or an exit value a program could have chosen (those stop at 255).
constexpr uint32_t kKilledBySignal = 0xC0000000;

int64_t NowMilliseconds() {
  struct timespec now {};
  (void)clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

int OpenPidfd(pid_t pid) {
  return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
}

}  // namespace

ProcessTable::ProcessTable() {
  // With SIGCHLD ignored the kernel discards exit statuses, and no exit code could be read.
  struct sigaction current {};
  if (sigaction(SIGCHLD, nullptr, &current) == 0 && !(current.sa_flags & SA_SIGINFO) &&
      current.sa_handler == SIG_IGN) {
    (void)signal(SIGCHLD, SIG_DFL);
  }
}

ProcessTable::~ProcessTable() {
  for (auto& [id, child] : children_) {
    if (!Reap(child)) AdoptOrphan(child.pid);
  }
}

ProcessId ProcessTable::Add(pid_t pid) {
  ReapOrphans();
  Child child;
  child.pid = pid;
  child.pidfd = UniqueFd(OpenPidfd(pid));
  const ProcessId id = next_id_++;
  children_.emplace(id, std::move(child));
  return id;
}

bool ProcessTable::Wait(ProcessId id, uint32_t milliseconds) {
  Child* child = Find(id);
  if (!child) return false;
  if (Reap(*child)) return true;
  return child->pidfd.valid() ? WaitWithPidfd(*child, milliseconds)
                              : WaitBySteps(*child, milliseconds);
}

bool ProcessTable::ExitCode(ProcessId id, uint32_t* code) {
  Child* child = Find(id);
  if (!child) return false;
  if (!Reap(*child)) {
    *code = kStillActive;
    return true;
  }
  if (!child->status_known) return false;
  if (WIFSIGNALED(child->status)) {
    *code = kKilledBySignal | static_cast<uint32_t>(WTERMSIG(child->status));
  } else {
    *code = static_cast<uint32_t>(WEXITSTATUS(child->status));
  }
  return true;
}

void ProcessTable::Close(ProcessId id) {
  const auto it = children_.find(id);
  if (it == children_.end()) return;
  if (!Reap(it->second)) AdoptOrphan(it->second.pid);
  children_.erase(it);
  ReapOrphans();
}

ProcessTable::Child* ProcessTable::Find(ProcessId id) {
  const auto it = children_.find(id);
  return it == children_.end() ? nullptr : &it->second;
}

bool ProcessTable::Reap(Child& child) {
  if (child.ended) return true;
  int status = 0;
  const pid_t result = waitpid(child.pid, &status, WNOHANG);
  if (result == child.pid) {
    child.status = status;
    child.status_known = true;
  } else if (!(result < 0 && errno == ECHILD)) {
    return false;
  }
  // ECHILD: the status went elsewhere (someone else waited for every child); it has ended all
  // the same, its exit code unknown.
  child.ended = true;
  child.pidfd.Reset();
  return true;
}

bool ProcessTable::WaitWithPidfd(Child& child, uint32_t milliseconds) {
  const int64_t deadline = NowMilliseconds() + milliseconds;
  for (;;) {
    int timeout = -1;
    if (milliseconds != kInfinite) {
      const int64_t left = std::max<int64_t>(deadline - NowMilliseconds(), 0);
      timeout = static_cast<int>(std::min<int64_t>(left, INT_MAX));
    }
    struct pollfd ready = {child.pidfd.get(), POLLIN, 0};
    const int result = poll(&ready, 1, timeout);
    if (result < 0 && errno != EINTR) return WaitBySteps(child, timeout < 0 ? kInfinite : timeout);
    if (Reap(child)) return true;
    if (result == 0 && timeout == 0) return false;
  }
}

// Only where pidfds are missing: looks every millisecond, so the end is still seen at once.
bool ProcessTable::WaitBySteps(Child& child, uint32_t milliseconds) {
  const int64_t deadline = NowMilliseconds() + milliseconds;
  while (!Reap(child)) {
    if (milliseconds != kInfinite && NowMilliseconds() >= deadline) return false;
    const struct timespec step = {0, 1000000};
    (void)nanosleep(&step, nullptr);
  }
  return true;
}

}  // namespace tvx::host
