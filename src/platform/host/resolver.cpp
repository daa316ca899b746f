#include "platform/host/resolver.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "platform/base/codepage.h"
#include "platform/host/errors.h"
#include "platform/host/names.h"
#include "platform/windows.h"

namespace tvx::host {
namespace {

// Directories kept open: enough for the directory in use and its nearest ancestors, few enough
// to leave room under a descriptor limit of 32.
constexpr size_t kCachedDirectories = 8;
// Descriptors kept along the path last walked: the directory in use and its nearest ancestors.
constexpr size_t kHeldChain = 8;

const char kHostRootName[] = "\\\\?\\unix";

// The slot of a path's root in the held roots: its drive, or the host's "/" after the drives.
size_t RootSlot(const MachinePath& path) {
  return path.drive ? static_cast<size_t>(path.drive - 'A') : 26;
}

// A name that was not there may have been looked for below a drive since mapped elsewhere.
bool IsMiss(Win32Error error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

}  // namespace

Win32Error Resolver::OpenDirectory(const MachinePath& path, DirRef* dir) {
  Win32Error error = Walk(path, dir);
  if (IsMiss(error) && RefreshRoot(path)) error = Walk(path, dir);
  return error;
}

Win32Error Resolver::Locate(const MachinePath& path, Located* out, bool need_stat) {
  Win32Error error = LocateOnce(path, out, need_stat);
  if (IsMiss(error) && RefreshRoot(path)) {
    *out = Located();
    error = LocateOnce(path, out, need_stat);
  }
  return error;
}

Win32Error Resolver::Walk(const MachinePath& path, DirRef* dir) {
  DirRef current;
  if (const Win32Error error = OpenRoot(path, &current)) return error;
  if (path.IsRoot()) {
    *dir = std::move(current);
    return ERROR_SUCCESS;
  }
  chain_.clear();
  chain_root_ = path;
  chain_root_.names.clear();
  for (size_t depth = 0; depth < path.names.size(); ++depth) {
    DirRef child;
    if (const Win32Error error = Enter(current, path.names[depth], &child)) return error;
    current = std::move(child);
    Hold(path, depth, current);
  }
  *dir = std::move(current);
  return ERROR_SUCCESS;
}

Win32Error Resolver::LocateOnce(const MachinePath& path, Located* out, bool need_stat) {
  MachinePath parent = path;
  parent.names.pop_back();
  // A name in a directory held from an earlier walk is looked up through that directory's
  // descriptor, without checking the names on its way again. The descriptor names the directory
  // itself, which was reached name by name without following a link: if its name is later taken
  // by a link, the descriptor still leads into the directory, never through the link. A miss
  // there walks from the root, for the name may now mean another directory.
  if ((out->parent = HeldParent(parent))) {
    const std::string& name = path.names.back();
    if (Lookup(*out->parent, name, &out->host_name, &out->st, need_stat) == 0) return 0;
  }
  if (const Win32Error error = Walk(parent, &out->parent)) return error;
  const int error = Lookup(*out->parent, path.names.back(), &out->host_name, &out->st, need_stat);
  return ErrorFromErrno(error);
}

DirRef Resolver::HeldParent(const MachinePath& parent) const {
  if (parent.IsRoot() || parent.names.size() > chain_.size()) return nullptr;
  if (parent.drive != chain_root_.drive || parent.unc != chain_root_.unc) return nullptr;
  const Held& last = chain_[parent.names.size() - 1];
  if (!last.dir) return nullptr;
  for (size_t depth = 0; depth < parent.names.size(); ++depth) {
    if (chain_[depth].upper != cp1252::Upper(parent.names[depth])) return nullptr;
  }
  return last.dir;
}

void Resolver::Hold(const MachinePath& path, size_t depth, const DirRef& dir) {
  chain_.push_back({cp1252::Upper(path.names[depth]), dir});
  // Descriptors further out are let go, to stay well under a low limit on open files.
  if (chain_.size() > kHeldChain) chain_[chain_.size() - kHeldChain - 1].dir = nullptr;
}

int Resolver::Lookup(HostDir& dir, const std::string& name, std::string* host_name, struct stat* st,
                     bool need_stat) {
  if (!IsShowableName(name)) return ENOENT;
  const std::string upper = cp1252::Upper(name);
  // A name the index holds in one spelling only is that entry, whichever case it was asked in,
  // and the mode a listing saw may stand for the entry. Where several spellings exist the exact
  // one wins, so it is tried first below.
  if (IndexEntry known; dir.Known(upper, &known) && !known.ambiguous) {
    *host_name = std::move(known.host);
    if (!need_stat && known.mode) {
      st->st_mode = known.mode;
      return 0;
    }
    if (fstatat(dir.fd(), host_name->c_str(), st, AT_SYMLINK_NOFOLLOW) == 0) return 0;
    if (errno != ENOENT) return errno;
  }
  *host_name = HostName(name);
  if (fstatat(dir.fd(), host_name->c_str(), st, AT_SYMLINK_NOFOLLOW) == 0) return 0;
  if (errno != ENOENT) return errno;
  // Not there as written: look for it ignoring case, reading the directory again at most once
  // when it may have changed since its index was made.
  const bool fresh = !dir.indexed();
  if (FindIndexed(dir, upper, host_name, st)) return 0;
  if (fresh || !dir.RefreshIndex()) return ENOENT;
  return FindIndexed(dir, upper, host_name, st) ? 0 : ENOENT;
}

void Resolver::Forget(const struct stat& removed) {
  std::erase_if(cache_, [&](const DirRef& dir) { return dir->Is(removed.st_dev, removed.st_ino); });
  const auto gone = std::find_if(chain_.begin(), chain_.end(), [&](const Held& held) {
    return held.dir && held.dir->Is(removed.st_dev, removed.st_ino);
  });
  chain_.erase(gone, chain_.end());
}

Win32Error Resolver::OpenRoot(const MachinePath& path, DirRef* root) {
  if (path.drive && (path.drive < 'A' || path.drive > 'Z')) return ERROR_PATH_NOT_FOUND;
  if (!path.drive && !cp1252::EqualsIgnoringCase(path.unc, kHostRootName)) {
    return ERROR_BAD_NETPATH;
  }
  DirRef& held = roots_[RootSlot(path)];
  if (!held) {
    if (const Win32Error error = ResolveRoot(path, &held)) return error;
  }
  *root = held;
  return ERROR_SUCCESS;
}

// Resolves the root again after a miss; true when it is now another directory (or gone), so that
// the miss is worth trying again.
bool Resolver::RefreshRoot(const MachinePath& path) {
  if (path.drive && (path.drive < 'A' || path.drive > 'Z')) return false;
  DirRef& held = roots_[RootSlot(path)];
  if (!held) return false;
  const DirRef old = std::exchange(held, nullptr);
  struct stat st {};
  if (fstat(old->fd(), &st) != 0) return true;
  DirRef fresh;
  if (ResolveRoot(path, &fresh)) return true;
  held = fresh;
  return !fresh->Is(st.st_dev, st.st_ino);
}

Win32Error Resolver::ResolveRoot(const MachinePath& path, DirRef* root) {
  std::string host_path = "/";
  if (path.drive) {
    host_path = drives_.RootPath(path.drive);
    if (host_path.empty()) return ERROR_PATH_NOT_FOUND;
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
