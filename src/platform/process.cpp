// CreateProcessA and the calls on the handles it gives. The program is found above the seam, as
// the real platform finds it; the machine only starts a resolved, existing file.
//
// Choices where the real platform's behaviour is not known or cannot apply here:
// - Every candidate of a command line is tried in turn; the first that is an existing file wins.
//   When none is, the error is the first candidate's: ERROR_FILE_NOT_FOUND for a name searched
//   for, ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND for a name with a directory part.
// - A directory or a symbolic link is never a program: links are never followed, and a
//   directory named with a path gives ERROR_ACCESS_DENIED.
// - The PATH step of the search takes the entries of the process environment's PATH (separated
//   by ";") that are absolute Windows paths ("X:\..." or "\\server\share..."). The host's own
//   PATH holds host paths, which are skipped, so on an ordinary host that step finds nothing.
// - An environment block cannot be handed to the machine: a non-null lpEnvironment fails with
//   ERROR_NOT_SUPPORTED instead of being silently dropped. Creation flags and the start-up record
//   change nothing: this machine has no windows, consoles or error boxes to configure.
// - The system directory searched is C:\windows\system32 as a 32-bit program names it; a 64-bit
//   prefix's SysWOW64 is not substituted.
// - The program is looked for before the start directory is checked, so a command that names no
//   program fails with the program's error even when the directory is bad too.
// - A null start-up or process record, or a command line of 32,767 characters or more, fails with
//   ERROR_INVALID_PARAMETER. A program name of MAX_PATH characters or more is not found.
// - The started program gets no error mode from this process: the machine shows no error boxes.
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/cmdline.h"
#include "platform/handles.h"
#include "platform/state.h"
#include "platform/windows.h"

namespace tvx::platform {
namespace {

// Characters of a command line, terminating zero included, as the real platform limits it.
constexpr size_t kMaxCommandLine = 32767;

bool HasDirectoryPart(std::string_view name) {
  return name.find_first_of("\\/:") != std::string_view::npos;
}

// The extension belongs to the last name: "my.dir\setup" has none. A name ending in "." has
// one (an empty one), so it gets no ".exe".
bool HasExtension(std::string_view name) {
  const size_t slash = name.find_last_of("\\/:");
  const std::string_view last = slash == std::string_view::npos ? name : name.substr(slash + 1);
  return last.find('.') != std::string_view::npos;
}

std::string WithDefaultExtension(std::string name) {
  if (!HasExtension(name)) name += ".exe";
  return name;
}

// Whether `path` can be started: an existing file, not a directory, not a link.
Win32Error CheckImage(const MachinePath& path) {
  EntryInfo info;
  const Win32Error error = CurrentMachine().Stat(path, &info);
  if (error != ERROR_SUCCESS) return error;
  if (info.directory || info.link) return ERROR_ACCESS_DENIED;
  return ERROR_SUCCESS;
}

Win32Error ResolveImage(const std::string& name, MachinePath* image) {
  const Win32Error error = ResolvePath(name, image);
  return error != ERROR_SUCCESS ? error : CheckImage(*image);
}

bool IsAbsoluteWindowsPath(std::string_view entry) {
  const bool drive = entry.size() >= 3 && ((entry[0] | 0x20) >= 'a' && (entry[0] | 0x20) <= 'z') &&
                     entry[1] == ':' && (entry[2] == '\\' || entry[2] == '/');
  return drive || entry.starts_with("\\\\");
}

void AddPathEntries(std::vector<std::string>* dirs) {
  const char* path = std::getenv("PATH");
  std::string_view rest = path != nullptr ? path : "";
  while (!rest.empty()) {
    const size_t end = rest.find(';');
    const std::string_view entry = rest.substr(0, end);
    if (IsAbsoluteWindowsPath(entry)) dirs->emplace_back(entry);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  }
}

// The directories a name without a directory part is looked for in, in the platform's order.
std::vector<std::string> SearchDirectories() {
  std::vector<std::string> dirs;
  MachinePath module;
  if (ResolvePath(CurrentMachine().ModuleFileName(), &module) == ERROR_SUCCESS)
    dirs.push_back(ToString(module.Parent()));
  dirs.push_back(ToString(CurrentDirectory()));
  const MachinePath windows = WindowsDirectory();
  dirs.push_back(ToString(windows.Child("system32")));
  dirs.push_back(ToString(windows.Child("system")));
  dirs.push_back(ToString(windows));
  AddPathEntries(&dirs);
  return dirs;
}

Win32Error SearchImage(const std::string& name, MachinePath* image) {
  for (std::string dir : SearchDirectories()) {
    if (dir.back() != '\\' && dir.back() != '/') dir += '\\';
    if (ResolveImage(dir + name, image) == ERROR_SUCCESS) return ERROR_SUCCESS;
  }
  return ERROR_FILE_NOT_FOUND;
}

Win32Error FindCandidate(const std::string& candidate, MachinePath* image) {
  const std::string name = WithDefaultExtension(candidate);
  return HasDirectoryPart(name) ? ResolveImage(name, image) : SearchImage(name, image);
}

// The program a command line names when no application name is given.
Win32Error FindProgram(std::string_view command_line, MachinePath* image) {
  const std::vector<std::string> candidates = cmdline::ProgramCandidates(command_line);
  if (candidates.empty()) {
    // An empty quoted name is an empty application name; an empty line is no file at all.
    const size_t start = command_line.find_first_not_of(" \t");
    const bool quoted = start != std::string_view::npos && command_line.substr(start, 2) == "\"\"";
    return quoted ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND;
  }
  // When none is found, the first candidate's error tells what the caller most likely meant: for
  // "setup.exe /x" a missing setup.exe, not a missing directory "setup.exe ".
  Win32Error first_error = ERROR_SUCCESS;
  for (const std::string& candidate : candidates) {
    const Win32Error error = FindCandidate(candidate, image);
    if (error == ERROR_SUCCESS) return ERROR_SUCCESS;
    if (first_error == ERROR_SUCCESS) first_error = error;
  }
  return first_error;
}

// An application name is used as given: no search and no default extension.
Win32Error FindApplication(const char* name, MachinePath* image) {
  if (*name == '\0') return ERROR_PATH_NOT_FOUND;
  return ResolveImage(name, image);
}

Win32Error FindStartDirectory(const char* directory, MachinePath* out) {
  if (directory == nullptr) {
    *out = CurrentDirectory();
    return ERROR_SUCCESS;
  }
  EntryInfo info;
  if (ResolvePath(directory, out) != ERROR_SUCCESS ||
      CurrentMachine().Stat(*out, &info) != ERROR_SUCCESS || !info.directory || info.link)
    return ERROR_DIRECTORY;
  return ERROR_SUCCESS;
}

BOOL Fail(Win32Error error) {
  SetLastError(error);
  return FALSE;
}

}  // namespace
}  // namespace tvx::platform

