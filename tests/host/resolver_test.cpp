// How the host machine finds entries: names exact first, then ignoring case in code page 1252;
// names it cannot show never found; links below a drive's root never followed.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/windows.h"
#include "tests/host/paths.h"
#include "tests/support/temp_prefix.h"

namespace tvx {
namespace {

using testing::Path;
using testing::TempPrefix;

std::vector<std::string> Names(const std::vector<EntryInfo>& entries) {
  std::vector<std::string> names;
  for (const EntryInfo& entry : entries) names.push_back(entry.name);
  std::sort(names.begin(), names.end());
  return names;
}

TEST(HostLookup, NamesAreFoundExactlyOrIgnoringCaseInCodePage1252) {
  struct Case {
    const char* host;     // below C:\D, UTF-8
    const char* request;  // code page 1252
    const char* found;    // the name Stat reports, or null when not found
  };
  const Case cases[] = {
      {"caf\xc3\xa9.txt", "CAF\xc9.TXT", "caf\xe9.txt"},
      {"caf\xc3\xa9.txt", "caf\xe9.txt", "caf\xe9.txt"},
      {"Mixed/Inner.TXT", "mixed\\inner.txt", "Inner.TXT"},
      {"\xc3\xbf.txt", "\x9f.TXT", "\xff.txt"},      // y with diaeresis and its capital
      {"\xc5\xa1\xc5\x93", "\x8a\x8c", "\x9a\x9c"},  // s with caron, oe
      {"stra\xc3\x9f"
       "e",
       "STRASSE", nullptr},          // sharp s has no capital of its own
      {"\xc2\xb5", "\xb5", "\xb5"},  // micro sign stays as it is
      {"plain", "PLAIN.", nullptr},  // no trailing dot is ever matched
  };
  for (const Case& c : cases) {
    TempPrefix prefix;
    prefix.MakeFile(prefix.Host("C:\\D") + "/" + c.host, "x");
    auto machine = prefix.MakeMachine();
    EntryInfo info;
    const Win32Error error = machine->Stat(Path(std::string("C:\\D\\") + c.request), &info);
    if (c.found) {
      EXPECT_EQ(error, 0u) << c.request;
      EXPECT_EQ(info.name, c.found) << c.request;
    } else {
      EXPECT_EQ(error, static_cast<Win32Error>(ERROR_FILE_NOT_FOUND)) << c.request;
    }
  }
}

TEST(HostLookup, TheExactSpellingWinsAmongNamesDifferingInCase) {
  TempPrefix prefix;
  prefix.MakeFile(prefix.Host("C:\\D\\a.txt"), "small");
  prefix.MakeFile(prefix.Host("C:\\D\\A.TXT"), "capital");
  auto machine = prefix.MakeMachine();
  std::string bytes;
  ASSERT_EQ(machine->ReadFile(Path("C:\\D\\a.txt"), &bytes), 0u);
  EXPECT_EQ(bytes, "small");
  ASSERT_EQ(machine->ReadFile(Path("C:\\D\\A.TXT"), &bytes), 0u);
  EXPECT_EQ(bytes, "capital");
  ASSERT_EQ(machine->ReadFile(Path("C:\\D\\A.txt"), &bytes), 0u);
  EXPECT_EQ(bytes, "capital");  // the smallest host name, the same every time
}

TEST(HostLookup, EntriesMadeOrRemovedBehindTheMachineAreSeen) {
  TempPrefix prefix;
  prefix.MakeFile(prefix.Host("C:\\D\\old.txt"));
  auto machine = prefix.MakeMachine();
  std::vector<EntryInfo> entries;
  EntryInfo info;
  ASSERT_EQ(machine->List(Path("C:\\D"), &entries), 0u);
  ASSERT_EQ(machine->Stat(Path("C:\\D\\OLD.TXT"), &info), 0u);
  prefix.MakeFile(prefix.Host("C:\\D\\late.txt"));
  ASSERT_EQ(std::remove(prefix.Host("C:\\D\\old.txt").c_str()), 0);
  EXPECT_EQ(machine->Stat(Path("C:\\D\\LATE.TXT"), &info), 0u);
  EXPECT_EQ(machine->Stat(Path("C:\\D\\OLD.TXT"), &info),
            static_cast<Win32Error>(ERROR_FILE_NOT_FOUND));
}

TEST(HostLookup, ADirectoryReplacedBehindTheMachineIsTheNewOne) {
  TempPrefix prefix;
  prefix.MakeFile(prefix.Host("C:\\D\\Sub\\first.txt"));
  auto machine = prefix.MakeMachine();
  std::vector<EntryInfo> entries;
  ASSERT_EQ(machine->List(Path("C:\\D\\SUB"), &entries), 0u);
  ASSERT_EQ(std::remove(prefix.Host("C:\\D\\Sub\\first.txt").c_str()), 0);
  ASSERT_EQ(rmdir(prefix.Host("C:\\D\\Sub").c_str()), 0);
  prefix.MakeFile(prefix.Host("C:\\D\\Sub\\second.txt"));
  EntryInfo info;
  EXPECT_EQ(machine->Stat(Path("C:\\D\\SUB\\SECOND.TXT"), &info), 0u);
  ASSERT_EQ(machine->List(Path("C:\\D\\SUB"), &entries), 0u);
  EXPECT_EQ(Names(entries), std::vector<std::string>{"second.txt"});
}

TEST(HostLookup, ADirectorySwappedForALinkAfterItsListingIsNeverLeftThroughTheLink) {
  TempPrefix prefix;
  prefix.MakeFile(prefix.Host("C:\\D\\Sub\\f0"), "inside");
  prefix.MakeFile(prefix.outside() + "/canary/f0", "canary");
  auto machine = prefix.MakeMachine();
  std::vector<EntryInfo> entries;
  ASSERT_EQ(machine->List(Path("C:\\D\\SUB"), &entries), 0u);
  const std::string sub = prefix.Host("C:\\D\\Sub");
  ASSERT_EQ(rename(sub.c_str(), prefix.Host("C:\\D\\aside").c_str()), 0);
  ASSERT_EQ(symlink((prefix.outside() + "/canary").c_str(), sub.c_str()), 0);
  // The directory listed is the one held, so the deletion may hit it where it now lies.
  (void)machine->DeleteFile(Path("C:\\D\\SUB\\F0"));
  EXPECT_EQ(prefix.Read(prefix.outside() + "/canary/f0"), "canary");
  EXPECT_EQ(machine->List(Path("C:\\D\\SUB"), &entries),
            static_cast<Win32Error>(ERROR_PATH_NOT_FOUND));
  EXPECT_NE(machine->DeleteFile(Path("C:\\D\\SUB\\F0")), 0u);
  EXPECT_EQ(prefix.Read(prefix.outside() + "/canary/f0"), "canary");
}

TEST(HostLookup, NamesAWindowsProgramCannotSeeAreNeverListedNorFound) {
  struct Case {
    const char* host;     // UTF-8 or not
    const char* request;  // its code page 1252 spelling, if it has one
  };
  const Case cases[] = {
      {"a\\b", "a\\b"},     {"a:b", "a:b"},        {"a*b", "a*b"},           {"a?b", "a?b"},
      {"a\"b", "a\"b"},     {"a<b", "a<b"},        {"a>b", "a>b"},           {"a|b", "a|b"},
      {"c\x01", "c\x01"},   {"d\x7f", "d\x7f"},    {"e\xc2\x85", "e\x85"},   {"dot.", "dot."},
      {"blank ", "blank "}, {"\xff\xfe", nullptr}, {"\xc5\x81odz", nullptr},
  };
  for (const Case& c : cases) {
    TempPrefix prefix;
    prefix.MakeFile(prefix.Host("C:\\D") + "/" + c.host, "hidden");
    prefix.MakeFile(prefix.Host("C:\\E") + "/" + c.host + "/inner.txt");
    auto machine = prefix.MakeMachine();
    std::vector<EntryInfo> entries;
    ASSERT_EQ(machine->List(Path("C:\\D"), &entries), 0u);
    EXPECT_TRUE(entries.empty()) << c.host;
    ASSERT_EQ(machine->List(Path("C:\\E"), &entries), 0u);
    EXPECT_TRUE(entries.empty()) << c.host;
    if (c.request) {
      EntryInfo info;
      MachinePath path = Path("C:\\D");
      path.names.push_back(c.request);
      EXPECT_NE(machine->Stat(path, &info), 0u) << c.host;
      EXPECT_NE(machine->DeleteFile(path), 0u) << c.host;
      path.drive = 'C';
      path.names = {"E", c.request, "inner.txt"};
      EXPECT_NE(machine->Stat(path, &info), 0u) << c.host;
    }
    // Hidden entries still hold their directory.
    EXPECT_EQ(machine->RemoveDirectory(Path("C:\\D")),
              static_cast<Win32Error>(ERROR_DIR_NOT_EMPTY));
    EXPECT_TRUE(prefix.Exists(prefix.Host("C:\\D") + "/" + c.host));
  }
}

TEST(HostLookup, NamesThatCannotBeShownAreNeverMade) {
  TempPrefix prefix;
  auto machine = prefix.MakeMachine();
  EXPECT_EQ(machine->ReplaceFile(Path("C:\\windows\\a:b"), "x"),
            static_cast<Win32Error>(ERROR_INVALID_NAME));
  EXPECT_EQ(machine->ReplaceFile(Path("C:\\windows\\dot."), "x"),
            static_cast<Win32Error>(ERROR_INVALID_NAME));
  EXPECT_TRUE(prefix.Tree(prefix.Host("C:\\windows")).empty());
}

struct LinkCase {
  const char* what;
  std::string target;  // "@" stands for the outside directory
};

void PrintTo(const LinkCase& c, std::ostream* out) {
  *out << c.what;
}

class HostLinks : public ::testing::TestWithParam<LinkCase> {};

TEST_P(HostLinks, AreEntriesOfTheirOwnNeverFollowed) {
  TempPrefix prefix;
  prefix.MakeFile(prefix.outside() + "/canary.txt", "alive");
  prefix.MakeFile(prefix.Host("C:\\D\\file.txt"), "alive");
  std::string target = GetParam().target;
  if (target == "@") target = prefix.outside();
  prefix.MakeLink(prefix.Host("C:\\D\\link"), target);
  auto machine = prefix.MakeMachine();

  EntryInfo info;
  ASSERT_EQ(machine->Stat(Path("C:\\D\\LINK"), &info), 0u);
  EXPECT_TRUE(info.link);
  EXPECT_FALSE(info.directory);
  EXPECT_FALSE(info.readonly);
  std::vector<EntryInfo> entries;
  EXPECT_EQ(machine->List(Path("C:\\D\\link"), &entries),
            static_cast<Win32Error>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(machine->Stat(Path("C:\\D\\link\\canary.txt"), &info),
            static_cast<Win32Error>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(machine->DeleteFile(Path("C:\\D\\link\\canary.txt")),
            static_cast<Win32Error>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(machine->ReplaceFile(Path("C:\\D\\link\\canary.txt"), "dead"),
            static_cast<Win32Error>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(machine->RemoveDirectory(Path("C:\\D\\link")),
            static_cast<Win32Error>(ERROR_DIRECTORY));
  std::string bytes;
  EXPECT_EQ(machine->ReadFile(Path("C:\\D\\link"), &bytes),
            static_cast<Win32Error>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(machine->ReplaceFile(Path("C:\\D\\link"), "dead"),
            static_cast<Win32Error>(ERROR_ACCESS_DENIED));

  EXPECT_EQ(machine->DeleteFile(Path("C:\\D\\link")), 0u);
  EXPECT_FALSE(prefix.Exists(prefix.Host("C:\\D\\link")));
  EXPECT_EQ(prefix.Read(prefix.outside() + "/canary.txt"), "alive");
  EXPECT_EQ(prefix.Read(prefix.Host("C:\\D\\file.txt")), "alive");
}

INSTANTIATE_TEST_SUITE_P(Kinds, HostLinks,
                         ::testing::Values(LinkCase{"ToAnOutsideDirectory", "@"},
                                           LinkCase{"ToAFileBeside", "file.txt"},
                                           LinkCase{"Dangling", "nowhere"},
                                           LinkCase{"ALoop", "link"},
                                           LinkCase{"ToTheDrivesParent", "../.."}),
                         [](const auto& info) { return info.param.what; });

TEST(HostLookup, ADirectorySwappedForALinkNeverLeadsOutsideTheDrive) {
  TempPrefix prefix;
  constexpr int kFiles = 50;
  for (int i = 0; i < kFiles; ++i) {
    const std::string name = "/f" + std::to_string(i);
    prefix.MakeFile(prefix.Host("C:\\D\\Sub") + name, "inside");
    prefix.MakeFile(prefix.outside() + "/canary" + name, "canary");
  }
  auto machine = prefix.MakeMachine();
  const std::string sub = prefix.Host("C:\\D\\Sub");
  const std::string aside = prefix.Host("C:\\D\\aside");
  std::atomic<bool> stop{false};
  // Swaps the directory for a link to the canary and back, for a bounded time.
  std::thread swapper([&] {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (!stop && std::chrono::steady_clock::now() < end) {
      if (rename(sub.c_str(), aside.c_str()) != 0) continue;
      (void)!symlink((prefix.outside() + "/canary").c_str(), sub.c_str());
      std::this_thread::yield();
      (void)unlink(sub.c_str());
      (void)rename(aside.c_str(), sub.c_str());
    }
  });
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  while (std::chrono::steady_clock::now() < end) {
    std::vector<EntryInfo> entries;
    (void)machine->List(Path("C:\\D\\SUB"), &entries);
    for (int i = 0; i < kFiles; ++i) {
      (void)machine->DeleteFile(Path("C:\\D\\Sub\\F" + std::to_string(i)));
      (void)machine->ReplaceFile(Path("C:\\D\\Sub\\F" + std::to_string(i)), "inside");
    }
    (void)machine->RemoveDirectory(Path("C:\\D\\SUB"));
  }
  stop = true;
  swapper.join();
  for (int i = 0; i < kFiles; ++i) {
    EXPECT_EQ(prefix.Read(prefix.outside() + "/canary/f" + std::to_string(i)), "canary") << i;
  }
  EXPECT_EQ(prefix.Tree(prefix.outside() + "/canary").size(), static_cast<size_t>(kFiles));
}

TEST(HostLookup, DeepTreesWorkUnderALimitOf32Descriptors) {
  TempPrefix prefix;
  std::string windows = "C:";
  for (int depth = 0; depth < 40; ++depth) windows += "\\level" + std::to_string(depth);
  prefix.MakeFile(prefix.Host(windows + "\\leaf.txt"), "leaf");
  auto machine = prefix.MakeMachine();
  rlimit old_limit{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old_limit), 0);
  rlimit low = old_limit;
  low.rlim_cur = 32;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  std::vector<Win32Error> errors;
  std::string bytes;
  errors.push_back(machine->ReadFile(Path(windows + "\\LEAF.TXT"), &bytes));
  errors.push_back(machine->DeleteFile(Path(windows + "\\leaf.txt")));
  for (std::string dir = windows; dir != "C:"; dir = dir.substr(0, dir.rfind('\\'))) {
    errors.push_back(machine->RemoveDirectory(Path(dir)));
  }
  (void)setrlimit(RLIMIT_NOFILE, &old_limit);
  EXPECT_EQ(bytes, "leaf");
  EXPECT_EQ(std::count(errors.begin(), errors.end(), 0u), static_cast<long>(errors.size()));
  EXPECT_FALSE(prefix.Exists(prefix.Host("C:\\level0")));
}

TEST(HostLookup, TheHostsOwnFileSystemIsTheUncRootUnix) {
  TempPrefix prefix;
  prefix.MakeFile(prefix.outside() + "/Note.txt", "note");
  auto machine = prefix.MakeMachine();
  MachinePath path = testing::HostPath(prefix.outside() + "/NOTE.TXT");
  std::string bytes;
  ASSERT_EQ(machine->ReadFile(path, &bytes), 0u);
  EXPECT_EQ(bytes, "note");
  path.unc = "\\\\?\\UNIX";
  EXPECT_EQ(machine->ReadFile(path, &bytes), 0u);
  path.unc = "\\\\server\\share";
  EXPECT_EQ(machine->ReadFile(path, &bytes), static_cast<Win32Error>(ERROR_BAD_NETPATH));
}

TEST(HostLookup, PathsOnAMissingDriveAreNotFound) {
  TempPrefix prefix;
  auto machine = prefix.MakeMachine();
  EntryInfo info;
  EXPECT_EQ(machine->Stat(Path("Q:\\x"), &info), static_cast<Win32Error>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(machine->Stat(Path("Q:\\"), &info), static_cast<Win32Error>(ERROR_PATH_NOT_FOUND));
}

}  // namespace
}  // namespace tvx
