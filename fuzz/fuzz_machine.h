// A machine for the fuzz targets: drive C with a Windows directory, files held in memory, a
// hive text and a start directory that the target sets. Nothing reaches the host.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/machine.h"

namespace tvx::fuzz {

/// Stops the target with a message: a broken promise is a finding like a crash.
#define TVX_FUZZ_CHECK(condition)                                                        \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (0)

class FuzzMachine : public Machine {
 public:
  std::string start = "C:\\";
  std::string registry;
  bool has_registry = true;
  std::map<std::string, std::string> files;  // by the upper-cased text of the path

  static std::string Key(const MachinePath& path) { return cp1252::Upper(ToString(path)); }

  bool HasDrive(char letter) override { return letter == 'C'; }
  std::string StartDirectory() override { return start; }
  std::string ModuleFileName() override { return "C:\\tavox-uninstall.exe"; }
  bool IsHostRoot(const MachinePath& path) override { return path.IsRoot(); }
  Win32Error Stat(const MachinePath& path, EntryInfo* info) override {
    if (path.drive != 'C') return 3;  // ERROR_PATH_NOT_FOUND
    if (path.names.size() == 1 && cp1252::EqualsIgnoringCase(path.names[0], "windows")) {
      info->name = path.names[0];
      info->directory = true;
      return 0;
    }
    const auto it = files.find(Key(path));
    if (it == files.end()) return 2;  // ERROR_FILE_NOT_FOUND
    info->name = path.names.back();
    info->size = it->second.size();
    return 0;
  }
  Win32Error List(const MachinePath&, Listing* entries) override {
    entries->Clear();
    return 0;
  }
  using Machine::List;
  Win32Error DeleteFile(const MachinePath&) override { return 5; }
  Win32Error RemoveDirectory(const MachinePath&) override { return 5; }
  Win32Error ReadFile(const MachinePath& path, std::string* bytes) override {
    const auto it = files.find(Key(path));
    if (it == files.end()) return 2;
    *bytes = it->second;
    return 0;
  }
  Win32Error ReplaceFile(const MachinePath& path, const std::string& bytes) override {
    files[Key(path)] = bytes;
    return 0;
  }
  bool ReadRegistryText(std::string* text) override {
    *text = registry;
    return has_registry;
  }
  Win32Error StartProcess(const MachinePath&, const std::string&, const MachinePath&,
                          ProcessId*) override {
    return 2;
  }
  bool WaitProcess(ProcessId, uint32_t) override { return true; }
  bool ProcessExitCode(ProcessId, uint32_t*) override { return false; }
  void CloseProcess(ProcessId) override {}
  int AskQuestion(const std::string&, const std::string&, uint32_t) override { return 0; }
  void Beep(uint32_t) override {}
};

}  // namespace tvx::fuzz
