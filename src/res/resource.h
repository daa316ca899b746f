// String-table rows of the uninstaller.
#pragma once

#define IDS_APP_TITLE 0xE000
#define IDS_CONFIRM_PROMPT 0xE105
#define IDS_SECTION 0xE15A
#define IDS_DIRECTORY_KEY 0xE15B
#define IDS_DEFAULT_DIRECTORY 0xE15C
#define IDS_PROFILE_FILE 0xE15D
#define IDS_REGISTRY_KEY 0xE15E
#define IDS_COMMAND_KEY 0xE15F

#define IDI_APP_ICON 2
