// How command lines are taken apart: the programs looked for, and the run-time's arguments.
#include "platform/base/cmdline.h"

#include <gtest/gtest.h>

namespace tvx::cmdline {
namespace {

using Strings = std::vector<std::string>;

TEST(ProgramCandidates, AreTheQuotedNameOrEachPrefixBeforeABlankShortestFirst) {
  const struct {
    const char* line;
    Strings candidates;
  } cases[] = {
      {"", {}},
      {"\"\" x", {}},
      {"setup.exe", {"setup.exe"}},
      {"\"C:\\Program Files\\a b.exe\" /s", {"C:\\Program Files\\a b.exe"}},
      {"\"C:\\no close", {"C:\\no close"}},
      {"c:\\program files\\sub dir\\program name",
       {"c:\\program", "c:\\program files\\sub", "c:\\program files\\sub dir\\program",
        "c:\\program files\\sub dir\\program name"}},
      {"a  b\tc", {"a", "a  b", "a  b\tc"}},
      {"a ", {"a"}},
  };
  for (const auto& c : cases) EXPECT_EQ(ProgramCandidates(c.line), c.candidates) << c.line;
}

TEST(SplitArguments, FollowsTheRunTimesQuoteAndBackslashRules) {
  const struct {
    const char* line;
    Strings arguments;
  } cases[] = {
      {"", {}},
      {"prog", {"prog"}},
      {"\"C:\\a b\\prog.exe\" x", {"C:\\a b\\prog.exe", "x"}},
      {"C:\\dir\\prog.exe\tx  y ", {"C:\\dir\\prog.exe", "x", "y"}},
      {"p \"abc\" d e", {"p", "abc", "d", "e"}},
      {"p a\\\\b d\"e f\"g h", {"p", "a\\\\b", "de fg", "h"}},
      {"p a\\\\\\\"b c d", {"p", "a\\\"b", "c", "d"}},
      {"p a\\\\\\\\\"b c\" d e", {"p", "a\\\\b c", "d", "e"}},
      {"p a\"b\"\" c d", {"p", "ab\" c d"}},
      {"p \"\" x", {"p", "", "x"}},
      {"p \"unclosed arg", {"p", "unclosed arg"}},
      {"p trailing\\", {"p", "trailing\\"}},
      {"\"unclosed program", {"unclosed program"}},
      {"\"pro\"gram x", {"pro", "gram", "x"}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitArguments(c.line), c.arguments) << c.line;
}

}  // namespace
}  // namespace tvx::cmdline
