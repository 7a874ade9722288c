// The window host's event logic, fed with input records, and the pieces
// every window shares: the frame hit test and the notification maps.

#include "uiframework/core/paint_host.h"

#include <gtest/gtest.h>

#include "tests/uiframework/test_support.h"
#include "uiframework/core/container.h"
#include "uiframework/resources/skin_resources.h"
#include "uiframework/core/hit_test.h"
#include "uiframework/core/notify_pump.h"

namespace Veneer {
namespace {

class PaintHostTest : public test::FrameworkTest {
 protected:
  // Two buttons, a label and a text in a 200 by 100 window.
  void SetUp() override {
    test::FrameworkTest::SetUp();
    ASSERT_TRUE(window_.Build(
        L"<Window><VerticalLayout><Button name=\"b1\" height=\"20\" tooltip=\"tip %{3}\"/>"
        L"<Button name=\"b2\" height=\"20\"/><Label name=\"l\" height=\"20\"/><Text name=\"t\" height=\"20\"/>"
        L"</VerticalLayout></Window>",
        200, 100));
    window_.host.AddNotifier(&recorder_);
  }

  void Send(InputKind kind, int x = 0, int y = 0, uint32_t key = 0) {
    InputRecord input;
    input.kind = kind;
    input.point = UiPoint{x, y};
    input.key = key;
    intptr_t result = 0;
    window_.host.MessageHandler(input, result);
  }

  struct Recorder : INotifyUI {
    void Notify(NotifyMsg& msg) override {
      seen.push_back(tag + msg.type + L":" + (msg.sender != nullptr ? msg.sender->GetName() : L"-"));
    }
    std::wstring tag;
    std::vector<std::wstring> seen;
  };

  std::vector<std::wstring> Clicks() const {
    std::vector<std::wstring> clicks;
    for (const std::wstring& s : recorder_.seen) {
      if (s.find(L"click") != std::wstring::npos) clicks.push_back(s);
    }
    return clicks;
  }

