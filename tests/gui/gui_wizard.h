#pragma once

// The GUI probe's wizard commands (see gui_probe.cpp):
//   wizard SCENARIO [TRIGGER]
//                     the repair wizard over a repair service whose platform
//                     is scripted (no netsh, no network): each scenario
//                     leads it into one of its states; the wizard's view is
//                     logged as it changes ("wizard view ...", the picker's
//                     entries "wizard picker ..."). When the file TRIGGER
//                     appears it holds a DPI: the window is sent
//                     WM_DPICHANGED for it, as by a move to another screen
//   ping CLASS SECS   sends the window of that class WM_NULL with a 2 s
//                     time-out every 200 ms, as the system does to tell a
//                     hung window; logs each answer's time

#include <string>

int RunWizard(const std::wstring& scenario, const std::wstring& dpi_trigger);
int RunPing(const std::wstring& window_class, int seconds);
