#include "platform/host/drives.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdlib>

#include "platform/host/names.h"

namespace tvx::host {
namespace {

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool EntryExists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

std::string RealPath(const std::string& path) {
  char* real = realpath(path.c_str(), nullptr);
  if (!real) return path;
  std::string result = real;
  std::free(real);
  return result;
}

// The part of `path` below `root`, or false when `root` does not hold it.
bool PathBelow(const std::string& path, const std::string& root, std::string* rest) {
  if (root == "/") {
    *rest = path;
    return true;
  }
  if (path.compare(0, root.size(), root) != 0) return false;
  if (path.size() > root.size() && path[root.size()] != '/') return false;
  *rest = path.substr(root.size());
  return true;
}

// "/a/b" -> "\a\b", each name in its code page 1252 form.
std::string WindowsTail(const std::string& rest) {
  std::string tail;
  size_t start = 0;
  while (start < rest.size()) {
    size_t end = rest.find('/', start);
    if (end == std::string::npos) end = rest.size();
    if (end > start) tail += "\\" + WindowsNameLossy(rest.substr(start, end - start));
    start = end + 1;
  }
  return tail;
}

}  // namespace

std::string Drives::RootPath(char letter) const {
  if (prefix_.empty() || letter < 'A' || letter > 'Z') return "";
  const std::string devices = prefix_ + "/dosdevices";
  if (!IsDirectory(devices)) return letter == 'C' ? prefix_ + "/drive_c" : "";
  for (char spelling : {static_cast<char>(letter | 0x20), letter}) {
    const std::string entry = devices + "/" + std::string(1, spelling) + ":";
    if (EntryExists(entry)) return entry;
  }
  return "";
}

UniqueFd Drives::OpenRoot(char letter) const {
  const std::string path = RootPath(letter);
  if (path.empty()) return UniqueFd();
  return UniqueFd(open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
}

std::vector<std::pair<char, std::string>> Drives::RealRoots() const {
  std::vector<std::pair<char, std::string>> roots;
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    const std::string path = RootPath(letter);
    if (!path.empty() && IsDirectory(path)) roots.emplace_back(letter, RealPath(path));
  }
  return roots;
}

std::string Drives::WindowsPath(const std::string& host_path) const {
  const std::string real = RealPath(host_path);
  char best_letter = 0;
  std::string best_root;
  std::string best_rest;
  for (const auto& [letter, root] : RealRoots()) {
    std::string rest;
    if (PathBelow(real, root, &rest) && (!best_letter || root.size() > best_root.size())) {
      best_letter = letter;
      best_root = root;
      best_rest = rest;
    }
  }
  if (!best_letter) {
    const std::string tail = WindowsTail(real);
    return "\\\\?\\unix" + (tail.empty() ? "\\" : tail);
  }
  const std::string tail = WindowsTail(best_rest);
  return std::string(1, best_letter) + ":" + (tail.empty() ? "\\" : tail);
}

}  // namespace tvx::host
