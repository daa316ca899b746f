// The parts of FakeMachine that its source files share.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "tests/support/fake_machine.h"

namespace tvx::testing {

struct FakeMachine::Node {
  enum class Kind { kDirectory, kFile, kLink };

  std::string name;  // as stored, code page 1252
  Kind kind = Kind::kDirectory;
  std::string content;  // a file's bytes, or the target a link only remembers
  bool readonly = false;
  bool in_use = false;
  bool host_root = false;
  Win32Error list_error = 0;
  uint64_t write_time = 0;
  std::unique_ptr<Program> program;  // set for a file that StartProcess can run
  std::map<std::string, std::unique_ptr<Node>> children;  // keyed by the upper-cased name
};

struct FakeMachine::Process {
  Program program;
  uint64_t start_ms = 0;
};

/// A name's key in its directory: the name upper-cased.
std::string FakeKey(const std::string& name);
/// The entry `name` of `dir`, found ignoring case; null when there is none.
FakeMachine::Node* FakeChildOf(const FakeMachine::Node* dir, const std::string& name);
std::unique_ptr<FakeMachine::Node> NewFakeNode(const std::string& name,
                                               FakeMachine::Node::Kind kind);

/// Parses an absolute path ("C:\A\B", "\\server\share\A"; "/" counts as "\"). False otherwise.
bool ParseFakePath(const std::string& text, MachinePath* path);

}  // namespace tvx::testing
