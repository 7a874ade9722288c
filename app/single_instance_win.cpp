#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include "app/single_instance.h"

namespace app {

namespace {

// Only SYSTEM and administrators may open it; the owner is Administrators,
// which an elevated token may name and a standard account may not.
constexpr const wchar_t kMutexSecurity[] = L"O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)";

bool OwnedByAdministratorsOrSystem(HANDLE object) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                      &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  const bool ours = owner != nullptr &&
                    (IsWellKnownSid(owner, WinBuiltinAdministratorsSid) || IsWellKnownSid(owner, WinLocalSystemSid));
  LocalFree(descriptor);
  return ours;
}

}  // namespace

MutexProbe WinMutexOps::Create(const std::wstring& name, unsigned long* error) {
  *error = 0;
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), nullptr, FALSE};
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kMutexSecurity, SDDL_REVISION_1,
                                                            &attributes.lpSecurityDescriptor, nullptr)) {
    *error = GetLastError();
    return MutexProbe::kFailed;
  }
  HANDLE mutex = CreateMutexW(&attributes, FALSE, name.c_str());
  const DWORD created = GetLastError();
  LocalFree(attributes.lpSecurityDescriptor);
  if (mutex == nullptr) {
    *error = created;
    return created == ERROR_ACCESS_DENIED ? MutexProbe::kAccessDenied : MutexProbe::kFailed;
  }
  if (created != ERROR_ALREADY_EXISTS) return MutexProbe::kCreated;  // held until the process ends
  const bool ours = OwnedByAdministratorsOrSystem(mutex);
  CloseHandle(mutex);
  return ours ? MutexProbe::kOursExists : MutexProbe::kForeignExists;
}

}  // namespace app
