// Decodes arbitrary bytes through the skin image loader, as a numbered
// image resource, so that nothing is read from disk. Input: the mask colour
// (4 bytes, little-endian), one byte of options (bit 0: the image follows
// the colour adjustment; bit 1: the adjustment is active; the rest picks
// its hue), then the image file (PNG, JPEG, BMP, GIF, ... as the loader
// accepts them).
//
// Run with a malloc limit (scripts/run-fuzzers.sh sets one): an image whose
// header slips past the size bound makes the decoder allocate for it, and
// that shows as a finding.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "uiframework/base/platform_hooks.h"
#include "uiframework/resources/image_loader.h"

namespace {

const uint8_t* g_image = nullptr;
size_t g_image_size = 0;

bool LoadInputAsResource(Veneer::ModuleHandle, uint32_t, const wchar_t*, Veneer::ResourceBytes* out) {
  out->data = g_image;
  out->size = g_image_size;
  return true;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool initialised = [] {
    Veneer::PlatformHooks hooks;
    hooks.load_resource = &LoadInputAsResource;
    Veneer::SetPlatformHooks(hooks);
    return true;
  }();
  (void)initialised;
  if (size < 5) return 0;
  const uint32_t mask = static_cast<uint32_t>(data[0]) | (static_cast<uint32_t>(data[1]) << 8) |
                        (static_cast<uint32_t>(data[2]) << 16) | (static_cast<uint32_t>(data[3]) << 24);
  const uint8_t options = data[4];
  g_image = data + 5;
  g_image_size = size - 5;

  Veneer::ColorAdjustment adjustment;
  adjustment.active = (options & 2) != 0;
  adjustment.hue = (options >> 2) * 360 / 63;
  Veneer::SetColorAdjustment(adjustment);
  const bool color_adjust = (options & 1) != 0;
  auto entry = Veneer::LoadImageEntry(L"1", L"PNG", mask, color_adjust);
  if (!entry) return 0;

  const uint64_t pixels = static_cast<uint64_t>(entry->width) * static_cast<uint64_t>(entry->height);
  Check(entry->width > 0 && entry->height > 0 && pixels <= Veneer::kMaxImagePixels);
  Check(entry->pixels.size() == pixels);
  Check(entry->original.size() == (color_adjust ? pixels : 0));
  const std::vector<uint32_t>& decoded = color_adjust ? entry->original : entry->pixels;
  for (uint32_t pixel : decoded) {
    // Premultiplied: no colour channel above alpha; the mask colour is gone.
    const uint32_t alpha = pixel >> 24;
    Check(((pixel >> 16) & 0xFF) <= alpha && ((pixel >> 8) & 0xFF) <= alpha && (pixel & 0xFF) <= alpha);
    Check(pixel != mask || pixel == 0);
  }
  return 0;
}
