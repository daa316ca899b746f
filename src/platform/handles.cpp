#include "platform/handles.h"

#include <map>
#include <mutex>
#include <utility>

namespace tvx::platform {
namespace {

// Handle values come from a range of their own, a step of 4 apart as on the real platform, and
// are never reused within one machine, so that a stale handle is refused instead of reaching
// another process.
constexpr uintptr_t kFirstHandle = 0x7E000004;
constexpr uintptr_t kHandleStep = 4;

struct Entry {
  std::shared_ptr<ProcessObject> process;
  bool thread = false;
};

class HandleTable {
 public:
  ProcessHandles Open(Machine& machine, ProcessId id) {
    auto process = std::make_shared<ProcessObject>(machine, id);
    std::lock_guard lock(mutex_);
    Refresh();
    ProcessHandles handles;
    handles.process = Add(Entry{process, /*thread=*/false});
    handles.thread = Add(Entry{process, /*thread=*/true});
    // Identifiers are numbered from the handle values, so two live processes never share one.
    handles.process_id = static_cast<DWORD>(reinterpret_cast<uintptr_t>(handles.process));
    handles.thread_id = static_cast<DWORD>(reinterpret_cast<uintptr_t>(handles.thread));
    return handles;
  }

  std::shared_ptr<ProcessObject> Find(HANDLE handle, bool accept_thread) {
    std::lock_guard lock(mutex_);
    Refresh();
    const auto it = entries_.find(reinterpret_cast<uintptr_t>(handle));
    if (it == entries_.end() || (it->second.thread && !accept_thread)) return nullptr;
    return it->second.process;
  }

  bool Close(HANDLE handle) {
    std::shared_ptr<ProcessObject> released;
    {
      std::lock_guard lock(mutex_);
      Refresh();
      const auto it = entries_.find(reinterpret_cast<uintptr_t>(handle));
      if (it == entries_.end()) return false;
      released = std::move(it->second.process);
      entries_.erase(it);
    }
    // The last reference tells the machine outside the lock, so a slow machine blocks no one.
    released.reset();
    return true;
  }

 private:
  // Handles of an earlier machine mean nothing to the current one.
  void Refresh() {
    const uint64_t generation = MachineGeneration();
    if (generation == generation_) return;
    entries_.clear();
    next_ = kFirstHandle;
    generation_ = generation;
  }

  HANDLE Add(Entry entry) {
    const uintptr_t value = next_;
    next_ += kHandleStep;
    entries_.emplace(value, std::move(entry));
    return reinterpret_cast<HANDLE>(value);
  }

  std::mutex mutex_;
  std::map<uintptr_t, Entry> entries_;
  uintptr_t next_ = kFirstHandle;
  uint64_t generation_ = 0;
};

HandleTable& Table() {
  static HandleTable* table = new HandleTable;  // never destroyed: usable during process exit
  return *table;
}

}  // namespace

ProcessObject::ProcessObject(Machine& machine, ProcessId id)
    : machine_(machine), id_(id), generation_(MachineGeneration()) {}

ProcessObject::~ProcessObject() {
  if (Current()) machine_.CloseProcess(id_);
}

bool ProcessObject::Current() const {
  return generation_ == MachineGeneration();
}

ProcessHandles OpenProcessHandles(Machine& machine, ProcessId process) {
  return Table().Open(machine, process);
}

std::shared_ptr<ProcessObject> LookUpProcess(HANDLE handle, bool accept_thread) {
  return Table().Find(handle, accept_thread);
}

bool CloseProcessHandle(HANDLE handle) {
  return Table().Close(handle);
}

HMODULE RunningModule() {
  // The address at which the real platform loads a program's image by default.
  return reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x00400000));
}

}  // namespace tvx::platform
