// Batched stats of the names of one directory: through the ring and without it, the answers are
// those of fstatat with links not followed.
#include "platform/host/stat_batch.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <stddef.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/temp_prefix.h"

namespace tvx::host {
namespace {

using testing::TempPrefix;

// Marks an answer the batcher never wrote.
constexpr int kUntouched = 12345;

NameStat Fstatat(int dir_fd, const char* name) {
  NameStat want;
  struct stat st {};
  if (fstatat(dir_fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
    want.error = errno;
    return want;
  }
  want.mode = st.st_mode;
  want.size = static_cast<uint64_t>(st.st_size);
  want.mtime = st.st_mtim;
  return want;
}

void ExpectSameAsFstatat(int dir_fd, const std::string& name, const NameStat& got) {
  const NameStat want = Fstatat(dir_fd, name.c_str());
  EXPECT_EQ(got.error, want.error) << name;
  if (want.error != 0) return;
  EXPECT_EQ(got.mode, want.mode) << name;
  EXPECT_EQ(got.size, want.size) << name;
  EXPECT_EQ(got.mtime.tv_sec, want.mtime.tv_sec) << name;
  EXPECT_EQ(got.mtime.tv_nsec, want.mtime.tv_nsec) << name;
}

std::vector<const char*> Pointers(const std::vector<std::string>& names) {
  std::vector<const char*> pointers;
  for (const std::string& name : names) pointers.push_back(name.c_str());
  return pointers;
}

// The descriptors of this process that are io_uring instances.
std::vector<int> RingDescriptors() {
  std::vector<int> fds;
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return fds;
  while (const dirent* entry = readdir(dir)) {
    char target[64] = {};
    const std::string link = std::string("/proc/self/fd/") + entry->d_name;
    if (readlink(link.c_str(), target, sizeof target - 1) <= 0) continue;
    if (std::string(target) == "anon_inode:[io_uring]") fds.push_back(atoi(entry->d_name));
  }
  closedir(dir);
  return fds;
}

// <tmp>/d holds file.txt (7 bytes, a set write time), ro.txt (read-only), sub/inner.txt,
// link -> file.txt, dangling -> nowhere.
class StatBatch : public ::testing::TestWithParam<bool> {
 protected:
  StatBatch() : dir_(prefix_.root() + "/d") {
    prefix_.MakeFile(dir_ + "/file.txt", "content");
    prefix_.MakeFile(dir_ + "/ro.txt", "kept", /*readonly=*/true);
    prefix_.MakeFile(dir_ + "/sub/inner.txt");
    prefix_.MakeLink(dir_ + "/link", "file.txt");
    prefix_.MakeLink(dir_ + "/dangling", "nowhere");
    const timespec times[2] = {{946684800, 0}, {946684800, 123456789}};
    EXPECT_EQ(utimensat(AT_FDCWD, (dir_ + "/file.txt").c_str(), times, 0), 0);
    fd_ = open(dir_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    EXPECT_GE(fd_, 0);
  }
  ~StatBatch() override { (void)close(fd_); }

  bool use_ring() const { return GetParam(); }

  TempPrefix prefix_;
  std::string dir_;
  int fd_ = -1;
};

TEST_P(StatBatch, KindsSizesModesAndErrorsAreThoseOfFstatat) {
  struct Case {
    std::string name;
    int error;
    mode_t mode;  // type and permission bits; 0: only compared with fstatat
    uint64_t size;
  };
  const std::vector<Case> cases = {
      {"file.txt", 0, S_IFREG | 0644, 7},
      {"ro.txt", 0, S_IFREG | 0444, 4},
      {"sub", 0, 0, 0},
      {"sub/inner.txt", 0, S_IFREG | 0644, 0},
      {"link", 0, 0, 8},  // the link itself: its size is its target's length
      {"dangling", 0, 0, 7},
      {"missing", ENOENT, 0, 0},
      {"file.txt/x", ENOTDIR, 0, 0},
      {"", ENOENT, 0, 0},
  };
  // The cases over and over, enough for a whole batch, which is what goes through the ring.
  std::vector<std::string> names;
  while (names.size() < StatBatcher::kQueueDepth) {
    for (const Case& c : cases) names.push_back(c.name);
  }
  const std::vector<const char*> pointers = Pointers(names);
  std::vector<NameStat> out(names.size());
  StatBatcher batcher(use_ring());
  batcher.Stat(fd_, pointers.data(), pointers.size(), out.data());
  for (size_t i = 0; i < names.size(); ++i) {
    const Case& c = cases[i % cases.size()];
    ExpectSameAsFstatat(fd_, c.name, out[i]);
    EXPECT_EQ(out[i].error, c.error) << c.name;
    if (c.error != 0) continue;
    if (c.mode != 0) {
      EXPECT_EQ(out[i].mode & (S_IFMT | 07777), c.mode) << c.name;
    }
    if (c.mode != 0 || c.size != 0) {
      EXPECT_EQ(out[i].size, c.size) << c.name;
    }
  }
  EXPECT_TRUE(S_ISDIR(out[2].mode));
  EXPECT_TRUE(S_ISLNK(out[4].mode));
  EXPECT_TRUE(S_ISLNK(out[5].mode));
  EXPECT_EQ(out[0].mtime.tv_sec, 946684800);
  EXPECT_EQ(out[0].mtime.tv_nsec, 123456789);
}

TEST_P(StatBatch, AnyCountIsAnsweredNameByName) {
  // Every fifth name is missing, so that an answer given to the wrong name shows.
  constexpr size_t kMost = 3 * StatBatcher::kQueueDepth + 1;
  std::vector<std::string> names;
  for (size_t i = 0; i < kMost; ++i) {
    names.push_back("n" + std::to_string(i));
    if (i % 5 != 4) prefix_.MakeFile(dir_ + "/" + names.back(), std::string(i % 7, 'x'));
  }
  const std::vector<const char*> pointers = Pointers(names);
  StatBatcher batcher(use_ring());
  for (const size_t count :
       {size_t{0}, size_t{1}, size_t{StatBatcher::kQueueDepth - 1},
        size_t{StatBatcher::kQueueDepth}, size_t{StatBatcher::kQueueDepth + 1}, kMost}) {
    SCOPED_TRACE(count);
    std::vector<NameStat> out(kMost + 1);
    for (NameStat& result : out) result.error = kUntouched;
    batcher.Stat(fd_, pointers.data(), count, out.data());
    for (size_t i = 0; i < count; ++i) ExpectSameAsFstatat(fd_, names[i], out[i]);
    EXPECT_EQ(out[count].error, kUntouched);
  }
}

TEST_P(StatBatch, ADescriptorThatIsNoDirectoryFailsEveryName) {
  const int file_fd = openat(fd_, "file.txt", O_RDONLY | O_CLOEXEC);
  ASSERT_GE(file_fd, 0);
  const struct {
    int dir_fd;
    int error;
  } cases[] = {{-1, EBADF}, {file_fd, ENOTDIR}};
  const char* const names[] = {"file.txt", "missing"};
  StatBatcher batcher(use_ring());
  for (const auto& c : cases) {
    NameStat out[2];
    batcher.Stat(c.dir_fd, names, 2, out);
    EXPECT_EQ(out[0].error, c.error);
    EXPECT_EQ(out[1].error, c.error);
  }
  (void)close(file_fd);
}

TEST_P(StatBatch, TheRingIsMadeOnFirstUseClosedOnExecAndReleased) {
  const size_t before = RingDescriptors().size();
  {
    StatBatcher batcher(use_ring());
    EXPECT_EQ(RingDescriptors().size(), before);
    // A few names are stated one by one, so they make no ring; a whole batch does.
    const std::vector<const char*> names(StatBatcher::kQueueDepth, "file.txt");
    std::vector<NameStat> out(names.size());
    batcher.Stat(fd_, names.data(), 1, out.data());
    EXPECT_EQ(RingDescriptors().size(), before);
    batcher.Stat(fd_, names.data(), names.size(), out.data());
    const std::vector<int> rings = RingDescriptors();
    EXPECT_LE(rings.size(), before + (use_ring() ? 1 : 0));
    for (const int fd : rings) EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0) << fd;
  }
  EXPECT_EQ(RingDescriptors().size(), before);
}

INSTANTIATE_TEST_SUITE_P(RingAndPlain, StatBatch, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "Ring" : "Plain";
                         });

// Makes the system calls `nrs` fail with `error` in this process from now on; false where the
// kernel lets no process filter its calls.
bool RefuseCalls(const std::vector<long>& nrs, int error) {
  std::vector<sock_filter> code = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, static_cast<uint32_t>(offsetof(seccomp_data, nr)))};
  for (const long nr : nrs) {
    code.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<uint32_t>(nr), 0, 1));
    code.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | static_cast<uint32_t>(error)));
  }
  code.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
  const sock_fprog program{static_cast<unsigned short>(code.size()), code.data()};
  return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &program) == 0;
}

