// A Wine-style prefix in a fresh temporary directory, removed with everything in it afterwards.
// Tests build real trees only in these; no drive of a test prefix ever maps to the host's "/".
#pragma once

#include <memory>
#include <string>

#include "platform/host/host_machine.h"
#include "platform/machine.h"

namespace tvx::testing {

class TempPrefix {
 public:
  /// <tmp>/prefix with drive_c/windows and dosdevices/c: -> ../drive_c, and <tmp>/outside, a
  /// directory beside the prefix for canaries.
  TempPrefix();
  ~TempPrefix();
  TempPrefix(const TempPrefix&) = delete;
  TempPrefix& operator=(const TempPrefix&) = delete;

  const std::string& root() const { return root_; }        // the temporary directory
  const std::string& prefix() const { return prefix_; }    // root()/prefix
  const std::string& outside() const { return outside_; }  // root()/outside

  /// The host path of a Windows path on drive C ("C:\TAVOX\A" -> prefix/drive_c/TAVOX/A), names
  /// taken as written (UTF-8).
  std::string Host(const std::string& windows_path) const;
  /// Maps drive `letter` to host directory `target` (made when missing) through dosdevices.
  void MapDrive(char letter, const std::string& target);

  /// Real files, at host paths. Parents are made.
  void MakeDirectory(const std::string& host_path);
  void MakeFile(const std::string& host_path, const std::string& content = "",
                bool readonly = false);
  void MakeLink(const std::string& host_path, const std::string& target);
  bool Exists(const std::string& host_path) const;  // lstat: a dangling link exists
  std::string Read(const std::string& host_path) const;
  /// Every path below `host_dir`, relative, sorted, directories with a trailing "/".
  std::vector<std::string> Tree(const std::string& host_dir) const;

  /// Writes system.reg: the header line, then `body`.
  void WriteRegistry(const std::string& body);

  /// Options for a host machine on this prefix, starting in `working_directory` (host path;
  /// empty: drive C's root).
  HostOptions Options(const std::string& working_directory = "") const;
  std::unique_ptr<Machine> MakeMachine(const std::string& working_directory = "") const;

 private:
  std::string root_;
  std::string prefix_;
  std::string outside_;
};

}  // namespace tvx::testing
