// The executable's icon: icon group IDI_APP_ICON, two 16-colour images of 32x32 and 16x16
// pixels. The program shows it nowhere; it is carried for the shell, as a Windows executable
// carries its icon resource.
#pragma once

#include <span>

#include "res/resource.h"

namespace tvx::res {

/// The icon group's identifier.
constexpr unsigned kAppIconGroup = IDI_APP_ICON;

/// The bytes of the icon as an .ico file: its directory followed by the images.
std::span<const unsigned char> AppIconFile();

}  // namespace tvx::res
