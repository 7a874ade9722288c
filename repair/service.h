#pragma once

// Base of the services that report to the UI through registered callbacks.
//
// Thread affinity: RegisterCallback on the UI thread, before the service
// starts reporting; DispatchCallback on the service's worker thread. The
// table is filled before work starts and only read afterwards, so it takes
// no lock.

#include <cstdint>
#include <map>
#include <memory>

#include "basekit/task/callback.h"

namespace repair {

// Base of report records; a callback receives one for the duration of the
// call and must not keep the pointer.
class ServiceCallbackParam {
 public:
  virtual ~ServiceCallbackParam() = default;
};

using ServiceCallback = basekit::Callback<void(ServiceCallbackParam*)>;

class Service {
 public:
  Service() = default;
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;
  virtual ~Service() = default;

  // Nothing calls Setup in this program; both report success.
  virtual bool Setup() { return true; }
  virtual bool Shutdown() { return true; }

  // Adds `callback` for `kind`. A kind is registered once: when it is
  // already present the first callback stays and `callback` is dropped.
  // Returns whether `callback` was taken.
  bool RegisterCallback(int32_t kind, const ServiceCallback& callback);

 protected:
  // Whether a bound callback is registered for `kind`.
  bool HasCallback(int32_t kind) const;
  // Hands `record` to the callback registered for `kind`, if one is bound,
  // and releases it when the call returns (at once when none is).
  void DispatchCallback(int32_t kind, std::unique_ptr<ServiceCallbackParam> record);

 private:
  std::map<int32_t, ServiceCallback> callbacks_;
};

}  // namespace repair
