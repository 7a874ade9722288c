#include "uiframework/resources/image_loader.h"

#include <algorithm>
#include <cmath>
#include <cwchar>

#include "basekit/log/log.h"
#include "uiframework/core/platform_hooks.h"
#include "uiframework/core/text_conv.h"
#include "uiframework/resources/file_bytes.h"
#include "uiframework/resources/skin_resources.h"

#define STBI_NO_STDIO
#define STBI_NO_HDR
#define STBI_NO_LINEAR
#define STBI_NO_PIC
#define STBI_NO_PNM
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

namespace Veneer {

namespace {

constexpr const char* kLogSource = "image_loader";

ColorAdjustment g_adjustment;

uint8_t Premultiply(uint8_t channel, uint8_t alpha) {
  return static_cast<uint8_t>(channel * alpha / 255);
}

// HSL helpers on 0..1 doubles; the formula only has to be stable.
void RgbToHsl(double r, double g, double b, double* h, double* s, double* l) {
  double max = std::max({r, g, b});
  double min = std::min({r, g, b});
  *l = (max + min) / 2;
  if (max == min) {
    *h = 0;
    *s = 0;
    return;
  }
  double d = max - min;
  *s = *l > 0.5 ? d / (2 - max - min) : d / (max + min);
  if (max == r) {
    *h = (g - b) / d + (g < b ? 6 : 0);
  } else if (max == g) {
    *h = (b - r) / d + 2;
  } else {
    *h = (r - g) / d + 4;
  }
  *h /= 6;
}

double HueToRgb(double p, double q, double t) {
  if (t < 0) t += 1;
  if (t > 1) t -= 1;
  if (t < 1.0 / 6) return p + (q - p) * 6 * t;
  if (t < 0.5) return q;
  if (t < 2.0 / 3) return p + (q - p) * (2.0 / 3 - t) * 6;
  return p;
}

uint32_t AdjustPixel(uint32_t pixel, const ColorAdjustment& adjustment) {
  uint8_t a = static_cast<uint8_t>(pixel >> 24);
  if (a == 0) return pixel;
  // Work on straight colours, premultiply again afterwards.
  double r = ((pixel >> 16) & 0xFF) * 255.0 / a / 255.0;
  double g = ((pixel >> 8) & 0xFF) * 255.0 / a / 255.0;
  double b = (pixel & 0xFF) * 255.0 / a / 255.0;
  double h, s, l;
  RgbToHsl(std::min(r, 1.0), std::min(g, 1.0), std::min(b, 1.0), &h, &s, &l);
  h = std::fmod(h + (adjustment.hue - 180) / 360.0 + 1.0, 1.0);
  s = std::clamp(s * adjustment.saturation / 100.0, 0.0, 1.0);
  l = std::clamp(l * adjustment.lightness / 100.0, 0.0, 1.0);
  if (s == 0) {
    r = g = b = l;
  } else {
    double q = l < 0.5 ? l * (1 + s) : l + s - l * s;
    double p = 2 * l - q;
    r = HueToRgb(p, q, h + 1.0 / 3);
    g = HueToRgb(p, q, h);
    b = HueToRgb(p, q, h - 1.0 / 3);
  }
  auto channel = [a](double v) { return static_cast<uint32_t>(std::lround(v * 255.0) * a / 255); };
  return (static_cast<uint32_t>(a) << 24) | (channel(r) << 16) | (channel(g) << 8) | channel(b);
}

bool FetchImageBytes(const wchar_t* name, const wchar_t* resource_type, std::vector<uint8_t>* bytes) {
  if (resource_type != nullptr && resource_type[0] != L'\0') {
    if (name[0] < L'0' || name[0] > L'9') {
      basekit::LogPrintf(basekit::kLogLevelFailure, kLogSource, __LINE__, "image %s of type %s: not a resource id",
                         ToLogText(name).c_str(), ToLogText(resource_type).c_str());
      return false;
    }
    uint32_t id = 0;
    for (const wchar_t* p = name; *p >= L'0' && *p <= L'9' && id <= 0xFFFFFFF; ++p) id = id * 10 + (*p - L'0');
    ResourceBytes resource;
    if (!LoadModuleResource(CSkinResourcesUI::GetResourceInstance(), id, resource_type, &resource)) {
      basekit::LogPrintf(basekit::kLogLevelFailure, kLogSource, __LINE__, "image resource %u of type %s not found",
                         id, ToLogText(resource_type).c_str());
      return false;
    }
    bytes->assign(resource.data, resource.data + resource.size);
    return true;
  }
  if (CSkinResourcesUI::FetchFile(name, kMaxImageFileBytes, bytes) == FetchStatus::kOk) return true;
  // Last resort: the name as a path of its own (absolute or relative to the
  // current directory).
  if (ReadFileBytes(name, kMaxImageFileBytes, bytes) == FileReadStatus::kOk) return true;
  basekit::LogPrintf(basekit::kLogLevelFailure, kLogSource, __LINE__, "image %s not found", ToLogText(name).c_str());
  return false;
}

}  // namespace

std::unique_ptr<ImageEntry> DecodeImage(const uint8_t* data, size_t size, uint32_t mask) {
  if (data == nullptr || size == 0 || size > static_cast<size_t>(INT32_MAX)) return nullptr;
  int width = 0;
  int height = 0;
  int channels = 0;
  // The header alone: a small file can declare a huge image, and decoding
  // allocates for the declared size before it reads any pixel.
  if (!stbi_info_from_memory(data, static_cast<int>(size), &width, &height, &channels)) {
    basekit::LogPrintf(basekit::kLogLevelFailure, kLogSource, __LINE__, "image of %lu bytes not decodable: %s",
                       static_cast<unsigned long>(size), stbi_failure_reason());
    return nullptr;
  }
  if (static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > kMaxImagePixels) {
    basekit::LogPrintf(basekit::kLogLevelFailure, kLogSource, __LINE__,
                       "image of %d x %d pixels refused: a skin image has at most %lu pixels", width, height,
                       static_cast<unsigned long>(kMaxImagePixels));
    return nullptr;
  }
  stbi_uc* rgba = stbi_load_from_memory(data, static_cast<int>(size), &width, &height, &channels, 4);
  if (rgba == nullptr) {
    basekit::LogPrintf(basekit::kLogLevelFailure, kLogSource, __LINE__, "image of %lu bytes not decodable: %s",
                       static_cast<unsigned long>(size), stbi_failure_reason());
    return nullptr;
  }
  auto entry = std::make_unique<ImageEntry>();
  entry->width = width;
  entry->height = height;
  entry->mask = mask;
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  entry->pixels.resize(count);
  for (size_t i = 0; i < count; ++i) {
    const stbi_uc* p = rgba + i * 4;
    uint8_t a = p[3];
    uint8_t r = p[0];
    uint8_t g = p[1];
    uint8_t b = p[2];
    if (a != 255) {
      r = Premultiply(r, a);
      g = Premultiply(g, a);
      b = Premultiply(b, a);
    }
    uint32_t pixel = (static_cast<uint32_t>(a) << 24) | (static_cast<uint32_t>(r) << 16) |
                     (static_cast<uint32_t>(g) << 8) | b;
    entry->pixels[i] = pixel == mask ? 0 : pixel;
  }
  stbi_image_free(rgba);
  return entry;
}

std::unique_ptr<ImageEntry> LoadImageEntry(const wchar_t* name, const wchar_t* resource_type, uint32_t mask,
                                           bool color_adjust) {
  if (name == nullptr || name[0] == L'\0') return nullptr;
  std::vector<uint8_t> bytes;
  if (!FetchImageBytes(name, resource_type, &bytes)) return nullptr;
  std::unique_ptr<ImageEntry> entry = DecodeImage(bytes.data(), bytes.size(), mask);
  if (!entry) {
    basekit::LogPrintf(basekit::kLogLevelFailure, kLogSource, __LINE__, "image %s could not be decoded",
                       ToLogText(name).c_str());
    return nullptr;
  }
  entry->resource_type = resource_type != nullptr ? resource_type : L"";
  entry->color_adjust = color_adjust;
  if (color_adjust) {
    entry->original = entry->pixels;
    if (g_adjustment.active) ApplyColorAdjustment(*entry);
  }
  return entry;
}

void SetColorAdjustment(const ColorAdjustment& adjustment) { g_adjustment = adjustment; }

const ColorAdjustment& GetColorAdjustment() { return g_adjustment; }

void ApplyColorAdjustment(ImageEntry& entry) {
  if (!entry.color_adjust || entry.original.size() != entry.pixels.size()) return;
  for (size_t i = 0; i < entry.pixels.size(); ++i) {
    entry.pixels[i] = g_adjustment.active ? AdjustPixel(entry.original[i], g_adjustment) : entry.original[i];
  }
}

}  // namespace Veneer
