// Names as a Windows program sees them: which host names it may see, and the Windows form of
// host paths.
#pragma once

#include <string>
#include <string_view>

#include "platform/machine.h"

namespace tvx::host {

/// True when a code page 1252 name can be shown to a Windows program: not empty, no control
/// character (C1 controls included), none of \ / : * ? " < > |, not ending in a dot or a blank.
bool IsShowableName(std::string_view name);

/// The code page 1252 form of a host (UTF-8) name; false when the name is invalid UTF-8, lacks
/// a code page 1252 form or cannot be shown (IsShowableName).
bool WindowsName(std::string_view host_name, std::string* name);

/// A host name in code page 1252 with "?" for every character that has no showable form, the
/// way the ANSI calls report a name they cannot represent.
std::string WindowsNameLossy(std::string_view host_name);

/// The host (UTF-8) form of a code page 1252 name.
std::string HostName(std::string_view name);

/// "C:\", "C:\A\B", "\\?\unix\tmp": the text of a path, for programs that need it spelled out.
std::string FormatPath(const MachinePath& path);

}  // namespace tvx::host
