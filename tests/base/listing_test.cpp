// The packed listing a machine fills: every entry comes back whole, and filtering and sorting
// keep names and records together.
#include "platform/base/listing.h"

#include <gtest/gtest.h>

#include "platform/base/codepage.h"
#include "platform/machine.h"

namespace tvx {
namespace {

EntryInfo Entry(const std::string& name, bool directory = false, bool readonly = false,
                bool link = false) {
  EntryInfo info;
  info.name = name;
  info.directory = directory;
  info.readonly = readonly;
  info.link = link;
  info.size = 5'000'000'000ULL + name.size();  // beyond 32 bits
  info.write_time = 0x01D0'0000'0000'0000ULL + name.size();
  return info;
}

std::vector<std::string> Names(const Listing& listing) {
  std::vector<std::string> names;
  for (size_t i = 0; i < listing.size(); ++i) names.emplace_back(listing.Name(i));
  return names;
}

TEST(Listing, GivesBackEveryEntryWhole) {
  const EntryInfo entries[] = {Entry("a"),
                               Entry("Sub", /*directory=*/true),
                               Entry("ro.txt", false, /*readonly=*/true),
                               Entry("link", false, false, /*link=*/true),
                               Entry(std::string(255, 'x')),
                               Entry("Stra\xDF"
                                     "e")};
  Listing listing;
  for (const EntryInfo& entry : entries) ASSERT_TRUE(listing.Add(entry));
  listing.ShrinkToFit();
  ASSERT_EQ(listing.size(), std::size(entries));
  for (size_t i = 0; i < listing.size(); ++i) {
    const EntryInfo got = listing.At(i);
    EXPECT_EQ(got.name, entries[i].name);
    EXPECT_EQ(got.directory, entries[i].directory);
    EXPECT_EQ(got.readonly, entries[i].readonly);
    EXPECT_EQ(got.link, entries[i].link);
    EXPECT_EQ(got.size, entries[i].size);
    EXPECT_EQ(got.write_time, entries[i].write_time);
  }
  listing.Clear();
  EXPECT_TRUE(listing.empty());
}

TEST(Listing, FiltersAndSortsNamesWithTheirRecords) {
  Listing listing;
  for (const char* name : {"b.txt", "C.dll", "a.txt", "d", "A.TXT"}) {
    ASSERT_TRUE(listing.Add(Entry(name, /*directory=*/name[0] == 'd')));
  }
  listing.EraseIf([](std::string_view name) { return name == "d"; });
  listing.Sort([](std::string_view a, std::string_view b) {
    const int order = cp1252::CompareIgnoringCase(a, b);
    return order != 0 ? order < 0 : a < b;
  });
  EXPECT_EQ(Names(listing), (std::vector<std::string>{"A.TXT", "a.txt", "b.txt", "C.dll"}));
  for (size_t i = 0; i < listing.size(); ++i) {
    EXPECT_EQ(listing.At(i).size, 5'000'000'000ULL + listing.Name(i).size());
    EXPECT_FALSE(listing.At(i).directory);
  }
}

TEST(Listing, RefusesANameLongerThanItsRecordsHold) {
  Listing listing;
  EXPECT_FALSE(listing.Add(Entry(std::string(70'000, 'n'))));
  EXPECT_TRUE(listing.empty());
}

TEST(CompareIgnoringCase, OrdersByTheUpperCaseAndShorterFirst) {
  EXPECT_EQ(cp1252::CompareIgnoringCase("abc", "ABC"), 0);
  EXPECT_LT(cp1252::CompareIgnoringCase("ab", "ABC"), 0);
  EXPECT_GT(cp1252::CompareIgnoringCase("b", "A_"), 0);
  EXPECT_EQ(cp1252::CompareIgnoringCase("\xE9t\xE9", "\xC9T\xC9"), 0);  // e acute
  EXPECT_LT(cp1252::CompareIgnoringCase("Z", "\xE9"), 0);               // by the upper-case byte
}

}  // namespace
}  // namespace tvx
