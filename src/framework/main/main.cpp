// The program's entry point: the framework's main routine.

#include <new>

#include "framework/winapp.h"

int main() {
  // Any allocation that fails, in the framework, the system or the platform beneath them, ends
  // the process the same way as the framework's own string class and list do.
  (void)std::set_new_handler(&AfxThrowMemoryException);
  // The program takes no arguments and opens no window, so neither is passed on.
  static char no_arguments[] = "";
  return AfxWinMain(GetModuleHandleA(nullptr), /*previous=*/nullptr, no_arguments, SW_SHOW);
}
