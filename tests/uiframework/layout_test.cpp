// Layout: skins in strings, laid out over a client area, rectangles checked
// against the numbers the layout rules give.

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "tests/uiframework/test_support.h"
#include "uiframework/builder/dialog_builder.h"
#include "uiframework/core/container.h"
#include "uiframework/layout/tab_layout.h"

namespace Veneer {
namespace {

class LayoutTest : public test::FrameworkTest {};

struct Expected {
  const wchar_t* name;
  UiRect rect;
};

struct LayoutCase {
  const char* what;
  const wchar_t* skin;
  UiSize client;
  std::vector<Expected> expected;
};

TEST_F(LayoutTest, RectanglesFollowTheRules) {
  const LayoutCase cases[] = {
      {"title strip: the label stretches, the close button floats",
       L"<Window><VerticalLayout><HorizontalLayout name=\"strip\" width=\"580\" height=\"30\" inset=\"12,5,0,0\">"
       L"<Label name=\"title\" text=\"RAvozoder\" padding=\"6,7,0,0\" height=\"12\"/>"
       L"<Button name=\"close\" float=\"true\" pos=\"548,8,568,28\"/></HorizontalLayout></VerticalLayout></Window>",
       {580, 374},
       {{L"strip", {0, 0, 580, 30}}, {L"title", {18, 12, 574, 24}}, {L"close", {548, 8, 568, 28}}}},
      {"fixed 30 and 20 leave 50 to the stretchable middle",
       L"<Window><VerticalLayout><Control name=\"a\" height=\"30\"/><Control name=\"b\"/>"
       L"<Control name=\"c\" height=\"20\"/></VerticalLayout></Window>",
       {100, 100},
       {{L"a", {0, 0, 100, 30}}, {L"b", {0, 30, 100, 80}}, {L"c", {0, 80, 100, 100}}}},
      {"two stretchable children share 101: the last takes the remainder",
       L"<Window><VerticalLayout><Control name=\"a\"/><Control name=\"b\"/></VerticalLayout></Window>",
       {100, 101},
       {{L"a", {0, 0, 100, 50}}, {L"b", {0, 50, 100, 101}}}},
      {"paddings count as fixed and come off the share again",
       L"<Window><VerticalLayout><Control name=\"a\" padding=\"0,10,0,0\"/></VerticalLayout></Window>",
       {100, 100},
       {{L"a", {0, 10, 100, 90}}}},
      {"a fixed size is never shrunk",
       L"<Window><VerticalLayout><Control name=\"a\" height=\"200\"/><Control name=\"b\"/></VerticalLayout></Window>",
       {100, 100},
       {{L"a", {0, 0, 100, 200}}, {L"b", {0, 200, 100, 200}}}},
      {"a minimum height beats a small share",
       L"<Window><VerticalLayout><Control height=\"90\"/><Control name=\"b\" "
       L"minheight=\"40\"/></VerticalLayout></Window>",
       {100, 100},
       {{L"b", {0, 90, 100, 130}}}},
      {"a hidden child takes no space and no child padding",
       L"<Window><VerticalLayout childpadding=\"5\"><Control name=\"a\" height=\"30\"/>"
       L"<Control visible=\"false\" height=\"50\"/><Control name=\"c\"/></VerticalLayout></Window>",
       {100, 100},
       {{L"a", {0, 0, 100, 30}}, {L"c", {0, 35, 100, 95}}}},  // the gap counts twice, like paddings
      {"a floating child is placed from its parent's corner, whatever the inset",
       L"<Window><VerticalLayout><Control height=\"20\"/><HorizontalLayout name=\"h\" padding=\"10,0,0,0\""
       L" inset=\"7,7,7,7\"><Button name=\"b\" float=\"true\" pos=\"548,8,568,28\"/></HorizontalLayout>"
       L"</VerticalLayout></Window>",
       {800, 600},
       {{L"h", {10, 20, 800, 600}}, {L"b", {558, 28, 578, 48}}}},
      {"attribute names are case-sensitive: Width is not width",
       L"<Window><VerticalLayout><Control name=\"a\" Width=\"50\" height=\"10\"/></VerticalLayout></Window>",
       {100, 100},
       {{L"a", {0, 0, 100, 10}}}},
      {"horizontal: widths stack with child padding; paddings of fixed children count twice against the last"
       " stretchable child",
       L"<Window><HorizontalLayout childpadding=\"4\" inset=\"2,3,2,3\"><Control name=\"a\" width=\"20\""
       L" padding=\"1,2,3,4\"/><Control name=\"b\"/><Control name=\"c\" width=\"30\" height=\"10\"/>"
       L"</HorizontalLayout></Window>",
       {200, 50},
       {{L"a", {3, 5, 26, 43}}, {L"b", {30, 3, 156, 47}}, {L"c", {160, 3, 190, 13}}}},
      {"a plain container gives each child its inner rectangle, within the child's limits",
       L"<Window><Container inset=\"5,5,5,5\"><Control name=\"a\" width=\"10\" padding=\"9,9,9,9\"/>"
       L"<Control name=\"b\" maxwidth=\"40\" minheight=\"200\"/></Container></Window>",
       {100, 100},
       {{L"a", {5, 5, 95, 95}}, {L"b", {5, 5, 45, 205}}}},
      // Negative sizes are kept as the skin gives them: fixed, at none.
      {"\"pos\" with its bottom above its top: a fixed height of none, not a stretchable child",
       L"<Window><VerticalLayout><Control name=\"a\" pos=\"0,50,100,20\"/><Control name=\"b\"/></VerticalLayout>"
       L"</Window>",
       {200, 100},
       {{L"a", {0, 0, 100, 0}}, {L"b", {0, 0, 200, 100}}}},
      {"\"pos\" with its right left of its left, in a horizontal layout",
       L"<Window><HorizontalLayout><Control name=\"a\" pos=\"50,0,20,10\"/><Control name=\"b\"/>"
       L"</HorizontalLayout></Window>",
       {200, 100},
       {{L"a", {0, 0, 0, 10}}, {L"b", {0, 0, 200, 100}}}},
      {"a negative maximum wins over the share",
       L"<Window><VerticalLayout><Control name=\"a\" maxheight=\"-5\" maxwidth=\"-1\"/><Control name=\"b\"/>"
       L"</VerticalLayout></Window>",
       {200, 100},
       {{L"a", {0, 0, 0, 0}}, {L"b", {0, 0, 200, 100}}}},
      {"a label with a negative height is fixed, not as high as its font",
       L"<Window><VerticalLayout><Label name=\"l\" height=\"-10\"/><Button name=\"b\" height=\"-1\"/>"
       L"<Control name=\"c\"/></VerticalLayout></Window>",
       {200, 100},
       {{L"l", {0, 0, 200, 0}}, {L"b", {0, 0, 200, 0}}, {L"c", {0, 0, 200, 100}}}},
      {"a label without a height gets the font's height plus 4, a button plus 8",
       L"<Window><Font id=\"1\" name=\"F\" size=\"12\" default=\"true\"/><VerticalLayout><Label name=\"l\"/>"
       L"<Button name=\"b\"/><Text name=\"t\" text=\"abcdefghij\" width=\"40\"/></VerticalLayout></Window>",
       {100, 100},
       {{L"l", {0, 0, 100, 16}}, {L"b", {0, 16, 100, 36}}, {L"t", {0, 36, 40, 48}}}},
  };
  // At 96 DPI as given; at 192 (every length whole) every rectangle twice
  // as large.
  for (const int factor : {1, 2}) {
    for (const LayoutCase& c : cases) {
      test::TestWindow window;
      window.host.SetDpi(96 * factor);
      ASSERT_TRUE(window.Build(c.skin, c.client.cx * factor, c.client.cy * factor)) << c.what;
      for (const Expected& e : c.expected) {
        const UiRect r = window.Rect(e.name);
        const UiRect want{e.rect.left * factor, e.rect.top * factor, e.rect.right * factor, e.rect.bottom * factor};
        EXPECT_EQ(r, want) << "at " << factor << "x: " << c.what << ": "
                           << std::string(e.name, e.name + std::wcslen(e.name)) << " is " << r.left << "," << r.top
                           << "," << r.right << "," << r.bottom;
      }
    }
  }
}

// At 1.25, 1.5, 1.75 and 2: neighbours share their edges and a row that
// fills its box at 96 DPI fills it at every scale. Where every length is
// fixed, each edge is the 96-DPI edge scaled (relative to the box's inner
// corner); a stretched child takes what its fixed neighbours leave.
TEST_F(LayoutTest, SiblingsStayJoinedAtEveryScale) {
  struct Case {
    const char* what;
    const wchar_t* skin;  // a box "box" of children "c0", "c1", ...
    int children;
    UiSize client;  // 96-DPI
    bool all_fixed;
  } cases[] = {
      {"fixed widths that add up to the box",
       L"<Window><HorizontalLayout name=\"box\"><Control name=\"c0\" width=\"33\"/><Control name=\"c1\""
       L" width=\"33\"/><Control name=\"c2\" width=\"34\"/></HorizontalLayout></Window>",
       3,
       {100, 20},
       true},
      {"four one-pixel rows",
       L"<Window><VerticalLayout name=\"box\"><Control name=\"c0\" height=\"1\"/><Control name=\"c1\""
       L" height=\"1\"/><Control name=\"c2\" height=\"1\"/><Control name=\"c3\" height=\"1\"/>"
       L"</VerticalLayout></Window>",
       4,
       {10, 4},
       true},
      {"paddings and child padding between fixed rows, inside an inset",
       L"<Window><VerticalLayout name=\"box\" inset=\"3,5,3,5\" childpadding=\"3\"><Control name=\"c0\""
       L" height=\"7\" padding=\"0,1,0,2\"/><Control name=\"c1\" height=\"13\"/><Control name=\"c2\""
       L" height=\"5\" padding=\"0,0,0,1\"/></VerticalLayout></Window>",
       3,
       {50, 45},
       true},
      {"a stretched child between two fixed ones",
       L"<Window><HorizontalLayout name=\"box\"><Control name=\"c0\" width=\"20\"/><Control name=\"c1\"/>"
       L"<Control name=\"c2\" width=\"30\"/></HorizontalLayout></Window>",
       3,
       {101, 10},
       false},
      {"three stretched children",
       L"<Window><HorizontalLayout name=\"box\"><Control name=\"c0\"/><Control name=\"c1\"/>"
       L"<Control name=\"c2\"/></HorizontalLayout></Window>",
       3,
       {101, 10},
       false},
  };
  for (const Case& c : cases) {
    for (const int dpi : {120, 144, 168, 192}) {
      SCOPED_TRACE(std::string(c.what) + " at " + std::to_string(dpi) + " DPI");
      const DpiScale scale(dpi);
      test::TestWindow unscaled;
      test::TestWindow window;
      window.host.SetDpi(dpi);
      ASSERT_TRUE(unscaled.Build(c.skin, c.client.cx, c.client.cy));
      ASSERT_TRUE(window.Build(c.skin, scale.Scale(c.client.cx), scale.Scale(c.client.cy)));
      const bool vertical = window.Find(L"box")->GetInterface(L"VerticalLayout") != nullptr;
      auto lead = [vertical](const UiRect& r) { return vertical ? r.top : r.left; };
      auto trail = [vertical](const UiRect& r) { return vertical ? r.bottom : r.right; };
      const UiRect box = window.Rect(L"box");
      const UiRect box96 = unscaled.Rect(L"box");
      const auto* container = static_cast<CContainerUI*>(window.Find(L"box")->GetInterface(L"Container"));
      const UiRect inner = container->GetInnerRect();
      const UiRect inner96 =
          static_cast<CContainerUI*>(unscaled.Find(L"box")->GetInterface(L"Container"))->GetInnerRect();
      EXPECT_EQ(box, scale.Scale(box96));
      UiRect previous;
      UiRect previous96;
      for (int i = 0; i < c.children; ++i) {
        const std::wstring name = L"c" + std::to_wstring(i);
        const UiRect r = window.Rect(name.c_str());
        const UiRect r96 = unscaled.Rect(name.c_str());
        if (c.all_fixed) {
          EXPECT_EQ(lead(r) - lead(inner), scale.Scale(lead(r96) - lead(inner96))) << i;
          EXPECT_EQ(trail(r) - lead(inner), scale.Scale(trail(r96) - lead(inner96))) << i;
        }
        // Joined where they were joined; apart by the gap scaled (as the
        // difference of two scaled edges) where not.
        if (i > 0) {
          if (lead(r96) == trail(previous96)) {
            EXPECT_EQ(lead(r), trail(previous)) << i;
          }
          EXPECT_NEAR(lead(r) - trail(previous), scale.Scale(lead(r96) - trail(previous96)), 1) << i;
        }
        previous = r;
        previous96 = r96;
      }
      // The last one ends at the box's inner edge, as it did. (A box's
      // inset is scaled as a width: with fixed children only, their end
      // and the inner edge are two roundings apart, at most one pixel.)
      EXPECT_EQ(trail(inner96), trail(previous96));
      EXPECT_NEAR(trail(previous), trail(inner), c.all_fixed ? 1 : 0);
    }
  }
}

TEST_F(LayoutTest, TabLayoutShowsTheSelectedChild) {
  test::TestWindow window;
  ASSERT_TRUE(
      window.Build(L"<Window><TabLayout name=\"tabs\" selectedid=\"1\" inset=\"1,1,1,1\"><Control name=\"a\"/>"
                   L"<Control name=\"b\" width=\"20\" padding=\"2,2,0,0\"/></TabLayout></Window>",
                   100, 50));
  auto* tabs = static_cast<CTabLayoutUI*>(window.Find(L"tabs")->GetInterface(L"TabLayout"));
  EXPECT_EQ(tabs->GetCurSel(), 1);
  EXPECT_FALSE(window.Find(L"a")->IsVisible());
  EXPECT_EQ(window.Rect(L"b"), (UiRect{3, 3, 23, 49}));
  int selected = -1;
  window.Find(L"tabs")->OnNotify.Add([&](NotifyMsg& msg) {
    if (msg.type == L"tabselect") selected = static_cast<int>(msg.wparam);
    return true;
  });
  EXPECT_FALSE(tabs->SelectItem(5));
  EXPECT_TRUE(tabs->SelectItem(1));
  EXPECT_EQ(selected, -1);  // the current one: success, nothing else
  EXPECT_TRUE(tabs->SelectItem(0));
  EXPECT_EQ(selected, 0);
  window.host.Layout();
  EXPECT_EQ(window.Rect(L"a"), (UiRect{1, 1, 99, 49}));
}

// A control that counts the walks that look for focusable controls.
class CountedControl : public CControlUI {
 public:
  uint32_t GetControlFlags() const override {
    ++asked;
    return 0;
  }
  static int asked;
};
int CountedControl::asked = 0;

CControlUI* CountedControls(const wchar_t* class_name) {
  return std::wcscmp(class_name, L"Counted") == 0 ? new CountedControl() : nullptr;
}

// Selecting a tab walks the window's tree once at the next paint, however
// often it happens before: each selection walked it (25,000 tab layouts
// beside 25,000 controls took 12.5 s).
TEST_F(LayoutTest, TabSelectionsWalkTheTreeOncePerPaint) {
  CDialogBuilder::AddControlFactory(&CountedControls);
  std::wstring skin = L"<Window><VerticalLayout>";
  for (int i = 0; i < 100; ++i) skin += L"<Counted/>";
  skin += L"<TabLayout name=\"tabs\"><Control/><Button name=\"second\"/></TabLayout></VerticalLayout></Window>";
  test::TestWindow window;
  const bool built = window.Build(skin.c_str(), 100, 100);
  CDialogBuilder::RemoveControlFactory(&CountedControls);
  ASSERT_TRUE(built);
  window.Paint();
  auto* tabs = static_cast<CTabLayoutUI*>(window.Find(L"tabs")->GetInterface(L"TabLayout"));
  CountedControl::asked = 0;
  for (int i = 1; i <= 51; ++i) EXPECT_TRUE(tabs->SelectItem(i % 2));
  EXPECT_EQ(CountedControl::asked, 0);
  EXPECT_TRUE(window.Find(L"second")->IsVisible());
  EXPECT_FALSE(tabs->GetItemAt(0)->IsVisible());
  window.Paint();
  EXPECT_EQ(CountedControl::asked, 100);
  // The focus moved on from the new page to the control in it.
  EXPECT_EQ(window.host.GetFocus(), window.Find(L"second"));
}

TEST_F(LayoutTest, ChangesAreLaidOutLazily) {
  test::TestWindow window;
  ASSERT_TRUE(window.Build(
      L"<Window><VerticalLayout><VerticalLayout name=\"inner\" height=\"60\"><HorizontalLayout name=\"row\""
      L" height=\"20\"><Label name=\"l\" text=\"a\"/></HorizontalLayout><Control name=\"c\"/></VerticalLayout>"
      L"<Control name=\"d\"/></VerticalLayout></Window>",
      100, 100));
  int d_laid_out = 0;
  window.Find(L"d")->OnSize.Add([&](CControlUI&) { return ++d_laid_out > 0; });
  window.native.invalid.clear();
  // A new text repaints the label and lays out nothing.
  window.Find(L"l")->SetText(L"b");
  EXPECT_FALSE(window.host.Layout());
  ASSERT_EQ(window.native.invalid.size(), 1u);
  EXPECT_EQ(window.native.invalid[0], (UiRect{0, 0, 100, 20}));
  // A new height lays out the parent, not the window.
  window.Find(L"row")->SetFixedHeight(30);
  EXPECT_TRUE(window.host.Layout());
  EXPECT_EQ(window.Rect(L"c"), (UiRect{0, 30, 100, 60}));
  EXPECT_EQ(d_laid_out, 0);
}

TEST_F(LayoutTest, HostileNumbersNeitherOverflowNorCrash) {
  const wchar_t* skins[] = {
      L"<Window><VerticalLayout childpadding=\"2147483647\" inset=\"-2147483648,2147483647,-1,-1\">"
      L"<Control height=\"2147483647\" padding=\"2147483647,2147483647,2147483647,2147483647\"/>"
      L"<Control minheight=\"2147483647\" maxheight=\"1\"/><Control/></VerticalLayout></Window>",
      L"<Window><HorizontalLayout childpadding=\"-2147483648\"><Control width=\"2147483647\"/>"
      L"<Control pos=\"-2147483648,-2147483648,2147483647,2147483647\" float=\"true\"/>"
      L"<Control float=\"1e308,nan,-inf,5\" pos=\"1,1,2147483647,2\"/></HorizontalLayout></Window>",
      L"<Window><Container inset=\"2147483647,0,-2147483648,0\"><Control maxwidth=\"-5\"/>"
      L"<TabLayout selectedid=\"-2147483648\"><Control padding=\"-2147483648,0,0,0\"/></TabLayout>"
      L"</Container></Window>",
  };
  for (const wchar_t* skin : skins) {
    for (UiSize client : {UiSize{1, 1}, UiSize{580, 374}, UiSize{1 << 20, 1 << 20}}) {
      test::TestWindow window;
      ASSERT_TRUE(window.Build(skin, client.cx, client.cy));
      window.Paint();
      EXPECT_EQ(window.render.ClipDepth(), 0);
      EXPECT_EQ(window.render.Underflows(), 0);
    }
  }
}

// Hostile numbers where controls multiply them: a scroll bar's "linesize"
// times the three lines of a wheel step, and the recording backend's
// character width for a font of 2,147,483,647 points.
TEST_F(LayoutTest, MultipliedNumbersSaturate) {
  test::TestWindow window;
  ASSERT_TRUE(
      window.Build(L"<Window><VerticalLayout name=\"v\" vscrollbar=\"true\" "
                   L"vscrollbarstyle=\"linesize=&quot;1000000000&quot;\"><Control height=\"500\"/>"
                   L"</VerticalLayout></Window>",
                   100, 100));
  window.Paint();
  auto* v = static_cast<CContainerUI*>(window.Find(L"v"));
  ASSERT_GT(v->GetScrollRange().cy, 0);
  InputRecord wheel;
  wheel.kind = InputKind::kMouseWheel;
  wheel.point = UiPoint{10, 10};
  wheel.wheel_delta = -120;  // toward the user: the content moves up
  intptr_t result = 0;
  window.host.MessageHandler(wheel, result);
  EXPECT_EQ(v->GetScrollPos().cy, v->GetScrollRange().cy);

  FontDescription huge;
  huge.height = -2147483647;
  EXPECT_EQ(CRecordingRender::CharWidth(L'a', huge), 1073741824);
  EXPECT_EQ(CRecordingRender::CharWidth(L'\u4e2d', huge), 2147483647);
  CRecordingRender render;
  EXPECT_EQ(render.MeasureText(UiRect{0, 0, 100, 100}, L"abc", huge, kTextSingleLine).right, 2147483647);
}

// The deepest tree a skin can make, through every phase that walks it:
// within the UI thread's stack on every build (1 MiB under Windows).
TEST_F(LayoutTest, DeepTreesStayOnTheStack) {
  std::wstring skin = L"<Window>";
  for (int i = 0; i < 300; ++i) skin += L"<HorizontalLayout inset=\"0,0,0,0\"><VerticalLayout>";
  skin += L"<Button name=\"leaf\" text=\"x\"/>";
  for (int i = 0; i < 300; ++i) skin += L"</VerticalLayout></HorizontalLayout>";
  skin += L"</Window>";
  test::TestWindow window;
  ASSERT_TRUE(window.Build(skin.c_str(), 300, 200));
  window.Paint();
  EXPECT_NE(window.host.FindControl(UiPoint{5, 5}), nullptr);
  window.host.GetRoot()->NeedUpdate();
  window.Paint();
}

}  // namespace
}  // namespace Veneer
