#pragma once

// Whether the registry key that holds the journal is the program's own.
// The program makes the key with an access list of its own: owner
// Administrators, full control for the system and the administrators, no
// one else, nothing inherited. A key that differs (made by another tool or
// account, a link to another key, one that another account may change) is
// foreign: the journal in it may have been written by anyone, so it is
// never acted on, and the key is made anew.
//
// The Win32 side reads the facts out of the key's security descriptor
// (repair/win/win_journal_store.cpp); the verdict is taken here.
//
// Any thread; no state.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace repair {

// The accounts an access entry or the owner can name, as far as the check
// tells them apart.
enum class KeyTrustee { kSystem, kAdministrators, kOther };

struct KeyAccessEntry {
  enum class Kind { kAllow, kDeny, kOther };
  Kind kind = Kind::kOther;
  KeyTrustee trustee = KeyTrustee::kOther;
  uint32_t mask = 0;  // as stored: specific, standard and generic rights
};

struct KeySecurity {
  bool link = false;  // a registry link to another key
  KeyTrustee owner = KeyTrustee::kOther;
  bool has_access_list = false;        // none: everyone may do anything
  bool access_list_protected = false;  // not inherited from the parent key
  std::vector<KeyAccessEntry> entries;
};

// The rights that let an account change the key or what it holds:
// KEY_SET_VALUE, KEY_CREATE_SUB_KEY, KEY_CREATE_LINK, DELETE, WRITE_DAC,
// WRITE_OWNER, GENERIC_WRITE and GENERIC_ALL.
inline constexpr uint32_t kKeyChangeRights =
    0x0002u | 0x0004u | 0x0020u | 0x00010000u | 0x00040000u | 0x00080000u | 0x40000000u | 0x10000000u;

// Why the key is not the program's own, for the log; empty when it is.
std::string WhyKeyIsForeign(const KeySecurity& key);

// Bytes from outside for one log line: printable ASCII as it is, line
// breaks as \r and \n, anything else as \xNN; at most `limit` bytes of
// them, and the whole size when there are more.
std::string LoggableBytes(const std::string& bytes, size_t limit);

}  // namespace repair
