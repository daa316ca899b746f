#include "platform/base/cmdline.h"

namespace tvx::cmdline {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// One argument after the first, by the run-time's rules: 2n backslashes before a quote give n
// backslashes and the quote opens or closes a quoted part; 2n+1 give n and a literal quote; a
// doubled quote inside a quoted part is a literal quote; other backslashes are literal.
std::string NextArgument(std::string_view line, size_t* at) {
  std::string argument;
  bool quoted = false;
  size_t i = *at;
  while (i < line.size() && (quoted || !IsBlank(line[i]))) {
    size_t backslashes = 0;
    while (i < line.size() && line[i] == '\\') {
      ++backslashes;
      ++i;
    }
    if (i < line.size() && line[i] == '"') {
      argument.append(backslashes / 2, '\\');
      if (backslashes % 2 == 1) {
        argument += '"';
      } else if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
        argument += '"';
        ++i;
      } else {
        quoted = !quoted;
      }
      ++i;
      continue;
    }
    argument.append(backslashes, '\\');
    if (i < line.size() && (quoted || !IsBlank(line[i]))) argument += line[i++];
  }
  *at = i;
  return argument;
}

}  // namespace

std::vector<std::string> ProgramCandidates(std::string_view command_line) {
  if (command_line.empty()) return {};
  if (command_line[0] == '"') {
    const size_t close = command_line.find('"', 1);
    const std::string_view name = command_line.substr(
        1, close == std::string_view::npos ? std::string_view::npos : close - 1);
    if (name.empty()) return {};
    return {std::string(name)};
  }
  std::vector<std::string> candidates;
  for (size_t i = 1; i < command_line.size(); ++i) {
    if (IsBlank(command_line[i]) && !IsBlank(command_line[i - 1])) {
      candidates.emplace_back(command_line.substr(0, i));
    }
  }
  if (!IsBlank(command_line.back())) candidates.emplace_back(command_line);
  return candidates;
}

std::vector<std::string> SplitArguments(std::string_view command_line) {
  std::vector<std::string> arguments;
  if (command_line.empty()) return arguments;
  size_t i = 0;
  // The program name: no escapes, up to its closing quote or the first blank.
  if (command_line[0] == '"') {
    const size_t close = command_line.find('"', 1);
    const size_t end = close == std::string_view::npos ? command_line.size() : close;
    arguments.emplace_back(command_line.substr(1, end - 1));
    i = end == command_line.size() ? end : end + 1;
  } else {
    while (i < command_line.size() && !IsBlank(command_line[i])) ++i;
    arguments.emplace_back(command_line.substr(0, i));
  }
  for (;;) {
    while (i < command_line.size() && IsBlank(command_line[i])) ++i;
    if (i >= command_line.size()) return arguments;
    arguments.push_back(NextArgument(command_line, &i));
  }
}

}  // namespace tvx::cmdline
