// An open host directory as the resolver keeps it: a descriptor that names the directory itself
// (whatever happens to its path), and an index of its names for lookups that ignore case.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/host/name_index.h"
#include "platform/host/unique_fd.h"

namespace tvx::host {

class HostDir {
 public:
  /// Takes an O_PATH descriptor of a directory; `st` is its fstat.
  HostDir(UniqueFd fd, const struct stat& st)
      : fd_(std::move(fd)), dev_(st.st_dev), ino_(st.st_ino) {}

  int fd() const { return fd_.get(); }
  bool Is(dev_t dev, ino_t ino) const { return dev == dev_ && ino == ino_; }
  bool indexed() const { return indexed_; }

  /// The host name whose upper-case form (code page 1252) is `upper`; false when the index,
  /// built on first use, has none.
  bool FindIgnoringCase(const std::string& upper, std::string* host_name);
  /// The index's entry for `upper` without building the index; false when there is none.
  bool Known(const std::string& upper, IndexEntry* entry) const;
  /// Reads the directory again if it may have changed since the index was built; true if so.
  bool RefreshIndex();
  /// Keeps the index in step with this machine's own changes. `name` is the removed entry's
  /// code page 1252 name in any case, as the path that removed it spelled it.
  void NoteRemoved(const std::string& name, const std::string& host_name);
  void NoteAdded();
  /// Replaces the index with the names of a listing just read (sealed), which began at
  /// `listed_at`.
  void SetIndex(NameIndex index, const struct stat& listed_at);

 private:
  void BuildIndex();

  UniqueFd fd_;
  dev_t dev_;
  ino_t ino_;
  bool indexed_ = false;
  NameIndex index_;
  struct timespec indexed_mtime_ {};
};

using DirRef = std::shared_ptr<HostDir>;

/// Calls `visit(host_name, windows_name)` for each entry of the directory a Windows program may
/// see ("." and ".." left out). Returns 0 or the errno of opening the directory for reading.
int ReadNames(int dir_fd,
              const std::function<void(const std::string& host, const std::string& name)>& visit);

}  // namespace tvx::host
