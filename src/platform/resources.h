// The running module's string table, which LoadStringA reads. The program's resources register
// themselves here during static initialisation, as a Windows image carries them in its file.
#pragma once

#include <cstddef>

namespace tvx {

struct StringResource {
  unsigned int id;
  const char* text;  // code page 1252
};

/// Makes `rows` (which must outlive the process) the string table of the running module. A later
/// call replaces the table; tests use that to run without some rows.
void RegisterStringTable(const StringResource* rows, size_t count);

}  // namespace tvx
