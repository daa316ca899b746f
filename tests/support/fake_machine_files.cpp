// The fake machine's file operations, with the rules of the host machine: names compared
// ignoring case with code page 1252's mapping, read-only files refused, links never followed.
#include "platform/windows.h"
#include "tests/support/fake_machine_internal.h"

namespace tvx::testing {
namespace {

using Kind = FakeMachine::Node::Kind;

void Fill(const FakeMachine::Node& node, EntryInfo* info) {
  info->name = node.name;
  info->directory = node.kind == Kind::kDirectory;
  info->readonly = node.readonly;
  info->link = node.kind == Kind::kLink;
  info->size = node.kind == Kind::kFile ? node.content.size() : 0;
  info->write_time = node.write_time;
}

}  // namespace

Win32Error FakeMachine::Stat(const MachinePath& path, EntryInfo* info) {
  Record("Stat", ToString(path));
  Win32Error error = 0;
  const Node* node = Find(path, &error);
  if (node == nullptr) return error;
  Fill(*node, info);
  return ERROR_SUCCESS;
}

Win32Error FakeMachine::List(const MachinePath& dir, Listing* entries) {
  Record("List", ToString(dir));
  Win32Error error = 0;
  const Node* node = Find(dir, &error);
  if (node == nullptr || node->kind != Kind::kDirectory) return ERROR_PATH_NOT_FOUND;
  if (node->list_error != 0) return node->list_error;
  entries->Clear();
  for (const auto& [key, child] : node->children) {
    EntryInfo info;
    Fill(*child, &info);
    if (!entries->Add(info)) return ERROR_NOT_ENOUGH_MEMORY;
  }
  return ERROR_SUCCESS;
}

Win32Error FakeMachine::DeleteFile(const MachinePath& path) {
  Record("DeleteFile", ToString(path));
  Win32Error error = 0;
  const Node* node = Find(path, &error);
  if (node == nullptr) return error;
  if (path.IsRoot() || node->kind == Kind::kDirectory || node->readonly) {
    return ERROR_ACCESS_DENIED;
  }
  if (node->in_use) return ERROR_SHARING_VIOLATION;
  Find(path.Parent(), &error)->children.erase(FakeKey(path.names.back()));
  return ERROR_SUCCESS;
}

Win32Error FakeMachine::RemoveDirectory(const MachinePath& path) {
  Record("RemoveDirectory", ToString(path));
  Win32Error error = 0;
  const Node* node = Find(path, &error);
  if (node == nullptr) return error;
  if (path.IsRoot()) return ERROR_ACCESS_DENIED;
  if (node->kind != Kind::kDirectory) return ERROR_DIRECTORY;
  if (!node->children.empty()) return ERROR_DIR_NOT_EMPTY;
  Find(path.Parent(), &error)->children.erase(FakeKey(path.names.back()));
  return ERROR_SUCCESS;
}

Win32Error FakeMachine::ReadFile(const MachinePath& path, std::string* bytes) {
  Record("ReadFile", ToString(path));
  Win32Error error = 0;
  const Node* node = Find(path, &error);
  if (node == nullptr) return error;
  if (node->kind != Kind::kFile) return ERROR_ACCESS_DENIED;
  *bytes = node->content;
  return ERROR_SUCCESS;
}

Win32Error FakeMachine::ReplaceFile(const MachinePath& path, const std::string& bytes) {
  Record("ReplaceFile", ToString(path));
  if (path.IsRoot()) return ERROR_ACCESS_DENIED;
  Win32Error error = 0;
  Node* dir = Find(path.Parent(), &error);
  if (dir == nullptr || dir->kind != Kind::kDirectory) return ERROR_PATH_NOT_FOUND;
  Node* node = FakeChildOf(dir, path.names.back());
  // As on the host, only a plain writable file is replaced: never a directory or a link.
  if (node != nullptr && (node->kind != Kind::kFile || node->readonly)) {
    return ERROR_ACCESS_DENIED;
  }
  if (node == nullptr) {
    auto made = NewFakeNode(path.names.back(), Kind::kFile);
    node = made.get();
    dir->children[FakeKey(path.names.back())] = std::move(made);
  }
  node->content = bytes;
  return ERROR_SUCCESS;
}

}  // namespace tvx::testing
