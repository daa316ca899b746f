// Host paths the machine starts from: its working directory and its executable.
#pragma once

#include <string>

namespace tvx::host {

/// The host process's working directory, also one too long for getcwd (found by walking up
/// through ".."); empty when it has no name any more (it was removed).
std::string HostWorkingDirectory();

/// The running executable's host path; empty when the kernel does not say.
std::string RunningExecutable();

}  // namespace tvx::host
