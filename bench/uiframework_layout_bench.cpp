// The portable framework's cost per control: build + lay out + paint
// (recording backend, recording off) of generated trees of 1,000 to 100,000
// controls, a relayout after one label's text changes, and building flat
// skins of 10,000 to 500,000 siblings. Each figure is reported per control
// ("ns_per_control"), so linear growth shows as a flat column.

#include <benchmark/benchmark.h>

#include <string>

#include "uiframework/builder/dialog_builder.h"
#include "uiframework/core/control.h"
#include "uiframework/core/paint_host.h"
#include "uiframework/testing/headless_window.h"
#include "uiframework/testing/recording_render.h"

namespace {

using namespace Veneer;

// The benchmarks' window: 1024 by 768, nothing else.
class BenchWindow : public CHeadlessWindowUI {
 public:
  BenchWindow() : CHeadlessWindowUI(UiRect{0, 0, 1024, 768}) {}
};

// Rows of mixed layouts: each row is a horizontal layout with a label and
// a button, every tenth row a vertical layout of three labels. About
// `controls` controls in all.
std::wstring MixedSkin(int controls) {
  std::wstring skin = L"<Window size=\"1024,768\"><VerticalLayout>";
  int made = 1;
  for (int row = 0; made < controls; ++row) {
    const std::wstring n = std::to_wstring(row);
    if (row % 10 == 9) {
      skin += L"<VerticalLayout height=\"60\"><Label name=\"v" + n +
              L"\" text=\"a\"/><Label text=\"b\"/>"
              L"<Label text=\"c\"/></VerticalLayout>";
      made += 4;
    } else {
      skin += L"<HorizontalLayout height=\"20\" childpadding=\"2\"><Label name=\"l" + n + L"\" text=\"row " + n +
              L"\"/><Button width=\"60\" text=\"go\"/></HorizontalLayout>";
      made += 3;
    }
  }
  return skin + L"</VerticalLayout></Window>";
}

// A window with its tree built, laid out and painted once.
struct BenchTree {
  explicit BenchTree(const std::wstring& skin) : render(window.GetClientRect()) {
    render.SetRecording(false);
    host.AttachNativeWindow(&window);
    host.SetRender(&render);
    CDialogBuilder builder;
    host.AttachDialog(builder.Create(skin.c_str(), nullptr, nullptr, &host));
    host.Layout();
    host.Paint(window.GetClientRect());
  }
  BenchWindow window;
  CRecordingRender render;
  CPaintHostUI host;
};

void BM_BuildLayOutPaint(benchmark::State& state) {
  const int controls = static_cast<int>(state.range(0));
  const std::wstring skin = MixedSkin(controls);
  for (auto _ : state) {
    BenchTree tree(skin);
    benchmark::DoNotOptimize(tree.render.CallCount());
  }
  state.counters["ns_per_control"] = benchmark::Counter(
      static_cast<double>(controls), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_BuildLayOutPaint)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// After a label's new text the host lays out nothing and repaints only the
// label's rectangle.
void BM_RelayoutAfterText(benchmark::State& state) {
  const int controls = static_cast<int>(state.range(0));
  BenchTree tree(MixedSkin(controls));
  CPaintHostUI& host = tree.host;
  CRecordingRender& render = tree.render;
  CControlUI* label = host.FindControl(std::wstring(L"l0"));
  size_t calls = 0;
  int laid_out = 0;
  int i = 0;
  for (auto _ : state) {
    label->SetText(std::to_wstring(++i));
    if (host.Layout()) ++laid_out;
    const size_t before = render.CallCount();
    host.Paint(label->GetPos());
    calls = render.CallCount() - before;
  }
  state.counters["layouts"] = laid_out;
  state.counters["paint_calls"] = static_cast<double>(calls);
}
BENCHMARK(BM_RelayoutAfterText)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);

// Many siblings in one container: adding a child must stay O(1).
void BM_BuildSiblings(benchmark::State& state) {
  const int controls = static_cast<int>(state.range(0));
  std::wstring skin = L"<Window><VerticalLayout>";
  for (int i = 0; i < controls; ++i) skin += L"<Control/>";
  skin += L"</VerticalLayout></Window>";
  for (auto _ : state) {
    CDialogBuilder builder;
    CControlUI* root = builder.Create(skin.c_str());
    benchmark::DoNotOptimize(root);
    root->Delete();
  }
  state.counters["ns_per_control"] = benchmark::Counter(
      static_cast<double>(controls), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_BuildSiblings)->Arg(10000)->Arg(100000)->Arg(500000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