using namespace tvx;
using namespace tvx::platform;

BOOL WINAPI CreateProcessA(LPCSTR lpApplicationName, LPSTR lpCommandLine,
                           LPSECURITY_ATTRIBUTES lpProcessAttributes,
                           LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles,
                           DWORD dwCreationFlags, LPVOID lpEnvironment, LPCSTR lpCurrentDirectory,
                           LPSTARTUPINFOA lpStartupInfo,
                           LPPROCESS_INFORMATION lpProcessInformation) {
  (void)lpProcessAttributes;
  (void)lpThreadAttributes;
  (void)bInheritHandles;  // no handle of this platform can be passed to a child
  (void)dwCreationFlags;
  if (lpStartupInfo == nullptr || lpProcessInformation == nullptr)
    return Fail(ERROR_INVALID_PARAMETER);
  if (lpEnvironment != nullptr) return Fail(ERROR_NOT_SUPPORTED);
  // Without a command line the application name is the whole command line.
  const char* line = lpCommandLine != nullptr ? lpCommandLine : lpApplicationName;
  const std::string command_line = line != nullptr ? line : "";
  if (command_line.size() >= kMaxCommandLine) return Fail(ERROR_INVALID_PARAMETER);

  MachinePath image;
  Win32Error error = lpApplicationName != nullptr ? FindApplication(lpApplicationName, &image)
                                                  : FindProgram(command_line, &image);
  if (error != ERROR_SUCCESS) return Fail(error);
  MachinePath directory;
  error = FindStartDirectory(lpCurrentDirectory, &directory);
  if (error != ERROR_SUCCESS) return Fail(error);

  Machine& machine = CurrentMachine();
  ProcessId process = 0;
  error = machine.StartProcess(image, command_line, directory, &process);
  if (error != ERROR_SUCCESS) return Fail(error);
  const ProcessHandles handles = OpenProcessHandles(machine, process);
  *lpProcessInformation = {handles.process, handles.thread, handles.process_id, handles.thread_id};
  return TRUE;
}

// A thread handle is waited on like its process: the program's first thread is all of it that
// this platform can see, and it ends when the process ends.
DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  const auto process = LookUpProcess(hHandle, /*accept_thread=*/true);
  if (process == nullptr || !process->Current()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  Machine& machine = process->machine();
  if (dwMilliseconds != INFINITE)
    return machine.WaitProcess(process->id(), dwMilliseconds) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
  while (!machine.WaitProcess(process->id(), INFINITE)) {
  }
  return WAIT_OBJECT_0;
}

BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode) {
  const auto process = LookUpProcess(hProcess, /*accept_thread=*/false);
  if (process == nullptr || !process->Current()) return Fail(ERROR_INVALID_HANDLE);
  if (lpExitCode == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  uint32_t code = 0;
  // The real call fails only for a handle without the right to query; that is the nearest code.
  if (!process->machine().ProcessExitCode(process->id(), &code)) return Fail(ERROR_ACCESS_DENIED);
  *lpExitCode = code;
  return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
  return CloseProcessHandle(hObject) ? TRUE : Fail(ERROR_INVALID_HANDLE);
}
