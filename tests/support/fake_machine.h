// A machine in memory for unit tests: a tree of drives, directories and files with the machine's
// rules (case ignored with code page 1252's mapping, read-only files, links never followed), a
// clock that only the waits move, scripted programs and answers, injected faults, and an ordered
// record of every call the platform made of it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/machine.h"

namespace tvx::testing {

class FakeMachine : public Machine {
 public:
  /// One drive C holding C:\windows; the start directory is C:\.
  FakeMachine();
  ~FakeMachine() override;

  // --- Building the machine. Paths are absolute Windows paths ("C:\TAVOX\A.TXT").
  void AddDrive(char letter);
  /// Makes the directory and every missing parent.
  void MakeDirectory(const std::string& path);
  /// Makes (or overwrites) a file, and its missing parents.
  void MakeFile(const std::string& path, const std::string& content = "", bool readonly = false);
  /// Makes a symbolic link entry; `target` is only remembered, never followed.
  void MakeLink(const std::string& path, const std::string& target);
  /// DeleteFile of this file gives ERROR_SHARING_VIOLATION while set.
  void SetInUse(const std::string& path, bool in_use = true);
  /// List of this directory gives `error` while set (0 clears it).
  void FailListing(const std::string& path, Win32Error error = 5);
  /// Makes IsHostRoot true for this directory (as if a drive or "/" were mapped there).
  void MarkHostRoot(const std::string& path);
  void SetStartDirectory(const std::string& path);
  void SetModuleFileName(const std::string& path);
  /// The hive text ReadRegistryText gives; without a call there is none.
  void SetRegistryText(const std::string& text);

  // --- Looking at it.
  bool Exists(const std::string& path) const;
  bool IsDirectory(const std::string& path) const;
  std::string FileContent(const std::string& path) const;
  /// Every path below `dir`, relative to it, in the case stored, sorted, directories with a
  /// trailing "\": {"A.TXT", "SUB\", "SUB\B.TXT"}.
  std::vector<std::string> Tree(const std::string& dir) const;

  // --- Programs: a file the machine can start, and what it does when started.
  struct Program {
    uint32_t exit_code = 0;
    uint64_t runs_for_ms = 0;            // ends this long after its start, on the fake clock
    bool never_ends = false;             // still running whatever the wait
    bool exit_code_query_fails = false;  // ProcessExitCode returns false
    std::function<void(FakeMachine&)> on_start;  // runs when it starts (may change the tree)
  };
  /// Makes the file at `path` and lets StartProcess run it as `program`.
  void AddProgram(const std::string& path, Program program);
  struct Started {
    std::string image;         // ToString of the image path
    std::string command_line;  // exactly as given
    std::string directory;     // ToString of the start directory
  };
  std::vector<Started> started;
  /// StartProcess of any image fails with this error while set.
  Win32Error start_error = 0;

  // --- The user.
  /// Answers AskQuestion gives, first to last; when none is left, it gives 0 (no box).
  std::vector<int> answers;
  struct Question {
    std::string caption;
    std::string text;
    uint32_t type;
  };
  std::vector<Question> questions;
  std::vector<uint32_t> beeps;

  // --- Time: the fake clock in milliseconds; only WaitProcess moves it.
  uint64_t now_ms = 0;

  /// Every call made of the machine, in order: the method's name, a blank and its path or
  /// argument: "List C:\TAVOX", "DeleteFile C:\TAVOX\A.TXT", "RemoveDirectory C:\TAVOX\SUB",
  /// "Stat C:\X", "ReadFile C:\windows\tavox.ini", "ReplaceFile ...", "ReadRegistryText",
  /// "StartProcess <command line>", "WaitProcess 5000", "ProcessExitCode", "CloseProcess",
  /// "AskQuestion <text>", "Beep 0", "HasDrive C".
  std::vector<std::string> calls;
  /// The calls whose name is `method`, with their arguments only.
  std::vector<std::string> CallsOf(const std::string& method) const;

  // --- Machine.
  bool HasDrive(char letter) override;
  std::string StartDirectory() override;
  std::string ModuleFileName() override;
  bool IsHostRoot(const MachinePath& path) override;
  Win32Error Stat(const MachinePath& path, EntryInfo* info) override;
  Win32Error List(const MachinePath& dir, Listing* entries) override;
  using Machine::List;
  Win32Error DeleteFile(const MachinePath& path) override;
  Win32Error RemoveDirectory(const MachinePath& path) override;
  Win32Error ReadFile(const MachinePath& path, std::string* bytes) override;
  Win32Error ReplaceFile(const MachinePath& path, const std::string& bytes) override;
  bool ReadRegistryText(std::string* text) override;
  Win32Error StartProcess(const MachinePath& image, const std::string& command_line,
                          const MachinePath& directory, ProcessId* process) override;
  bool WaitProcess(ProcessId process, uint32_t milliseconds) override;
  bool ProcessExitCode(ProcessId process, uint32_t* code) override;
  void CloseProcess(ProcessId process) override;
  int AskQuestion(const std::string& caption, const std::string& text, uint32_t type) override;
  void Beep(uint32_t type) override;

  struct Node;

 private:
  Node* Find(const MachinePath& path, Win32Error* error) const;
  Node* FindText(const std::string& path) const;
  Node* Root(const MachinePath& path) const;
  /// The node at `path`, made with its missing parents; null (and a test failure) when a file
  /// or a missing drive is in the way.
  Node* Make(const std::string& path, bool directory);
  void Record(const std::string& method, const std::string& argument = "");

  std::map<char, Node*> drives_;
  std::map<std::string, Node*> shares_;  // UNC roots by their upper-cased text, made on demand
  std::string start_directory_ = "C:\\";
  std::string module_file_name_ = "C:\\tavox-uninstall.exe";
  bool has_registry_ = false;
  std::string registry_text_;
  struct Process;
  std::map<ProcessId, Process*> processes_;
  ProcessId next_process_ = 1;
};

}  // namespace tvx::testing
