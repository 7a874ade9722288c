#include "repair/adapter_watch.h"

#include <algorithm>

#include "repair/repair_journal.h"
#include "repair/repair_procedure.h"

namespace repair {

bool HoldsAddress(const AdapterState& state, const std::string& address, int prefix_length, bool require_usable) {
  return std::any_of(state.addresses.begin(), state.addresses.end(), [&](const Ipv4Address& held) {
    return held.address == address && held.prefix_length == prefix_length && (held.usable || !require_usable);
  });
}

bool IsRestored(const AdapterState& state, const AdapterSettings& before) {
  const bool recovery_left = HoldsAddress(state, kRecoveryAddress, kRecoveryPrefixLength, false);
  // Not the DHCP flag: some systems report it wrong (Wine's adapter list
  // never sets it), and the recovery address gone is what matters.
  if (before.dhcp) return !recovery_left;
  const int prefix = MaskPrefixLength(before.mask);
  if (!HoldsAddress(state, before.address, prefix, false)) return false;
  if (recovery_left && before.address != kRecoveryAddress) return false;
  const bool gateway_wanted = !before.gateway.empty() && before.gateway != "0.0.0.0";
  return !gateway_wanted ||
         std::find(state.gateways.begin(), state.gateways.end(), before.gateway) != state.gateways.end();
}

}  // namespace repair
