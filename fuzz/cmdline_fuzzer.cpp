// The command-line splitter: the program names tried for a line and the arguments made of it.
// Besides never failing on any line, arguments quoted by the run-time's rules come back whole.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_machine.h"
#include "platform/base/cmdline.h"

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

void CheckCandidates(const std::string& line) {
  const std::vector<std::string> candidates = tvx::cmdline::ProgramCandidates(line);
  if (!line.empty() && line[0] == '"') {
    TVX_FUZZ_CHECK(candidates.size() <= 1);
    if (!candidates.empty())
      TVX_FUZZ_CHECK(line.compare(1, candidates[0].size(), candidates[0]) == 0);
    return;
  }
  size_t last = 0;
  for (const std::string& candidate : candidates) {
    // Each is a longer prefix of the line than the one before, and never ends in a blank.
    TVX_FUZZ_CHECK(!candidate.empty() && candidate.size() > last);
    TVX_FUZZ_CHECK(line.compare(0, candidate.size(), candidate) == 0);
    TVX_FUZZ_CHECK(!IsBlank(candidate.back()));
    last = candidate.size();
  }
  if (!line.empty() && !IsBlank(line.back()))
    TVX_FUZZ_CHECK(!candidates.empty() && last == line.size());
}

// The quoting that makes the run-time give back `argument` exactly.
std::string Quote(const std::string& argument) {
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      out.append(backslashes * 2 + 1, '\\');
    } else {
      out.append(backslashes, '\\');
    }
    backslashes = 0;
    out.push_back(c);
  }
  out.append(backslashes * 2, '\\');
  return out + "\"";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider provider(data, size);
  std::vector<std::string> arguments = {"C:\\windows\\UNINST.EXE"};
  const int count = provider.ConsumeIntegralInRange(0, 6);
  for (int i = 0; i < count; ++i) arguments.push_back(provider.ConsumeRandomLengthString(40));
  const std::string line = provider.ConsumeRemainingBytesAsString();

  CheckCandidates(line);
  const std::vector<std::string> split = tvx::cmdline::SplitArguments(line);
  size_t total = 0;
  for (const std::string& argument : split) total += argument.size();
  TVX_FUZZ_CHECK(total <= line.size());
  TVX_FUZZ_CHECK(line.empty() == split.empty());

  std::string quoted = arguments[0];
  for (size_t i = 1; i < arguments.size(); ++i) quoted += " " + Quote(arguments[i]);
  TVX_FUZZ_CHECK(tvx::cmdline::SplitArguments(quoted) == arguments);
  return 0;
}