// The stat system calls an fstatat may be made of. ENOTRECOVERABLE is what no real stat reports.
const std::vector<long> kStatCalls = {
#ifdef __NR_newfstatat
    __NR_newfstatat,
#endif
#ifdef __NR_fstatat64
    __NR_fstatat64,
#endif
    __NR_statx};

// Exit codes of the children below.
constexpr int kAnswered = 0, kNotAnswered = 1, kNoRing = 2, kNoFilter = 3;

// A directory of two whole batches of files and the exit code of a child that runs `child` on its
// descriptor and names.
class StatBatchChild : public ::testing::Test {
 protected:
  StatBatchChild() {
    const std::string dir = prefix_.root() + "/d";
    for (unsigned i = 0; i < 2 * StatBatcher::kQueueDepth; ++i) {
      names_.push_back("n" + std::to_string(i));
      prefix_.MakeFile(dir + "/" + names_.back());
    }
    pointers_ = Pointers(names_);
    fd_ = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    EXPECT_GE(fd_, 0);
  }
  ~StatBatchChild() override { (void)close(fd_); }

  template <typename F>
  int Run(F child) {
    const pid_t pid = fork();
    if (pid == 0) _exit(child());
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
  }
  // kAnswered when every name came back as the regular file it is.
  int Check(const std::vector<NameStat>& out) const {
    for (const NameStat& result : out) {
      if (result.error != 0 || !S_ISREG(result.mode)) return kNotAnswered;
    }
    return kAnswered;
  }

