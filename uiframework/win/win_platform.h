#pragma once

// Installs the Win32 side of the portable framework's hooks: module
// resources and file names, the system's ANSI code page as the narrow-text
// codec, the default GUI font as the base of every font description, and
// the program instance for the skin resource settings. Call once on the UI
// thread before the first window is created.

#include <windows.h>

namespace Veneer {

void InstallWin32Platform(HINSTANCE instance);

}  // namespace Veneer
