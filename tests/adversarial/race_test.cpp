// Trees that change while the program sweeps them: a directory swapped for a link to a directory
// outside, entries deleted and created by another process, and an uninstall program that leaves
// a background process at work during the complete pass. Every loop here is bounded in count and
// in time.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "tests/adversarial/adversarial_support.h"

namespace tvx::adversarial {
namespace {

using Clock = std::chrono::steady_clock;

// Runs `work` in a thread, over and over, until the program's run is over, `max_rounds` rounds
// have passed or `seconds` have, whichever comes first.
class Meddler {
 public:
  template <typename Work>
  Meddler(Work work, int max_rounds = 200'000, int seconds = 4)
      : thread_([this, work, max_rounds, seconds] {
          const auto end = Clock::now() + std::chrono::seconds(seconds);
          for (int i = 0; i < max_rounds && !stop_ && Clock::now() < end; ++i) work(i);
        }) {}
  ~Meddler() { Stop(); }
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// The product with a big tree: `dirs` directories of `files` files each.
void MakeBigTree(Scenario& s, int dirs, int files) {
  for (int d = 0; d < dirs; ++d) {
    const std::string dir = s.Product() + "/BIG" + std::to_string(d);
    s.p().MakeDirectory(dir);
    for (int f = 0; f < files; ++f) {
      const std::string path = dir + "/F" + std::to_string(f) + ".DAT";
      const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
      ASSERT_GE(fd, 0);
      (void)close(fd);
    }
  }
}

// The files a swapped directory holds: the same names as the directory outside it is swapped
// for, so that a deletion through the link would hit them.
void MakeSwapDirectory(Scenario& s, const std::string& dir) {
  s.p().MakeFile(dir + "/a.txt", "product");
  s.p().MakeFile(dir + "/README.TXT", "product");
  s.p().MakeFile(dir + "/sub/b.txt", "product");
}

TEST(RaceTest, ADirectorySwappedForALinkWhileTheSweepRunsLeavesTheOutsideWhole) {
  Scenario s;
  MakeBigTree(s, 20, 150);
  const std::vector<std::string> swapped = {s.Product() + "/SWAP", s.Product() + "/BIG3/SWAP",
                                            s.Product() + "/Game/SWAP"};
  for (const std::string& dir : swapped) MakeSwapDirectory(s, dir);
  const std::string target = s.p().outside() + "/dir";
  s.Freeze();

  std::vector<std::unique_ptr<Meddler>> meddlers;
  for (const std::string& dir : swapped) {
    meddlers.push_back(std::make_unique<Meddler>([dir, target](int) {
      // The real directory steps aside and a link to the outside takes its name, then back.
      const std::string aside = dir + ".REAL";
      const bool moved = rename(dir.c_str(), aside.c_str()) == 0;
      (void)symlink(target.c_str(), dir.c_str());
      std::this_thread::yield();
      (void)unlink(dir.c_str());
      if (moved) (void)rename(aside.c_str(), dir.c_str());
    }));
  }
  const Outcome o = s.Execute();
  for (auto& m : meddlers) m->Stop();

  EXPECT_EQ(o.exit_code, 0) << o;
  s.ExpectOutsideIntact();
}

TEST(RaceTest, TheProductDirectoryItselfSwappedForALinkLeavesTheOutsideWhole) {
  Scenario s;
  MakeBigTree(s, 10, 100);
  const std::string product = s.Product();
  const std::string target = s.p().outside() + "/dir";
  s.AllowChanges("prefix/drive_c/TAVOX.REAL");
  s.Freeze();
  Meddler meddler([product, target](int) {
    const std::string aside = product + ".REAL";
    const bool moved = rename(product.c_str(), aside.c_str()) == 0;
    (void)symlink(target.c_str(), product.c_str());
    std::this_thread::yield();
    (void)unlink(product.c_str());
    if (moved) (void)rename(aside.c_str(), product.c_str());
  });

  const Outcome o = s.Execute();
  meddler.Stop();

  EXPECT_EQ(o.exit_code, 0) << o;
  s.ExpectOutsideIntact();
}

TEST(RaceTest, EntriesDeletedByAnotherProcessDuringTheSweep) {
  Scenario s;
  MakeBigTree(s, 10, 200);
  s.Freeze();
  const std::string product = s.Product();
  Meddler meddler([product](int i) {
    // Walks the tree in its own order, deleting what it finds first.
    const std::string path = product + "/BIG" + std::to_string(9 - i % 10) + "/F" +
                             std::to_string((i * 7) % 200) + ".DAT";
    (void)unlink(path.c_str());
  });

  const Outcome o = s.Execute();
  meddler.Stop();

  EXPECT_EQ(o.exit_code, 0) << o;
  s.ExpectOutsideIntact();
  s.ExpectProduct({});
}

TEST(RaceTest, FilesCreatedLateStayWithTheirDirectoriesAndNothingElseDoes) {
  Scenario s;
  MakeBigTree(s, 10, 200);
  s.Freeze();
  const std::string product = s.Product();
  Meddler meddler(
      [product](int i) {
        const std::string path =
            product + "/BIG" + std::to_string(i % 10) + "/LATE" + std::to_string(i) + ".TMP";
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) (void)close(fd);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      },
      /*max_rounds=*/5'000);

  const Outcome o = s.Execute();
  meddler.Stop();

  EXPECT_EQ(o.exit_code, 0) << o;
  s.ExpectOutsideIntact();
  for (const std::string& path : s.p().Tree(product)) {
    const bool dir = path.back() == '/';
    const std::string name = path.substr(path.find_last_of('/', path.size() - 2) + 1);
    EXPECT_TRUE(dir || name.rfind("LATE", 0) == 0) << "an original file stayed: " << path;
    if (dir) {
      // A directory stays only for what was created in it late.
      bool holds_late = false;
      for (const std::string& inner : s.p().Tree(product + "/" + path)) {
        if (inner.find("LATE") != std::string::npos) holds_late = true;
      }
      EXPECT_TRUE(holds_late) << "an empty directory stayed: " << path;
    }
  }
}

// An uninstall program that starts a background process and ends at once (its files are made with
// "true >", since a failed redirection of the special built-in ":" would end the shell). The
// background process keeps creating and deleting files in the product directory, and deleting the
// product's own files, for a bounded number of rounds, then notes that it is done.
constexpr char kBackgroundUninstaller[] = R"sh(#!/bin/sh
t="$WINEPREFIX/drive_c/TAVOX"
done_mark="$WINEPREFIX/../log/background.done"
(
  i=0
  while [ $i -lt 400 ]; do
    true > "$t/BG$i.TMP" 2>/dev/null
    true > "$t/BGDIR$((i % 3))/BG$i.TMP" 2>/dev/null
    if [ $((i % 4)) -eq 0 ]; then
      rm -f "$t/BG$((i - 2)).TMP" "$t/BIG$((i % 10))/F$((i % 200)).DAT" "$t/BIG$((i % 7))/F$((i % 190)).DAT"
    fi
    if [ $((i % 20)) -eq 0 ]; then mkdir "$t/BGDIR$((i % 3))" 2>/dev/null; fi
    i=$((i + 1))
  done
  : > "$done_mark"
) </dev/null >/dev/null 2>&1 &
exit 0
)sh";

TEST(RaceTest, AnUninstallerThatLeavesABackgroundProcessAtWork) {
  Scenario s;
  MakeBigTree(s, 10, 200);
  s.p().MakeFile(s.p().Host("C:\\windows\\UNINST.EXE"), kBackgroundUninstaller);
  ASSERT_EQ(chmod(s.p().Host("C:\\windows\\UNINST.EXE").c_str(), 0755), 0);
  s.Freeze();

  const Outcome o = s.Execute();
  // The background process ends by itself after its rounds; the wait is bounded all the same.
  const std::string mark = s.Log() + "/background.done";
  const auto end = Clock::now() + std::chrono::seconds(60);
  while (!s.p().Exists(mark) && Clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }

  EXPECT_EQ(o.exit_code, 0) << o;
  EXPECT_TRUE(s.p().Exists(mark)) << "the background process did not finish";
  EXPECT_EQ(o.Beeps(), 0u);
  s.ExpectOutsideIntact();
  for (const std::string& path : s.p().Tree(s.Product())) {
    EXPECT_TRUE(path.rfind("BG", 0) == 0) << "left behind: " << path;
  }
}

}  // namespace
}  // namespace tvx::adversarial
