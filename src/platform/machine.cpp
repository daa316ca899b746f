#include "platform/machine.h"

#include <atomic>
#include <mutex>

#include "platform/base/codepage.h"
#include "platform/host/host_machine.h"

namespace tvx {
namespace {

std::mutex g_machine_mutex;
Machine* g_current = nullptr;
std::atomic<uint64_t> g_generation{0};

// The host machine is made on first use and lives until the process ends, so that a plain main()
// needs no set-up call and static destructors never meet a machine already gone.
Machine& HostMachine() {
  static Machine* host = MakeHostMachine(HostOptionsFromEnvironment()).release();
  return *host;
}

void AppendNames(const MachinePath& path, std::string* out) {
  for (size_t i = 0; i < path.names.size(); ++i) {
    if (i > 0) out->push_back('\\');
    out->append(path.names[i]);
  }
}

}  // namespace

MachinePath MachinePath::Parent() const {
  MachinePath parent = *this;
  if (!parent.names.empty()) parent.names.pop_back();
  return parent;
}

MachinePath MachinePath::Child(const std::string& name) const {
  MachinePath child = *this;
  child.names.push_back(name);
  return child;
}

bool MachinePath::operator==(const MachinePath& other) const {
  if (cp1252::Upper(static_cast<unsigned char>(drive)) !=
      cp1252::Upper(static_cast<unsigned char>(other.drive))) {
    return false;
  }
  if (!cp1252::EqualsIgnoringCase(unc, other.unc) || names.size() != other.names.size()) {
    return false;
  }
  for (size_t i = 0; i < names.size(); ++i) {
    if (!cp1252::EqualsIgnoringCase(names[i], other.names[i])) return false;
  }
  return true;
}

std::string ToString(const MachinePath& path) {
  std::string out;
  if (path.drive != 0) {
    out = {path.drive, ':', '\\'};
  } else {
    out = path.unc + '\\';
  }
  AppendNames(path, &out);
  return out;
}

Machine& CurrentMachine() {
  {
    std::lock_guard<std::mutex> lock(g_machine_mutex);
    if (g_current != nullptr) return *g_current;
  }
  return HostMachine();
}

uint64_t MachineGeneration() {
  return g_generation.load();
}

ScopedMachine::ScopedMachine(Machine& machine) {
  std::lock_guard<std::mutex> lock(g_machine_mutex);
  previous_ = g_current;
  g_current = &machine;
  ++g_generation;
}

ScopedMachine::~ScopedMachine() {
  std::lock_guard<std::mutex> lock(g_machine_mutex);
  g_current = previous_;
  ++g_generation;
}

}  // namespace tvx
