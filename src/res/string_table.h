// The program's string table: the rows that carry the title, the prompt and the setting names.
#pragma once

#include <cstddef>

#include "platform/resources.h"

namespace tvx::res {

/// The program's rows, in ascending order of their identifiers.
const StringResource* StringRows();
size_t StringRowCount();

/// Makes the program's rows the running module's string table, as they are from static
/// initialisation on. Tests that replaced the table call it to put the rows back.
void RegisterStrings();

}  // namespace tvx::res
