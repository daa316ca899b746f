// Trees on the host: snapshots that prove nothing changed, and trees far deeper than a path can
// name, made, measured and removed through descriptors.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace tvx::adversarial {

/// What one entry is: "d 755", "f 644 <size> <hash>" or "l <target>".
inline std::string Describe(int dir, const char* name, struct stat* st) {
  const std::string mode = std::to_string(st->st_mode & 07777);
  if (S_ISDIR(st->st_mode)) return "d " + mode;
  if (S_ISLNK(st->st_mode)) {
    char target[4096];
    const ssize_t n = readlinkat(dir, name, target, sizeof target);
    return "l " + std::string(target, n > 0 ? static_cast<size_t>(n) : 0);
  }
  if (!S_ISREG(st->st_mode)) return "o " + mode;
  uint64_t hash = 1469598103934665603ull;  // FNV-1a over the content
  const int fd = openat(dir, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd >= 0) {
    char buffer[65536];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) {
      for (ssize_t i = 0; i < n; ++i)
        hash = (hash ^ static_cast<unsigned char>(buffer[i])) * 1099511628211ull;
    }
    (void)close(fd);
  }
  return "f " + mode + " " + std::to_string(st->st_size) + " " + std::to_string(hash);
}

namespace detail {
inline void SnapshotBelow(int dir, const std::string& relative,
                          const std::vector<std::string>& skip,
                          std::map<std::string, std::string>* out) {
  DIR* stream = fdopendir(dup(dir));
  if (stream == nullptr) return;
  std::vector<std::string> names;
  while (dirent* entry = readdir(stream)) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
      names.push_back(entry->d_name);
    }
  }
  closedir(stream);
  for (const std::string& name : names) {
    const std::string path = relative.empty() ? name : relative + "/" + name;
    if (std::find(skip.begin(), skip.end(), path) != skip.end()) continue;
    struct stat st {};
    if (fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    (*out)[path] = Describe(dir, name.c_str(), &st);
    if (!S_ISDIR(st.st_mode)) continue;
    const int child = openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (child < 0) continue;
    SnapshotBelow(child, path, skip, out);
    (void)close(child);
  }
}
}  // namespace detail

/// Every entry below `host_dir` (links not followed), keyed by its path relative to it, except
/// the paths in `skip` and what lies below them.
inline std::map<std::string, std::string> Snapshot(const std::string& host_dir,
                                                   const std::vector<std::string>& skip = {}) {
  std::map<std::string, std::string> entries;
  const int dir = open(host_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return entries;
  detail::SnapshotBelow(dir, "", skip, &entries);
  (void)close(dir);
  return entries;
}

/// The differences between two snapshots, one line each, for a readable failure.
inline std::string Differences(const std::map<std::string, std::string>& before,
                               const std::map<std::string, std::string>& after) {
  std::string text;
  for (const auto& [path, what] : before) {
    auto it = after.find(path);
    if (it == after.end()) {
      text += "  gone: " + path + " (" + what + ")\n";
    } else if (it->second != what) {
      text += "  changed: " + path + " (" + what + " -> " + it->second + ")\n";
    }
  }
  for (const auto& [path, what] : after) {
    if (before.count(path) == 0) text += "  new: " + path + " (" + what + ")\n";
  }
  return text;
}

/// Removes a tree of any depth (links not followed) without recursion and with two descriptors,
/// for trees far too deep for TempPrefix's own clean-up.
inline void RemoveTree(const std::string& host_dir) {
  int cur = open(host_dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (cur < 0) {
    (void)unlink(host_dir.c_str());
    return;
  }
  std::vector<std::string> names;  // from host_dir down to cur
  for (long steps = 0; steps < 50'000'000; ++steps) {
    (void)fchmod(cur, 0700);
    std::string subdir;
    DIR* stream = fdopendir(dup(cur));
    while (dirent* e = stream ? readdir(stream) : nullptr) {
      if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
      struct stat st {};
      const bool is_dir =
          fstatat(cur, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
      if (!is_dir) {
        (void)unlinkat(cur, e->d_name, 0);
      } else if (subdir.empty() && unlinkat(cur, e->d_name, AT_REMOVEDIR) != 0) {
        subdir = e->d_name;  // not empty: go down into it
      }
    }
    if (stream) closedir(stream);
    if (!subdir.empty()) {
      const int child =
          openat(cur, subdir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (child >= 0) {
        (void)close(cur);
        cur = child;
        names.push_back(subdir);
        continue;
      }
    }
    if (names.empty()) break;
    const int parent = openat(cur, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    (void)close(cur);
    if (parent < 0) return;
    (void)unlinkat(parent, names.back().c_str(), AT_REMOVEDIR);
    names.pop_back();
    cur = parent;
  }
  (void)close(cur);
  (void)rmdir(host_dir.c_str());
}

/// Makes `levels` nested directories named `name` below `host_dir`, and a file "BOTTOM" in the
/// last one, through descriptors (the paths are far longer than the host lets a path be).
inline void MakeDeepTree(const std::string& host_dir, const std::string& name, int levels) {
  (void)mkdir(host_dir.c_str(), 0755);
  int cur = open(host_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(cur, 0) << host_dir;
  for (int i = 0; i < levels; ++i) {
    ASSERT_EQ(mkdirat(cur, name.c_str(), 0755), 0) << "level " << i << ": " << std::strerror(errno);
    const int child = openat(cur, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(child, 0) << "level " << i;
    (void)close(cur);
    cur = child;
  }
  const int file = openat(cur, "BOTTOM", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  EXPECT_GE(file, 0);
  (void)close(file);
  (void)close(cur);
}

/// A descriptor of the directory `levels` levels of `name` below `host_dir`, or -1.
inline int OpenDeep(const std::string& host_dir, const std::string& name, int levels) {
  int cur = open(host_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  for (int i = 0; i < levels && cur >= 0; ++i) {
    const int child = openat(cur, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    (void)close(cur);
    cur = child;
  }
  return cur;
}

/// The number of nested directories `name` below `host_dir` (stops at `limit`).
inline int DepthOf(const std::string& host_dir, const std::string& name, int limit) {
  int cur = open(host_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  int depth = 0;
  while (cur >= 0 && depth < limit) {
    const int child = openat(cur, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    (void)close(cur);
    cur = child;
    if (cur >= 0) ++depth;
  }
  if (cur >= 0) (void)close(cur);
  return depth;
}

}  // namespace tvx::adversarial
