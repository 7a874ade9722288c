#pragma once

// Helpers shared by the uiframework tests: scratch folders, ZIP archives
// built in memory, PNG bytes, and a fixture that resets the framework's
// process-wide state around each test.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "uiframework/core/paint_host.h"
#include "uiframework/testing/recording_render.h"

namespace Veneer::test {

// A fresh folder under the system's temporary folder, removed on destruction.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  const std::filesystem::path& path() const { return path_; }
  // The folder as a wide path ending in a separator.
  std::wstring WidePath() const;
  void Write(const std::string& name, const std::string& bytes) const;
  void Write(const std::string& name, const std::vector<uint8_t>& bytes) const;

 private:
  std::filesystem::path path_;
};

struct ZipSpec {
  std::string name;
  std::string data;
  bool deflate = true;
  uint16_t flags = 0;
};

// A ZIP archive and where its records are, for tests that damage them.
struct ZipImage {
  std::vector<uint8_t> bytes;
  std::vector<size_t> local_offsets;
  std::vector<size_t> central_offsets;
  size_t end_offset = 0;
};

ZipImage BuildZip(const std::vector<ZipSpec>& entries);
void Put32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value);
void Put16(std::vector<uint8_t>& bytes, size_t offset, uint16_t value);

// RGBA pixels (4 bytes each, top row first) encoded as PNG.
std::vector<uint8_t> EncodePng(int width, int height, const std::vector<uint8_t>& rgba);

// A native window that records what the host asks of it.
class FakeNativeWindow : public INativeWindowUI {
 public:
  UiRect GetClientRect() override { return client; }
  void ResizeWindow(int cx, int cy) override { client = UiRect{0, 0, cx, cy}; }
  void Invalidate(const UiRect& rect) override { invalid.push_back(rect); }
  bool SetNativeTimer(uint32_t local_id, uint32_t) override {
    if (refuse_timers) return false;
    timers.push_back(local_id);
    return true;
  }
  void KillNativeTimer(uint32_t local_id) override { killed.push_back(local_id); }
  void CaptureMouse() override { captured = true; }
  void ReleaseMouse() override { captured = false; }
  void TakeFocus() override {}
  void FocusOwner() override { ++owner_focused; }
  void TrackMouse(uint32_t hover_ms) override {
    tracking_hover_ms = static_cast<int>(hover_ms);
    ++trackings;
  }
  int GetTooltipDelay() override { return tooltip_delay; }
  void ShowTooltip(const std::wstring& text, const UiRect&, int max_width) override {
    tooltip = text;
    tooltip_width = max_width;
  }
  void HideTooltip() override { tooltip.clear(); }
  void SetCursorShape(CursorShape shape) override { cursor = shape; }
  void PostCleanup() override { ++cleanups_posted; }
  void SendClose() override { ++closes; }
  void SetLayered(bool on, bool alpha_attribute, uint8_t alpha_value) override {
    layered = on ? 1 : 0;
    if (alpha_attribute) alpha = alpha_value;
  }

  UiRect client{0, 0, 800, 600};
  std::vector<UiRect> invalid;
  std::vector<uint32_t> timers;
  std::vector<uint32_t> killed;
  bool refuse_timers = false;
  bool captured = false;
  int owner_focused = 0;
  int tracking_hover_ms = -1;
  int trackings = 0;
  int tooltip_delay = -1;
  std::wstring tooltip;
  int tooltip_width = 0;
  CursorShape cursor = CursorShape::kArrow;
  int cleanups_posted = 0;
  int closes = 0;
  int layered = -1;  // -1: never set
  int alpha = -1;
};

// A skinned window without a platform: a host over a fake native window,
// painting into a recorder.
class TestWindow {
 public:
  TestWindow();
  // Builds markup text (or a file name) into the host and attaches it;
  // lays it out over a client area of cx by cy. False when nothing was built.
  bool Build(const wchar_t* skin, int cx, int cy);
  // Paints the whole client area into a fresh recording.
  const std::vector<RenderCall>& Paint();
  CControlUI* Find(const wchar_t* name) const { return host.FindControl(std::wstring(name)); }
  UiRect Rect(const wchar_t* name) const;

  FakeNativeWindow native;
  CRecordingRender render;
  CPaintHostUI host;
};

// Resets skin resource settings, shared host tables, plug-ins and platform
// hooks before and after each test.
class FrameworkTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
};

// Collects the log lines written during its lifetime.
class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  std::string Text();
  int Count(const std::string& needle);

 private:
  std::filesystem::path file_;
  int descriptor_ = -1;
};

}  // namespace Veneer::test
