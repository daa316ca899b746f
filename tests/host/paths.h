// Helpers of the host machine's tests: Windows paths spelled out, host paths as UNC paths, and
// the children of this process.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/machine.h"

namespace tvx::testing {

/// "C:\A\B" or "\\?\unix\tmp\x" as a MachinePath (names taken as written, code page 1252).
inline MachinePath Path(std::string_view text) {
  MachinePath path;
  std::string_view rest;
  if (text.substr(0, 2) == "\\\\") {
    const size_t server_end = text.find('\\', 2);
    const size_t share_end =
        server_end == std::string_view::npos ? server_end : text.find('\\', server_end + 1);
    path.unc = std::string(text.substr(0, share_end));
    rest = share_end == std::string_view::npos ? "" : text.substr(share_end + 1);
  } else {
    path.drive = text[0];
    rest = text.size() > 3 ? text.substr(3) : "";
  }
  size_t start = 0;
  while (start < rest.size()) {
    size_t end = rest.find('\\', start);
    if (end == std::string_view::npos) end = rest.size();
    if (end > start) path.names.emplace_back(rest.substr(start, end - start));
    start = end + 1;
  }
  return path;
}

/// The UNC path of a host path with ASCII names: "/tmp/x" -> "\\?\unix\tmp\x".
inline MachinePath HostPath(const std::string& host_path) {
  std::string text = "\\\\?\\unix";
  for (char c : host_path) text += c == '/' ? '\\' : c;
  return Path(text);
}

/// Pids of this process's children, and how many of them are zombies.
inline std::vector<pid_t> Children(bool zombies_only = false) {
  std::vector<pid_t> children;
  DIR* proc = opendir("/proc");
  while (dirent* entry = proc ? readdir(proc) : nullptr) {
    const pid_t pid = std::atoi(entry->d_name);
    if (pid <= 0) continue;
    std::ifstream stat_file("/proc/" + std::string(entry->d_name) + "/stat");
    std::string line;
    std::getline(stat_file, line);
    const size_t close = line.rfind(')');
    if (close == std::string::npos || close + 4 > line.size()) continue;
    const char state = line[close + 2];
    const pid_t parent = std::atoi(line.c_str() + close + 4);
    if (parent == getpid() && (!zombies_only || state == 'Z')) children.push_back(pid);
  }
  if (proc) closedir(proc);
  return children;
}

/// Waits, a millisecond at a time, until `done` holds; false after 20 s.
inline bool EventuallyTrue(const std::function<bool()>& done) {
  for (int i = 0; i < 20000; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return done();
}

}  // namespace tvx::testing
