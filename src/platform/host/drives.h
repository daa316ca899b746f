// The drives of a Wine-style prefix: each dosdevices/x: entry is the root of drive X; a prefix
// without dosdevices/ has its drive_c as drive C.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/host/unique_fd.h"

namespace tvx::host {

class Drives {
 public:
  /// `prefix` may be empty: a machine with no drives.
  explicit Drives(std::string prefix) : prefix_(std::move(prefix)) {}

  const std::string& prefix() const { return prefix_; }
  /// The host path that maps drive `letter` (the dosdevices entry itself), or "" for none.
  std::string RootPath(char letter) const;
  /// The root directory of drive `letter`, the mapping link followed; invalid when it is missing.
  UniqueFd OpenRoot(char letter) const;
  /// The real host path of each drive whose root exists, by letter.
  std::vector<std::pair<char, std::string>> RealRoots() const;
  /// A host path as a Windows path: on the drive whose root holds it (the deepest root wins),
  /// else "\\?\unix" and the host path with "\" for "/".
  std::string WindowsPath(const std::string& host_path) const;

 private:
  std::string prefix_;
};

}  // namespace tvx::host
