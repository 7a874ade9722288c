#include "repair/win/ip_helper.h"

#include "basekit/win/system_library.h"

namespace repair {

const IpHelperFunctions& IpHelper() {
  static const IpHelperFunctions functions = [] {
    static const basekit::SystemLibrary library(L"iphlpapi.dll");
    IpHelperFunctions f;
    f.get_adapters_info = library.Get<decltype(f.get_adapters_info)>("GetAdaptersInfo");
    return f;
  }();
  return functions;
}

}  // namespace repair
