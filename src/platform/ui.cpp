// The message box, the beep and the error mode. The machine shows the box and plays the beep; the
// platform supplies what the real calls decide themselves (the default caption, the error mode
// kept for the process).
//
// Choices where the real platform's behaviour is not known or cannot apply here:
// - There are no windows, so the owner window of a message box is ignored.
// - A box that cannot be shown returns 0 with ERROR_NOT_READY as the last error.
// - The error mode only records the process's choice: this machine never shows an error box,
//   whatever the mode, and a started program gets no mode of ours.
#include <mutex>
#include <string>

#include "platform/machine.h"
#include "platform/windows.h"

namespace tvx::platform {
namespace {

class ErrorMode {
 public:
  UINT Set(UINT mode) {
    std::lock_guard lock(mutex_);
    if (generation_ != MachineGeneration()) {
      mode_ = 0;
      generation_ = MachineGeneration();
    }
    const UINT previous = mode_;
    // Once set, the alignment-fault flag cannot be cleared again.
    mode_ = mode | (previous & SEM_NOALIGNMENTFAULTEXCEPT);
    return previous;
  }

 private:
  std::mutex mutex_;
  UINT mode_ = 0;
  uint64_t generation_ = 0;
};

ErrorMode& ProcessErrorMode() {
  static ErrorMode* mode = new ErrorMode;  // never destroyed: usable during process exit
  return *mode;
}

}  // namespace
}  // namespace tvx::platform

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
  (void)hWnd;
  const std::string caption = lpCaption != nullptr ? lpCaption : "Error";
  const std::string text = lpText != nullptr ? lpText : "";
  const int answer = tvx::CurrentMachine().AskQuestion(caption, text, uType);
  if (answer == 0) SetLastError(ERROR_NOT_READY);
  return answer;
}

BOOL WINAPI MessageBeep(UINT uType) {
  tvx::CurrentMachine().Beep(uType);
  return TRUE;
}

UINT WINAPI SetErrorMode(UINT uMode) {
  return tvx::platform::ProcessErrorMode().Set(uMode);
}
