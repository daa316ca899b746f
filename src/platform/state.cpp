// The current drive and directory and the per-drive records live here, above the machine: the
// host process never changes its own working directory. Everything starts afresh whenever the
// machine changes, from the machine's start directory.
#include "platform/state.h"

#include <map>
#include <mutex>
#include <string_view>

#include "platform/windows.h"

namespace tvx::platform {
namespace {

struct State {
  uint64_t generation = ~uint64_t{0};
  MachinePath current;
  std::map<char, MachinePath> records;  // drive letter -> its last directory set by _chdir
};

std::mutex g_mutex;
State g_state;

bool IsAsciiLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
char UpperLetter(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

MachinePath DriveRoot(char letter) {
  MachinePath root;
  root.drive = letter;
  return root;
}

MachinePath RootOf(const MachinePath& path) {
  MachinePath root;
  root.drive = path.drive;
  root.unc = path.unc;
  return root;
}

// Characters no Windows name may hold; the wildcards among them make ERROR_INVALID_NAME too.
bool IsForbiddenInName(unsigned char c) {
  if (c < 0x20) return true;
  switch (c) {
    case '<':
    case '>':
    case ':':
    case '"':
    case '|':
    case '?':
    case '*':
      return true;
    default:
      return false;
  }
}

// Windows drops the dots and blanks that end a name, so "A.TXT. " names "A.TXT".
std::string_view TrimTrailingDotsAndBlanks(std::string_view name) {
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.remove_suffix(1);
  return name;
}

// Applies the names of `rest` (separated by "\") to `path`.
Win32Error ApplyNames(std::string_view rest, MachinePath* path) {
  while (!rest.empty()) {
    const size_t cut = rest.find('\\');
    std::string_view name = rest.substr(0, cut);
    rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
    if (name == "..") {
      // Above a root ".." stays at the root.
      if (!path->names.empty()) path->names.pop_back();
      continue;
    }
    name = TrimTrailingDotsAndBlanks(name);
    if (name.empty()) continue;  // "", "." and names of only dots and blanks
    for (char c : name) {
      if (IsForbiddenInName(static_cast<unsigned char>(c))) return ERROR_INVALID_NAME;
    }
    path->names.emplace_back(name);
  }
  return ERROR_SUCCESS;
}

// "\\server\share" at the start of `path`; the rest after it in `rest`.
Win32Error ParseUncRoot(std::string_view path, MachinePath* root, std::string_view* rest) {
  const size_t server_end = path.find('\\', 2);
  if (server_end == std::string_view::npos || server_end == 2) return ERROR_PATH_NOT_FOUND;
  size_t share_end = path.find('\\', server_end + 1);
  if (share_end == std::string_view::npos) share_end = path.size();
  if (share_end == server_end + 1) return ERROR_PATH_NOT_FOUND;
  root->drive = 0;
  root->unc = std::string(path.substr(0, share_end));
  *rest = path.substr(share_end);
  return ERROR_SUCCESS;
}

// The directory a drive-relative path ("D:rel") starts from: the current directory on the current
// drive, else the drive's record, else its root.
MachinePath DriveBase(const State& state, char letter) {
  if (state.current.drive == letter) return state.current;
  auto it = state.records.find(letter);
  return it != state.records.end() ? it->second : DriveRoot(letter);
}

// Resolves `raw` against `state`; with no state only absolute paths are accepted and no length
// limit applies (the machine's start directory may be longer than MAX_PATH).
Win32Error Resolve(std::string_view raw, const State* state, MachinePath* out) {
  if (raw.empty()) return ERROR_PATH_NOT_FOUND;
  if (state != nullptr && raw.size() > MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
  std::string path(raw);
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  MachinePath result;
  std::string_view rest = path;
  if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
    if (Win32Error error = ParseUncRoot(path, &result, &rest)) return error;
  } else if (path.size() >= 2 && path[1] == ':') {
    if (!IsAsciiLetter(path[0])) return ERROR_PATH_NOT_FOUND;
    const char letter = UpperLetter(path[0]);
    const bool absolute = path.size() >= 3 && path[2] == '\\';
    if (!absolute && state == nullptr) return ERROR_PATH_NOT_FOUND;
    result = absolute ? DriveRoot(letter) : DriveBase(*state, letter);
    rest = rest.substr(2);
  } else {
    if (state == nullptr) return ERROR_PATH_NOT_FOUND;
    result = path[0] == '\\' ? RootOf(state->current) : state->current;
  }
  if (Win32Error error = ApplyNames(rest, &result)) return error;
  if (state != nullptr && ToString(result).size() >= MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
  *out = std::move(result);
  return ERROR_SUCCESS;
}

MachinePath StartPath(Machine& machine) {
  MachinePath start;
  if (Resolve(machine.StartDirectory(), /*state=*/nullptr, &start) == ERROR_SUCCESS) return start;
  // A machine that cannot say where it starts starts at the root of drive C.
  return DriveRoot('C');
}

// The state of the current machine; the caller holds g_mutex.
State& Fresh() {
  const uint64_t generation = MachineGeneration();
  if (g_state.generation != generation) {
    g_state = State{};
    g_state.generation = generation;
    g_state.current = StartPath(CurrentMachine());
  }
  return g_state;
}

}  // namespace

Win32Error ResolvePath(const std::string& path, MachinePath* out) {
  std::lock_guard<std::mutex> lock(g_mutex);
  return Resolve(path, &Fresh(), out);
}

MachinePath CurrentDirectory() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return Fresh().current;
}

void SetCurrentDirectoryState(const MachinePath& dir, bool record) {
  std::lock_guard<std::mutex> lock(g_mutex);
  State& state = Fresh();
  state.current = dir;
  if (record && dir.drive != 0) state.records[dir.drive] = dir;
}

MachinePath DriveDirectory(char letter) {
  std::lock_guard<std::mutex> lock(g_mutex);
  const char drive = UpperLetter(letter);
  const State& state = Fresh();
  auto it = state.records.find(drive);
  return it != state.records.end() ? it->second : DriveRoot(drive);
}

MachinePath WindowsDirectory() {
  MachinePath windows = DriveRoot('C');
  windows.names.push_back("windows");
  return windows;
}

}  // namespace tvx::platform
