#include "platform/host/host_paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "platform/host/unique_fd.h"

namespace tvx::host {
namespace {

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The name under which `parent` holds `child`. The inode number in the entry is tried first;
// every entry is looked at when that fails, as it does where a file system is mounted.
bool NameIn(int parent, const struct stat& child, std::string* name) {
  for (const bool by_inode : {true, false}) {
    const int fd = openat(parent, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* stream = fd >= 0 ? fdopendir(fd) : nullptr;
    if (!stream) {
      if (fd >= 0) (void)close(fd);
      return false;
    }
    bool found = false;
    while (const dirent* entry = readdir(stream)) {
      if (!std::strcmp(entry->d_name, ".") || !std::strcmp(entry->d_name, "..")) continue;
      if (by_inode && entry->d_ino != child.st_ino) continue;
      struct stat st {};
      if (fstatat(parent, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(st, child)) {
        *name = entry->d_name;
        found = true;
        break;
      }
    }
    (void)closedir(stream);
    if (found) return true;
  }
  return false;
}

std::string WalkUp() {
  UniqueFd dir(open(".", O_PATH | O_DIRECTORY | O_CLOEXEC));
  std::vector<std::string> names;
  struct stat here {};
  if (!dir.valid() || fstat(dir.get(), &here) != 0 || here.st_nlink == 0) return "";
  for (;;) {
    UniqueFd parent(openat(dir.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
    struct stat above {};
    if (!parent.valid() || fstat(parent.get(), &above) != 0) return "";
    if (SameFile(above, here)) break;  // the root is its own parent
    std::string name;
    if (!NameIn(parent.get(), here, &name)) return "";
    names.push_back(std::move(name));
    dir = std::move(parent);
    here = above;
  }
  std::string path;
  for (auto it = names.rbegin(); it != names.rend(); ++it) path += "/" + *it;
  return path.empty() ? "/" : path;
}

}  // namespace

std::string HostWorkingDirectory() {
  char buffer[PATH_MAX];
  if (getcwd(buffer, sizeof buffer)) return buffer;
  return WalkUp();
}

std::string RunningExecutable() {
  char buffer[PATH_MAX];
  const ssize_t size = readlink("/proc/self/exe", buffer, sizeof buffer);
  if (size <= 0 || static_cast<size_t>(size) >= sizeof buffer) return "";
  return std::string(buffer, static_cast<size_t>(size));
}

}  // namespace tvx::host
