#pragma once

// The journal of changes in the registry: the value "Journal" (REG_BINARY,
// the journal's UTF-8 text) of the key HKLM\SOFTWARE\DEzed Repair (for
// this 32-bit program a 64-bit Windows keeps it under SOFTWARE\WOW6432Node),
// per machine and kept across restarts. Only administrators and the system can
// make or change keys there, a value is replaced whole by one write, and no
// file link can turn a write elsewhere.
//
// The key is the program's own: made with an access list that lets the
// system and the administrators alone change it, and checked before every
// use (journal_key_check.h), opened without following a registry link. A
// key that fails the check is foreign: what it holds is logged, never acted
// on, and the key is removed and made anew. One that cannot be removed,
// made or checked leaves the store unusable: writes fail.

#include <windows.h>

#include <string>

#include "repair/system_seams.h"

namespace repair {

class WinJournalStore : public JournalStore {
 public:
  // The product's key; a test passes a key path of its own under
  // HKEY_LOCAL_MACHINE.
  WinJournalStore();
  explicit WinJournalStore(std::wstring key_path);

  std::wstring Location() override;
  JournalRead Read(std::string* bytes) override;
  bool Write(const std::string& bytes) override;
  bool Remove() override;
  bool SetAside(const char* suffix) override;

 private:
  enum class Opened { kOurs, kMissing, kForeign, kFailed };

  // Opens the key itself (never what a link names) to read it, and checks
  // it. On kOurs and kForeign *key is open, and the caller closes it.
  Opened OpenChecked(HKEY* key);
  // The key open for `access`, the program's own: a foreign one made anew,
  // a missing one made when `make` is set. kOurs (*key open), kMissing
  // (not made) or kFailed (logged).
  Opened OpenOwn(REGSAM access, bool make, HKEY* key);
  // Logs the journal a foreign key holds; false when it holds none.
  bool LogForeignJournal(HKEY foreign);
  // Removes the key at the name (a link itself, not what it leads to) and
  // makes the program's own.
  bool Replace();
  bool Create();
  // The key's name for the log.
  std::string KeyName() const;

  std::wstring key_path_;
};

}  // namespace repair
