#pragma once

// Installs the Win32 side of the portable framework's hooks: module
// resources and file names, the system's ANSI code page as the narrow-text
// codec, the default GUI font (its height in 96-DPI pixels, as every font
// of a skin) as the base of every font description, and the program
// instance for the skin resource settings. Call once on the UI thread
// before the first window is created.

#include <windows.h>

namespace Veneer {

void InstallWin32Platform(HINSTANCE instance);

// The DPI `window` is shown at: GetDpiForWindow where the system has it
// (Windows 10 1607 on; looked up at run time), else the system's DPI.
// Any thread.
int GetWindowDpi(HWND window);

}  // namespace Veneer
