// Running the real program in a child process started with fork and exec, so that the child can
// be given what posix_spawn cannot give it: closed standard streams, a limit on open files, a
// start directory too deep to be named, and a kernel guard (seccomp) under which no file can be
// deleted, renamed or written at all. The child also loses the super-user's right to ignore file
// modes, so that read-only files and unreadable directories mean what they mean for a user.
#pragma once

#include <fcntl.h>
#include <linux/audit.h>
#include <linux/capability.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "gtest/gtest.h"

extern char** environ;

namespace tvx::adversarial {

/// How one run of the program is started.
struct RunPlan {
  std::string prefix;  // WINEPREFIX
  bool set_prefix = true;
  std::string home;  // HOME; every test gives one inside its temporary directory
  bool set_home = true;
  std::string cwd;  // the host directory it starts in
  int cwd_fd = -1;  // or a directory descriptor, for a start directory too deep to name
  std::string input = "y\n";
  bool close_stdin = false;
  bool close_stdout = false;
  bool close_stderr = false;
  bool broken_stderr = false;     // standard error is a pipe whose reader is gone
  int open_files = 0;             // RLIMIT_NOFILE when above 0
  bool guard = false;             // no deletion, rename or write is possible (see RunProgram)
  std::vector<std::string> argv;  // empty: the program alone; else a command to run instead
  std::vector<std::string> env;   // more NAME=VALUE entries
  int timeout_seconds = 60;       // a safety net only: no test waits on it when things go well
};

struct Outcome {
  int exit_code = -1;  // the exit status, or 128 + the signal that ended it
  bool timed_out = false;
  std::string out;
  std::string err;
  size_t Beeps() const { return static_cast<size_t>(std::count(err.begin(), err.end(), '\a')); }
};

inline std::ostream& operator<<(std::ostream& os, const Outcome& o) {
  return os << "exit " << o.exit_code << (o.timed_out ? " (timed out)" : "") << ", stderr \""
            << o.err.substr(0, 2000) << "\"";
}

/// A program run under the guard that tries to delete anything is killed with this signal.
inline constexpr int kGuardSignal = SIGSYS;

namespace detail {

// The seccomp filter of a guarded run: any deletion kills the process (so a test sees the attempt
// itself, not only its effect), and every other way of changing a file fails with EROFS.
struct GuardFilter {
  std::vector<sock_filter> code;

  void Add(sock_filter f) { code.push_back(f); }
  // if (nr == n) return action
  void Syscall(int nr, uint32_t action) {
    Add(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<uint32_t>(nr), 0, 1));
    Add(BPF_STMT(BPF_RET | BPF_K, action));
  }
  // if (nr == n && (args[arg] & bits)) return action; the accumulator holds nr again afterwards.
  void SyscallWithFlags(int nr, int arg, uint32_t bits, uint32_t action) {
    Add(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<uint32_t>(nr), 0, 4));
    Add(BPF_STMT(BPF_LD | BPF_W | BPF_ABS,
                 static_cast<uint32_t>(offsetof(seccomp_data, args) + 8 * arg)));
    Add(BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, bits, 0, 1));
    Add(BPF_STMT(BPF_RET | BPF_K, action));
    Add(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, static_cast<uint32_t>(offsetof(seccomp_data, nr))));
  }

  GuardFilter() {
    const uint32_t kill = SECCOMP_RET_KILL_PROCESS;
    const uint32_t refuse = SECCOMP_RET_ERRNO | EROFS;
    const uint32_t write_bits = O_WRONLY | O_RDWR | O_CREAT | O_TRUNC;
    Add(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, static_cast<uint32_t>(offsetof(seccomp_data, arch))));
#if defined(__x86_64__)
    Add(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0));
#elif defined(__aarch64__)
    Add(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_AARCH64, 1, 0));
#else
#error "the guard knows no system call numbers of this architecture"
#endif
    Add(BPF_STMT(BPF_RET | BPF_K, kill));
    Add(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, static_cast<uint32_t>(offsetof(seccomp_data, nr))));
#ifdef __NR_unlink
    Syscall(__NR_unlink, kill);
#endif
#ifdef __NR_rmdir
    Syscall(__NR_rmdir, kill);
#endif
    Syscall(__NR_unlinkat, kill);
#ifdef __NR_rename
    Syscall(__NR_rename, refuse);
