#include "tests/uiframework/test_support.h"

#include <fcntl.h>
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include "basekit/log/log.h"
#include "uiframework/builder/dialog_builder.h"
#include "uiframework/core/control.h"
#include "uiframework/core/paint_host.h"
#include "uiframework/base/platform_hooks.h"
#include "uiframework/base/text_conv.h"
#include "uiframework/resources/image_loader.h"
#include "uiframework/resources/skin_resources.h"

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

namespace Veneer::test {

namespace {

std::filesystem::path UniqueTempPath(const char* prefix) {
  static std::atomic<int> counter{0};
  std::ostringstream name;
  name << prefix << "_" << std::chrono::steady_clock::now().time_since_epoch().count() << "_" << counter++;
  return std::filesystem::temp_directory_path() / name.str();
}

void Append16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void Append32(std::vector<uint8_t>& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

std::string RawDeflate(const std::string& data) {
  z_stream stream{};
  deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&stream, static_cast<uLong>(data.size())), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

}  // namespace

ScratchDir::ScratchDir() : path_(UniqueTempPath("veneer_test")) { std::filesystem::create_directories(path_); }

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::wstring ScratchDir::WidePath() const { return (path_ / "").wstring(); }

void ScratchDir::Write(const std::string& name, const std::string& bytes) const {
  std::filesystem::path file = path_ / std::filesystem::path(name);
  std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void ScratchDir::Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
  Write(name, std::string(bytes.begin(), bytes.end()));
}

ZipImage BuildZip(const std::vector<ZipSpec>& entries) {
  ZipImage image;
  std::vector<uint8_t>& out = image.bytes;
  std::vector<std::string> payloads;
  for (const ZipSpec& entry : entries) {
    std::string payload = entry.deflate ? RawDeflate(entry.data) : entry.data;
    uint32_t crc = crc32(0L, reinterpret_cast<const Bytef*>(entry.data.data()), static_cast<uInt>(entry.data.size()));
    image.local_offsets.push_back(out.size());
    Append32(out, 0x04034b50);
    Append16(out, 20);
    Append16(out, entry.flags);
    Append16(out, entry.deflate ? 8 : 0);
    Append16(out, 0);
    Append16(out, 0);
    Append32(out, crc);
    Append32(out, static_cast<uint32_t>(payload.size()));
    Append32(out, static_cast<uint32_t>(entry.data.size()));
    Append16(out, static_cast<uint16_t>(entry.name.size()));
    Append16(out, 0);
    out.insert(out.end(), entry.name.begin(), entry.name.end());
    out.insert(out.end(), payload.begin(), payload.end());
    payloads.push_back(payload);
  }
  size_t directory = out.size();
  for (size_t i = 0; i < entries.size(); ++i) {
    const ZipSpec& entry = entries[i];
    uint32_t crc = crc32(0L, reinterpret_cast<const Bytef*>(entry.data.data()), static_cast<uInt>(entry.data.size()));
    image.central_offsets.push_back(out.size());
    Append32(out, 0x02014b50);
    Append16(out, 20);
    Append16(out, 20);
    Append16(out, entry.flags);
    Append16(out, entry.deflate ? 8 : 0);
    Append16(out, 0);
    Append16(out, 0);
    Append32(out, crc);
    Append32(out, static_cast<uint32_t>(payloads[i].size()));
    Append32(out, static_cast<uint32_t>(entry.data.size()));
    Append16(out, static_cast<uint16_t>(entry.name.size()));
    Append16(out, 0);
    Append16(out, 0);
    Append16(out, 0);
    Append16(out, 0);
    Append32(out, 0);
    Append32(out, static_cast<uint32_t>(image.local_offsets[i]));
    out.insert(out.end(), entry.name.begin(), entry.name.end());
  }
  image.end_offset = out.size();
  Append32(out, 0x06054b50);
  Append16(out, 0);
  Append16(out, 0);
  Append16(out, static_cast<uint16_t>(entries.size()));
  Append16(out, static_cast<uint16_t>(entries.size()));
  Append32(out, static_cast<uint32_t>(image.end_offset - directory));
  Append32(out, static_cast<uint32_t>(directory));
  Append16(out, 0);
  return image;
}

void Put32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

void Put16(std::vector<uint8_t>& bytes, size_t offset, uint16_t value) {
  bytes[offset] = static_cast<uint8_t>(value);
  bytes[offset + 1] = static_cast<uint8_t>(value >> 8);
}

std::vector<uint8_t> EncodePng(int width, int height, const std::vector<uint8_t>& rgba) {
  std::vector<uint8_t> out;
  stbi_write_png_to_func(
      [](void* context, void* data, int size) {
        auto* bytes = static_cast<std::vector<uint8_t>*>(context);
        bytes->insert(bytes->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
      },
      &out, width, height, 4, rgba.data(), width * 4);
  return out;
}

TestWindow::TestWindow() {
  host.AttachNativeWindow(&native);
  host.SetRender(&render);
}

bool TestWindow::Build(const wchar_t* skin, int cx, int cy) {
  CDialogBuilder builder;
  CControlUI* root = builder.Create(skin, nullptr, nullptr, &host);
  if (root == nullptr) return false;
  host.AttachDialog(root);
  native.client = UiRect{0, 0, cx, cy};
  host.Layout();
  return true;
}

const std::vector<RenderCall>& TestWindow::Paint() {
  render.Clear();
  host.Layout();
  host.Paint(native.client);
  return render.Calls();
}

UiRect TestWindow::Rect(const wchar_t* name) const {
  CControlUI* control = Find(name);
  return control != nullptr ? control->GetPos() : UiRect{-1, -1, -1, -1};
}

void FrameworkTest::SetUp() {
  CSkinResourcesUI::Reset();
  CResourceTablesUI::Shared().Clear();
  SetPlatformHooks(PlatformHooks());
  SetColorAdjustment(ColorAdjustment());
}

void FrameworkTest::TearDown() { FrameworkTest::SetUp(); }

LogCapture::LogCapture() : file_(UniqueTempPath("veneer_log")) {
#if defined(_WIN32)
  descriptor_ = _wopen(file_.wstring().c_str(), _O_CREAT | _O_RDWR | _O_BINARY, 0600);
#else
  descriptor_ = open(file_.c_str(), O_CREAT | O_RDWR, 0600);
#endif
  basekit::GetLog()->SetLogDescriptor(descriptor_);
  basekit::GetLog()->SetLevel(12);
}

LogCapture::~LogCapture() {
  basekit::GetLog()->SetLevel(0);
#if defined(_WIN32)
  _close(descriptor_);
#else
  close(descriptor_);
#endif
  std::error_code ignored;
  std::filesystem::remove(file_, ignored);
}

std::string LogCapture::Text() {
  std::ifstream in(file_, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

int LogCapture::Count(const std::string& needle) {
  std::string text = Text();
  int count = 0;
  for (size_t pos = text.find(needle); pos != std::string::npos; pos = text.find(needle, pos + 1)) ++count;
  return count;
}

}  // namespace Veneer::test