  test::TestWindow window_;
  Recorder recorder_;
};

TEST_F(PaintHostTest, ClickNeedsPressAndReleaseInside) {
  // Pressed, moved out, released: no click.
  Send(InputKind::kButtonDown, 10, 10);
  EXPECT_TRUE(window_.native.captured);
  Send(InputKind::kMouseMove, 10, 50);
  Send(InputKind::kButtonUp, 10, 50);
  EXPECT_FALSE(window_.native.captured);
  EXPECT_TRUE(Clicks().empty());
  // Moved back in before the release: one click.
  Send(InputKind::kButtonDown, 10, 10);
  Send(InputKind::kMouseMove, 10, 50);
  Send(InputKind::kMouseMove, 10, 12);
  Send(InputKind::kButtonUp, 10, 12);
  EXPECT_EQ(Clicks(), (std::vector<std::wstring>{L"click:b1"}));
}

TEST_F(PaintHostTest, NotificationsReachCallbacksThenEveryNotifierInOrder) {
  Recorder second;
  second.tag = L"2 ";
  window_.host.AddNotifier(&second);
  EXPECT_FALSE(window_.host.AddNotifier(&second));  // once only
  std::vector<std::wstring> order;
  window_.Find(L"b2")->OnNotify.Add([&](NotifyMsg& msg) {
    if (msg.type == L"click") order.push_back(L"callback");
    return false;  // stops further callbacks, not the notifiers
  });
  window_.Find(L"b2")->OnNotify.Add([&](NotifyMsg&) {
    order.push_back(L"second callback");
    return true;
  });
  Send(InputKind::kButtonDown, 10, 30);
  Send(InputKind::kButtonUp, 10, 30);
  EXPECT_EQ(order, (std::vector<std::wstring>{L"callback"}));
  EXPECT_EQ(Clicks(), (std::vector<std::wstring>{L"click:b2"}));
  ASSERT_FALSE(second.seen.empty());
  EXPECT_EQ(second.seen.back(), L"2 click:b2");

  // Queued notifications go out at the next message; a sender removed
  // meanwhile is delivered as none.
  CControlUI* label = window_.Find(L"l");
  window_.host.SendNotify(label, L"later", 0, 0, true);
  auto* root = static_cast<CContainerUI*>(window_.host.GetRoot()->GetInterface(L"Container"));
  root->SetDelayedDestroy(false);
  root->Remove(label);
  recorder_.seen.clear();
  Send(InputKind::kOther);
  EXPECT_EQ(recorder_.seen, (std::vector<std::wstring>{L"later:-"}));
}

TEST_F(PaintHostTest, FocusRules) {
  CControlUI* b1 = window_.Find(L"b1");
  CControlUI* b2 = window_.Find(L"b2");
  window_.host.SetFocus(b1);
  window_.host.SetFocus(b1);  // nothing when it has it already
  window_.host.SetFocus(b2);
  EXPECT_EQ(recorder_.seen, (std::vector<std::wstring>{L"setfocus:b1", L"killfocus:b1", L"setfocus:b2"}));
  EXPECT_TRUE(b2->IsFocused());
  b1->SetEnabled(false);
  window_.host.SetFocus(b1);  // refused: disabled, and the old focus is gone anyway
  EXPECT_EQ(window_.host.GetFocus(), nullptr);
  window_.host.SetFocus(b2);
  b2->SetVisible(false);  // hiding the focused control drops the focus
  EXPECT_EQ(window_.host.GetFocus(), nullptr);
  // Tab travels between the focusable controls.
  b1->SetEnabled(true);
  b2->SetVisible(true);
  InputRecord tab;
  tab.kind = InputKind::kKeyDown;
  tab.key = kKeyTab;
  EXPECT_TRUE(window_.host.PreMessageHandler(tab));
  EXPECT_EQ(window_.host.GetFocus(), b1);
  EXPECT_TRUE(window_.host.PreMessageHandler(tab));
  EXPECT_EQ(window_.host.GetFocus(), b2);
}

TEST_F(PaintHostTest, FirstPaintDoesNotFocusAButton) {
  // Return on a window must not press a button the user never chose.
  window_.Paint();
  EXPECT_EQ(window_.host.GetFocus(), nullptr);
  Send(InputKind::kKeyDown, 0, 0, kKeyReturn);
  EXPECT_TRUE(Clicks().empty());
}

TEST_F(PaintHostTest, Timers) {
  CControlUI* b1 = window_.Find(L"b1");
  CControlUI* b2 = window_.Find(L"b2");
  ASSERT_TRUE(window_.host.SetTimer(b1, 7, 100));
  EXPECT_EQ(window_.host.GetTimerLocalId(b1, 7), 17);
  EXPECT_FALSE(window_.host.SetTimer(b1, 7, 100));  // running
  ASSERT_TRUE(window_.host.KillTimer(b1, 7));
  ASSERT_TRUE(window_.host.SetTimer(b1, 7, 50));  // restarted under its old id
  EXPECT_EQ(window_.host.GetTimerLocalId(b1, 7), 17);
  int fired = 0;
  b1->OnEvent.Add([&](UIEvent& event) {
    if (event.kind == kUIEventTimer && event.wparam == 7) ++fired;
    return true;
  });
  Send(InputKind::kTimer, 0, 0, 17);
  EXPECT_EQ(fired, 1);
  EXPECT_EQ(recorder_.seen.back(), L"timer:b1");
  // Later ids count up and wrap within 0..254.
  int last = 17;
  for (uint32_t id = 0; id < 300; ++id) {
    ASSERT_TRUE(window_.host.SetTimer(b2, id, 10));
    const int local = window_.host.GetTimerLocalId(b2, id);
    EXPECT_EQ(local, (last + 1) % 255);
    last = local;
  }
  // A timer that cannot be set reports failure; removing a control kills
  // its timers.
  window_.native.refuse_timers = true;
  EXPECT_FALSE(window_.host.SetTimer(b1, 8, 10));
  const size_t killed = window_.native.killed.size();
  window_.host.ReapObjects(b2);
  EXPECT_EQ(window_.native.killed.size(), killed + 300);
}

TEST_F(PaintHostTest, OpacityHoverAndCleanup) {
  window_.host.SetOpacity(255);
  EXPECT_EQ(window_.native.layered, 1);
  EXPECT_EQ(window_.native.alpha, 255);
  window_.host.SetOpacity(300);
  EXPECT_EQ(window_.host.GetWindowSettings().opacity, 255);
  EXPECT_EQ(window_.native.layered, 0);

  // Hover: tracking armed on the first move (400 ms without a tooltip
  // window), the tooltip with its language tokens replaced.
  window_.host.GetResources().AddMultiLanguageString(3, L"three");
  Send(InputKind::kMouseMove, 10, 10);
  EXPECT_EQ(window_.native.tracking_hover_ms, 400);
  Send(InputKind::kMouseHover, 10, 10);
  EXPECT_EQ(window_.native.tooltip, L"tip three");
  EXPECT_EQ(window_.native.tooltip_width, 300);
  const int trackings = window_.native.trackings;
  Send(InputKind::kMouseLeave);
  EXPECT_EQ(window_.native.tooltip, L"");
  EXPECT_EQ(window_.host.GetHover(), nullptr);
  // Leaving does not arm tracking again (the mouse is outside: that would
  // bring the next leave at once); the next move inside does.
  EXPECT_EQ(window_.native.trackings, trackings);
  Send(InputKind::kMouseMove, 10, 10);
  EXPECT_EQ(window_.native.trackings, trackings + 1);

  // A removed child leaves the tree at once and is destroyed later.
  CControlUI* label = window_.Find(L"l");
  int destroyed = 0;
  label->OnDestroy.Add([&](CControlUI&) { return ++destroyed > 0; });
  auto* root = static_cast<CContainerUI*>(window_.host.GetRoot()->GetInterface(L"Container"));
  ASSERT_TRUE(root->Remove(label));
  EXPECT_EQ(window_.Find(L"l"), nullptr);
  EXPECT_EQ(window_.native.cleanups_posted, 1);
  EXPECT_EQ(destroyed, 0);
  Send(InputKind::kDelayedCleanup);
  EXPECT_EQ(destroyed, 1);

  // A tree that could not be built closes the window.
  EXPECT_FALSE(window_.host.AttachDialog(nullptr));
  EXPECT_EQ(window_.native.closes, 1);
}

TEST_F(PaintHostTest, FrameHitTest) {
  test::TestWindow strip;
  ASSERT_TRUE(
      strip.Build(L"<Window><VerticalLayout><HorizontalLayout height=\"30\"><Label name=\"title\" width=\"100\"/>"
                  L"<Button name=\"close\" width=\"20\"/><Text name=\"text\" width=\"20\"/></HorizontalLayout>"
                  L"<Control name=\"body\"/></VerticalLayout></Window>",
                  240, 210));
  const UiRect client{0, 0, 240, 210};
  struct Case {
    UiPoint point;
    UiRect caption;
    UiRect size_box;
    bool maximized;
    int expected;
  } cases[] = {
      {{10, 10}, {0, 0, 0, 30}, {}, false, kHitCaption},   // the label drags
      {{110, 10}, {0, 0, 0, 30}, {}, false, kHitClient},   // the close button does not
      {{130, 10}, {0, 0, 0, 30}, {}, false, kHitClient},   // nor a text
      {{200, 10}, {0, 0, 0, 30}, {}, false, kHitCaption},  // the strip itself does
      {{10, 40}, {0, 0, 0, 30}, {}, false, kHitClient},    // below the strip
      {{10, 10}, {15, 0, 15, 20}, {}, false, kHitClient},  // left of x = 15
      {{16, 10}, {15, 0, 15, 20}, {}, false, kHitCaption},
      {{226, 10}, {15, 0, 15, 20}, {}, false, kHitClient},  // right of width - 15
      {{16, 25}, {15, 0, 15, 20}, {}, false, kHitClient},   // below y = 20
      {{2, 2}, {0, 0, 0, 30}, {4, 4, 4, 4}, false, kHitTopLeft},
      {{238, 100}, {0, 0, 0, 30}, {4, 4, 4, 4}, false, kHitRight},
      {{100, 208}, {0, 0, 0, 30}, {4, 4, 4, 4}, false, kHitBottom},
      {{2, 2}, {0, 0, 0, 30}, {4, 4, 4, 4}, true, kHitCaption},  // maximised: no resize zones
  };
  for (const Case& c : cases) {
    CControlUI* control = strip.host.FindControl(c.point);
    EXPECT_EQ(HitTestFrame(c.point, client, c.size_box, c.caption, control, c.maximized), c.expected)
        << c.point.x << "," << c.point.y;
  }
}

// Message maps: an exact entry beats a wildcard, a class's map comes before
// its base's, and a virtual window gets the first chance.
class BasePump : public CNotifyPump {
 public:
  void OnAnyClick(NotifyMsg& msg) { log += L"base any " + msg.sender->GetName() + L";"; }
  void OnSetFocus(uintptr_t wparam, intptr_t) { log += L"base focus " + std::to_wstring(wparam) + L";"; }
  std::wstring log;

