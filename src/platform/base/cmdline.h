// How a Windows command line is taken apart: the program that CreateProcessA looks for when it is
// given no application name, and the arguments the C run-time hands to main().
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tvx::cmdline {

/// The program names tried for a command line with no application name, in order: a leading
/// quoted name alone; otherwise each prefix ending before a blank (space or tab), shortest first,
/// the whole line last. Empty for an empty line or an empty quoted name.
std::vector<std::string> ProgramCandidates(std::string_view command_line);

/// The arguments argv[0..] the C run-time makes of a command line: the first (the program) ends at
/// its closing quote or the first blank; the others follow the backslash-and-quote rules.
std::vector<std::string> SplitArguments(std::string_view command_line);

}  // namespace tvx::cmdline
