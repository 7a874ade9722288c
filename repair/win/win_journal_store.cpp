#include "repair/win/win_journal_store.h"

#include <windows.h>
#include <sddl.h>

#include <utility>
#include <vector>

#include "basekit/log/log.h"
#include "basekit/win/system_library.h"
#include "repair/journal_key_check.h"
#include "repair/repair_journal.h"
#include "repair/text_encoding.h"

namespace repair {

namespace {

constexpr const char* kLogSource = "repair_service";
constexpr wchar_t kKeyPath[] = L"SOFTWARE\\DEzed Repair";
constexpr wchar_t kValueName[] = L"Journal";
// Owner Administrators; full control for the system and the
// administrators, no one else; nothing inherited from SOFTWARE.
constexpr wchar_t kKeyAccess[] = L"O:BAD:P(A;;KA;;;SY)(A;;KA;;;BA)";
// What the check needs of a key, and what logging a foreign one needs.
constexpr REGSAM kCheckAccess = READ_CONTROL | KEY_QUERY_VALUE;
// A link key holds this value, naming the key it leads to.
constexpr wchar_t kLinkValue[] = L"SymbolicLinkValue";
// Of a foreign journal the log keeps this many bytes.
constexpr size_t kLoggedBytes = 1024;

std::string Narrow(const std::wstring& text) { return WideToGbk(text); }

KeyTrustee TrusteeOf(PSID sid) {
  if (sid == nullptr || !IsValidSid(sid)) return KeyTrustee::kOther;
  if (IsWellKnownSid(sid, WinLocalSystemSid)) return KeyTrustee::kSystem;
  if (IsWellKnownSid(sid, WinBuiltinAdministratorsSid)) return KeyTrustee::kAdministrators;
  return KeyTrustee::kOther;
}

bool IsLink(HKEY key) {
  DWORD type = REG_NONE;
  DWORD size = 0;
  const LONG result = RegQueryValueExW(key, kLinkValue, nullptr, &type, nullptr, &size);
  return (result == ERROR_SUCCESS || result == ERROR_MORE_DATA) && type == REG_LINK;
}

// The facts the check weighs, out of the key's security descriptor.
bool ReadKeySecurity(HKEY key, KeySecurity* facts) {
  const SECURITY_INFORMATION wanted = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  DWORD size = 0;
  LONG result = RegGetKeySecurity(key, wanted, nullptr, &size);
  std::vector<BYTE> buffer(size);
  if (result == ERROR_INSUFFICIENT_BUFFER) result = RegGetKeySecurity(key, wanted, buffer.data(), &size);
  if (result != ERROR_SUCCESS) {
    BASEKIT_LOG(Failure, "journal key's security not read %ld", result);
    return false;
  }
  PSECURITY_DESCRIPTOR descriptor = buffer.data();
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  BOOL present = FALSE;
  PACL list = nullptr;
  if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) ||
      !GetSecurityDescriptorControl(descriptor, &control, &revision) ||
      !GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted)) {
    BASEKIT_LOG(Failure, "journal key's security not understood %lu", GetLastError());
    return false;
  }
  facts->owner = TrusteeOf(owner);
  facts->has_access_list = present && list != nullptr;
  facts->access_list_protected = (control & SE_DACL_PROTECTED) != 0;
  for (DWORD i = 0; facts->has_access_list && i < list->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(list, i, &ace)) {
      BASEKIT_LOG(Failure, "journal key's access entry %lu not read %lu", i, GetLastError());
      return false;
    }
    const auto* header = static_cast<const ACE_HEADER*>(ace);
    KeyAccessEntry entry;
    if (header->AceType == ACCESS_ALLOWED_ACE_TYPE || header->AceType == ACCESS_DENIED_ACE_TYPE) {
      // Both kinds lay out the rights and the account alike.
      auto* plain = static_cast<ACCESS_ALLOWED_ACE*>(ace);
      entry.kind =
          header->AceType == ACCESS_ALLOWED_ACE_TYPE ? KeyAccessEntry::Kind::kAllow : KeyAccessEntry::Kind::kDeny;
      entry.mask = plain->Mask;
      entry.trustee = TrusteeOf(&plain->SidStart);
    }
    facts->entries.push_back(entry);
  }
  return true;
}

// kRead with the value (as JournalStore::Read gives it), kMissing, or
// kFailed (logged).
JournalRead ReadValue(HKEY key, const wchar_t* name, std::string* bytes) {
  std::vector<char> buffer(RepairJournal::kMaxBytes + 1);
  auto size = static_cast<DWORD>(buffer.size());
  const LONG result = RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()), &size);
  if (result == ERROR_FILE_NOT_FOUND) return JournalRead::kMissing;
  if (result == ERROR_MORE_DATA) {
    BASEKIT_LOG(Failure, "journal value %s of %lu bytes, more than a journal holds: not read", Narrow(name).c_str(),
                size);
    bytes->assign(buffer.size(), '\0');
    return JournalRead::kRead;
  }
  if (result != ERROR_SUCCESS) {
    BASEKIT_LOG(Failure, "journal value %s not read %ld", Narrow(name).c_str(), result);
    return JournalRead::kFailed;
  }
  bytes->assign(buffer.data(), size);
  return JournalRead::kRead;
}

