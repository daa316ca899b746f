// The host machine: its start-up facts and the registry file; the rest lives in files.cpp,
// processes.cpp and terminal.cpp.
#include "platform/host/host_machine.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "platform/host/host_machine_impl.h"
#include "platform/host/host_paths.h"
#include "platform/host/io.h"

namespace tvx {
namespace host {

HostMachine::HostMachine(const HostOptions& options)
    : options_(options), drives_(options.prefix), resolver_(drives_) {}

bool HostMachine::HasDrive(char letter) {
  if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 0x20);
  return drives_.OpenRoot(letter).valid();
}

std::string HostMachine::StartDirectory() {
  std::string directory = options_.working_directory;
  if (directory.empty()) directory = HostWorkingDirectory();
  // A working directory that has no name any more has no Windows path either; the platform
  // then starts where a machine that cannot say starts.
  return directory.empty() ? std::string() : drives_.WindowsPath(directory);
}

std::string HostMachine::ModuleFileName() {
  std::string module = options_.module_path;
  if (module.empty()) module = RunningExecutable();
  return module.empty() ? std::string() : drives_.WindowsPath(module);
}

bool HostMachine::IsHostRoot(const MachinePath& path) {
  DirRef dir;
  struct stat st {};
  if (resolver_.OpenDirectory(path, &dir) || fstat(dir->fd(), &st) != 0) return false;
  const std::vector<FileId>& roots = HostRoots();
  return std::find(roots.begin(), roots.end(), FileId{st.st_dev, st.st_ino}) != roots.end();
}

// The drive map does not change during a run (the resolver holds each root for the machine's
// life too), so the roots are taken once rather than opened again before every listing.
const std::vector<FileId>& HostMachine::HostRoots() {
  if (host_roots_) return *host_roots_;
  host_roots_.emplace();
  struct stat root {};
  if (stat("/", &root) == 0) host_roots_->push_back({root.st_dev, root.st_ino});
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    UniqueFd drive = drives_.OpenRoot(letter);
    if (drive.valid() && fstat(drive.get(), &root) == 0) {
      host_roots_->push_back({root.st_dev, root.st_ino});
    }
  }
  return *host_roots_;
}

bool HostMachine::ReadRegistryText(std::string* text) {
  if (options_.prefix.empty()) return false;
  UniqueFd fd(open((options_.prefix + "/system.reg").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  struct stat st {};
  if (!fd.valid() || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  return ReadAll(fd.get(), text) == 0;
}

}  // namespace host

namespace {

// A standard stream the process was started without is opened on /dev/null, so that no
// descriptor the machine opens later (a directory, a settings file being replaced) can take its
// number and receive the question or the beep.
void ReserveStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened != fd && opened >= 0) (void)close(opened);
  }
}

}  // namespace

HostOptions HostOptionsFromEnvironment() {
  ReserveStandardStreams();
  HostOptions options;
  const char* prefix = std::getenv("WINEPREFIX");
  const char* home = std::getenv("HOME");
  if (prefix && *prefix) {
    options.prefix = prefix;
  } else if (home && *home) {
    options.prefix = std::string(home) + "/.wine";
  }
  return options;
}

std::unique_ptr<Machine> MakeHostMachine(const HostOptions& options) {
  return std::make_unique<host::HostMachine>(options);
}

}  // namespace tvx
