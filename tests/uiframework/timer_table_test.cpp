// The timer table against a fake window: what each step asks of the window
// and which local ids it gives out.

#include "uiframework/core/timer_table.h"

#include <gtest/gtest.h>

#include "tests/uiframework/test_support.h"
#include "uiframework/core/control.h"

namespace Veneer {
namespace {

TEST(TimerTableTest, SetKillRemoveAndClear) {
  test::FakeNativeWindow window;
  CTimerTableUI table;
  CControlUI a;
  CControlUI b;
  // Without a window nothing is set.
  EXPECT_FALSE(table.Set(nullptr, &a, 1, 10));
  EXPECT_EQ(table.GetLocalId(&a, 1), -1);

  ASSERT_TRUE(table.Set(&window, &a, 1, 10));  // local 17
  ASSERT_TRUE(table.Set(&window, &a, 2, 10));  // local 18
  ASSERT_TRUE(table.Set(&window, &b, 1, 10));  // local 19: the same id, another control
  EXPECT_EQ(window.timers, (std::vector<uint32_t>{17, 18, 19}));
  EXPECT_EQ(table.GetLocalId(&b, 1), 19);

  // Killing twice, or what was never set, fails; a killed timer no longer
  // fires but keeps its local id.
  EXPECT_TRUE(table.Kill(&window, &a, 2));
  EXPECT_FALSE(table.Kill(&window, &a, 2));
  EXPECT_FALSE(table.Kill(&window, &a, 9));
  EXPECT_EQ(table.FindRunning(18), nullptr);
  EXPECT_EQ(table.GetLocalId(&a, 2), 18);
  ASSERT_NE(table.FindRunning(17), nullptr);
  EXPECT_EQ(table.FindRunning(17)->sender, &a);

  // Removing a control stops only its running timers and forgets all of
  // them; clearing stops the rest.
  window.killed.clear();
  table.Remove(&window, &a);
  EXPECT_EQ(window.killed, (std::vector<uint32_t>{17}));
  EXPECT_EQ(table.GetLocalId(&a, 2), -1);
  EXPECT_EQ(table.GetLocalId(&b, 1), 19);
  table.Clear(&window);
  EXPECT_EQ(window.killed, (std::vector<uint32_t>{17, 19}));
  EXPECT_EQ(table.FindRunning(19), nullptr);
}

}  // namespace
}  // namespace Veneer