#endif
#ifdef __NR_renameat
    Syscall(__NR_renameat, refuse);
#endif
    Syscall(__NR_renameat2, refuse);
    Syscall(__NR_truncate, refuse);
    Syscall(__NR_ftruncate, refuse);
#ifdef __NR_creat
    Syscall(__NR_creat, refuse);
#endif
#ifdef __NR_open
    SyscallWithFlags(__NR_open, 1, write_bits, refuse);
#endif
    SyscallWithFlags(__NR_openat, 2, write_bits, refuse);
#ifdef __NR_openat2
    Syscall(__NR_openat2, SECCOMP_RET_ERRNO | ENOSYS);  // so that openat, which is checked, is used
#endif
    // The filter cannot see what a ring carries, so the program is kept to plain calls.
    Syscall(__NR_io_uring_setup, SECCOMP_RET_ERRNO | ENOSYS);
    for (int nr : {__NR_fchmod, __NR_fchmodat, __NR_fchownat, __NR_linkat, __NR_symlinkat,
                   __NR_mkdirat, __NR_mknodat, __NR_utimensat}) {
      Syscall(nr, refuse);
    }
#ifdef __NR_chmod
    for (int nr : {__NR_chmod, __NR_chown, __NR_lchown, __NR_link, __NR_symlink, __NR_mkdir}) {
      Syscall(nr, refuse);
    }
#endif
    Add(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
  }
};

inline void IgnoreSigpipeOnce() {
  static const bool done = [] {
    (void)signal(SIGPIPE, SIG_IGN);
    return true;
  }();
  (void)done;
}

inline void SetNonBlocking(int fd) {
  (void)fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

// Reads what is there without waiting; false at end of file.
inline bool Drain(int fd, std::string* text) {
  char buffer[65536];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
      text->append(buffer, static_cast<size_t>(n));
      continue;
    }
    return n < 0 && (errno == EAGAIN || errno == EINTR);
  }
}

// The child's side between fork and exec: only calls that are safe after fork in a process with
// threads. It never returns.
[[noreturn]] inline void StartChild(const RunPlan& plan, int in, int out, int err,
                                    const std::vector<char*>& argv, const std::vector<char*>& env,
                                    const sock_fprog* guard) {
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  for (int sig : {SIGPIPE, SIGXFSZ, SIGINT, SIGTERM}) (void)sigaction(sig, &dfl, nullptr);
  sigset_t none;
  sigemptyset(&none);
  (void)sigprocmask(SIG_SETMASK, &none, nullptr);
  // The new streams go above 2 first, so that none is closed by the dup2 of another.
  const int fds[3] = {in, out, err};
  int high[3];
  for (int i = 0; i < 3; ++i) high[i] = fds[i] >= 0 ? fcntl(fds[i], F_DUPFD, 10) : -1;
  for (int i = 0; i < 3; ++i) {
    if (high[i] >= 0) {
      (void)dup2(high[i], i);
    } else {
      (void)close(i);
    }
  }
  if (plan.cwd_fd >= 0) {
    if (fchdir(plan.cwd_fd) != 0) _exit(126);
  } else if (!plan.cwd.empty() && chdir(plan.cwd.c_str()) != 0) {
    _exit(126);
  }
  (void)syscall(SYS_close_range, 3u, ~0u, 0u);
  if (plan.open_files > 0) {
    const rlimit limit{static_cast<rlim_t>(plan.open_files), static_cast<rlim_t>(plan.open_files)};
    if (setrlimit(RLIMIT_NOFILE, &limit) != 0) _exit(126);
  }
  // The super-user would read and search every directory and write every file whatever its mode.
  (void)prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0);
  (void)prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0);
  (void)prctl(PR_CAPBSET_DROP, CAP_FOWNER, 0, 0, 0);
  if (guard != nullptr) {
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) _exit(125);
    if (syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, guard) != 0) _exit(125);
  }
  (void)execve(argv[0], argv.data(), env.data());
  _exit(127);
}

inline std::vector<std::string> Environment(const RunPlan& plan) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    if (entry.rfind("WINEPREFIX=", 0) == 0 || entry.rfind("HOME=", 0) == 0) continue;
    env.push_back(entry);
  }
  if (plan.set_prefix) env.push_back("WINEPREFIX=" + plan.prefix);
  if (plan.set_home) env.push_back("HOME=" + plan.home);
  env.insert(env.end(), plan.env.begin(), plan.env.end());
  return env;
}

