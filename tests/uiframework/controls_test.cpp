// The standard controls, painted into the recording backend and driven by
// the host's input records.

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>

#include "tests/uiframework/test_support.h"
#include "uiframework/builder/dialog_builder.h"
#include "uiframework/controls/button.h"
#include "uiframework/controls/option.h"
#include "uiframework/controls/progress.h"
#include "uiframework/core/container.h"
#include "uiframework/core/image_draw.h"
#include "uiframework/resources/skin_resources.h"

namespace Veneer {
namespace {

class ControlsTest : public test::FrameworkTest {
 protected:
  void SetUp() override {
    test::FrameworkTest::SetUp();
    std::vector<uint8_t> pixels(240 * 4, 0xFF);
    dir_.Write("fore.png", test::EncodePng(240, 1, pixels));
    dir_.Write("a.png", test::EncodePng(2, 2, std::vector<uint8_t>(16, 0x80)));
    dir_.Write("b.png", test::EncodePng(3, 3, std::vector<uint8_t>(36, 0x80)));
    CSkinResourcesUI::SetResourcePath(dir_.WidePath().c_str());
  }

  static std::vector<RenderCall> Only(const std::vector<RenderCall>& calls, RenderCall::Op op) {
    std::vector<RenderCall> out;
    std::copy_if(calls.begin(), calls.end(), std::back_inserter(out), [op](const RenderCall& c) { return c.op == op; });
    return out;
  }

  static InputRecord Mouse(InputKind kind, int x, int y) {
    InputRecord input;
    input.kind = kind;
    input.point = UiPoint{x, y};
    return input;
  }