  TempPrefix prefix_;
  std::vector<std::string> names_;
  std::vector<const char*> pointers_;
  int fd_ = -1;
};

// With a working ring no name costs a stat system call of its own: in a child whose stat calls
// all fail, every name is still answered.
TEST_F(StatBatchChild, WithTheRingNoNameCostsAStatCall) {
  const int code = Run([&] {
    StatBatcher batcher;
    std::vector<NameStat> out(names_.size());
    // A whole batch makes the ring, if there is one.
    batcher.Stat(fd_, pointers_.data(), StatBatcher::kQueueDepth, out.data());
    if (RingDescriptors().empty()) return kNoRing;
    if (!RefuseCalls(kStatCalls, ENOTRECOVERABLE)) return kNoFilter;
    batcher.Stat(fd_, pointers_.data(), pointers_.size(), out.data());
    return Check(out);
  });
  if (code == kNoRing) GTEST_SKIP() << "no io_uring with statx here";
  if (code == kNoFilter) GTEST_SKIP() << "no seccomp here";
  EXPECT_EQ(code, kAnswered);
}

// Sandboxes refuse the ring in several places; each time the names are stated one by one.
TEST_F(StatBatchChild, ARefusedRingFallsBackToFstatat) {
  for (const long nr : {__NR_io_uring_setup, __NR_io_uring_register, __NR_io_uring_enter}) {
    for (const int error : {EPERM, ENOSYS}) {
      SCOPED_TRACE(std::to_string(nr) + " " + std::to_string(error));
      const int code = Run([&] {
        if (!RefuseCalls({nr}, error)) return kNoFilter;
        StatBatcher batcher;
        std::vector<NameStat> out(names_.size());
        batcher.Stat(fd_, pointers_.data(), pointers_.size(), out.data());
        if (Check(out) != kAnswered) return kNotAnswered;
        batcher.Stat(fd_, pointers_.data(), pointers_.size(), out.data());
        return Check(out);
      });
      if (code == kNoFilter) GTEST_SKIP() << "no seccomp here";
      EXPECT_EQ(code, kAnswered);
    }
  }
}

}  // namespace
}  // namespace tvx::host