 protected:
  const NotifyMap* GetNotifyMap() const override {
    static const NotifyMapEntry entries[] = {NotifyEntry<&BasePump::OnAnyClick>(L"click", L""),
                                             NotifyEntry<&BasePump::OnSetFocus>(L"setfocus", L"")};
    static const NotifyMap map = MakeNotifyMap(CNotifyPump::GetNotifyMap(), entries);
    return &map;
  }
};

class DerivedPump : public BasePump {
 public:
  void OnOk(NotifyMsg&) { log += L"ok;"; }
  void OnAny(NotifyMsg&) { log += L"derived any;"; }

 protected:
  const NotifyMap* GetNotifyMap() const override {
    static const NotifyMapEntry entries[] = {NotifyEntry<&DerivedPump::OnOk>(L"click", L"ok"),
                                             NotifyEntry<&DerivedPump::OnAny>(L"click", L"")};
    static const NotifyMap map = MakeNotifyMap(BasePump::GetNotifyMap(), entries);
    return &map;
  }
};

// A host's last word to its window, after its tree is gone: the window's
// binding then lets go of it, whichever of the two is destroyed first (the
// wizard's final-message handler skips the base's detach, and its binding
// outlived its host and called into it at exit).
// A window moved to a screen of another DPI: the tree is laid out anew at
// the new scale and its pictures are drawn from copies for it; the skin's
// window size and frame come out scaled.
TEST_F(PaintHostTest, AnotherDpiLaysOutAndDrawsAnew) {
  test::ScratchDir dir;
  dir.Write("a.png", test::EncodePng(10, 10, std::vector<uint8_t>(10 * 10 * 4, 0xFF)));
  CSkinResourcesUI::SetResourcePath(dir.WidePath().c_str());
  test::TestWindow window;
  window.host.SetDpi(144);
  ASSERT_TRUE(
      window.Build(L"<Window size=\"100,60\" caption=\"0,0,0,30\" roundcorner=\"3,3\" mininfo=\"100,60\">"
                   L"<VerticalLayout><Control name=\"c\" height=\"30\" bkimage=\"a.png\"/></VerticalLayout>"
                   L"</Window>",
                   150, 90));
  const WindowSettings settings = window.host.GetScaledWindowSettings();
  EXPECT_EQ(settings.caption, (UiRect{0, 0, 0, 45}));
  EXPECT_EQ(settings.round_corner, (UiSize{5, 5}));
  EXPECT_EQ(settings.min_info, (UiSize{150, 90}));
  EXPECT_EQ(window.host.GetWindowSettings().caption, (UiRect{0, 0, 0, 30}));  // the skin's own numbers kept
  auto image_width = [&window] {
    for (const RenderCall& call : window.Paint()) {
      if (call.op == RenderCall::kImage) return call.image_width;
    }
    return 0;
  };
  EXPECT_EQ(window.Rect(L"c"), (UiRect{0, 0, 150, 45}));
  EXPECT_EQ(image_width(), 15);
  // The system moves it to a 192-DPI screen and sizes it for it.
  window.host.SetDpi(192);
  window.native.client = UiRect{0, 0, 200, 120};
  EXPECT_EQ(image_width(), 20);
  EXPECT_EQ(window.Rect(L"c"), (UiRect{0, 0, 200, 60}));
  window.host.SetDpi(96);
  window.native.client = UiRect{0, 0, 100, 60};
  EXPECT_EQ(image_width(), 10);
  EXPECT_EQ(window.Rect(L"c"), (UiRect{0, 0, 100, 30}));
  // A window yet without its tree takes the skin's size, scaled.
  test::TestWindow empty;
  empty.host.SetDpi(144);
  empty.host.SetInitSize(100, 60);
  EXPECT_EQ(empty.native.client, (UiRect{0, 0, 150, 90}));
}

TEST_F(PaintHostTest, TheWindowHearsWhenItsHostGoes) {
  test::FakeNativeWindow native;
  std::vector<std::string> order;
  {
    CPaintHostUI host;
    host.AttachNativeWindow(&native);
    auto* root = new CControlUI();
    root->OnDestroy.Add([&](CControlUI&) {
      order.push_back("tree gone, window told " + std::to_string(native.hosts_destroyed) + " times");
      return true;
    });
    host.AttachDialog(root);
  }
  order.push_back("host gone, window told " + std::to_string(native.hosts_destroyed) + " times");
  EXPECT_EQ(order, (std::vector<std::string>{"tree gone, window told 0 times", "host gone, window told 1 times"}));
}

TEST_F(PaintHostTest, NotifyPumpMaps) {
  CControlUI ok;
  ok.SetName(L"ok");
  CControlUI other;
  other.SetName(L"other");
  DerivedPump pump;
  BasePump page;
  EXPECT_TRUE(pump.AddVirtualWnd(L"Page", &page));
  EXPECT_FALSE(pump.AddVirtualWnd(L"PAGE", &page));
  NotifyMsg msg;
  msg.type = L"click";
  msg.sender = &ok;
  pump.NotifyPump(msg);
  msg.sender = &other;
  pump.NotifyPump(msg);
  msg.type = L"setfocus";
  msg.wparam = 4;
  pump.NotifyPump(msg);
  EXPECT_EQ(pump.log, L"ok;derived any;base focus 4;");
  msg.type = L"click";
  msg.virtual_wnd = L"page";
  pump.NotifyPump(msg);
  EXPECT_EQ(page.log, L"base any other;");
  EXPECT_EQ(pump.log, L"ok;derived any;base focus 4;");
}

}  // namespace
}  // namespace Veneer
