#pragma once

// Finding the wired adapters that may lead to the box, and the connection
// name (the name shown in the system's network settings) of the one chosen.
// Runs on the repair thread; the results are stored by the caller.

#include <cstdint>
#include <string>

#include "repair/adapter_info.h"
#include "repair/system_seams.h"

namespace repair {

inline constexpr int32_t kAdapterTableSize = 8;

// The class key of network adapters under the machine root.
inline constexpr char kNetworkClassKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\Network\\{4D36E972-E325-11CE-BFC1-08002BE10318}";

// "%02X-%02X-%02X-%02X-%02X-%02X" of the first six bytes, whatever the
// record's address length says.
std::string FormatHardwareAddress(const IP_ADAPTER_INFO& adapter);

// True when the description contains one of the filter words
// (case-sensitive substrings: PPP, TAP, BM Win32, Virtual, Bluetooth, VPN,
// Wireless, Loopback).
bool HasFilteredDescription(const std::string& description);

// True when the adapter passes the description filter and its hardware
// address is not one of the excluded ones.
bool IsCandidateAdapter(const IP_ADAPTER_INFO& adapter);

// Enumerates the adapters (one retry with the size the platform asks for)
// and appends every candidate to `table` at index *count, incrementing
// *count. The table is not cleared; it holds kAdapterTableSize records and
// candidates beyond that are logged and dropped. False, with the platform's
// error logged, when the enumeration fails; the table then gets nothing.
bool EnumerateAdapters(AdapterSource& source, IP_ADAPTER_INFO (&table)[kAdapterTableSize], int32_t* count);

// "<class key>\<AdapterName>\Connection", cut to 255 characters.
std::string ConnectionKeyPath(const IP_ADAPTER_INFO& adapter);

// Reads the connection name of `adapter` from the registry. On success
// replaces *name and returns true; otherwise logs the cause and leaves
// *name unchanged.
bool FindConnectionName(RegistryReader& registry, const IP_ADAPTER_INFO& adapter, std::wstring* name);

}  // namespace repair
