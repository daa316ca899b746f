// The handles the platform gives out for processes and for the running module. Process handles
// live in a table of their own: find handles are FindClose's business, and CloseHandle knows only
// the handles of this table.
#pragma once

#include <memory>

#include "platform/machine.h"
#include "platform/windows.h"

namespace tvx::platform {

/// A process the machine started, shared by every open handle that refers to it. When the last
/// reference goes, the machine that started it forgets it (unless the machine has changed since).
class ProcessObject {
 public:
  ProcessObject(Machine& machine, ProcessId id);
  ~ProcessObject();
  ProcessObject(const ProcessObject&) = delete;
  ProcessObject& operator=(const ProcessObject&) = delete;

  /// The machine that started the process; valid while the machine has not changed.
  Machine& machine() const { return machine_; }
  ProcessId id() const { return id_; }
  /// False once the machine has changed: the process then belongs to a machine that may be gone.
  bool Current() const;

 private:
  Machine& machine_;
  ProcessId id_;
  uint64_t generation_;
};

/// What CreateProcessA hands back for one started process.
struct ProcessHandles {
  HANDLE process = nullptr;
  HANDLE thread = nullptr;
  DWORD process_id = 0;
  DWORD thread_id = 0;
};

/// Opens a process handle and a thread handle for `process`, started by `machine`. Both are
/// distinct, never null or INVALID_HANDLE_VALUE; both identifiers are nonzero.
ProcessHandles OpenProcessHandles(Machine& machine, ProcessId process);

/// The process behind an open handle: a process handle, or also a thread handle when
/// `accept_thread` is set. Null for any other value.
std::shared_ptr<ProcessObject> LookUpProcess(HANDLE handle, bool accept_thread);

/// Closes an open process or thread handle; false when `handle` is none (or was closed before).
bool CloseProcessHandle(HANDLE handle);

/// The handle that stands for the running module (GetModuleHandleA(NULL)).
HMODULE RunningModule();

}  // namespace tvx::platform
