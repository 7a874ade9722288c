// Every hostile skin at its full size, on every build: each ends in a
// refusal that the log explains or in a built window, and what the skin
// went after stays sound. (Their times and peak memory, also with the
// budget lifted: bench/uiframework_hostile.sh.)

#include "tests/uiframework/hostile_skins.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/uiframework/test_support.h"

namespace Veneer {
namespace {

class HostileSkinsTest : public test::FrameworkTest {};

TEST_F(HostileSkinsTest, EndInARefusalOrAWindow) {
  struct Expected {
    const char* name;
    bool built;
    const char* logged;  // a line the log must hold
  } cases[] = {
      {"controls_included", false, "bytes one build may load and copy (at a control)"},
      {"tokens_at_paint", true, "text with language tokens cut at 400000 characters"},
      {"shared_image_replaced", true, "declared again with other settings; the first declaration stays"},
      {"image_elements", true, nullptr},
      {"image_case_variants", true, nullptr},
      {"image_at_high_dpi", true, "no 20480x20480 copy for 480 DPI (more than a skin image's pixels); drawn stretched"},
      {"jpeg_scans", true, "scans visit 8650752 blocks, more than 32 times its 262144"},
      {"options_one_group", false, "bytes one build may load and copy (at a control)"},
      {"options_own_groups", false, "bytes one build may load and copy (at a control)"},
      {"tab_layouts", true, "child layout tabs.xml could not be built"},
      {"pipe_image", true, "refused: not a file below the skin's folder"},
  };
  for (const Expected& e : cases) {
    const test::HostileSkin* skin = test::FindHostileSkin(e.name);
    if (skin == nullptr) continue;  // the named pipe has no counterpart on Windows
    SCOPED_TRACE(e.name);
    test::LogCapture log;
    const test::HostileOutcome outcome = skin->run(false);
    EXPECT_EQ(outcome.built, e.built) << outcome.detail;
    EXPECT_TRUE(outcome.sound) << outcome.detail;
    if (e.logged != nullptr) {
      EXPECT_GE(log.Count(e.logged), 1) << log.Text().substr(0, 2000);
    }
  }
}

}  // namespace
}  // namespace Veneer
