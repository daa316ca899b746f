// The end of a process that has run out of memory.

#include <cstdio>
#include <cstdlib>

#include "framework/winapp.h"

void AfxThrowMemoryException() {
  // Nothing here may allocate: the line is a constant, standard error has no buffer of its own to
  // fill, and _Exit runs no exit-time destructor that could ask for memory again. A value that
  // was being built is abandoned with the process, so nothing goes on with half of it.
  static const char kLine[] = "tavox-uninstall: out of memory\n";
  (void)std::fputs(kLine, stderr);
  (void)std::fflush(stderr);
  std::_Exit(3);
}
