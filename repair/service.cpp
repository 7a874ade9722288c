#include "repair/service.h"

#include "basekit/log/log.h"

namespace repair {

namespace {

constexpr const char* kLogSource = "repair_service";

}  // namespace

bool Service::RegisterCallback(int32_t kind, const ServiceCallback& callback) {
  bool inserted = callbacks_.emplace(kind, callback).second;
  if (!inserted) {
    BASEKIT_LOG(Failure, "callback kind %d already registered, new callback dropped", static_cast<int>(kind));
  }
  return inserted;
}

bool Service::HasCallback(int32_t kind) const {
  auto it = callbacks_.find(kind);
  return it != callbacks_.end() && !it->second.is_null();
}

void Service::DispatchCallback(int32_t kind, std::unique_ptr<ServiceCallbackParam> record) {
  auto it = callbacks_.find(kind);
  if (it == callbacks_.end() || it->second.is_null()) {
    BASEKIT_LOG(Lookup, "no callback for kind %d, report dropped", static_cast<int>(kind));
    return;
  }
  basekit::Invoke(it->second, record.get());
}

}  // namespace repair
