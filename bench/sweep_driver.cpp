// Times the selective pass alone: sweeps one directory of the machine that WINEPREFIX names, as the
// uninstall sequence's first pass does, with an empty uninstall command.
//
//   WINEPREFIX=PREFIX bench-sweep-driver [PATH]    (PATH defaults to C:\BENCH)
//
// Like the program, it should be started in the prefix's drive_c, so that C:\ is current.
#include "app/uninstall_app.h"

int main(int argc, char** argv) {
  const CString strPath = argc > 1 ? argv[1] : "C:\\BENCH";
  // The application object is only the owner of the sweep's operations; the platform's machine
  // is set up from the environment on first use.
  CUninstallApp app;
  app.SweepDirectory(strPath, /*command=*/CString(), SWEEP_SELECTIVE);
  return 0;
}
