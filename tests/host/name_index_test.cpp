// The host's packed index of a directory's names: lookups that ignore case, the smallest of
// several spellings, and names the directory no longer holds.
#include "platform/host/name_index.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace tvx::host {
namespace {

NameIndex Sealed(std::initializer_list<std::pair<const char*, const char*>> names) {
  NameIndex index;
  mode_t mode = S_IFREG | 0600;
  for (const auto& [host, name] : names) index.Add(host, name, mode++);
  index.Seal();
  return index;
}

TEST(NameIndex, FindsANameInAnyCaseWithItsHostSpellingAndMode) {
  const NameIndex index = Sealed({{"readme.txt", "readme.txt"},
                                  {"Stra\xC3\x9F"
                                   "e.dll",
                                   "Stra\xDF"
                                   "e.dll"},
                                  {"l\xC3\xA9"
                                   "a",
                                   "l\xE9"
                                   "a"},
                                  {"zeta", "zeta"}});
  IndexEntry entry;
  ASSERT_TRUE(index.Find("README.TXT", &entry));
  EXPECT_EQ(entry.host, "readme.txt");
  EXPECT_EQ(entry.mode, S_IFREG | 0600u);
  EXPECT_FALSE(entry.ambiguous);
  ASSERT_TRUE(
      index.Find("STRA\xDF"
                 "E.DLL",
                 &entry));  // sharp s has no upper case
  EXPECT_EQ(entry.host,
            "Stra\xC3\x9F"
            "e.dll");
  ASSERT_TRUE(
      index.Find("L\xC9"
                 "A",
                 &entry));
  EXPECT_EQ(entry.host,
            "l\xC3\xA9"
            "a");
  EXPECT_FALSE(index.Find("README", &entry));
  EXPECT_FALSE(index.Find("ZETA2", &entry));
}

TEST(NameIndex, OfSeveralSpellingsTheSmallestWinsUntilOnlyOneIsLeft) {
  NameIndex index = Sealed({{"file", "file"}, {"FILE", "FILE"}, {"File", "File"}});
  IndexEntry entry;
  ASSERT_TRUE(index.Find("FILE", &entry));
  EXPECT_EQ(entry.host, "FILE");
  EXPECT_TRUE(entry.ambiguous);
  index.Remove("file", "FILE");
  index.Remove("FILE", "file");
  ASSERT_TRUE(index.Find("FILE", &entry));
  EXPECT_EQ(entry.host, "File");
  EXPECT_FALSE(entry.ambiguous);
  index.Remove("FILE", "File");
  EXPECT_FALSE(index.Find("FILE", &entry));
}

TEST(NameIndex, RemovingANameItNeverHeldChangesNothing) {
  NameIndex index = Sealed({{"a", "a"}});
  index.Remove("A", "A");  // another spelling than the one held
  index.Remove("b", "b");
  index.Remove("a", "\xFF");
  IndexEntry entry;
  EXPECT_TRUE(index.Find("A", &entry));
  EXPECT_EQ(index.size(), 1u);
}

}  // namespace
}  // namespace tvx::host
