#pragma once

// The journal of the changes a repair makes to this machine: written before
// the first change, rewritten as changes are made and undone, deleted once
// everything has been put back and checked. When the program dies in
// between, the next start finds it and undoes what it records.
//
// Text, UTF-8, CRLF lines:
//   DEzed repair journal
//   format=1
//   firewall-rule=VA Rovade Varoza          (the rule may have been added)
//   adapter={GUID}                          (one block per adapter that may
//   mac=00-1A-2B-3C-4D-5E                    have been changed)
//   connection=Ethernet
//   before=dhcp | before=static ADDRESS MASK GATEWAY ("-" for none)
//   backup=C:\...\ip.bak                    (optional)
//   end
// A journal is taken only whole: the last line must be "end". It lives
// where only administrators can write (repair/system_seams.h, JournalStore),
// and still every value is checked before it may reach a command line.

#include <string>
#include <vector>

#include "repair/repair_failure.h"
#include "repair/system_seams.h"

namespace repair {

struct JournalAdapter {
  AdapterIdentity identity;
  std::wstring connection_name;  // as it was when the change was made
  AdapterSettings before;
  std::wstring backup_path;
};

class RepairJournal {
 public:
  static constexpr int kFormatVersion = 1;
  // Journals beyond this size, or with more adapters than the adapter
  // table holds, are not ours.
  static constexpr size_t kMaxBytes = 16 * 1024;
  static constexpr size_t kMaxAdapters = 8;

  enum class ParseResult {
    kOk,
    kEmpty,        // no bytes at all
    kDamaged,      // torn, malformed, or a value that fails its check
    kNewerFormat,  // written by a later version of the program
  };

  bool empty() const { return !firewall_rule && adapters.empty(); }
  std::string Serialize() const;
  // Fills *journal on kOk; on the others *why says what was wrong.
  static ParseResult Parse(const std::string& text, RepairJournal* journal, std::string* why);

  // The entry for the adapter of that identity (GUID first, then hardware
  // address), or null.
  JournalAdapter* FindAdapter(const AdapterIdentity& identity);
  void RemoveAdapter(const AdapterIdentity& identity);

  bool firewall_rule = false;
  std::vector<JournalAdapter> adapters;
};

// Whether two identities name the same adapter: equal GUIDs, or, when the
// GUIDs differ, equal hardware addresses that name a real device.
bool SameAdapter(const AdapterIdentity& a, const AdapterIdentity& b);

// Checks used for values that reach command lines.
bool IsDottedQuad(const std::string& text);
// A mask's prefix length (255.255.255.0 -> 24); -1 for a mask with holes or
// that is not a dotted quad.
int MaskPrefixLength(const std::string& mask);
bool IsAdapterGuid(const std::string& text);
bool IsHardwareAddress(const std::string& text);
// Printable, no double quote, at most 255 characters, not empty.
bool IsSafeConnectionName(const std::wstring& name);

}  // namespace repair
