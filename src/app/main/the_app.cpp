#include "app/uninstall_app.h"

// The one application object; constructing it is how the framework's main finds the program.
CUninstallApp theApp;
