// The host machine's files: every path resolved by the Resolver, never through a link.
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/host/errors.h"
#include "platform/host/host_machine_impl.h"
#include "platform/host/io.h"
#include "platform/host/names.h"
#include "platform/host/stat_batch.h"
#include "platform/windows.h"

namespace tvx::host {
namespace {

// Seconds from 1601-01-01 (FILETIME's epoch) to 1970-01-01.
constexpr int64_t kFileTimeEpochOffset = 11644473600;

uint64_t FileTime(const struct timespec& time) {
  const int64_t seconds = time.tv_sec + kFileTimeEpochOffset;
  if (seconds < 0) return 0;
  return static_cast<uint64_t>(seconds) * 10000000 + static_cast<uint64_t>(time.tv_nsec) / 100;
}

bool IsReadOnly(mode_t mode) {
  return !S_ISLNK(mode) && !(mode & S_IWUSR);
}

EntryInfo InfoOf(std::string name, mode_t mode, uint64_t size, const struct timespec& mtime) {
  EntryInfo info;
  info.name = std::move(name);
  info.link = S_ISLNK(mode);
  info.directory = S_ISDIR(mode);
  info.readonly = IsReadOnly(mode);
  info.size = S_ISREG(mode) ? size : 0;
  info.write_time = FileTime(mtime);
  return info;
}

EntryInfo InfoOf(const std::string& host_name, const struct stat& st) {
  std::string name;
  (void)WindowsName(host_name, &name);
  return InfoOf(std::move(name), st.st_mode, static_cast<uint64_t>(st.st_size), st.st_mtim);
}

// Names read from a directory and waiting for their stats, which are taken a batch at a time.
class PendingNames {
 public:
  // Whole batches of the batcher's, which are what it sends through its ring.
  static constexpr size_t kBatch = StatBatcher::kQueueDepth;

  PendingNames(int dir_fd, StatBatcher* stats, Listing* entries, NameIndex* index)
      : dir_fd_(dir_fd), stats_(stats), entries_(entries), index_(index) {}

  void Add(const std::string& host, const std::string& name) {
    hosts_.push_back(host);
    names_.push_back(name);
    if (hosts_.size() == kBatch) Flush();
  }

  void Flush() {
    const char* pointers[kBatch];
    for (size_t i = 0; i < hosts_.size(); ++i) pointers[i] = hosts_[i].c_str();
    NameStat found[kBatch];
    stats_->Stat(dir_fd_, pointers, hosts_.size(), found);
    for (size_t i = 0; i < hosts_.size(); ++i) {
      // An entry gone since it was read is simply not listed.
      index_->Add(hosts_[i], names_[i], found[i].error ? 0 : found[i].mode);
      if (found[i].error) continue;
      full_ = full_ || !entries_->Add(InfoOf(std::move(names_[i]), found[i].mode, found[i].size,
                                             found[i].mtime));
    }
    hosts_.clear();
    names_.clear();
  }

  /// True once the listing could not hold an entry.
  bool full() const { return full_; }

