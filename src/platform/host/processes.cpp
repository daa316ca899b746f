// The host machine's processes: host programs started directly, Windows images through wine.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/base/cmdline.h"
#include "platform/base/codepage.h"
#include "platform/host/errors.h"
#include "platform/host/host_machine_impl.h"
#include "platform/host/names.h"
#include "platform/windows.h"

extern char** environ;

namespace tvx::host {
namespace {

enum class ImageKind { kHost, kWindows, kUnknown };

// What the first bytes say the image is: an ELF file or a "#!" script runs on the host, "MZ"
// begins a Windows image.
ImageKind KindOf(const char* head, ssize_t size) {
  if (size >= 4 && std::memcmp(head,
                               "\x7f"
                               "ELF",
                               4) == 0)
    return ImageKind::kHost;
  if (size >= 2 && std::memcmp(head, "#!", 2) == 0) return ImageKind::kHost;
  if (size >= 2 && std::memcmp(head, "MZ", 2) == 0) return ImageKind::kWindows;
  return ImageKind::kUnknown;
}

Win32Error ReadKind(const Located& image, ImageKind* kind) {
  UniqueFd fd(openat(image.parent->fd(), image.host_name.c_str(),
                     O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid()) return errno == ELOOP ? ERROR_ACCESS_DENIED : ErrorFromErrno(errno);
  char head[4];
  ssize_t size = 0;
  do {
    size = read(fd.get(), head, sizeof head);
  } while (size < 0 && errno == EINTR);
  if (size < 0) return ErrorFromErrno(errno);
  *kind = KindOf(head, size);
  return ERROR_SUCCESS;
}

// The host path of the directory a descriptor names, as the kernel knows it now.
bool HostPathOf(int dir_fd, std::string* path) {
  char buffer[PATH_MAX];
  const std::string link = "/proc/self/fd/" + std::to_string(dir_fd);
  const ssize_t size = readlink(link.c_str(), buffer, sizeof buffer);
  if (size <= 0 || static_cast<size_t>(size) >= sizeof buffer) return false;
  path->assign(buffer, static_cast<size_t>(size));
  return true;
}

std::string FindOnPath(const char* program) {
  const char* search = std::getenv("PATH");
  std::string rest = search ? search : "";
  size_t start = 0;
  while (start <= rest.size()) {
    size_t end = rest.find(':', start);
    if (end == std::string::npos) end = rest.size();
    const std::string dir = rest.substr(start, end - start);
    // Only absolute entries: the host's working directory means nothing to this machine.
    if (!dir.empty() && dir[0] == '/') {
      const std::string candidate = dir + "/" + program;
      struct stat st {};
      if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
          access(candidate.c_str(), X_OK) == 0) {
        return candidate;
      }
    }
    start = end + 1;
  }
  return "";
}

// The argument vector: the command line split as the C run-time splits it, in UTF-8, its
// first element replaced by the program the host runs (and, for wine, the image's own path).
std::vector<std::string> Arguments(const std::string& command_line, const std::string& program,
                                   const std::string* windows_image) {
  std::vector<std::string> split = cmdline::SplitArguments(command_line);
  std::vector<std::string> argv = {program};
  if (windows_image) argv.push_back(cp1252::ToUtf8(*windows_image));
  for (size_t i = 1; i < split.size(); ++i) argv.push_back(cp1252::ToUtf8(split[i]));
  return argv;
}

Win32Error Spawn(const std::string& program, const std::vector<std::string>& arguments,
                 int directory_fd, pid_t* pid) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return ERROR_NOT_ENOUGH_MEMORY;
  // The child enters its directory itself: this process never changes its own.
  int error = posix_spawn_file_actions_addfchdir_np(&actions, directory_fd);
  if (error == 0)
    error = posix_spawn(pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  (void)posix_spawn_file_actions_destroy(&actions);
  return error == ENOENT ? ERROR_FILE_NOT_FOUND : ErrorFromErrno(error);
}

// The program the host runs for `image` and its argument vector: the image itself for a host
// executable, wine for a Windows image.
Win32Error ChooseProgram(const Located& entry, const MachinePath& image,
                         const std::string& command_line, std::string* program,
                         std::vector<std::string>* arguments) {
  ImageKind kind = ImageKind::kUnknown;
  if (const Win32Error error = ReadKind(entry, &kind)) return error;
  if (kind == ImageKind::kHost) {
    if (!(entry.st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH))) return ERROR_ACCESS_DENIED;
    if (!HostPathOf(entry.parent->fd(), program)) return ERROR_PATH_NOT_FOUND;
    *program += "/" + entry.host_name;
    *arguments = Arguments(command_line, *program, nullptr);
    return ERROR_SUCCESS;
  }
  if (kind != ImageKind::kWindows) return ERROR_BAD_EXE_FORMAT;
  *program = FindOnPath("wine");
  if (program->empty()) return ERROR_BAD_EXE_FORMAT;
  const std::string windows_image = FormatPath(image);
  *arguments = Arguments(command_line, *program, &windows_image);
  return ERROR_SUCCESS;
}

}  // namespace

Win32Error HostMachine::StartProcess(const MachinePath& image, const std::string& command_line,
                                     const MachinePath& directory, ProcessId* process) {
  if (image.IsRoot()) return ERROR_ACCESS_DENIED;
  Located entry;
  if (const Win32Error error = resolver_.Locate(image, &entry)) return error;
  if (!S_ISREG(entry.st.st_mode)) return ERROR_ACCESS_DENIED;  // a directory or a link
  DirRef start_in;
  if (resolver_.OpenDirectory(directory, &start_in)) return ERROR_DIRECTORY;
  std::string program;
  std::vector<std::string> arguments;
  if (const Win32Error error = ChooseProgram(entry, image, command_line, &program, &arguments)) {
    return error;
  }
  pid_t pid = 0;
  if (const Win32Error error = Spawn(program, arguments, start_in->fd(), &pid)) return error;
  *process = processes_.Add(pid);
  return ERROR_SUCCESS;
}

bool HostMachine::WaitProcess(ProcessId process, uint32_t milliseconds) {
  return processes_.Wait(process, milliseconds);
}

bool HostMachine::ProcessExitCode(ProcessId process, uint32_t* code) {
  return processes_.ExitCode(process, code);
}

void HostMachine::CloseProcess(ProcessId process) {
  processes_.Close(process);
}

}  // namespace tvx::host
