#pragma once

// The GUI probe's wizard commands (see gui_probe.cpp):
//   wizard SCENARIO   the repair wizard over a repair service whose platform
//                     is scripted (no netsh, no network): each scenario
//                     leads it into one of its states; the wizard's view is
//                     logged as it changes ("wizard view ...")
//   ping CLASS SECS   sends the window of that class WM_NULL with a 2 s
//                     time-out every 200 ms, as the system does to tell a
//                     hung window; logs each answer's time

#include <string>

int RunWizard(const std::wstring& scenario);
int RunPing(const std::wstring& window_class, int seconds);
