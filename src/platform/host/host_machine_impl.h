// The host machine's class, shared by the files that implement it by topic: start-up facts and
// the registry (host_machine.cpp), files (files.cpp), processes (processes.cpp) and the terminal
// (terminal.cpp).
#pragma once

#include <sys/types.h>

#include <optional>
#include <vector>

#include "platform/host/drives.h"
#include "platform/host/host_machine.h"
#include "platform/host/process_table.h"
#include "platform/host/resolver.h"
#include "platform/host/stat_batch.h"

namespace tvx::host {

/// A host file's identity: its device and inode numbers.
struct FileId {
  dev_t dev;
  ino_t ino;
  bool operator==(const FileId&) const = default;
};

class HostMachine final : public Machine {
 public:
  explicit HostMachine(const HostOptions& options);
  ~HostMachine() override = default;

  bool HasDrive(char letter) override;
  std::string StartDirectory() override;
  std::string ModuleFileName() override;
  bool IsHostRoot(const MachinePath& path) override;

  Win32Error Stat(const MachinePath& path, EntryInfo* info) override;
  Win32Error List(const MachinePath& dir, Listing* entries) override;
  using Machine::List;
  Win32Error DeleteFile(const MachinePath& path) override;
  Win32Error RemoveDirectory(const MachinePath& path) override;
  Win32Error ReadFile(const MachinePath& path, std::string* bytes) override;
  Win32Error ReplaceFile(const MachinePath& path, const std::string& bytes) override;

  bool ReadRegistryText(std::string* text) override;

  Win32Error StartProcess(const MachinePath& image, const std::string& command_line,
                          const MachinePath& directory, ProcessId* process) override;
  bool WaitProcess(ProcessId process, uint32_t milliseconds) override;
  bool ProcessExitCode(ProcessId process, uint32_t* code) override;
  void CloseProcess(ProcessId process) override;

  int AskQuestion(const std::string& caption, const std::string& text, uint32_t type) override;
  void Beep(uint32_t type) override;

 private:
  Win32Error ReplaceIn(HostDir& dir, const std::string& host_name, const struct stat* old,
                       const std::string& bytes);
  const std::vector<FileId>& HostRoots();

  HostOptions options_;
  Drives drives_;
  Resolver resolver_;
  ProcessTable processes_;
  StatBatcher stats_;
  std::optional<std::vector<FileId>> host_roots_;  // the host's "/" and every drive's root
};

}  // namespace tvx::host
