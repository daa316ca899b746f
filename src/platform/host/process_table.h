// The children this machine started: waited on through a pidfd, reaped as soon as their end is
// seen, and handed to the orphan reaper when forgotten while still running.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>

#include "platform/host/unique_fd.h"
#include "platform/machine.h"

namespace tvx::host {

class ProcessTable {
 public:
  /// Makes sure that this process's children leave exit statuses to collect.
  ProcessTable();
  /// Children still running are left to the orphan reaper; none is signalled.
  ~ProcessTable();
  ProcessTable(const ProcessTable&) = delete;
  ProcessTable& operator=(const ProcessTable&) = delete;

  ProcessId Add(pid_t pid);
  /// True once the child has ended; returns as soon as it ends, or after `milliseconds`
  /// (0xFFFFFFFF: no limit).
  bool Wait(ProcessId id, uint32_t milliseconds);
  /// 259 while running; the exit status, or 0xC0000000 | N for a child killed by signal N.
  /// False for an unknown id or a child whose status someone else collected.
  bool ExitCode(ProcessId id, uint32_t* code);
  void Close(ProcessId id);

 private:
  struct Child {
    pid_t pid = 0;
    UniqueFd pidfd;  // invalid where the kernel has no pidfds
    bool ended = false;
    bool status_known = false;
    int status = 0;
  };

  Child* Find(ProcessId id);
  bool Reap(Child& child);
  bool WaitWithPidfd(Child& child, uint32_t milliseconds);
  bool WaitBySteps(Child& child, uint32_t milliseconds);

  std::map<ProcessId, Child> children_;
  ProcessId next_id_ = 1;
};

}  // namespace tvx::host
