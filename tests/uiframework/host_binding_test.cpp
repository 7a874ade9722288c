// The Win32 host binding (Windows build only).

#include "uiframework/win/host_binding.h"

#include <gtest/gtest.h>

#include <memory>

#include "uiframework/core/paint_host.h"

namespace Veneer {
namespace {

// A window whose final message did not detach its binding (the wizard's
// skips the base's) destroys its host first: the binding must let go of it
// then, and not reach it again when it is destroyed itself.
TEST(HostBindingTest, LetsGoOfAHostDestroyedFirst) {
  CWin32HostBinding binding;
  auto host = std::make_unique<CPaintHostUI>();
  binding.Attach(nullptr, host.get());
  EXPECT_EQ(binding.GetHost(), host.get());
  EXPECT_EQ(host->GetNativeWindow(), &binding);
  host.reset();
  EXPECT_EQ(binding.GetHost(), nullptr);
}

}  // namespace
}  // namespace Veneer