  test::ScratchDir dir_;
};

TEST_F(ControlsTest, TextPainting) {
  test::TestWindow window;
  ASSERT_TRUE(
      window.Build(L"<Window><Font id=\"1\" name=\"F\" size=\"10\" default=\"true\"/><VerticalLayout>"
                   L"<Label name=\"l\" align=\"left\" text=\"a long line\" textcolor=\"#00D6D6E6\" height=\"20\"/>"
                   L"<Text name=\"t\" align=\"left\" text=\"a long line\" height=\"20\"/>"
                   L"<Label name=\"e\" text=\"\" height=\"20\"/><Label name=\"d\" text=\"off\" enabled=\"false\""
                   L" textpadding=\"1,2,3,4\" height=\"20\"/></VerticalLayout></Window>",
                   100, 100));
  std::vector<RenderCall> texts = Only(window.Paint(), RenderCall::kText);
  ASSERT_EQ(texts.size(), 3u);  // nothing for the empty label
  // A label never wraps, whatever "align" did; a Text uses its style as is.
  EXPECT_NE(texts[0].style & kTextSingleLine, 0);
  EXPECT_EQ(texts[1].style & kTextSingleLine, 0);
  EXPECT_NE(texts[1].style & kTextWordBreak, 0);
  // An alpha of 00 still draws: the backends use red, green and blue only.
  EXPECT_EQ(texts[0].color, 0x00D6D6E6u);
  EXPECT_EQ(texts[1].rect, (UiRect{2, 20, 98, 40}));  // the Text's default padding
  // Disabled: the window's disabled colour; the text padding applies.
  EXPECT_EQ(texts[2].color, 0xFFA7A6AAu);
  EXPECT_EQ(texts[2].rect, (UiRect{1, 62, 97, 76}));
  EXPECT_EQ(texts[2].font.Size(), 10);
}

TEST_F(ControlsTest, ButtonStatesAndImages) {
  test::TestWindow window;
  ASSERT_TRUE(window.Build(
      L"<Window><VerticalLayout><Button name=\"only\" normalimage=\"a.png\" height=\"20\" hottextcolor=\"#FF0000FF\"/>"
      L"<Button name=\"all\" normalimage=\"a.png\" hotimage=\"b.png\" pushedimage=\"file='b.png' corner='1,1,1,1'\""
      L" height=\"20\" hot_disable=\"false\" hottextcolor=\"#FF00FF00\" text=\"x\"/></VerticalLayout></Window>",
      100, 100));
  auto images_of = [&](const wchar_t* name) {
    std::vector<uint64_t> serials;
    const UiRect rect = window.Rect(name);
    for (const RenderCall& call : Only(window.Paint(), RenderCall::kImage)) {
      if (rect.Intersects(call.rect)) serials.push_back(call.image_serial);
    }
    return serials;
  };
  const std::vector<uint64_t> normal = images_of(L"only");
  ASSERT_EQ(normal.size(), 1u);
  // Hot, pushed, focused and disabled all fall back to the normal image.
  intptr_t result = 0;
  window.host.MessageHandler(Mouse(InputKind::kMouseMove, 5, 5), result);
  EXPECT_EQ(images_of(L"only"), normal);
  window.host.MessageHandler(Mouse(InputKind::kButtonDown, 5, 5), result);
  EXPECT_EQ(images_of(L"only"), normal);
  window.host.MessageHandler(Mouse(InputKind::kButtonUp, 5, 5), result);
  window.Find(L"only")->SetEnabled(false);
  EXPECT_EQ(images_of(L"only"), normal);

  // "hot_disable" other than "true": never hot, never the hot text colour.
  window.host.MessageHandler(Mouse(InputKind::kMouseMove, 5, 25), result);
  auto* all = static_cast<CButtonUI*>(window.Find(L"all"));
  EXPECT_EQ(all->GetState() & kStateHot, 0u);
  for (const RenderCall& call : Only(window.Paint(), RenderCall::kText)) EXPECT_NE(call.color, 0xFF00FF00u);
  EXPECT_EQ(images_of(L"all"), normal);  // the normal image, not b.png
  // Pushed: a nine-grid of b.png (3x3 with 1-pixel corners: nine pieces).
  window.host.MessageHandler(Mouse(InputKind::kButtonDown, 5, 25), result);
  EXPECT_EQ(images_of(L"all").size(), 9u);
}

TEST_F(ControlsTest, ClicksAndOptionGroups) {
  test::TestWindow window;
  ASSERT_TRUE(
      window.Build(L"<Window><VerticalLayout><Button name=\"off\" enabled=\"false\" height=\"10\"/>"
                   L"<Option name=\"o1\" group=\"g\" selected=\"true\" height=\"10\"/><Option name=\"o2\" group=\"g\" "
                   L"height=\"10\"/>"
                   L"<Option name=\"t\" height=\"10\"/></VerticalLayout></Window>",
                   100, 100));
  std::vector<std::wstring> seen;
  struct Recorder : INotifyUI {
    std::vector<std::wstring>* seen;
    void Notify(NotifyMsg& msg) override {
      if (msg.type == L"click" || msg.type == L"selectchanged") {
        seen->push_back(msg.type + L":" + (msg.sender != nullptr ? msg.sender->GetName() : L"-"));
      }
    }
  } recorder;
  recorder.seen = &seen;
  window.host.AddNotifier(&recorder);
  intptr_t result = 0;
  auto click = [&](int y) {
    window.host.MessageHandler(Mouse(InputKind::kButtonDown, 5, y), result);
    window.host.MessageHandler(Mouse(InputKind::kButtonUp, 5, y), result);
  };
  click(5);  // the disabled button
  EXPECT_TRUE(seen.empty());
  auto* o1 = static_cast<COptionUI*>(window.Find(L"o1"));
  auto* o2 = static_cast<COptionUI*>(window.Find(L"o2"));
  EXPECT_TRUE(o1->IsSelected());
  click(25);
  EXPECT_FALSE(o1->IsSelected());
  EXPECT_TRUE(o2->IsSelected());
  EXPECT_EQ(seen, (std::vector<std::wstring>{L"click:o2", L"selectchanged:o2"}));
  seen.clear();
  click(35);  // without a group an option toggles
  click(35);
  EXPECT_EQ(seen, (std::vector<std::wstring>{L"click:t", L"selectchanged:t", L"click:t", L"selectchanged:t"}));
}

// An option that counts the group walks that ask it what it is.
class CountedOption : public COptionUI {
 public:
  void* GetInterface(const wchar_t* name) override {
    if (name != nullptr && std::wcscmp(name, L"Option") == 0) ++asked;
    return COptionUI::GetInterface(name);
  }
  static int asked;
};
int CountedOption::asked = 0;

CControlUI* CountedOptions(const wchar_t* class_name) {
  return std::wcscmp(class_name, L"Counted") == 0 ? new CountedOption() : nullptr;
}

// Selecting an option visits only the options of its group that are
// selected, and a group goes with its last option: 100,000 options in one
// group took 34 s to attach (a walk of the group per option), as many
// groups of one took minutes to tear down (every group for every control).
TEST_F(ControlsTest, OptionGroupsCostWhatIsSelected) {
  CDialogBuilder::AddControlFactory(&CountedOptions);
  std::wstring skin = L"<Window><VerticalLayout name=\"list\">";
  for (int i = 0; i < 1000; ++i) skin += L"<Counted group=\"g\"/>";
  for (int i = 0; i < 1000; ++i) skin += L"<Counted group=\"own" + std::to_wstring(i) + L"\"/>";
  skin += L"<Counted name=\"a\" group=\"g\" selected=\"true\"/><Counted name=\"b\" group=\"g\"/>";
  skin += L"</VerticalLayout></Window>";
  test::TestWindow window;
  const bool built = window.Build(skin.c_str(), 100, 100);
  CDialogBuilder::RemoveControlFactory(&CountedOptions);
  ASSERT_TRUE(built);
  COptionGroupsUI& groups = window.host.GetOptionGroups();
  EXPECT_EQ(groups.GroupCount(), 1001u);
  EXPECT_EQ(groups.MemberCount(L"g"), 1002u);
  auto* a = static_cast<COptionUI*>(window.Find(L"a"));
  auto* b = static_cast<COptionUI*>(window.Find(L"b"));
  CountedOption::asked = 0;
  b->Selected(true);
  EXPECT_FALSE(a->IsSelected());
  a->Selected(true);
  EXPECT_FALSE(b->IsSelected());
  EXPECT_EQ(CountedOption::asked, 2);  // the one selected option, each time
  // Moved to another group, an option is selected there alone.
  b->SetGroup(L"own7");
  EXPECT_EQ(groups.MemberCount(L"g"), 1001u);
  b->Selected(true);
  EXPECT_TRUE(a->IsSelected());
  // Options leaving the tree leave their groups, and emptied groups go.
  static_cast<CContainerUI*>(window.Find(L"list"))->RemoveAll();
  EXPECT_EQ(groups.GroupCount(), 0u);
}

TEST_F(ControlsTest, ProgressRevealsItsForeImage) {
  struct Case {
    const wchar_t* attributes;
    int value;
    UiRect dest;
    UiRect source;
    int stored;
  } cases[] = {
      // 250 of 0..1000 over 240 pixels: the first 60, uncovered not squeezed.
      {L"min=\"0\" max=\"1000\" isstretchfore=\"false\"", 250, {10, 20, 70, 21}, {0, 0, 60, 1}, 250},
      {L"min=\"0\" max=\"1000\"", 250, {10, 20, 70, 21}, {0, 0, 240, 1}, 250},
      {L"min=\"0\" max=\"1000\" isstretchfore=\"false\"", 2000, {10, 20, 250, 21}, {0, 0, 240, 1}, 1000},
      // An empty range becomes min..min+1.
      {L"min=\"5\" max=\"5\"", 6, {10, 20, 250, 21}, {0, 0, 240, 1}, 6},
  };
  for (const Case& c : cases) {
    std::wstring skin = L"<Window><Container inset=\"10,20,0,0\"><Progress name=\"p\" foreimage=\"fore.png\" ";
    skin += c.attributes;
    skin += L" float=\"true\" pos=\"10,20,250,21\"/></Container></Window>";
    test::TestWindow window;
    ASSERT_TRUE(window.Build(skin.c_str(), 300, 100));
    auto* bar = static_cast<CProgressUI*>(window.Find(L"p"));
    bar->SetValue(c.value);
    std::vector<RenderCall> images = Only(window.Paint(), RenderCall::kImage);
    ASSERT_EQ(images.size(), 1u) << c.value;
    EXPECT_EQ(images[0].rect, c.dest) << c.value;
    EXPECT_EQ(images[0].source, c.source) << c.value;
    EXPECT_EQ(bar->GetValue(), c.stored);
  }
}

TEST_F(ControlsTest, ImageDescriptors) {
  struct Case {
    const wchar_t* text;
    const wchar_t* name;
    UiRect dest;
    UiRect source;
    UiRect corner;
  } cases[] = {
      {L"skin\\question.png", L"skin\\question.png", {}, {}, {}},
      {L"file='a.png' desk='1,2,3,4'", L"a.png", {}, {}, {}},  // a misspelt key is ignored
      {L"file='a.png' source='0,30,580,374' dest='0,0,580,334'", L"a.png", {0, 0, 580, 334}, {0, 30, 580, 374}, {}},
      {L"file='a.png'  corner='1,1,1,1'", L"a.png", {}, {}, {1, 1, 1, 1}},
      {L"file='a.png',corner='1,1,1,1'", L"a.png", {}, {}, {}},  // no blank after the quote: the list ends
      {L"file='a.png' corner='20,0,20,0' fade=''", L"a.png", {}, {}, {20, 0, 20, 0}},
      {L"file='unterminated", L"file='unterminated", {}, {}, {}},
  };
  for (const Case& c : cases) {
    ImageDrawInfo info;
    info.SetText(c.text);
    EXPECT_EQ(info.name, c.name);
    EXPECT_EQ(info.dest, c.dest);
    EXPECT_EQ(info.source, c.source);
    EXPECT_EQ(info.corner, c.corner);
  }
}

TEST_F(ControlsTest, NineGridPieces) {
  // A 62 by 34 picture with corners 20,0,20,0 in a 100 by 34 button: the
  // sides unscaled, the middle stretched, the empty corners skipped.
  dir_.Write("btn.png", test::EncodePng(62, 34, std::vector<uint8_t>(62 * 34 * 4, 0xFF)));
  test::TestWindow window;
  ASSERT_TRUE(
      window.Build(L"<Window><Container><Button name=\"b\" float=\"true\" pos=\"0,0,100,34\""
                   L" normalimage=\"file='btn.png' corner='20,0,20,0'\"/></Container></Window>",
                   200, 100));
  std::vector<RenderCall> images = Only(window.Paint(), RenderCall::kImage);
  std::vector<std::pair<UiRect, UiRect>> pieces;
  for (const RenderCall& call : images) pieces.emplace_back(call.source, call.rect);
  std::sort(pieces.begin(), pieces.end(), [](auto& a, auto& b) { return a.second.left < b.second.left; });
  ASSERT_EQ(pieces.size(), 3u);
  EXPECT_EQ(pieces[0], std::make_pair(UiRect{0, 0, 20, 34}, UiRect{0, 0, 20, 34}));
  EXPECT_EQ(pieces[1], std::make_pair(UiRect{20, 0, 42, 34}, UiRect{20, 0, 80, 34}));
  EXPECT_EQ(pieces[2], std::make_pair(UiRect{42, 0, 62, 34}, UiRect{80, 0, 100, 34}));
}

// A window at 192 DPI paints everything twice as large: fonts, text
// padding, borders, the nine grid (its corners from the picture's @2x, at
// their own size), the progress bar's part of its fore image.
TEST_F(ControlsTest, PaintingAtTwiceTheDpi) {
  dir_.Write("btn.png", test::EncodePng(62, 34, std::vector<uint8_t>(62 * 34 * 4, 0xFF)));
  dir_.Write("btn@2x.png", test::EncodePng(124, 68, std::vector<uint8_t>(124 * 68 * 4, 0xFF)));
  test::TestWindow window;
  window.host.SetDpi(192);
  ASSERT_TRUE(window.Build(
      L"<Window><Font id=\"1\" name=\"F\" size=\"10\" default=\"true\"/><Container>"
      L"<Label name=\"l\" float=\"true\" pos=\"0,40,100,60\" text=\"x\" textpadding=\"1,2,3,4\""
      L" bordersize=\"2\" bordercolor=\"#FF000000\"/>"
      L"<Button name=\"b\" float=\"true\" pos=\"0,0,100,34\" normalimage=\"file='btn.png' corner='20,0,20,0'\"/>"
      L"<Progress name=\"p\" float=\"true\" pos=\"0,70,240,71\" foreimage=\"fore.png\" min=\"0\" max=\"1000\""
      L" value=\"250\" isstretchfore=\"false\"/></Container></Window>",
      400, 200));
  const std::vector<RenderCall> calls = window.Paint();
  std::vector<RenderCall> texts = Only(calls, RenderCall::kText);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].font.height, -20);
  EXPECT_EQ(texts[0].rect, (UiRect{2, 84, 194, 112}));
  std::vector<RenderCall> borders = Only(calls, RenderCall::kBorder);
  ASSERT_EQ(borders.size(), 1u);
  EXPECT_EQ(borders[0].width, 4);
  std::vector<std::pair<UiRect, UiRect>> pieces;
  for (const RenderCall& call : Only(calls, RenderCall::kImage)) {
    if (call.image_width == 124) pieces.emplace_back(call.source, call.rect);
    if (call.image_width == 480) {  // the bar's fore image, its copy at 2x
      EXPECT_EQ(call.rect, (UiRect{0, 140, 120, 142}));
      EXPECT_EQ(call.source, (UiRect{0, 0, 120, 2}));
    }
  }
  std::sort(pieces.begin(), pieces.end(), [](auto& a, auto& b) { return a.second.left < b.second.left; });
  ASSERT_EQ(pieces.size(), 3u);
  EXPECT_EQ(pieces[0], std::make_pair(UiRect{0, 0, 40, 68}, UiRect{0, 0, 40, 68}));
  EXPECT_EQ(pieces[1], std::make_pair(UiRect{40, 0, 84, 68}, UiRect{40, 0, 160, 68}));
  EXPECT_EQ(pieces[2], std::make_pair(UiRect{84, 0, 124, 68}, UiRect{160, 0, 200, 68}));
}

}  // namespace
}  // namespace Veneer
