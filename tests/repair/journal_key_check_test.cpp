// Which registry keys the journal may be taken from.

#include "repair/journal_key_check.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace repair {
namespace {

using Kind = KeyAccessEntry::Kind;

constexpr uint32_t kFullControl = 0xF003F;  // KEY_ALL_ACCESS
constexpr uint32_t kRead = 0x20019;         // KEY_READ

// The key as the program makes it.
KeySecurity Own() {
  KeySecurity key;
  key.owner = KeyTrustee::kAdministrators;
  key.has_access_list = true;
  key.access_list_protected = true;
  key.entries = {{Kind::kAllow, KeyTrustee::kSystem, kFullControl},
                 {Kind::kAllow, KeyTrustee::kAdministrators, kFullControl}};
  return key;
}

KeySecurity OwnWith(const std::function<void(KeySecurity&)>& change) {
  KeySecurity key = Own();
  change(key);
  return key;
}

KeySecurity OthersMay(uint32_t mask) {
  return OwnWith([mask](KeySecurity& k) { k.entries.push_back({Kind::kAllow, KeyTrustee::kOther, mask}); });
}

// Only a key the program made, and no other account can change, is
// trusted; a key made by another tool or account, or one that leads
// elsewhere, is foreign.
TEST(JournalKeyCheck, OnlyTheProgramsOwnKeyIsTrusted) {
  const std::string may_change = "another account may change it";
  struct Case {
    const char* name;
    KeySecurity key;
    std::string why;
  } cases[] = {
      {"made by the program", Own(), ""},
      {"owned by the system", OwnWith([](KeySecurity& k) { k.owner = KeyTrustee::kSystem; }), ""},
      {"users may read", OthersMay(kRead), ""},
      {"users denied", OwnWith([](KeySecurity& k) {
         k.entries.push_back({Kind::kDeny, KeyTrustee::kOther, ~0u});
       }),
       ""},
      {"a link", OwnWith([](KeySecurity& k) { k.link = true; }), "a link to another key"},
      {"owned by a user", OwnWith([](KeySecurity& k) { k.owner = KeyTrustee::kOther; }), "owned by another account"},
      {"no access list", OwnWith([](KeySecurity& k) { k.has_access_list = false; }),
       "no access list: anyone may change it"},
      {"made by another tool (list inherited)", OwnWith([](KeySecurity& k) { k.access_list_protected = false; }),
       "its access list is inherited, not the program's own"},
      {"an entry of another kind", OwnWith([](KeySecurity& k) {
         k.entries.push_back({Kind::kOther, {}, 0});
       }),
       "an access entry of a kind the program never sets"},
      {"users may set values", OthersMay(0x0002), may_change},
      {"users may create subkeys", OthersMay(0x0004), may_change},
      {"users may create links", OthersMay(0x0020), may_change},
      {"users may delete it", OthersMay(0x00010000), may_change},
      {"users may change its access list", OthersMay(0x00040000), may_change},
      {"users may take it over", OthersMay(0x00080000), may_change},
      {"users have generic write", OthersMay(0x40000000), may_change},
      {"users have generic all", OthersMay(0x10000000), may_change},
  };
  for (const Case& c : cases) EXPECT_EQ(WhyKeyIsForeign(c.key), c.why) << c.name;
}

// What a foreign key held goes into one log line and cannot make another.
TEST(JournalKeyCheck, LoggableBytes) {
  EXPECT_EQ(LoggableBytes("end\r\nfake line\\\x01\xE4", 100), "end\\r\\nfake line\\\\\\x01\\xE4");
  EXPECT_EQ(LoggableBytes(std::string(5000, 'a'), 4), "aaaa... (5000 bytes)");
}

}  // namespace
}  // namespace repair