bool WriteValue(HKEY key, const wchar_t* name, const std::string& bytes) {
  LONG result = RegSetValueExW(key, name, 0, REG_BINARY, reinterpret_cast<const BYTE*>(bytes.data()),
                               static_cast<DWORD>(bytes.size()));
  // On the disk before the change it records is made.
  if (result == ERROR_SUCCESS) result = RegFlushKey(key);
  if (result != ERROR_SUCCESS) BASEKIT_LOG(Failure, "journal value %s not written %ld", Narrow(name).c_str(), result);
  return result == ERROR_SUCCESS;
}

// Deletes the key the handle is open on: a link itself, never the key it
// leads to. The handle needs DELETE; a key with subkeys stays.
bool DeleteOpenKey(HKEY key, const std::string& name) {
  using NtDeleteKeyFunction = LONG(NTAPI*)(HANDLE);
  static const basekit::SystemLibrary ntdll(L"ntdll.dll");
  static const auto nt_delete_key = ntdll.Get<NtDeleteKeyFunction>("NtDeleteKey");
  if (nt_delete_key == nullptr) return false;  // logged by the loader
  const LONG status = nt_delete_key(key);
  if (status != 0) {
    BASEKIT_LOG(Failure, "journal key %s not removed, status %08lx", name.c_str(), static_cast<unsigned long>(status));
  }
  return status == 0;
}

}  // namespace

WinJournalStore::WinJournalStore() : WinJournalStore(kKeyPath) {}

WinJournalStore::WinJournalStore(std::wstring key_path) : key_path_(std::move(key_path)) {}

std::wstring WinJournalStore::Location() { return L"HKLM\\" + key_path_ + L"\\" + kValueName; }

std::string WinJournalStore::KeyName() const { return Narrow(L"HKLM\\" + key_path_); }

JournalRead WinJournalStore::Read(std::string* bytes) {
  HKEY key = nullptr;
  switch (OpenChecked(&key)) {
    case Opened::kMissing:
      return JournalRead::kMissing;
    case Opened::kFailed:
      return JournalRead::kFailed;
    case Opened::kForeign: {
      // An empty foreign key holds no record the user need hear of.
      const bool held = LogForeignJournal(key);
      RegCloseKey(key);
      Replace();
      return held ? JournalRead::kForeign : JournalRead::kMissing;
    }
    case Opened::kOurs:
      break;
  }
  const JournalRead read = ReadValue(key, kValueName, bytes);
  RegCloseKey(key);
  return read;
}

bool WinJournalStore::Write(const std::string& bytes) {
  HKEY key = nullptr;
  if (OpenOwn(KEY_SET_VALUE, true, &key) != Opened::kOurs) return false;
  const bool written = WriteValue(key, kValueName, bytes);
  RegCloseKey(key);
  return written;
}

bool WinJournalStore::Remove() {
  HKEY key = nullptr;
  const Opened opened = OpenOwn(KEY_SET_VALUE, false, &key);
  if (opened != Opened::kOurs) return opened == Opened::kMissing;
  // The key stays, empty: the program's own, ready for the next repair.
  LONG result = RegDeleteValueW(key, kValueName);
  if (result == ERROR_SUCCESS) result = RegFlushKey(key);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) {
    BASEKIT_LOG(Failure, "journal %s not deleted %ld", Narrow(Location()).c_str(), result);
    return false;
  }
  return true;
}

bool WinJournalStore::SetAside(const char* suffix) {
  HKEY key = nullptr;
  const Opened opened = OpenOwn(KEY_SET_VALUE | KEY_QUERY_VALUE, false, &key);
  if (opened != Opened::kOurs) return opened == Opened::kMissing;
  const std::wstring aside = std::wstring(kValueName) + L"." + Utf8ToWide(suffix);
  std::string bytes;
  bool kept = true;
  if (ReadValue(key, kValueName, &bytes) == JournalRead::kRead) {
    // A value too large to read is not kept: nothing of it is known.
    kept = bytes.size() <= RepairJournal::kMaxBytes && WriteValue(key, aside.c_str(), bytes);
  }
  LONG result = RegDeleteValueW(key, kValueName);
  if (result == ERROR_SUCCESS) result = RegFlushKey(key);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) {
    BASEKIT_LOG(Failure, "journal %s not set aside %ld", Narrow(Location()).c_str(), result);
    return false;
  }
  if (!kept) BASEKIT_LOG(Failure, "journal %s deleted without a copy", Narrow(Location()).c_str());
  return true;
}

