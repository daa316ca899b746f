// The fake machine's tree: building it and looking at it.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/base/codepage.h"
#include "platform/windows.h"
#include "tests/support/fake_machine_internal.h"

namespace tvx::testing {
namespace {

// Some time in 2019, in FILETIME units, so that listings show a plausible date.
constexpr uint64_t kWriteTime = 132000000000000000ull;

using Node = FakeMachine::Node;
using Kind = FakeMachine::Node::Kind;

void CollectTree(const Node& dir, const std::string& prefix, std::vector<std::string>* out) {
  for (const auto& [key, child] : dir.children) {
    const std::string path = prefix + child->name;
    if (child->kind != Kind::kDirectory) {
      out->push_back(path);
      continue;
    }
    out->push_back(path + "\\");
    CollectTree(*child, path + "\\", out);
  }
}

}  // namespace

std::string FakeKey(const std::string& name) {
  return cp1252::Upper(name);
}

FakeMachine::Node* FakeChildOf(const FakeMachine::Node* dir, const std::string& name) {
  auto it = dir->children.find(FakeKey(name));
  return it == dir->children.end() ? nullptr : it->second.get();
}

std::unique_ptr<FakeMachine::Node> NewFakeNode(const std::string& name, Kind kind) {
  auto node = std::make_unique<FakeMachine::Node>();
  node->name = name;
  node->kind = kind;
  node->write_time = kWriteTime;
  return node;
}

bool ParseFakePath(const std::string& text, MachinePath* path) {
  std::string s = text;
  std::replace(s.begin(), s.end(), '/', '\\');
  *path = MachinePath{};
  size_t pos = 0;
  if (s.size() >= 3 && s[1] == ':' && s[2] == '\\') {
    path->drive = static_cast<char>(cp1252::Upper(static_cast<unsigned char>(s[0])));
    pos = 3;
  } else if (s.size() >= 5 && s[0] == '\\' && s[1] == '\\') {
    const size_t server_end = s.find('\\', 2);
    if (server_end == std::string::npos) return false;
    pos = std::min(s.find('\\', server_end + 1), s.size());
    path->unc = s.substr(0, pos);
  } else {
    return false;
  }
  while (pos < s.size()) {
    size_t end = std::min(s.find('\\', pos), s.size());
    if (end > pos) path->names.push_back(s.substr(pos, end - pos));
    pos = end + 1;
  }
  return true;
}

FakeMachine::FakeMachine() {
  AddDrive('C');
  MakeDirectory("C:\\windows");
}

FakeMachine::~FakeMachine() {
  for (auto& [letter, root] : drives_) delete root;
  for (auto& [unc, root] : shares_) delete root;
  for (auto& [id, process] : processes_) delete process;
}

void FakeMachine::AddDrive(char letter) {
  const char drive = static_cast<char>(cp1252::Upper(static_cast<unsigned char>(letter)));
  if (drives_.count(drive) == 0) drives_[drive] = NewFakeNode("", Kind::kDirectory).release();
}

FakeMachine::Node* FakeMachine::Root(const MachinePath& path) const {
  if (path.drive != 0) {
    auto it = drives_.find(path.drive);
    return it == drives_.end() ? nullptr : it->second;
  }
  auto it = shares_.find(FakeKey(path.unc));
  return it == shares_.end() ? nullptr : it->second;
}

FakeMachine::Node* FakeMachine::Find(const MachinePath& path, Win32Error* error) const {
  Node* node = Root(path);
  if (node == nullptr) {
    // As on the host, a share the machine does not know is no network path at all.
    *error = path.drive != 0 ? ERROR_PATH_NOT_FOUND : ERROR_BAD_NETPATH;
    return nullptr;
  }
  for (size_t i = 0; i < path.names.size(); ++i) {
    // Only a real directory leads further: a link is never followed.
    if (node->kind != Kind::kDirectory) {
      *error = ERROR_PATH_NOT_FOUND;
      return nullptr;
    }
    node = FakeChildOf(node, path.names[i]);
    if (node == nullptr) {
      *error = i + 1 == path.names.size() ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
      return nullptr;
    }
  }
  *error = ERROR_SUCCESS;
  return node;
}

FakeMachine::Node* FakeMachine::FindText(const std::string& path) const {
  MachinePath parsed;
  Win32Error error = 0;
  return ParseFakePath(path, &parsed) ? Find(parsed, &error) : nullptr;
}

FakeMachine::Node* FakeMachine::Make(const std::string& path, bool directory) {
  MachinePath parsed;
  if (!ParseFakePath(path, &parsed)) {
    ADD_FAILURE() << "not an absolute path: " << path;
    return nullptr;
  }
  if (parsed.drive == 0 && shares_.count(FakeKey(parsed.unc)) == 0) {
    shares_[FakeKey(parsed.unc)] = NewFakeNode("", Kind::kDirectory).release();
  }
  Node* node = Root(parsed);
  if (node == nullptr) {
    ADD_FAILURE() << "no drive " << parsed.drive << ": for " << path;
    return nullptr;
  }
  for (size_t i = 0; i < parsed.names.size(); ++i) {
    const bool last = i + 1 == parsed.names.size();
    Node* child = FakeChildOf(node, parsed.names[i]);
    if (child == nullptr) {
      auto made = NewFakeNode(parsed.names[i], last && !directory ? Kind::kFile : Kind::kDirectory);
      child = made.get();
      node->children[FakeKey(parsed.names[i])] = std::move(made);
    }
    if (!last && child->kind != Kind::kDirectory) {
      ADD_FAILURE() << "a file is in the way of " << path;
      return nullptr;
    }
    node = child;
  }
  return node;
}

void FakeMachine::MakeDirectory(const std::string& path) {
  Node* node = Make(path, /*directory=*/true);
  if (node != nullptr && node->kind != Kind::kDirectory) {
    ADD_FAILURE() << "a file is in the way of " << path;
  }
}

void FakeMachine::MakeFile(const std::string& path, const std::string& content, bool readonly) {
  Node* node = Make(path, /*directory=*/false);
  if (node == nullptr) return;
  if (node->kind == Kind::kDirectory) {
    ADD_FAILURE() << "a directory is in the way of " << path;
    return;
  }
  node->kind = Kind::kFile;
  node->content = content;
  node->readonly = readonly;
}

void FakeMachine::MakeLink(const std::string& path, const std::string& target) {
  Node* node = Make(path, /*directory=*/false);
  if (node == nullptr) return;
  node->kind = Kind::kLink;
  node->content = target;
  node->children.clear();
}

void FakeMachine::SetInUse(const std::string& path, bool in_use) {
  Node* node = FindText(path);
  if (node == nullptr) {
    ADD_FAILURE() << "no entry " << path;
    return;
  }
  node->in_use = in_use;
}

void FakeMachine::FailListing(const std::string& path, Win32Error error) {
  Node* node = FindText(path);
  if (node == nullptr) {
    ADD_FAILURE() << "no entry " << path;
    return;
  }
  node->list_error = error;
}

void FakeMachine::MarkHostRoot(const std::string& path) {
  Node* node = FindText(path);
  if (node == nullptr) {
    ADD_FAILURE() << "no entry " << path;
    return;
  }
  node->host_root = true;
}

bool FakeMachine::Exists(const std::string& path) const {
  return FindText(path) != nullptr;
}

bool FakeMachine::IsDirectory(const std::string& path) const {
  const Node* node = FindText(path);
  return node != nullptr && node->kind == Kind::kDirectory;
}

std::string FakeMachine::FileContent(const std::string& path) const {
  const Node* node = FindText(path);
  return node != nullptr && node->kind == Kind::kFile ? node->content : std::string();
}

std::vector<std::string> FakeMachine::Tree(const std::string& dir) const {
  std::vector<std::string> out;
  const Node* node = FindText(dir);
  if (node == nullptr || node->kind != Kind::kDirectory) return out;
  CollectTree(*node, "", &out);
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace tvx::testing
