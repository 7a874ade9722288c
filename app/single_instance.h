#pragma once

// One copy of the program per machine, guarded by a named mutex that only
// administrators and SYSTEM can open. The name lives in a namespace every
// account may create objects in, so another account can take it first: an
// object under the name that this program could not have made (another
// owner, an access list that keeps us out, another kind of object) does not
// stop the program, which then relies on the same name in its own session
// instead. Each copy holds every name it could take; a copy that finds one
// of them held by a copy of this program is the second one.
//
// Thread affinity: start-up only.

#include <string>
#include <vector>

namespace app {

// The machine's name, and the session's beside it.
inline constexpr const wchar_t kInstanceMutexName[] = L"Global\\ZKRW-Repair-{58E46E80-FDC9-4544-94FA-B1387040DD38}";
inline constexpr const wchar_t kSessionMutexName[] = L"Local\\ZKRW-Repair-{58E46E80-FDC9-4544-94FA-B1387040DD38}";

// What creating the mutex under one name found.
enum class MutexProbe {
  kCreated,        // a new mutex: this copy holds the name
  kOursExists,     // a mutex owned by administrators or SYSTEM: a copy of ours
  kForeignExists,  // an object with another owner
  kAccessDenied,   // an object whose access list keeps us out
  kFailed,         // anything else (another kind of object under the name)
};

class MutexOps {
 public:
  virtual ~MutexOps() = default;
  // Creates (or opens) the mutex `name` with the access list above and
  // keeps it for the life of the process when it is ours; `error` is the
  // system's code for kAccessDenied and kFailed.
  virtual MutexProbe Create(const std::wstring& name, unsigned long* error) = 0;
};

struct InstanceCheck {
  bool another_copy_runs = false;
  // What start-up must log once the log is set up: every name that did not
  // guard this copy, and why.
  std::vector<std::string> notes;
};

InstanceCheck CheckSingleInstance(MutexOps& ops, const std::vector<std::wstring>& names);

#if defined(_WIN32)
// CreateMutexW with the access list "D:P(A;;GA;;;SY)(A;;GA;;;BA)" and the
// owner Administrators; an existing mutex counts as ours when its owner is
// Administrators or SYSTEM.
class WinMutexOps : public MutexOps {
 public:
  MutexProbe Create(const std::wstring& name, unsigned long* error) override;
};
#endif

}  // namespace app
