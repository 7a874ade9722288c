#pragma once

// What the repair checks on an adapter's state instead of trusting the
// commands that change it.
//
// Any thread; no state.

#include <string>

#include "repair/repair_failure.h"
#include "repair/system_seams.h"

namespace repair {

// Whether the adapter holds `address` with `prefix_length`; with
// `require_usable`, only once the system lets it carry traffic.
bool HoldsAddress(const AdapterState& state, const std::string& address, int prefix_length, bool require_usable);

// Whether the adapter is back on `before`: without the recovery address
// (DHCP), or on its static address and mask again (and its gateway, when it
// had one) without the recovery address.
bool IsRestored(const AdapterState& state, const AdapterSettings& before);

}  // namespace repair
