// Machines for contract tests of the platform calls: the same test runs on the fake machine and
// on a host machine over a temporary prefix (TYPED_TEST over MachineFixtures), so that the fake
// cannot drift from the host. Paths are Windows paths in code page 1252, on drive C or on a drive
// added with AddDrive.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>

#include "platform/base/codepage.h"
#include "platform/machine.h"
#include "platform/state.h"
#include "tests/support/fake_machine.h"
#include "tests/support/temp_prefix.h"

namespace tvx::testing {

class MachineFixture {
 public:
  virtual ~MachineFixture() = default;

  /// Makes the machine current, started in the directory `start` (empty: drive C's root). A
  /// later call starts it afresh, as a new run of the program would.
  virtual void Start(const std::string& start = "") = 0;
  /// Starts it afresh in a directory that no drive holds, and returns that directory.
  virtual std::string StartOutsideDrives() = 0;

  /// Adds an empty drive.
  virtual void AddDrive(char letter) = 0;
  /// Make entries and their missing parents.
  virtual void MakeDirectory(const std::string& path) = 0;
  virtual void MakeFile(const std::string& path, const std::string& content = "",
                        bool readonly = false) = 0;
  /// A symbolic link at `path` to the directory or file at the Windows path `target`.
  virtual void MakeLink(const std::string& path, const std::string& target) = 0;
  virtual bool Exists(const std::string& path) const = 0;
};

class FakeMachineFixture : public MachineFixture {
 public:
  void Start(const std::string& start = "") override {
    scope_.reset();
    machine_.SetStartDirectory(start.empty() ? "C:\\" : start);
    scope_.emplace(machine_);
  }
  std::string StartOutsideDrives() override {
    const std::string outside = "\\\\?\\unix\\outside\\work";
    machine_.MakeDirectory(outside);
    Start(outside);
    return outside;
  }
  void AddDrive(char letter) override { machine_.AddDrive(letter); }
  void MakeDirectory(const std::string& path) override { machine_.MakeDirectory(path); }
  void MakeFile(const std::string& path, const std::string& content = "",
                bool readonly = false) override {
    machine_.MakeFile(path, content, readonly);
  }
  void MakeLink(const std::string& path, const std::string& target) override {
    machine_.MakeLink(path, target);
  }
  bool Exists(const std::string& path) const override { return machine_.Exists(path); }

  FakeMachine& fake() { return machine_; }

 private:
  FakeMachine machine_;
  std::optional<ScopedMachine> scope_;
};

class HostMachineFixture : public MachineFixture {
 public:
  void Start(const std::string& start = "") override {
    Restart(start.empty() ? "" : HostPath(start));
  }
  std::string StartOutsideDrives() override {
    const std::string outside = prefix_.outside() + "/work";
    prefix_.MakeDirectory(outside);
    Restart(outside);
    return ToString(platform::CurrentDirectory());
  }
  void AddDrive(char letter) override {
    const char lower = static_cast<char>(letter | 0x20);
    const std::string root = prefix_.root() + "/drive_" + std::string(1, lower);
    drive_roots_[static_cast<char>(lower & ~0x20)] = root;
    prefix_.MapDrive(lower, root);
  }
  void MakeDirectory(const std::string& path) override { prefix_.MakeDirectory(HostPath(path)); }
  void MakeFile(const std::string& path, const std::string& content = "",
                bool readonly = false) override {
    prefix_.MakeFile(HostPath(path), content, readonly);
  }
  void MakeLink(const std::string& path, const std::string& target) override {
    prefix_.MakeLink(HostPath(path), HostPath(target));
  }
  bool Exists(const std::string& path) const override { return prefix_.Exists(HostPath(path)); }

  TempPrefix& prefix() { return prefix_; }

  /// The host path of a Windows path on one of the fixture's drives; names become UTF-8.
  std::string HostPath(const std::string& windows_path) const {
    const std::string utf8 = cp1252::ToUtf8(windows_path);
    const char letter = static_cast<char>(cp1252::Upper(static_cast<unsigned char>(utf8[0])));
    auto it = drive_roots_.find(letter);
    if (it == drive_roots_.end()) return prefix_.Host(utf8);
    std::string host = it->second;
    for (size_t i = 2; i < utf8.size(); ++i) host += utf8[i] == '\\' ? '/' : utf8[i];
    return host;
  }

 private:
  void Restart(const std::string& host_directory) {
    scope_.reset();
    machine_ = prefix_.MakeMachine(host_directory);
    scope_.emplace(*machine_);
  }

  TempPrefix prefix_;
  std::map<char, std::string> drive_roots_;
  std::unique_ptr<Machine> machine_;
  std::optional<ScopedMachine> scope_;
};

/// Names the two machines in test names: "Fake" and "Host".
struct MachineFixtureNames {
  template <class T>
  static std::string GetName(int) {
    return std::is_same_v<T, FakeMachineFixture> ? "Fake" : "Host";
  }
};

using MachineFixtures = ::testing::Types<FakeMachineFixture, HostMachineFixture>;

/// A test that runs on each machine, started in drive C's root.
template <class Fixture>
class MachineTest : public ::testing::Test {
 protected:
  MachineTest() { world_.Start(); }

  Fixture world_;
};

}  // namespace tvx::testing
