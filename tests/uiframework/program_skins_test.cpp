// The program's own skins (resources/skin), built and laid out by the
// framework into the rectangles its windows rely on.

#include <gtest/gtest.h>

#include "tests/uiframework/test_support.h"
#include "uiframework/base/text_conv.h"
#include "uiframework/controls/button.h"
#include "uiframework/core/container.h"
#include "uiframework/resources/skin_resources.h"

namespace Veneer {
namespace {

class ProgramSkinsTest : public test::FrameworkTest {
 protected:
  void SetUp() override {
    test::FrameworkTest::SetUp();
    CSkinResourcesUI::SetResourcePath(Utf8ToWide(REPAIR_SKIN_DIR).c_str());
  }
};

TEST_F(ProgramSkinsTest, WizardPages) {
  test::TestWindow window;
  ASSERT_TRUE(window.Build(L"repair.xml", 580, 374));
  EXPECT_EQ(window.host.GetWindowSettings().init_size, (UiSize{580, 374}));
  EXPECT_EQ(window.host.GetWindowSettings().caption, (UiRect{0, 0, 0, 30}));
  EXPECT_EQ(window.host.GetWindowSettings().round_corner, (UiSize{3, 3}));
  EXPECT_EQ(window.host.GetWindowSettings().min_info, (UiSize{580, 374}));
  EXPECT_EQ(window.host.GetWindowSettings().max_info, (UiSize{580, 374}));
  // The title strip.
  EXPECT_EQ(window.Rect(L"repair_btn_close"), (UiRect{548, 8, 568, 28}));
  // Page 1 is the only one laid out, below the strip.
  EXPECT_EQ(window.Rect(L"repair_step1"), (UiRect{0, 30, 580, 374}));
  // Page 1's layout sits in a plain container, which ignores its padding: the
  // label (no height: the default font's 12 plus 4) at 270, the button 20 below.
  EXPECT_EQ(window.Rect(L"repair_btn_step1"), (UiRect{230, 306, 350, 342}));

  // Page 2, as the start button shows it.
  window.Find(L"repair_step1")->SetVisible(false);
  window.Find(L"repair_step2")->SetVisible(true);
  window.Paint();
  EXPECT_EQ(window.Rect(L"repair_step2"), (UiRect{0, 30, 580, 374}));
  // The heading, the status line (the amount at its right end once there
  // is one), the bar in its row of old.
  EXPECT_EQ(window.Rect(L"repair_heading"), (UiRect{305, 112, 580, 126}));
  EXPECT_EQ(window.Rect(L"repair_status"), (UiRect{305, 134, 545, 150}));
  window.Find(L"repair_amount")->SetVisible(true);
  window.Paint();
  EXPECT_EQ(window.Rect(L"repair_status"), (UiRect{305, 134, 429, 150}));
  EXPECT_EQ(window.Rect(L"repair_amount"), (UiRect{429, 134, 545, 150}));
  EXPECT_EQ(window.Rect(L"repair_progress"), (UiRect{305, 156, 545, 162}));
  // Page 2's picture: the rows below the strip, unscaled.
  bool background = false;
  for (const RenderCall& call : window.render.Calls()) {
    if (call.op == RenderCall::kImage && call.rect == (UiRect{0, 30, 580, 374})) {
      background = call.source == (UiRect{0, 30, 580, 374});
    }
  }
  EXPECT_TRUE(background);

  // The failure face takes the place of the status line and the bar.
  window.Find(L"repair_status_row")->SetVisible(false);
  window.Find(L"repair_progress")->SetVisible(false);
  window.Find(L"repair_failure")->SetVisible(true);
  window.Find(L"repair_failure_buttons")->SetVisible(true);
  window.Find(L"repair_cause")->SetText(L"cause");
  window.Find(L"repair_next")->SetText(L"next step");
  window.Paint();
  EXPECT_EQ(window.Rect(L"repair_failure").top, 140);
  EXPECT_EQ(window.Rect(L"repair_cause").left, 305);
  EXPECT_EQ(window.Rect(L"repair_cause").right, 555);
  // The buttons stay in one place whatever the texts above them say.
  EXPECT_EQ(window.Rect(L"repair_btn_retry"), (UiRect{305, 252, 405, 284}));
  EXPECT_EQ(window.Rect(L"repair_btn_quit"), (UiRect{417, 252, 517, 284}));

  // Page 3: the done button floats in the page.
  window.Find(L"repair_step2")->SetVisible(false);
  window.Find(L"repair_step3")->SetVisible(true);
  window.Paint();
  EXPECT_EQ(window.Rect(L"repair_btn_step3"), (UiRect{365, 182, 485, 202}));
}

TEST_F(ProgramSkinsTest, AdapterPickerEntries) {
  test::TestWindow window;
  ASSERT_TRUE(window.Build(L"adapter.xml", 400, 180));
  auto* list = static_cast<CContainerUI*>(window.Find(L"adapter_list")->GetInterface(L"Container"));
  ASSERT_NE(list, nullptr);
  // Entries as the picker adds them: 16 high, 5 above each.
  for (int i = 0; i < 8; ++i) {
    auto* button = new CButtonUI();
    button->SetFixedHeight(16);
    button->SetPadding(UiRect{0, 5, 0, 0});
    button->SetText(L"adapter " + std::to_wstring(i));
    ASSERT_TRUE(list->Add(button));
  }
  window.Paint();
  for (int i = 0; i < 8; ++i) {
    const int top = 44 + 5 + 21 * i;
    EXPECT_EQ(list->GetItemAt(2 + i)->GetPos(), (UiRect{5, top, 395, top + 16})) << i;
  }
  // Six whole entries fit; the seventh is cut by the window's edge.
  EXPECT_LE(list->GetItemAt(7)->GetPos().bottom, 180);
  EXPECT_GT(list->GetItemAt(8)->GetPos().bottom, 180);
}

TEST_F(ProgramSkinsTest, AlertRows) {
  test::TestWindow window;
  ASSERT_TRUE(window.Build(L"common_alert_box.xml", 240, 210));
  EXPECT_EQ(window.host.GetWindowSettings().caption, (UiRect{15, 0, 15, 20}));
  EXPECT_EQ(window.native.layered, 1);  // "alpha" 255
  EXPECT_EQ(window.Rect(L"bt_close"), (UiRect{214, 6, 234, 26}));
  EXPECT_EQ(window.Rect(L"lb_content"), (UiRect{10, 80, 230, 110}));
  EXPECT_EQ(window.Rect(L"bt_close_down"), (UiRect{70, 140, 170, 174}));
}

}  // namespace
}  // namespace Veneer