 private:
  int dir_fd_;
  StatBatcher* stats_;
  Listing* entries_;
  NameIndex* index_;
  std::vector<std::string> hosts_;
  std::vector<std::string> names_;
  bool full_ = false;
};

// A fresh temporary file in `dir`, created exclusively so that nothing already there is touched.
UniqueFd CreateTemporary(int dir, mode_t mode, std::string* name) {
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    struct timespec now {};
    (void)clock_gettime(CLOCK_MONOTONIC, &now);
    *name = ".tvx-" + std::to_string(getpid()) + "-" + std::to_string(++counter) + "-" +
            std::to_string(now.tv_nsec) + ".tmp";
    UniqueFd fd(
        openat(dir, name->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    if (fd.valid() || errno != EEXIST) return fd;
  }
  return UniqueFd();
}

// Writes all of `bytes` and makes them durable before the file is closed.
Win32Error WriteDurably(UniqueFd fd, const std::string& bytes) {
  Win32Error error = ErrorFromErrno(WriteAll(fd.get(), bytes));
  if (!error && fsync(fd.get()) != 0) error = ErrorFromErrno(errno);
  if (close(fd.Release()) != 0 && !error) error = ErrorFromErrno(errno);
  return error;
}

void SyncDirectory(int dir) {
  UniqueFd fd(openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.valid()) (void)fsync(fd.get());
}

}  // namespace

Win32Error HostMachine::Stat(const MachinePath& path, EntryInfo* info) {
  if (path.IsRoot()) {
    DirRef root;
    if (const Win32Error error = resolver_.OpenDirectory(path, &root)) return error;
    struct stat st {};
    if (fstat(root->fd(), &st) != 0) return ErrorFromErrno(errno);
    *info = InfoOf("", st);
    return ERROR_SUCCESS;
  }
  Located entry;
  if (const Win32Error error = resolver_.Locate(path, &entry)) return error;
  *info = InfoOf(entry.host_name, entry.st);
  return ERROR_SUCCESS;
}

// The entries are stat'ed a batch at a time as the directory is read, so that a large directory
// costs few system calls beyond its deletions, and its names are held twice only: packed in the
// listing and in the index.
Win32Error HostMachine::List(const MachinePath& dir, Listing* entries) {
  DirRef host_dir;
  if (const Win32Error error = resolver_.OpenDirectory(dir, &host_dir)) return error;
  struct stat listed_at {};
  (void)fstat(host_dir->fd(), &listed_at);
  entries->Clear();
  NameIndex index;
  PendingNames pending(host_dir->fd(), &stats_, entries, &index);
  const int error = ReadNames(
      host_dir->fd(),
      [&](const std::string& host, const std::string& name) { (void)pending.Add(host, name); });
  pending.Flush();
  if (error) return ErrorFromErrno(error);
  if (pending.full()) return ERROR_NOT_ENOUGH_MEMORY;
  entries->ShrinkToFit();
  index.Seal();
  host_dir->SetIndex(std::move(index), listed_at);
  return ERROR_SUCCESS;
}

Win32Error HostMachine::DeleteFile(const MachinePath& path) {
  if (path.IsRoot()) return ERROR_ACCESS_DENIED;
  // The mode the listing just made saw is enough here: unlinkat itself refuses a directory put in
  // the entry's place since (EISDIR), and an entry gone since reports itself missing (ENOENT).
  Located entry;
  if (const Win32Error error = resolver_.Locate(path, &entry, /*need_stat=*/false)) return error;
  // The owner-write bit is the read-only attribute, which the machine enforces even for root.
  if (S_ISDIR(entry.st.st_mode) || IsReadOnly(entry.st.st_mode)) return ERROR_ACCESS_DENIED;
  if (unlinkat(entry.parent->fd(), entry.host_name.c_str(), 0) != 0) return ErrorFromErrno(errno);
  entry.parent->NoteRemoved(path.names.back(), entry.host_name);
  return ERROR_SUCCESS;
}

Win32Error HostMachine::RemoveDirectory(const MachinePath& path) {
  if (path.IsRoot()) return ERROR_ACCESS_DENIED;
  Located entry;
  if (const Win32Error error = resolver_.Locate(path, &entry)) return error;
  if (!S_ISDIR(entry.st.st_mode)) return ERROR_DIRECTORY;  // a file or a link
  if (unlinkat(entry.parent->fd(), entry.host_name.c_str(), AT_REMOVEDIR) != 0) {
    // A link put in the directory's place meanwhile is refused with ENOTDIR, never followed.
    if (errno == ENOTDIR) return ERROR_DIRECTORY;
    if (errno == EEXIST) return ERROR_DIR_NOT_EMPTY;
    return ErrorFromErrno(errno);
  }
  resolver_.Forget(entry.st);
  entry.parent->NoteRemoved(path.names.back(), entry.host_name);
  return ERROR_SUCCESS;
}

Win32Error HostMachine::ReadFile(const MachinePath& path, std::string* bytes) {
  if (path.IsRoot()) return ERROR_ACCESS_DENIED;
  Located entry;
  if (const Win32Error error = resolver_.Locate(path, &entry)) return error;
  if (!S_ISREG(entry.st.st_mode)) return ERROR_ACCESS_DENIED;  // a directory, a link, a device
  UniqueFd fd(openat(entry.parent->fd(), entry.host_name.c_str(),
                     O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid()) return errno == ELOOP ? ERROR_ACCESS_DENIED : ErrorFromErrno(errno);
  struct stat st {};
  if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return ERROR_ACCESS_DENIED;
  return ErrorFromErrno(ReadAll(fd.get(), bytes));
}

Win32Error HostMachine::ReplaceFile(const MachinePath& path, const std::string& bytes) {
  if (path.IsRoot()) return ERROR_ACCESS_DENIED;
  Located entry;
  const Win32Error error = resolver_.Locate(path, &entry);
  if (error == ERROR_FILE_NOT_FOUND && entry.parent) {
    // A name no Windows program could see must never be made.
    if (!IsShowableName(path.names.back())) return ERROR_INVALID_NAME;
    return ReplaceIn(*entry.parent, HostName(path.names.back()), nullptr, bytes);
  }
  if (error) return error;
  if (!S_ISREG(entry.st.st_mode) || IsReadOnly(entry.st.st_mode)) return ERROR_ACCESS_DENIED;
  return ReplaceIn(*entry.parent, entry.host_name, &entry.st, bytes);
}

Win32Error HostMachine::ReplaceIn(HostDir& dir, const std::string& host_name,
                                  const struct stat* old, const std::string& bytes) {
  std::string temporary;
  UniqueFd fd = CreateTemporary(dir.fd(), old ? old->st_mode & 07777 : 0666, &temporary);
  if (!fd.valid()) return ErrorFromErrno(errno);
  if (old) {
    // The new file keeps the old one's owner and mode; failing that is no reason to lose data.
    (void)fchown(fd.get(), old->st_uid, old->st_gid);
    (void)fchmod(fd.get(), old->st_mode & 07777);
  }
  Win32Error error = WriteDurably(std::move(fd), bytes);
  if (!error && renameat(dir.fd(), temporary.c_str(), dir.fd(), host_name.c_str()) != 0) {
    error = ErrorFromErrno(errno);
  }
  if (error) {
    (void)unlinkat(dir.fd(), temporary.c_str(), 0);
    return error;
  }
  SyncDirectory(dir.fd());
  dir.NoteAdded();
  return ERROR_SUCCESS;
}

}  // namespace tvx::host
