#include "platform/host/resolver.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>

#include "platform/base/codepage.h"
#include "platform/host/errors.h"
#include "platform/host/names.h"
#include "platform/windows.h"

namespace tvx::host {
namespace {

// Directories kept open: enough for the directory in use and its nearest ancestors, few enough
// to leave room under a descriptor limit of 32.
constexpr size_t kCachedDirectories = 8;

const char kHostRootName[] = "\\\\?\\unix";

}  // namespace

Win32Error Resolver::OpenDirectory(const MachinePath& path, DirRef* dir) {
  DirRef current;
  if (const Win32Error error = OpenRoot(path, &current)) return error;
  for (const std::string& name : path.names) {
    DirRef child;
    if (const Win32Error error = Enter(current, name, &child)) return error;
    current = std::move(child);
  }
  *dir = std::move(current);
  return ERROR_SUCCESS;
}

Win32Error Resolver::Locate(const MachinePath& path, Located* out) {
  MachinePath parent = path;
  parent.names.pop_back();
  if (const Win32Error error = OpenDirectory(parent, &out->parent)) return error;
  const int error = Lookup(*out->parent, path.names.back(), &out->host_name, &out->st);
  return ErrorFromErrno(error);
}

int Resolver::Lookup(HostDir& dir, const std::string& name, std::string* host_name,
                     struct stat* st) {
  if (!IsShowableName(name)) return ENOENT;
  *host_name = HostName(name);
  if (fstatat(dir.fd(), host_name->c_str(), st, AT_SYMLINK_NOFOLLOW) == 0) return 0;
  if (errno != ENOENT) return errno;
  // Not there as written: look for it ignoring case, reading the directory again at most once
  // when it may have changed since its index was made.
  const std::string upper = cp1252::Upper(name);
  const bool fresh = !dir.indexed();
  if (FindIndexed(dir, upper, host_name, st)) return 0;
  if (fresh || !dir.RefreshIndex()) return ENOENT;
  return FindIndexed(dir, upper, host_name, st) ? 0 : ENOENT;
}

void Resolver::Forget(const struct stat& removed) {
  std::erase_if(cache_, [&](const DirRef& dir) { return dir->Is(removed.st_dev, removed.st_ino); });
}

Win32Error Resolver::OpenRoot(const MachinePath& path, DirRef* root) {
  std::string host_path = "/";
  if (path.drive) {
    host_path = drives_.RootPath(path.drive);
    if (host_path.empty()) return ERROR_PATH_NOT_FOUND;
  } else if (!cp1252::EqualsIgnoringCase(path.unc, kHostRootName)) {
    return ERROR_BAD_NETPATH;
  }
  // The link that maps a drive is followed here, once; nothing below the root ever is.
  struct stat st {};
  if (stat(host_path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return ERROR_PATH_NOT_FOUND;
  if ((*root = Cached(st))) return ERROR_SUCCESS;
  UniqueFd fd(open(host_path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!fd.valid()) return PathErrorFromErrno(errno);
  *root = Remember(std::move(fd));
  return *root ? ERROR_SUCCESS : ERROR_PATH_NOT_FOUND;
}

Win32Error Resolver::Enter(const DirRef& dir, const std::string& name, DirRef* child) {
  std::string host_name;
  struct stat st {};
  if (const int error = Lookup(*dir, name, &host_name, &st)) return PathErrorFromErrno(error);
  if (!S_ISDIR(st.st_mode)) return ERROR_PATH_NOT_FOUND;  // a file or a link
  if ((*child = Cached(st))) return ERROR_SUCCESS;
  // O_NOFOLLOW with O_DIRECTORY refuses a link that replaced the directory meanwhile.
  UniqueFd fd(openat(dir->fd(), host_name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd.valid()) return PathErrorFromErrno(errno);
  *child = Remember(std::move(fd));
  return *child ? ERROR_SUCCESS : ERROR_PATH_NOT_FOUND;
}

bool Resolver::FindIndexed(HostDir& dir, const std::string& upper, std::string* host_name,
                           struct stat* st) {
  return dir.FindIgnoringCase(upper, host_name) &&
         fstatat(dir.fd(), host_name->c_str(), st, AT_SYMLINK_NOFOLLOW) == 0;
}

DirRef Resolver::Cached(const struct stat& st) {
  const auto it = std::find_if(cache_.begin(), cache_.end(),
                               [&](const DirRef& dir) { return dir->Is(st.st_dev, st.st_ino); });
  if (it == cache_.end()) return nullptr;
  DirRef dir = *it;
  cache_.erase(it);
  cache_.push_back(dir);
  return dir;
}

DirRef Resolver::Remember(UniqueFd fd) {
  struct stat st {};
  if (fstat(fd.get(), &st) != 0 || !S_ISDIR(st.st_mode)) return nullptr;
  if (DirRef known = Cached(st)) return known;
  auto dir = std::make_shared<HostDir>(std::move(fd), st);
  if (cache_.size() >= kCachedDirectories) cache_.erase(cache_.begin());
  cache_.push_back(dir);
  return dir;
}

}  // namespace tvx::host