inline std::vector<std::string> Command(const RunPlan& plan) {
  if (!plan.argv.empty()) return plan.argv;
  return {TVX_EXE};
}

inline std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& t : texts) pointers.push_back(t.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace detail

/// True when fuzz/valgrind-e2e runs the suite: every run of the program is then under memcheck,
/// which needs memory, descriptors and time of its own.
inline bool UnderValgrind() {
  return std::getenv("TVX_UNDER_VALGRIND") != nullptr;
}

/// True when the program carries a sanitizer's run-time, which needs descriptors and memory of its
/// own (it opens /proc and makes pipes to check memory).
inline bool ProgramIsSanitized() {
  static const bool sanitized = [] {
    const int fd = open(TVX_EXE, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    std::string bytes;
    char buffer[1 << 16];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) bytes.append(buffer, n);
    (void)close(fd);
    return bytes.find("AddressSanitizer") != std::string::npos ||
           bytes.find("__ubsan_handle") != std::string::npos;
  }();
  return sanitized;
}

/// Whether this kernel lets a child install the guard (seccomp filters).
inline bool GuardAvailable() {
#ifdef SECCOMP_RET_KILL_PROCESS
  return prctl(PR_GET_SECCOMP, 0, 0, 0, 0) >= 0;
#else
  return false;
#endif
}

/// Runs the program as `plan` says and collects its exit code and output. A run that outlives
/// its time-out is killed and marked.
inline Outcome RunProgram(const RunPlan& plan) {
  detail::IgnoreSigpipeOnce();
  std::vector<std::string> command = detail::Command(plan);
  std::vector<std::string> env_text = detail::Environment(plan);
  std::vector<char*> argv = detail::Pointers(command);
  std::vector<char*> env = detail::Pointers(env_text);
  detail::GuardFilter filter;
  const sock_fprog guard{static_cast<unsigned short>(filter.code.size()), filter.code.data()};

  int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
  if (!plan.close_stdin) {
    EXPECT_EQ(pipe2(in, O_CLOEXEC), 0);
  }
  if (!plan.close_stdout) {
    EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
  }
  if (!plan.close_stderr) {
    EXPECT_EQ(pipe2(err, O_CLOEXEC), 0);
  }
  if (plan.broken_stderr) {
    (void)close(err[0]);
    err[0] = -1;
  }
  const pid_t pid = fork();
  if (pid == 0) {
    detail::StartChild(plan, in[0], out[1], err[1], argv, env, plan.guard ? &guard : nullptr);
  }
  EXPECT_GT(pid, 0) << std::strerror(errno);
  for (int fd : {in[0], out[1], err[1]}) {
    if (fd >= 0) (void)close(fd);
  }
  if (in[1] >= 0) {
    // A program that never reads its input must not stop the test: what does not fit is dropped.
    detail::SetNonBlocking(in[1]);
    (void)!write(in[1], plan.input.data(), plan.input.size());
    (void)close(in[1]);
  }
  Outcome outcome;
  std::vector<pollfd> streams;
  for (int fd : {out[0], err[0]}) {
    if (fd >= 0) {
      detail::SetNonBlocking(fd);
      streams.push_back({fd, POLLIN, 0});
    }
  }
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(plan.timeout_seconds);
  int status = 0;
  for (;;) {
    // The program's own children (an uninstaller left running) may hold the streams open after
    // it ended: the run is over when the program is, and what is buffered then is taken.
    if (!streams.empty())
      (void)poll(streams.data(), streams.size(), 20);
    else
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    for (size_t i = 0; i < streams.size(); ++i) {
      (void)detail::Drain(streams[i].fd, streams[i].fd == out[0] ? &outcome.out : &outcome.err);
    }
    const pid_t done = pid > 0 ? waitpid(pid, &status, WNOHANG) : -1;
    if (done == pid || done < 0) break;
    if (std::chrono::steady_clock::now() > deadline) {
      (void)kill(pid, SIGKILL);
      (void)waitpid(pid, &status, 0);
      outcome.timed_out = true;
      break;
    }
  }
  for (pollfd& s : streams) {
    (void)detail::Drain(s.fd, s.fd == out[0] ? &outcome.out : &outcome.err);
    (void)close(s.fd);
  }
  outcome.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return outcome;
}

}  // namespace tvx::adversarial
