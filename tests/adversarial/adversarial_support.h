// Running the real program against hostile trees, settings and environments, and proving
// afterwards that nothing outside the product directory changed.
//
// Every run happens in a child process that is started here with fork and exec, so that the child
// can be given what posix_spawn cannot give it: closed standard streams, a limit on open files, a
// start directory too deep to be named, and a kernel guard (seccomp) under which no file can be
// deleted, renamed or written at all. The child also loses the super-user's right to ignore file
// modes, so that read-only files and unreadable directories mean what they mean for a user.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <linux/audit.h>
#include <linux/capability.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
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
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "gtest/gtest.h"
#include "tests/support/temp_prefix.h"

extern char** environ;

namespace tvx::adversarial {

using tvx::testing::TempPrefix;

/// How one run of the program is started.
struct RunSpec {
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
[[noreturn]] inline void StartChild(const RunSpec& spec, int in, int out, int err,
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
  if (spec.cwd_fd >= 0) {
    if (fchdir(spec.cwd_fd) != 0) _exit(126);
  } else if (!spec.cwd.empty() && chdir(spec.cwd.c_str()) != 0) {
    _exit(126);
  }
  (void)syscall(SYS_close_range, 3u, ~0u, 0u);
  if (spec.open_files > 0) {
    const rlimit limit{static_cast<rlim_t>(spec.open_files), static_cast<rlim_t>(spec.open_files)};
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

inline std::vector<std::string> Environment(const RunSpec& spec) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    if (entry.rfind("WINEPREFIX=", 0) == 0 || entry.rfind("HOME=", 0) == 0) continue;
    env.push_back(entry);
  }
  if (spec.set_prefix) env.push_back("WINEPREFIX=" + spec.prefix);
  if (spec.set_home) env.push_back("HOME=" + spec.home);
  env.insert(env.end(), spec.env.begin(), spec.env.end());
  return env;
}

inline std::vector<std::string> Command(const RunSpec& spec) {
  if (!spec.argv.empty()) return spec.argv;
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

/// Runs the program as `spec` says and collects its exit code and output. A run that outlives
/// its time-out is killed and marked.
inline Outcome RunProgram(const RunSpec& spec) {
  detail::IgnoreSigpipeOnce();
  std::vector<std::string> command = detail::Command(spec);
  std::vector<std::string> env_text = detail::Environment(spec);
  std::vector<char*> argv = detail::Pointers(command);
  std::vector<char*> env = detail::Pointers(env_text);
  detail::GuardFilter filter;
  const sock_fprog guard{static_cast<unsigned short>(filter.code.size()), filter.code.data()};

  int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
  if (!spec.close_stdin) {
    EXPECT_EQ(pipe2(in, O_CLOEXEC), 0);
  }
  if (!spec.close_stdout) {
    EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
  }
  if (!spec.close_stderr) {
    EXPECT_EQ(pipe2(err, O_CLOEXEC), 0);
  }
  if (spec.broken_stderr) {
    (void)close(err[0]);
    err[0] = -1;
  }
  const pid_t pid = fork();
  if (pid == 0) {
    detail::StartChild(spec, in[0], out[1], err[1], argv, env, spec.guard ? &guard : nullptr);
  }
  EXPECT_GT(pid, 0) << std::strerror(errno);
  for (int fd : {in[0], out[1], err[1]}) {
    if (fd >= 0) (void)close(fd);
  }
  if (in[1] >= 0) {
    // A program that never reads its input must not stop the test: what does not fit is dropped.
    detail::SetNonBlocking(in[1]);
    (void)!write(in[1], spec.input.data(), spec.input.size());
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
      std::chrono::steady_clock::now() + std::chrono::seconds(spec.timeout_seconds);
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

/// What one entry is: "d 755", "f 644 <size> <hash>" or "l <target>".
inline std::string Describe(int dir, const char* name, struct stat* st) {
  const std::string mode = std::to_string(st->st_mode & 07777);
  if (S_ISDIR(st->st_mode)) return "d " + mode;
  if (S_ISLNK(st->st_mode)) {
    char target[4096];
    const ssize_t n = readlinkat(dir, name, target, sizeof target);
    return "l " + std::string(target, n > 0 ? static_cast<size_t>(n) : 0);
  }
  if (!S_ISREG(st->st_mode)) return "o " + mode;
  uint64_t hash = 1469598103934665603ull;  // FNV-1a over the content
  const int fd = openat(dir, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd >= 0) {
    char buffer[65536];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) {
      for (ssize_t i = 0; i < n; ++i)
        hash = (hash ^ static_cast<unsigned char>(buffer[i])) * 1099511628211ull;
    }
    (void)close(fd);
  }
  return "f " + mode + " " + std::to_string(st->st_size) + " " + std::to_string(hash);
}

namespace detail {
inline void SnapshotBelow(int dir, const std::string& relative,
                          const std::vector<std::string>& skip,
                          std::map<std::string, std::string>* out) {
  DIR* stream = fdopendir(dup(dir));
  if (stream == nullptr) return;
  std::vector<std::string> names;
  while (dirent* entry = readdir(stream)) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
      names.push_back(entry->d_name);
    }
  }
  closedir(stream);
  for (const std::string& name : names) {
    const std::string path = relative.empty() ? name : relative + "/" + name;
    if (std::find(skip.begin(), skip.end(), path) != skip.end()) continue;
    struct stat st {};
    if (fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    (*out)[path] = Describe(dir, name.c_str(), &st);
    if (!S_ISDIR(st.st_mode)) continue;
    const int child = openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (child < 0) continue;
    SnapshotBelow(child, path, skip, out);
    (void)close(child);
  }
}
}  // namespace detail

/// Every entry below `host_dir` (links not followed), keyed by its path relative to it, except
/// the paths in `skip` and what lies below them.
inline std::map<std::string, std::string> Snapshot(const std::string& host_dir,
                                                   const std::vector<std::string>& skip = {}) {
  std::map<std::string, std::string> entries;
  const int dir = open(host_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return entries;
  detail::SnapshotBelow(dir, "", skip, &entries);
  (void)close(dir);
  return entries;
}

/// The differences between two snapshots, one line each, for a readable failure.
inline std::string Differences(const std::map<std::string, std::string>& before,
                               const std::map<std::string, std::string>& after) {
  std::string text;
  for (const auto& [path, what] : before) {
    auto it = after.find(path);
    if (it == after.end()) {
      text += "  gone: " + path + " (" + what + ")\n";
    } else if (it->second != what) {
      text += "  changed: " + path + " (" + what + " -> " + it->second + ")\n";
    }
  }
  for (const auto& [path, what] : after) {
    if (before.count(path) == 0) text += "  new: " + path + " (" + what + ")\n";
  }
  return text;
}

/// Removes a tree of any depth (links not followed) without recursion and with two descriptors,
/// for trees far too deep for TempPrefix's own clean-up.
inline void RemoveTree(const std::string& host_dir) {
  int cur = open(host_dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (cur < 0) {
    (void)unlink(host_dir.c_str());
    return;
  }
  std::vector<std::string> names;  // from host_dir down to cur
  for (long steps = 0; steps < 50'000'000; ++steps) {
    (void)fchmod(cur, 0700);
    std::string subdir;
    DIR* stream = fdopendir(dup(cur));
    while (dirent* e = stream ? readdir(stream) : nullptr) {
      if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
      struct stat st {};
      const bool is_dir =
          fstatat(cur, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
      if (!is_dir) {
        (void)unlinkat(cur, e->d_name, 0);
      } else if (subdir.empty() && unlinkat(cur, e->d_name, AT_REMOVEDIR) != 0) {
        subdir = e->d_name;  // not empty: go down into it
      }
    }
    if (stream) closedir(stream);
    if (!subdir.empty()) {
      const int child =
          openat(cur, subdir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (child >= 0) {
        (void)close(cur);
        cur = child;
        names.push_back(subdir);
        continue;
      }
    }
    if (names.empty()) break;
    const int parent = openat(cur, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    (void)close(cur);
    if (parent < 0) return;
    (void)unlinkat(parent, names.back().c_str(), AT_REMOVEDIR);
    names.pop_back();
    cur = parent;
  }
  (void)close(cur);
  (void)rmdir(host_dir.c_str());
}

/// Makes `levels` nested directories named `name` below `host_dir`, and a file "BOTTOM" in the
/// last one, through descriptors (the paths are far longer than the host lets a path be).
inline void MakeDeepTree(const std::string& host_dir, const std::string& name, int levels) {
  (void)mkdir(host_dir.c_str(), 0755);
  int cur = open(host_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(cur, 0) << host_dir;
  for (int i = 0; i < levels; ++i) {
    ASSERT_EQ(mkdirat(cur, name.c_str(), 0755), 0) << "level " << i << ": " << std::strerror(errno);
    const int child = openat(cur, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(child, 0) << "level " << i;
    (void)close(cur);
    cur = child;
  }
  const int file = openat(cur, "BOTTOM", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  EXPECT_GE(file, 0);
  (void)close(file);
  (void)close(cur);
}

/// A descriptor of the directory `levels` levels of `name` below `host_dir`, or -1.
inline int OpenDeep(const std::string& host_dir, const std::string& name, int levels) {
  int cur = open(host_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  for (int i = 0; i < levels && cur >= 0; ++i) {
    const int child = openat(cur, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    (void)close(cur);
    cur = child;
  }
  return cur;
}

/// The number of nested directories `name` below `host_dir` (stops at `limit`).
inline int DepthOf(const std::string& host_dir, const std::string& name, int limit) {
  int cur = open(host_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  int depth = 0;
  while (cur >= 0 && depth < limit) {
    const int child = openat(cur, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    (void)close(cur);
    cur = child;
    if (cur >= 0) ++depth;
  }
  if (cur >= 0) (void)close(cur);
  return depth;
}

/// The registry-file form of a text: backslashes and quotes escaped.
inline std::string RegEscape(const std::string& raw) {
  std::string out;
  for (char c : raw) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

/// The uninstall program of the scenarios: it notes where it started, then removes the file on
/// drive C that its "-f" argument names, as a setup log's owner does. Shell built-ins only but
/// for the one removal, so that a run costs little.
inline constexpr char kUninstallScript[] = R"sh(#!/bin/sh
log=""
for arg in "$@"; do case "$arg" in -f*) log=${arg#-f} ;; esac; done
rest=${log#?:}
host=""
while :; do
  case "$rest" in
    *\\*) host="$host${rest%%\\*}/"; rest=${rest#*\\} ;;
    *) host="$host$rest"; break ;;
  esac
done
pwd > "$WINEPREFIX/../log/uninst.log"
[ -n "$log" ] && rm -f "$WINEPREFIX/drive_c$host"
exit 0
)sh";

/// The standard product command: the uninstaller, told which setup log to read.
inline constexpr char kCommand[] = "C:\\windows\\UNINST.EXE -f\"C:\\TAVOX\\DEISL1.ISU\"";

/// The framework's settings file as the scenarios start it.
inline constexpr char kSettings[] =
    "[Recent File List]\r\nFile1=C:\\DOCS\\ONE.TXT\r\nFile2=C:\\DOCS\\TWO.TXT\r\n"
    "[Settings]\r\nPreviewPages=2\r\n";

/// A prefix with the product installed in C:\TAVOX, its settings in the registry, an uninstall
/// program, the framework's settings file, and canaries everywhere outside the product: beside
/// it, at the root of drive C, in the Windows directory, on drive D, beside the prefix, in a
/// fallback prefix under HOME, behind the links that tests put in the tree.
class Scenario {
 public:
  Scenario() {
    p_.MakeDirectory(Log());
    MakeProduct();
    p_.MakeFile(p_.outside() + "/canary.txt", "keep");
    p_.MakeFile(p_.outside() + "/dir/a.txt", "a");
    p_.MakeFile(p_.outside() + "/dir/sub/b.txt", "b");
    p_.MakeFile(p_.outside() + "/dir/README.TXT", "same name as a product file");
    p_.MakeFile(p_.outside() + "/readonly.txt", "ro", /*readonly=*/true);
    p_.MakeFile(p_.root() + "/ABOVE.TXT", "beside the prefix");
    p_.MakeFile(p_.Host("C:\\ROOT.TXT"), "root of drive C");
    p_.MakeFile(p_.Host("C:\\TAVOX2\\KEEP.TXT"), "a sibling with a longer name");
    p_.MakeFile(p_.Host("C:\\TAVO\\KEEP.TXT"), "a sibling with a shorter name");
    p_.MakeFile(p_.Host("C:\\TAVOX.BAK\\README.TXT"), "a sibling");
    p_.MakeFile(p_.Host("C:\\windows\\WIN.INI"), "[windows]\r\n");
    p_.MakeFile(p_.Host("C:\\windows\\system\\KERNEL.DLL"), "kernel");
    p_.MakeFile(p_.Host("C:\\windows\\UNINST.EXE"), kUninstallScript);
    EXPECT_EQ(chmod(p_.Host("C:\\windows\\UNINST.EXE").c_str(), 0755), 0);
    p_.MakeFile(Settings(), kSettings);
    p_.MapDrive('d', DriveD());
    p_.MakeFile(DriveD() + "/DATA/KEEP.TXT", "drive D");
    p_.MakeFile(DriveD() + "/TAVOX/README.TXT", "the same product path on drive D");
    p_.MakeFile(Home() + "/.wine/drive_c/TAVOX/README.TXT", "a fallback prefix's product");
    p_.MakeFile(Home() + "/.wine/system.reg", "WINE REGISTRY Version 2\n");
    SetRegistry(RegEscape("C:\\TAVOX"), RegEscape(kCommand));
  }
  virtual ~Scenario() = default;

  TempPrefix& p() { return p_; }
  const TempPrefix& p() const { return p_; }
  std::string DriveC() const { return p_.prefix() + "/drive_c"; }
  std::string DriveD() const { return p_.root() + "/d"; }
  std::string Log() const { return p_.root() + "/log"; }
  std::string Home() const { return p_.root() + "/home"; }
  std::string Settings() const { return p_.Host("C:\\windows\\tavox-uninstall.INI"); }
  std::string Product() const { return p_.Host(product_); }
  std::string UninstallLog() const { return Log() + "/uninst.log"; }
  bool UninstallerRan() const { return p_.Exists(UninstallLog()); }

  /// The standard product: kept entries, a game with saves, a read-me.
  void MakeProduct() {
    p_.MakeFile(p_.Host("C:\\TAVOX\\DEISL1.ISU"), "log");
    p_.MakeFile(p_.Host("C:\\TAVOX\\UNISTX32.EXE"), "helper");
    p_.MakeFile(p_.Host("C:\\TAVOX\\SYSTEM\\LUMRT.DLL"), "runtime");
    p_.MakeFile(p_.Host("C:\\TAVOX\\Game\\game.exe"), "game");
    p_.MakeFile(p_.Host("C:\\TAVOX\\Game\\Saves\\slot1.sav"), "save");
    p_.MakeFile(p_.Host("C:\\TAVOX\\README.TXT"), "readme");
  }

  /// Writes system.reg with the two values as they stand in the file (already escaped); a
  /// missing one is left out.
  void SetRegistry(const std::optional<std::string>& dir, const std::optional<std::string>& cmd) {
    std::string body =
        ";; All keys relative to \\\\Machine\n\n#arch=win32\n\n"
        "[Software\\\\TAVOX] 1700000000\n";
    if (dir) body += "\"TavoxDirectory\"=" + Quoted(*dir) + "\n";
    if (cmd) body += "\"UninstallString\"=" + Quoted(*cmd) + "\n";
    p_.WriteRegistry(body);
  }
  /// The whole system.reg, header included.
  void SetRegistryFile(const std::string& text) { p_.MakeFile(p_.prefix() + "/system.reg", text); }
  /// C:\windows\tavox.ini.
  void SetProfile(const std::string& text) { p_.MakeFile(p_.Host("C:\\windows\\tavox.ini"), text); }

  /// The product directory the checks treat as the program's own (a Windows path on drive C).
  void SetProduct(const std::string& windows_path) { product_ = windows_path; }
  /// More host paths (relative to the temporary directory) that a test lets change.
  void AllowChanges(const std::string& relative) { allowed_.push_back(relative); }

  /// Notes everything outside the product directory; the checks compare with it.
  void Freeze() {
    before_ = Snapshot(p_.root(), Skipped());
    settings_before_ = p_.Read(Settings());
    frozen_ = true;
  }

  RunSpec Spec(const std::string& input = "y\n") const {
    RunSpec spec;
    spec.prefix = p_.prefix();
    spec.home = Home();
    spec.cwd = DriveC();
    spec.input = input;
    return spec;
  }
  /// Freezes (unless done) and runs the program.
  Outcome Execute(const RunSpec& spec) {
    if (!frozen_) Freeze();
    return RunProgram(spec);
  }
  Outcome Execute(const std::string& input = "y\n") { return Execute(Spec(input)); }

  /// Nothing outside the product directory changed, and the settings file is sound.
  void ExpectOutsideIntact() const {
    const auto after = Snapshot(p_.root(), Skipped());
    EXPECT_TRUE(after == before_) << "outside the product directory:\n"
                                  << Differences(before_, after);
    ExpectSettingsSound();
  }

  /// The framework's settings file holds what it held, or a whole rewrite of it: the same
  /// values, every line ended.
  void ExpectSettingsSound() const {
    const std::string after = p_.Read(Settings());
    if (after == settings_before_) return;
    for (const char* line : {"File1=C:\\DOCS\\ONE.TXT", "File2=C:\\DOCS\\TWO.TXT", "PreviewPages=2",
                             "[Recent File List]", "[Settings]"}) {
      if (settings_before_.find(line) != std::string::npos) {
        EXPECT_NE(after.find(line), std::string::npos) << line << " lost from\n" << after;
      }
    }
    EXPECT_TRUE(after.empty() || after.back() == '\n') << "a partial settings file:\n" << after;
  }

  /// The product directory holds exactly `paths` (TempPrefix::Tree form); empty: it is gone.
  void ExpectProduct(const std::vector<std::string>& paths) const {
    if (paths.empty()) {
      EXPECT_FALSE(p_.Exists(Product())) << "left: " << Join(p_.Tree(Product()));
      return;
    }
    EXPECT_EQ(p_.Tree(Product()), paths);
  }

  static std::string Join(const std::vector<std::string>& paths) {
    std::string text;
    for (const std::string& path : paths) text += path + " ";
    return text;
  }

 protected:
  std::vector<std::string> Skipped() const {
    std::vector<std::string> skip = {"log", Relative(Product()), Relative(Settings())};
    skip.insert(skip.end(), allowed_.begin(), allowed_.end());
    return skip;
  }
  std::string Relative(const std::string& host) const { return host.substr(p_.root().size() + 1); }
  static std::string Quoted(const std::string& data) {
    // A value that names its own type (dword:, hex:, str(2):) stands as it is.
    if (data.rfind("dword:", 0) == 0 || data.rfind("hex", 0) == 0 || data.rfind("str", 0) == 0) {
      return data;
    }
    return "\"" + data + "\"";
  }

  TempPrefix p_;
  std::string product_ = "C:\\TAVOX";
  std::vector<std::string> allowed_;
  std::map<std::string, std::string> before_;
  std::string settings_before_;
  bool frozen_ = false;
};

/// The standard product tree, as TempPrefix::Tree gives it.
inline std::vector<std::string> StandardProduct() {
  return {"DEISL1.ISU", "Game/",   "Game/Saves/",      "Game/Saves/slot1.sav", "Game/game.exe",
          "README.TXT", "SYSTEM/", "SYSTEM/LUMRT.DLL", "UNISTX32.EXE"};
}

/// Which product directory a run with odd settings must have swept.
enum class Swept {
  kRegistry,  // C:\TAVOX, which the registry names
  kProfile,   // C:\INIDIR, which the profile file names
  kNothing,   // neither
  kAny,       // either or neither: only the outside is checked
};

/// A scenario whose profile file names another product directory, C:\INIDIR, and the same
/// command: whichever source wins, the run is sound.
class SettingsScenario : public Scenario {
 public:
  SettingsScenario() {
    p().MakeFile(p().Host("C:\\INIDIR\\README.TXT"), "the profile file's product");
    p().MakeFile(p().Host("C:\\INIDIR\\SUB\\GAME.EXE"), "the profile file's product");
    SetProfile(std::string("[TAVOX_INFO]\r\nTavoxDirectory=C:\\INIDIR\r\nUninstallString=") +
               kCommand + "\r\n");
  }

  /// Runs with answer Yes and checks the outcome. A run that ran out of memory (exit code 3, when
  /// allowed) must have said so and left the outside alone.
  void RunAndExpect(Swept swept, bool out_of_memory_allowed = false) {
    AllowChanges("prefix/drive_c/TAVOX/DEISL1.ISU");  // the uninstaller removes its log
    switch (swept) {
      case Swept::kRegistry:
        SetProduct("C:\\TAVOX");
        break;
      case Swept::kProfile:
        SetProduct("C:\\INIDIR");
        break;
      case Swept::kNothing:
        SetProduct("C:\\NONE");
        break;
      case Swept::kAny:
        SetProduct("C:\\NONE");
        AllowChanges("prefix/drive_c/TAVOX");
        AllowChanges("prefix/drive_c/INIDIR");
        break;
    }
    const Outcome o = Execute();
    if (out_of_memory_allowed && o.exit_code == 3) {
      EXPECT_NE(o.err.find("out of memory"), std::string::npos) << o;
      ExpectOutsideIntact();
      return;
    }
    EXPECT_EQ(o.exit_code, 0) << o;
    ExpectOutsideIntact();
    if (swept == Swept::kRegistry || swept == Swept::kProfile) ExpectProduct({});
  }
};

/// A text shown in a failure: control and non-ASCII bytes escaped, long texts cut.
inline std::string Printable(const std::string& text, size_t limit = 300) {
  std::string out;
  for (size_t i = 0; i < text.size() && out.size() < limit; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x7f) {
      out.push_back(static_cast<char>(c));
    } else {
      static const char kHex[] = "0123456789abcdef";
      out += "\\x";
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    }
  }
  if (out.size() >= limit) out += "... (" + std::to_string(text.size()) + " bytes)";
  return out;
}

}  // namespace tvx::adversarial
