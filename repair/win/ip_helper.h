#pragma once

// The IP helper's functions. Windows does not always take the IP helper
// library from the system folder, so the program does not import it: it is
// loaded from there at run time, on first use.
//
// To add a function: a member below and one line in IpHelper().

#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

namespace repair {

struct IpHelperFunctions {
  // Null when the library or the function could not be had (logged once).
  decltype(&::GetAdaptersInfo) get_adapters_info = nullptr;
};

// Any thread; loaded once.
const IpHelperFunctions& IpHelper();

}  // namespace repair