WinJournalStore::Opened WinJournalStore::OpenChecked(HKEY* key) {
  HKEY opened = nullptr;
  const LONG result = RegOpenKeyExW(HKEY_LOCAL_MACHINE, key_path_.c_str(), REG_OPTION_OPEN_LINK, kCheckAccess, &opened);
  if (result == ERROR_FILE_NOT_FOUND) return Opened::kMissing;
  if (result != ERROR_SUCCESS) {
    BASEKIT_LOG(Failure, "journal key %s not opened %ld", KeyName().c_str(), result);
    return Opened::kFailed;
  }
  KeySecurity facts;
  facts.link = IsLink(opened);
  if (!ReadKeySecurity(opened, &facts)) {
    RegCloseKey(opened);
    return Opened::kFailed;
  }
  *key = opened;
  const std::string why = WhyKeyIsForeign(facts);
  if (why.empty()) return Opened::kOurs;
  BASEKIT_LOG(Failure, "journal key %s is not the program's own: %s", KeyName().c_str(), why.c_str());
  return Opened::kForeign;
}

WinJournalStore::Opened WinJournalStore::OpenOwn(REGSAM access, bool make, HKEY* key) {
  HKEY checked = nullptr;
  Opened opened = OpenChecked(&checked);
  if (opened == Opened::kForeign) {
    LogForeignJournal(checked);
    RegCloseKey(checked);
    opened = Replace() ? OpenChecked(&checked) : Opened::kFailed;
  } else if (opened == Opened::kMissing && make) {
    opened = Create() ? OpenChecked(&checked) : Opened::kFailed;
  } else if (opened == Opened::kMissing) {
    return Opened::kMissing;
  }
  if (opened != Opened::kOurs) {
    if (opened == Opened::kForeign) RegCloseKey(checked);
    BASEKIT_LOG(Failure, "journal key %s cannot be made the program's own: nothing can be recorded", KeyName().c_str());
    return Opened::kFailed;
  }
  // A second handle on the very key just checked (no name is looked up
  // again), with the access the caller needs.
  const LONG result = RegOpenKeyExW(checked, L"", 0, access, key);
  RegCloseKey(checked);
  if (result != ERROR_SUCCESS) {
    BASEKIT_LOG(Failure, "journal key %s not opened for writing %ld", KeyName().c_str(), result);
    return Opened::kFailed;
  }
  return Opened::kOurs;
}

bool WinJournalStore::LogForeignJournal(HKEY foreign) {
  std::string held;
  if (ReadValue(foreign, kValueName, &held) != JournalRead::kRead) return false;
  BASEKIT_LOG(Failure, "journal key %s held, not acted on: %s", KeyName().c_str(),
              LoggableBytes(held, kLoggedBytes).c_str());
  return true;
}

bool WinJournalStore::Replace() {
  HKEY doomed = nullptr;
  const LONG result = RegOpenKeyExW(HKEY_LOCAL_MACHINE, key_path_.c_str(), REG_OPTION_OPEN_LINK, DELETE, &doomed);
  if (result != ERROR_SUCCESS) {
    BASEKIT_LOG(Failure, "journal key %s not opened to be removed %ld", KeyName().c_str(), result);
    return false;
  }
  const bool removed = DeleteOpenKey(doomed, KeyName());
  RegCloseKey(doomed);
  if (removed) BASEKIT_LOG(Progress, "journal key %s removed", KeyName().c_str());
  return removed && Create();
}

bool WinJournalStore::Create() {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kKeyAccess, SDDL_REVISION_1, &descriptor, nullptr)) {
    BASEKIT_LOG(Failure, "journal key's access list not prepared %lu", GetLastError());
    return false;
  }
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
  HKEY key = nullptr;
  DWORD disposition = 0;
  LONG result =
      RegCreateKeyExW(HKEY_LOCAL_MACHINE, key_path_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_QUERY_VALUE | READ_CONTROL | WRITE_DAC | WRITE_OWNER, &attributes, &key, &disposition);
  if (result == ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY) {
    // Given once more: Wine leaves out the access list given at creation.
    result = RegSetKeySecurity(
        key, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, descriptor);
  }
  LocalFree(descriptor);
  if (key != nullptr) RegCloseKey(key);
  if (result != ERROR_SUCCESS) {
    BASEKIT_LOG(Failure, "journal key %s not made %ld", KeyName().c_str(), result);
    return false;
  }
  if (disposition == REG_CREATED_NEW_KEY) BASEKIT_LOG(Progress, "journal key %s made", KeyName().c_str());
  return true;
}

}  // namespace repair
