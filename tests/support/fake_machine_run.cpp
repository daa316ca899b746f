// The fake machine's start-up facts, programs on its clock, the user, the registry and the record
// of calls.
#include <gtest/gtest.h>

#include "platform/base/codepage.h"
#include "platform/windows.h"
#include "tests/support/fake_machine_internal.h"

namespace tvx::testing {

void FakeMachine::Record(const std::string& method, const std::string& argument) {
  calls.push_back(argument.empty() ? method : method + " " + argument);
}

std::vector<std::string> FakeMachine::CallsOf(const std::string& method) const {
  std::vector<std::string> out;
  for (const std::string& call : calls) {
    if (call == method) {
      out.emplace_back();
    } else if (call.size() > method.size() && call.compare(0, method.size(), method) == 0 &&
               call[method.size()] == ' ') {
      out.push_back(call.substr(method.size() + 1));
    }
  }
  return out;
}

void FakeMachine::SetStartDirectory(const std::string& path) {
  start_directory_ = path;
}
void FakeMachine::SetModuleFileName(const std::string& path) {
  module_file_name_ = path;
}

void FakeMachine::SetRegistryText(const std::string& text) {
  has_registry_ = true;
  registry_text_ = text;
}

bool FakeMachine::HasDrive(char letter) {
  const char drive = static_cast<char>(cp1252::Upper(static_cast<unsigned char>(letter)));
  Record("HasDrive", std::string(1, drive));
  return drives_.count(drive) != 0;
}

std::string FakeMachine::StartDirectory() {
  Record("StartDirectory");
  return start_directory_;
}

std::string FakeMachine::ModuleFileName() {
  Record("ModuleFileName");
  return module_file_name_;
}

bool FakeMachine::IsHostRoot(const MachinePath& path) {
  Record("IsHostRoot", ToString(path));
  Win32Error error = 0;
  const Node* node = Find(path, &error);
  return node != nullptr && (path.IsRoot() || node->host_root);
}

bool FakeMachine::ReadRegistryText(std::string* text) {
  Record("ReadRegistryText");
  if (!has_registry_) return false;
  *text = registry_text_;
  return true;
}

void FakeMachine::AddProgram(const std::string& path, Program program) {
  MakeFile(path);
  Node* node = FindText(path);
  if (node != nullptr) node->program = std::make_unique<Program>(std::move(program));
}

Win32Error FakeMachine::StartProcess(const MachinePath& image, const std::string& command_line,
                                     const MachinePath& directory, ProcessId* process) {
  Record("StartProcess", command_line);
  if (start_error != 0) return start_error;
  Win32Error error = 0;
  const Node* file = Find(image, &error);
  if (file == nullptr) return error;
  if (file->program == nullptr) return ERROR_BAD_EXE_FORMAT;
  const Node* dir = Find(directory, &error);
  if (dir == nullptr || dir->kind != Node::Kind::kDirectory) return ERROR_DIRECTORY;
  started.push_back({ToString(image), command_line, ToString(directory)});
  *process = next_process_++;
  processes_[*process] = new Process{*file->program, now_ms};
  // The program's own actions come last: they may change the tree, this node included.
  const Program& program = processes_[*process]->program;
  if (program.on_start) program.on_start(*this);
  return ERROR_SUCCESS;
}

bool FakeMachine::WaitProcess(ProcessId process, uint32_t milliseconds) {
  Record("WaitProcess", std::to_string(milliseconds));
  auto it = processes_.find(process);
  if (it == processes_.end()) return false;
  const Process& p = *it->second;
  const uint64_t end_ms = p.start_ms + p.program.runs_for_ms;
  if (!p.program.never_ends && now_ms >= end_ms) return true;
  if (p.program.never_ends || now_ms + milliseconds < end_ms) {
    now_ms += milliseconds;
    return false;
  }
  now_ms = end_ms;
  return true;
}

bool FakeMachine::ProcessExitCode(ProcessId process, uint32_t* code) {
  Record("ProcessExitCode");
  auto it = processes_.find(process);
  if (it == processes_.end() || it->second->program.exit_code_query_fails) return false;
  const Process& p = *it->second;
  const bool running = p.program.never_ends || now_ms < p.start_ms + p.program.runs_for_ms;
  *code = running ? STILL_ACTIVE : p.program.exit_code;
  return true;
}

void FakeMachine::CloseProcess(ProcessId process) {
  Record("CloseProcess");
  auto it = processes_.find(process);
  if (it == processes_.end()) return;
  delete it->second;
  processes_.erase(it);
}

int FakeMachine::AskQuestion(const std::string& caption, const std::string& text, uint32_t type) {
  Record("AskQuestion", text);
  questions.push_back({caption, text, type});
  if (answers.empty()) return 0;
  const int answer = answers.front();
  answers.erase(answers.begin());
  return answer;
}

void FakeMachine::Beep(uint32_t type) {
  Record("Beep", std::to_string(type));
  beeps.push_back(type);
}

}  // namespace tvx::testing
