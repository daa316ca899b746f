#include "platform/host/orphans.h"

#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <mutex>
#include <vector>

namespace tvx::host {
namespace {

// The slots the signal handler may read: fixed, lock-free. Children beyond them wait in the
// overflow list until a later process call reaps them.
constexpr int kSlots = 256;
std::atomic<pid_t> g_slots[kSlots];
struct sigaction g_previous;
std::once_flag g_installed;

std::mutex g_overflow_mutex;
std::vector<pid_t> g_overflow;

void ReapSlots() {
  for (std::atomic<pid_t>& slot : g_slots) {
    pid_t pid = slot.load();
    if (pid <= 0) continue;
    const pid_t result = waitpid(pid, nullptr, WNOHANG);
    if (result == pid || (result < 0 && errno == ECHILD)) {
      (void)slot.compare_exchange_strong(pid, 0);
    }
  }
}

void OnChildSignal(int signal, siginfo_t* info, void* context) {
  const int saved_errno = errno;
  ReapSlots();
  errno = saved_errno;
  // Whoever handled SIGCHLD before us still hears of every child.
  if (g_previous.sa_flags & SA_SIGINFO) {
    if (g_previous.sa_sigaction) g_previous.sa_sigaction(signal, info, context);
  } else if (g_previous.sa_handler != SIG_DFL && g_previous.sa_handler != SIG_IGN) {
    g_previous.sa_handler(signal);
  }
}

void InstallHandler() {
  struct sigaction action {};
  action.sa_sigaction = OnChildSignal;
  action.sa_flags = SA_SIGINFO | SA_RESTART | SA_NOCLDSTOP;
  sigemptyset(&action.sa_mask);
  (void)sigaction(SIGCHLD, &action, &g_previous);
}

bool TakeSlot(pid_t pid) {
  for (std::atomic<pid_t>& slot : g_slots) {
    pid_t empty = 0;
    if (slot.compare_exchange_strong(empty, pid)) return true;
  }
  return false;
}

}  // namespace

void AdoptOrphan(pid_t pid) {
  std::call_once(g_installed, InstallHandler);
  if (!TakeSlot(pid)) {
    std::lock_guard<std::mutex> lock(g_overflow_mutex);
    g_overflow.push_back(pid);
  }
  // The child may have ended before it had a slot, its SIGCHLD then finding nothing to reap.
  ReapSlots();
  ReapOrphans();
}

void ReapOrphans() {
  std::lock_guard<std::mutex> lock(g_overflow_mutex);
  std::erase_if(g_overflow, [](pid_t pid) {
    const pid_t result = waitpid(pid, nullptr, WNOHANG);
    return result == pid || (result < 0 && errno == ECHILD);
  });
}

}  // namespace tvx::host
