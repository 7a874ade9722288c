// Builds control trees from a skin archive assembled from the input, with a
// host (so that images, fonts, default lists and window settings are
// registered) under a parent container and without one; the tree without a
// parent is attached, laid out at a few window sizes and painted into the
// recording backend.
//
// Input: the main document, then any number of further archive entries,
// each introduced by a line "@@<entry name>" (the line break before "@@"
// belongs to the separator):
//   <Window><Include source="page.xml" count="2"/><Image name="skin\a.png"/></Window>
//   @@page.xml
//   <Label bkimage="skin/a.png"/>
//   @@skin/a.png
//   <PNG bytes>
// Images that are not in the archive are looked for on disk by their name.

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "uiframework/builder/dialog_builder.h"
#include "uiframework/core/paint_host.h"
#include "uiframework/layout/vertical_layout.h"
#include "uiframework/resources/skin_resources.h"
#include "uiframework/testing/headless_window.h"
#include "uiframework/testing/recording_render.h"

namespace {

constexpr std::string_view kSeparator = "\n@@";
constexpr std::string_view kMainName = "main.xml";

// Window sizes the tree is laid out at: the program's windows and extremes.
constexpr Veneer::UiRect kClients[] = {{0, 0, 580, 374}, {0, 0, 1, 1}, {0, 0, 4096, 4096}};

void Append16(std::vector<uint8_t>& out, size_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void Append32(std::vector<uint8_t>& out, size_t value) {
  Append16(out, value & 0xFFFF);
  Append16(out, (value >> 16) & 0xFFFF);
}

struct Part {
  std::string_view name;
  std::string_view data;
};

// Stored entries: the reader's inflate path has a fuzz target of its own.
void BuildArchive(const std::vector<Part>& parts, std::vector<uint8_t>& out) {
  out.clear();
  std::vector<size_t> offsets;
  for (const Part& part : parts) {
    offsets.push_back(out.size());
    Append32(out, 0x04034b50);
    for (size_t field : {20, 0, 0, 0, 0}) Append16(out, field);
    Append32(out, crc32(0L, reinterpret_cast<const Bytef*>(part.data.data()), static_cast<uInt>(part.data.size())));
    Append32(out, part.data.size());
    Append32(out, part.data.size());
    Append16(out, part.name.size());
    Append16(out, 0);
    out.insert(out.end(), part.name.begin(), part.name.end());
    out.insert(out.end(), part.data.begin(), part.data.end());
  }
  size_t directory = out.size();
  for (size_t i = 0; i < parts.size(); ++i) {
    const Part& part = parts[i];
    Append32(out, 0x02014b50);
    for (size_t field : {20, 20, 0, 0, 0, 0}) Append16(out, field);
    Append32(out, crc32(0L, reinterpret_cast<const Bytef*>(part.data.data()), static_cast<uInt>(part.data.size())));
    Append32(out, part.data.size());
    Append32(out, part.data.size());
    Append16(out, part.name.size());
    for (int k = 0; k < 4; ++k) Append16(out, 0);
    Append32(out, 0);
    Append32(out, offsets[i]);
    out.insert(out.end(), part.name.begin(), part.name.end());
  }
  size_t directory_size = out.size() - directory;
  Append32(out, 0x06054b50);
  for (size_t field : {size_t{0}, size_t{0}, parts.size(), parts.size()}) Append16(out, field);
  Append32(out, directory_size);
  Append32(out, directory);
  Append16(out, 0);
}

std::vector<Part> SplitInput(std::string_view input) {
  std::vector<Part> parts;
  size_t end = input.find(kSeparator);
  parts.push_back({kMainName, input.substr(0, end)});
  while (end != std::string_view::npos && parts.size() < 0xFFFF) {
    size_t name_start = end + kSeparator.size();
    size_t name_end = input.find('\n', name_start);
    if (name_end == std::string_view::npos) break;
    size_t data_start = name_end + 1;
    end = input.find(kSeparator, data_start);
    std::string_view name = input.substr(name_start, name_end - name_start);
    if (name.size() > 0xFFFF) break;
    parts.push_back({name, input.substr(data_start, end == std::string_view::npos ? end : end - data_start)});
  }
  return parts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::vector<uint8_t> archive;
  BuildArchive(SplitInput(std::string_view(reinterpret_cast<const char*>(data), size)), archive);
  Veneer::CSkinResourcesUI::Reset();
  Veneer::CSkinResourcesUI::SetResourceZip(archive.data(), archive.size());
  Veneer::CHeadlessWindowUI window;
  {
    Veneer::CPaintHostUI host;
    host.AttachNativeWindow(&window);
    Veneer::CVerticalLayoutUI parent;
    Veneer::CDialogBuilder builder;
    builder.Create(L"main.xml", nullptr, nullptr, &host, &parent);
  }
  {
    // Without a parent the caller owns the result; the host takes it over,
    // initialises the tree, lays it out and paints it. Nothing else may be
    // left behind (the leak checker sees it), and every clip is popped.
    Veneer::CPaintHostUI host;
    Veneer::CRecordingRender render;
    render.SetRecording(false);
    host.AttachNativeWindow(&window);
    host.SetRender(&render);
    Veneer::CDialogBuilder builder;
    if (Veneer::CControlUI* root = builder.Create(L"main.xml", nullptr, nullptr, &host, nullptr)) {
      host.AttachDialog(root);
      for (const Veneer::UiRect& client : kClients) {
        window.SetClientRect(client);
        if (host.GetRoot() != nullptr) host.GetRoot()->NeedUpdate();
        host.Layout();
        host.Paint(client);
        if (render.ClipDepth() != 0 || render.Underflows() != 0) __builtin_trap();
      }
    }
  }
  Veneer::CResourceTablesUI::Shared().Clear();
  Veneer::CSkinResourcesUI::Reset();
  return 0;
}
