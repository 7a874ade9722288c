#include "repair/adapter_discovery.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "fake_system.h"

namespace repair {
namespace {

using fakes::FakeAdapterSource;
using fakes::FakeRegistry;
using fakes::kMac1;
using fakes::LogCapture;
using fakes::MakeAdapter;

TEST(AdapterDiscovery, FormatsTheFirstSixAddressBytes) {
  struct Case {
    std::vector<uint8_t> mac;
    const char* text;
  } cases[] = {
      {{0x0A, 0xBC, 0x01, 0x02, 0x03, 0x04}, "0A-BC-01-02-03-04"},
      {{0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA, 0x99, 0x88}, "FF-EE-DD-CC-BB-AA"},
      {{0x00, 0x53, 0x45}, "00-53-45-00-00-00"},
  };
  for (const Case& c : cases) {
    IP_ADAPTER_INFO adapter = MakeAdapter("{A}", "Ethernet", c.mac);
    adapter.AddressLength = 2;  // ignored: six bytes are always formatted
    EXPECT_EQ(FormatHardwareAddress(adapter), c.text);
  }
}

TEST(AdapterDiscovery, CandidateFilter) {
  struct Case {
    const char* description;
    std::vector<uint8_t> mac;
    bool candidate;
  } cases[] = {
      {"Intel(R) Ethernet Connection I219-V", kMac1, true},
      {"Realtek PCIe GbE Family Controller", kMac1, true},
      {"TAP-Windows Adapter V9", kMac1, false},
      {"Some Ethernet TAP", kMac1, false},
      {"tap adapter in lower case", kMac1, true},
      {"Hyper-V Virtual Ethernet Adapter", kMac1, false},
      {"a virtual adapter in lower case", kMac1, true},
      {"WAN Miniport (PPP)", kMac1, false},
      {"IBM Win32 Adapter", kMac1, false},
      {"Bluetooth Device (Personal Area Network)", kMac1, false},
      {"Cisco AnyConnect VPN Virtual Miniport", kMac1, false},
      {"Intel(R) Wireless-AC 9560", kMac1, false},
      {"Microsoft KM-TEST Loopback Adapter", kMac1, false},
      {"Realtek PCIe GbE Family Controller", {0x00, 0x53, 0x45, 0x00, 0x00, 0x00}, false},
      {"Realtek PCIe GbE Family Controller", {0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, false},
      {"Realtek PCIe GbE Family Controller", {0x00, 0x53, 0x45, 0x00, 0x00, 0x01}, true},
      // Bytes after the sixth do not count.
      {"Realtek PCIe GbE Family Controller", {0, 0, 0, 0, 0, 0, 0x12, 0x34}, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsCandidateAdapter(MakeAdapter("{A}", c.description, c.mac)), c.candidate)
        << c.description << " " << c.mac.size();
  }
}

TEST(AdapterDiscovery, DescriptionWithoutTerminatorIsReadWithinItsField) {
  IP_ADAPTER_INFO adapter = MakeAdapter("{A}", "", kMac1);
  std::memset(adapter.Description, 'x', sizeof(adapter.Description));
  // The bytes right after the field spell a filter word; they must not be
  // read as part of the description.
  static_assert(offsetof(IP_ADAPTER_INFO, AddressLength) ==
                offsetof(IP_ADAPTER_INFO, Description) + sizeof(adapter.Description));
  std::memcpy(&adapter.AddressLength, "TAP", 4);
  EXPECT_EQ(FieldText(adapter.Description), std::string(sizeof(adapter.Description), 'x'));
  EXPECT_TRUE(IsCandidateAdapter(adapter));
}

TEST(AdapterDiscovery, EnumerationFillsTheTableInOrder) {
  struct Case {
    const char* name;
    std::vector<IP_ADAPTER_INFO> records;
    std::vector<std::string> expected_names;
    size_t expected_calls;
  } cases[] = {
      {"one adapter fits the first buffer", {MakeAdapter("{A}", "Ethernet", kMac1)}, {"{A}"}, 1},
      {"several adapters need the retry",
       {MakeAdapter("{A}", "Ethernet", kMac1), MakeAdapter("{B}", "TAP-Windows", kMac1),
        MakeAdapter("{C}", "Ethernet 2", kMac1)},
       {"{A}", "{C}"},
       2},
      {"only filtered adapters",
       {MakeAdapter("{A}", "Wireless", kMac1), MakeAdapter("{B}", "Ethernet", {0, 0, 0, 0, 0, 0})},
       {},
       2},
  };
  for (const Case& c : cases) {
    FakeAdapterSource source;
    source.records = c.records;
    IP_ADAPTER_INFO table[kAdapterTableSize] = {};
    int32_t count = 0;
    EXPECT_TRUE(EnumerateAdapters(source, table, &count)) << c.name;
    ASSERT_EQ(count, static_cast<int32_t>(c.expected_names.size())) << c.name;
    for (int32_t i = 0; i < count; ++i) {
      EXPECT_EQ(FieldText(table[i].AdapterName), c.expected_names[i]) << c.name;
      EXPECT_EQ(table[i].Next, nullptr) << "stored copies must not point into the freed list";
    }
    ASSERT_EQ(source.sizes_offered.size(), c.expected_calls) << c.name;
    EXPECT_EQ(source.sizes_offered[0], sizeof(IP_ADAPTER_INFO));
    if (c.expected_calls == 2) {
      EXPECT_EQ(source.sizes_offered[1], c.records.size() * sizeof(IP_ADAPTER_INFO));
    }
  }
}

TEST(AdapterDiscovery, EnumerationFailureIsLoggedAndAddsNothing) {
  struct Case {
    const char* name;
    uint32_t error;
    uint32_t overflow_size;
    const char* line;
  } cases[] = {
      {"no adapters at all", 0, 0, "Get Default adpter failed 232"},
      {"platform error", 1168, 0, "Get Default adpter failed 1168"},
      {"second call still too small", 0, 10, "Get Default adpter failed 111"},
  };
  for (const Case& c : cases) {
    LogCapture log;
    FakeAdapterSource source;
    source.error = c.error;
    source.overflow_size = c.overflow_size;
    if (c.overflow_size) {
      source.records = {MakeAdapter("{A}", "Ethernet", kMac1), MakeAdapter("{B}", "Ethernet", kMac1)};
    }
    IP_ADAPTER_INFO table[kAdapterTableSize] = {};
    int32_t count = 0;
    EXPECT_FALSE(EnumerateAdapters(source, table, &count)) << c.name;
    EXPECT_EQ(count, 0) << c.name;
    EXPECT_LE(source.sizes_offered.size(), 2u) << "one retry at most";
    EXPECT_EQ(log.Messages(), std::vector<std::string>{c.line}) << c.name;
  }
}

TEST(AdapterDiscovery, TableStopsAtEightAndIsNotCleared) {
  LogCapture log;
  FakeAdapterSource source;
  for (int i = 0; i < 10; ++i) {
    std::string name = "{" + std::to_string(i) + "}";
    source.records.push_back(MakeAdapter(name.c_str(), "Ethernet", kMac1));
  }
  IP_ADAPTER_INFO table[kAdapterTableSize] = {};
  int32_t count = 0;
  EXPECT_TRUE(EnumerateAdapters(source, table, &count));
  EXPECT_EQ(count, 8);
  EXPECT_EQ(FieldText(table[7].AdapterName), "{7}");
  EXPECT_EQ(log.Messages().size(), 2u) << "each dropped candidate is logged";

  // A second enumeration appends; with the table full nothing more is kept.
  count = 6;
  EXPECT_TRUE(EnumerateAdapters(source, table, &count));
  EXPECT_EQ(count, 8);
  EXPECT_EQ(FieldText(table[5].AdapterName), "{5}");
  EXPECT_EQ(FieldText(table[6].AdapterName), "{0}");
  EXPECT_EQ(FieldText(table[7].AdapterName), "{1}");
}

TEST(AdapterDiscovery, ConnectionKeyPath) {
  EXPECT_EQ(ConnectionKeyPath(MakeAdapter("{1234-AB}", "Ethernet", kMac1)),
            "SYSTEM\\CurrentControlSet\\Control\\Network\\"
            "{4D36E972-E325-11CE-BFC1-08002BE10318}\\{1234-AB}\\Connection");
  IP_ADAPTER_INFO long_name = MakeAdapter("", "Ethernet", kMac1);
  std::memset(long_name.AdapterName, 'n', sizeof(long_name.AdapterName));  // no terminator
  std::string path = ConnectionKeyPath(long_name);
  EXPECT_EQ(path.size(), 255u);
  EXPECT_EQ(path.substr(0, sizeof(kNetworkClassKey)), std::string(kNetworkClassKey) + "\\");
}

TEST(AdapterDiscovery, FindConnectionName) {
  struct Case {
    const char* name;
    bool key;
    bool value;
    bool found;
    const char* line;
  } cases[] = {
      {"found", true, true, true, nullptr},
      {"no Connection subkey", false, false, false, "[AccService::FindIfNameByIntanceId] read registry path fail"},
      {"no usable Name value", true, false, false, "[AccService::FindIfNameByIntanceId] read Name fail"},
  };
  for (const Case& c : cases) {
    LogCapture log;
    FakeRegistry registry;
    registry.AddConnection("{GUID-1}", L"Ethernet 2");
    if (!c.key) registry.keys.clear();
    if (!c.value) registry.values.clear();
    std::wstring name = L"previous";
    EXPECT_EQ(FindConnectionName(registry, MakeAdapter("{GUID-1}", "Ethernet", kMac1), &name), c.found) << c.name;
    EXPECT_EQ(name, c.found ? L"Ethernet 2" : L"previous") << c.name;
    std::vector<std::string> expected;
    if (c.line) expected.push_back(c.line);
    EXPECT_EQ(log.Messages(), expected) << c.name;
  }
}

}  // namespace
}  // namespace repair
