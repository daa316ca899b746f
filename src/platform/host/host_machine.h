// The real machine: a Wine-style prefix on the host file system, real child processes and the
// terminal. See README.md for the layout of a prefix.
#pragma once

#include <memory>
#include <string>

#include "platform/machine.h"

namespace tvx {

struct HostOptions {
  /// Host path of the prefix directory.
  std::string prefix;
  /// Host directory that is current at start; empty means the host process's own.
  std::string working_directory;
  /// Host path of the running executable; empty means the one /proc/self/exe names.
  std::string module_path;
  /// Where the message box reads its answer and writes its text (and the beep).
  int input_fd = 0;
  int output_fd = 2;
};

/// The prefix named by WINEPREFIX, else $HOME/.wine; the rest as the process has it.
HostOptions HostOptionsFromEnvironment();

std::unique_ptr<Machine> MakeHostMachine(const HostOptions& options);

}  // namespace tvx
