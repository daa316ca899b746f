#include "tests/support/temp_prefix.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace tvx::testing {
namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path) {
  throw std::runtime_error(what + " " + path + ": " + std::strerror(errno));
}

std::string ParentOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash);
}

void MakeDirectories(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return;
  const std::string parent = ParentOf(path);
  if (parent != path) MakeDirectories(parent);
  if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) Fail("mkdir", path);
}

// Removes `name` in `dir` and everything below it, never following a link, and giving back the
// write and search bits a test may have taken away so that nothing is left behind.
void RemoveBelow(int dir, const char* name) {
  struct stat st {};
  if (fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return;
  if (!S_ISDIR(st.st_mode)) {
    (void)unlinkat(dir, name, 0);
    return;
  }
  (void)fchmodat(dir, name, 0700, 0);
  const int fd = openat(dir, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd >= 0) {
    DIR* stream = fdopendir(fd);
    std::vector<std::string> names;
    while (dirent* entry = stream ? readdir(stream) : nullptr) {
      if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
        names.push_back(entry->d_name);
      }
    }
    for (const std::string& child : names) RemoveBelow(fd, child.c_str());
    if (stream) {
      closedir(stream);
    } else {
      close(fd);
    }
  }
  (void)unlinkat(dir, name, AT_REMOVEDIR);
}

void CollectTree(const std::string& base, const std::string& relative,
                 std::vector<std::string>* out) {
  DIR* stream = opendir((base + "/" + relative).c_str());
  if (!stream) return;
  while (dirent* entry = readdir(stream)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = relative.empty() ? name : relative + "/" + name;
    struct stat st {};
    const bool directory = lstat((base + "/" + path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    out->push_back(directory ? path + "/" : path);
    if (directory) CollectTree(base, path, out);
  }
  closedir(stream);
}

}  // namespace

TempPrefix::TempPrefix() {
  const char* tmpdir = std::getenv("TMPDIR");
  std::string pattern = std::string(tmpdir && *tmpdir ? tmpdir : "/tmp") + "/tvx-XXXXXX";
  if (!mkdtemp(pattern.data())) Fail("mkdtemp", pattern);
  // The real path, so that tests may compare it with what the machine derives from realpath().
  char* real = realpath(pattern.c_str(), nullptr);
  root_ = real ? real : pattern;
  std::free(real);
  prefix_ = root_ + "/prefix";
  outside_ = root_ + "/outside";
  MakeDirectory(prefix_ + "/drive_c/windows");
  MakeDirectory(prefix_ + "/dosdevices");
  MakeDirectory(outside_);
  MakeLink(prefix_ + "/dosdevices/c:", "../drive_c");
}

TempPrefix::~TempPrefix() {
  const std::string parent = ParentOf(root_);
  const std::string name = root_.substr(root_.find_last_of('/') + 1);
  const int fd = open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  RemoveBelow(fd, name.c_str());
  close(fd);
}

std::string TempPrefix::Host(const std::string& windows_path) const {
  std::string rest =
      windows_path.size() >= 2 && windows_path[1] == ':' ? windows_path.substr(2) : windows_path;
  std::replace(rest.begin(), rest.end(), '\\', '/');
  while (!rest.empty() && rest.back() == '/') rest.pop_back();
  if (!rest.empty() && rest.front() != '/') rest.insert(rest.begin(), '/');
  return prefix_ + "/drive_c" + rest;
}

void TempPrefix::MapDrive(char letter, const std::string& target) {
  MakeDirectory(target);
  const char lower = static_cast<char>(letter | 0x20);
  const std::string link = prefix_ + "/dosdevices/" + std::string(1, lower) + ":";
  (void)unlink(link.c_str());
  MakeLink(link, target);
}

void TempPrefix::MakeDirectory(const std::string& host_path) {
  MakeDirectories(host_path);
}

void TempPrefix::MakeFile(const std::string& host_path, const std::string& content, bool readonly) {
  MakeDirectories(ParentOf(host_path));
  (void)chmod(host_path.c_str(), 0644);
  std::ofstream out(host_path, std::ios::binary | std::ios::trunc);
  out << content;
  out.close();
  if (!out) Fail("write", host_path);
  if (chmod(host_path.c_str(), readonly ? 0444 : 0644) != 0) Fail("chmod", host_path);
}

void TempPrefix::MakeLink(const std::string& host_path, const std::string& target) {
  MakeDirectories(ParentOf(host_path));
  if (symlink(target.c_str(), host_path.c_str()) != 0) Fail("symlink", host_path);
}

bool TempPrefix::Exists(const std::string& host_path) const {
  struct stat st {};
  return lstat(host_path.c_str(), &st) == 0;
}

std::string TempPrefix::Read(const std::string& host_path) const {
  std::ifstream in(host_path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

std::vector<std::string> TempPrefix::Tree(const std::string& host_dir) const {
  std::vector<std::string> paths;
  CollectTree(host_dir, "", &paths);
  std::sort(paths.begin(), paths.end());
  return paths;
}

void TempPrefix::WriteRegistry(const std::string& body) {
  MakeFile(prefix_ + "/system.reg", "WINE REGISTRY Version 2\n" + body);
}

HostOptions TempPrefix::Options(const std::string& working_directory) const {
  HostOptions options;
  options.prefix = prefix_;
  options.working_directory = working_directory.empty() ? prefix_ + "/drive_c" : working_directory;
  // A test machine never waits on the terminal the tests run from: its question reads from no
  // input and so gets no answer.
  options.input_fd = -1;
  return options;
}

std::unique_ptr<Machine> TempPrefix::MakeMachine(const std::string& working_directory) const {
  return MakeHostMachine(Options(working_directory));
}

}  // namespace tvx::testing
