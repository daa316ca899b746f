// The program's string table, registered with the platform while statics are initialised, as a
// Windows executable carries its table in its file and has it from the first instruction on.

#include "res/string_table.h"

#include <iterator>

#include "res/resource.h"

namespace tvx::res {

namespace {

constexpr StringResource kRows[] = {
    {IDS_APP_TITLE, "Uninstall All Tavox Lumerands"},
    {IDS_CONFIRM_PROMPT,
     "Are you sure you want to uninstall all of the Tavox Lumerands previously installed on this "
     "machine?  (note: if you answer yes, you will be prompted to reconfirm by Uninstallshield)"},
    {IDS_SECTION, "TAVOX_INFO"},
    {IDS_DIRECTORY_KEY, "TavoxDirectory"},
    {IDS_DEFAULT_DIRECTORY, "C:\\TAVOX"},
    {IDS_PROFILE_FILE, "tavox.ini"},
    {IDS_REGISTRY_KEY, "SOFTWARE\\TAVOX"},
    {IDS_COMMAND_KEY, "UninstallString"},
};

// Runs during static initialisation; the object library is linked whole, so nothing needs to
// name it for it to run.
[[maybe_unused]] const bool kRegistered = (RegisterStrings(), true);

}  // namespace

const StringResource* StringRows() {
  return kRows;
}

size_t StringRowCount() {
  return std::size(kRows);
}

void RegisterStrings() {
  RegisterStringTable(kRows, std::size(kRows));
}

}  // namespace tvx::res
