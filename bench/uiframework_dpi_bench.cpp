// The wizard's first paint at 96, 120, 144, 168 and 192 DPI: the skin built
// from the program's own skin folder into a fresh window, laid out over the
// client area of its size at that DPI and painted (recording backend,
// recording off), every picture decoded or scaled on the way. "192
// resampled" is the same without the skin's variants (each picture
// resampled from the 1x one), the cost of a skin that carries none.
// BM_PictureMemory reports the bytes the window's image table holds once
// every page and the failure face have been painted: the picture cache at
// that DPI.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "uiframework/base/dpi_scale.h"
#include "uiframework/builder/dialog_builder.h"
#include "uiframework/core/control.h"
#include "uiframework/core/paint_host.h"
#include "uiframework/resources/resource_tables.h"
#include "uiframework/resources/skin_resources.h"
#include "uiframework/testing/headless_window.h"
#include "uiframework/testing/recording_render.h"

namespace {

using namespace Veneer;
namespace fs = std::filesystem;

// The skin folder, or a copy of it without the variants.
std::wstring SkinFolder(bool variants) {
  const fs::path source(REPAIR_SKIN_DIR);
  if (variants) return source.wstring() + L"/";
  static const fs::path copy = [&source] {
    const fs::path dir = fs::temp_directory_path() / "veneer-dpi-bench-skin";
    fs::remove_all(dir);
    fs::create_directories(dir / "skin");
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(source)) {
      const std::string name = entry.path().filename().string();
      if (!entry.is_regular_file() || name.find('@') != std::string::npos) continue;
      fs::copy_file(entry.path(), dir / fs::relative(entry.path(), source));
    }
    return dir;
  }();
  return copy.wstring() + L"/";
}

// The wizard's window at a DPI: built, laid out and painted once.
struct Wizard {
  explicit Wizard(int dpi) : scale(dpi), window(UiRect{0, 0, scale.Scale(580), scale.Scale(374)}) {
    render.SetRecording(false);
    host.AttachNativeWindow(&window);
    host.SetRender(&render);
    host.SetDpi(dpi);
    CDialogBuilder builder;
    host.AttachDialog(builder.Create(L"repair.xml", nullptr, nullptr, &host));
    Paint();
  }
  void Paint() {
    host.Layout();
    host.Paint(window.GetClientRect());
  }
  void Show(const wchar_t* name, bool visible) {
    if (CControlUI* control = host.FindControl(std::wstring(name))) control->SetVisible(visible);
  }
  DpiScale scale;
  CHeadlessWindowUI window;
  CRecordingRender render;
  CPaintHostUI host;
};

void BM_FirstPaint(benchmark::State& state) {
  const int dpi = static_cast<int>(state.range(0));
  CSkinResourcesUI::Reset();
  CSkinResourcesUI::SetResourcePath(SkinFolder(state.range(1) != 0).c_str());
  for (auto _ : state) {
    Wizard wizard(dpi);
    benchmark::DoNotOptimize(wizard.host.GetResources().GetImageBytes());
  }
  state.SetLabel(std::to_string(dpi) + " DPI" + (state.range(1) != 0 ? "" : " resampled"));
}
BENCHMARK(BM_FirstPaint)
    ->Args({96, 1})
    ->Args({120, 1})
    ->Args({144, 1})
    ->Args({168, 1})
    ->Args({192, 1})
    ->Args({192, 0})
    ->Unit(benchmark::kMillisecond);

void BM_PictureMemory(benchmark::State& state) {
  const int dpi = static_cast<int>(state.range(0));
  CSkinResourcesUI::Reset();
  CSkinResourcesUI::SetResourcePath(SkinFolder(true).c_str());
  size_t bytes = 0;
  for (auto _ : state) {
    Wizard wizard(dpi);
    wizard.Show(L"repair_step1", false);
    wizard.Show(L"repair_step2", true);
    wizard.Paint();
    for (const wchar_t* name : {L"repair_status_row", L"repair_progress"}) wizard.Show(name, false);
    for (const wchar_t* name : {L"repair_failure", L"repair_failure_buttons"}) wizard.Show(name, true);
    wizard.Paint();
    wizard.Show(L"repair_step2", false);
    wizard.Show(L"repair_step3", true);
    wizard.Paint();
    bytes = wizard.host.GetResources().GetImageBytes();
  }
  state.counters["picture_bytes"] = static_cast<double>(bytes);
  state.SetLabel(std::to_string(dpi) + " DPI");
}
BENCHMARK(BM_PictureMemory)->Arg(96)->Arg(144)->Arg(192)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
