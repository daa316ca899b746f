#include "platform/host/directory.h"

#include <dirent.h>
#include <fcntl.h>

#include <cerrno>
#include <ctime>

#include "platform/host/names.h"

namespace tvx::host {
namespace {

// File times come from a coarse clock, so a change made just after a listing may leave the
// directory's time as it was; a directory changed this recently is always read again.
constexpr time_t kSettledSeconds = 2;

bool SameTime(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool RecentlyChanged(const struct timespec& mtime) {
  struct timespec now {};
  (void)clock_gettime(CLOCK_REALTIME, &now);
  return now.tv_sec - mtime.tv_sec < kSettledSeconds;
}

}  // namespace

int ReadNames(int dir_fd,
              const std::function<void(const std::string& host, const std::string& name)>& visit) {
  const int fd = openat(dir_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  DIR* stream = fdopendir(fd);
  if (!stream) {
    const int error = errno;
    (void)close(fd);
    return error;
  }
  std::string name;
  while (const dirent* entry = readdir(stream)) {
    const std::string host = entry->d_name;
    if (host == "." || host == "..") continue;
    if (WindowsName(host, &name)) visit(host, name);
  }
  (void)closedir(stream);
  return 0;
}

bool HostDir::FindIgnoringCase(const std::string& upper, std::string* host_name) {
  if (!indexed_) BuildIndex();
  IndexEntry entry;
  if (!index_.Find(upper, &entry)) return false;
  *host_name = std::move(entry.host);
  return true;
}

bool HostDir::Known(const std::string& upper, IndexEntry* entry) const {
  return indexed_ && index_.Find(upper, entry);
}

bool HostDir::RefreshIndex() {
  struct stat st {};
  if (fstat(fd_.get(), &st) != 0) return false;
  if (SameTime(st.st_mtim, indexed_mtime_) && !RecentlyChanged(st.st_mtim)) return false;
  BuildIndex();
  return true;
}

void HostDir::NoteRemoved(const std::string& name, const std::string& host_name) {
  if (indexed_) index_.Remove(name, host_name);
}

void HostDir::NoteAdded() {
  // The entry made may replace one of another spelling or mode; the index is read anew when next
  // needed rather than patched, for names are made here rarely (a settings file).
  indexed_ = false;
  index_ = NameIndex();
}

void HostDir::SetIndex(NameIndex index, const struct stat& listed_at) {
  index_ = std::move(index);
  indexed_mtime_ = listed_at.st_mtim;
  indexed_ = true;
}

void HostDir::BuildIndex() {
  struct stat st {};
  (void)fstat(fd_.get(), &st);
  NameIndex index;
  (void)ReadNames(fd_.get(),
                  [&](const std::string& host, const std::string& name) { index.Add(host, name); });
  index.Seal();
  SetIndex(std::move(index), st);
}

}  // namespace tvx::host
