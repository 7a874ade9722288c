#include "repair/win/win_journal_store.h"

#include <windows.h>
#include <sddl.h>
#include <shlobj.h>

#include <utility>
#include <vector>

#include "basekit/log/log.h"
#include "repair/repair_journal.h"
#include "repair/text_encoding.h"

namespace repair {

namespace {

constexpr const char* kLogSource = "repair_service";
constexpr wchar_t kFolderName[] = L"DEzed Repair";
constexpr wchar_t kFileName[] = L"repair-journal.txt";
// The folder's access: full control for the system and administrators,
// read for users; not inherited from the shared parent, which lets every
// user create files.
constexpr wchar_t kFolderAccess[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)";

std::wstring CommonAppDataFolder() {
  wchar_t path[MAX_PATH] = {};
  const HRESULT result = SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path);
  if (FAILED(result)) {
    BASEKIT_LOG(Failure, "common application data folder unknown %08lx", static_cast<unsigned long>(result));
    return std::wstring();
  }
  return std::wstring(path) + L"\\" + kFolderName;
}

std::string Narrow(const std::wstring& path) { return WideToGbk(path); }

}  // namespace

WinJournalStore::WinJournalStore() : WinJournalStore(CommonAppDataFolder()) {}

WinJournalStore::WinJournalStore(std::wstring folder)
    : folder_(std::move(folder)), path_(folder_.empty() ? std::wstring() : folder_ + L"\\" + kFileName) {}

JournalRead WinJournalStore::Read(std::string* bytes) {
  if (path_.empty()) return JournalRead::kMissing;
  HANDLE file = CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return JournalRead::kMissing;
    BASEKIT_LOG(Failure, "journal %s not opened %lu", Narrow(path_).c_str(), error);
    return JournalRead::kFailed;
  }
  // One byte more than a journal may have: a larger file reads as too large.
  std::vector<char> buffer(RepairJournal::kMaxBytes + 1);
  DWORD total = 0;
  DWORD got = 0;
  bool ok = true;
  while (total < buffer.size()) {
    if (!ReadFile(file, buffer.data() + total, static_cast<DWORD>(buffer.size() - total), &got, nullptr)) {
      BASEKIT_LOG(Failure, "journal %s not read %lu", Narrow(path_).c_str(), GetLastError());
      ok = false;
      break;
    }
    if (got == 0) break;
    total += got;
  }
  CloseHandle(file);
  if (!ok) return JournalRead::kFailed;
  bytes->assign(buffer.data(), total);
  return JournalRead::kRead;
}

bool WinJournalStore::Write(const std::string& bytes) {
  if (path_.empty() || !MakeFolder()) return false;
  const std::wstring temporary = path_ + L".tmp";
  HANDLE file =
      CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    BASEKIT_LOG(Failure, "journal %s not created %lu", Narrow(temporary).c_str(), GetLastError());
    return false;
  }
  DWORD written = 0;
  const bool whole =
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
  // On the disk before it takes the journal's name: after a power cut the
  // name holds either the old journal or this one, whole.
  const bool flushed = whole && FlushFileBuffers(file);
  const DWORD error = GetLastError();
  CloseHandle(file);
  if (!flushed) {
    BASEKIT_LOG(Failure, "journal %s not written %lu", Narrow(temporary).c_str(), error);
    DeleteFileW(temporary.c_str());
    return false;
  }
  if (!MoveFileExW(temporary.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    BASEKIT_LOG(Failure, "journal %s not replaced %lu", Narrow(path_).c_str(), GetLastError());
    DeleteFileW(temporary.c_str());
    return false;
  }
  return true;
}

bool WinJournalStore::Remove() {
  if (path_.empty()) return true;
  if (!DeleteFileW(path_.c_str())) {
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
      BASEKIT_LOG(Failure, "journal %s not deleted %lu", Narrow(path_).c_str(), error);
      return false;
    }
  }
  return true;
}

bool WinJournalStore::SetAside(const char* suffix) {
  const std::wstring aside = path_ + L"." + Utf8ToWide(suffix);
  if (!MoveFileExW(path_.c_str(), aside.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    BASEKIT_LOG(Failure, "journal %s not set aside %lu", Narrow(path_).c_str(), GetLastError());
    return false;
  }
  return true;
}

bool WinJournalStore::MakeFolder() {
  if (GetFileAttributesW(folder_.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), nullptr, FALSE};
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (ConvertStringSecurityDescriptorToSecurityDescriptorW(kFolderAccess, SDDL_REVISION_1, &descriptor, nullptr)) {
    attributes.lpSecurityDescriptor = descriptor;
  } else {
    BASEKIT_LOG(Failure, "journal folder access not prepared %lu", GetLastError());
  }
  const bool made = CreateDirectoryW(folder_.c_str(), &attributes) || GetLastError() == ERROR_ALREADY_EXISTS;
  if (!made) BASEKIT_LOG(Failure, "journal folder %s not created %lu", Narrow(folder_).c_str(), GetLastError());
  if (descriptor != nullptr) LocalFree(descriptor);
  return made;
}

}  // namespace repair
