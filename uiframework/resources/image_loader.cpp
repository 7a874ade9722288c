#include "uiframework/resources/image_loader.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cwchar>

#include "basekit/log/log.h"
#include "uiframework/base/platform_hooks.h"
#include "uiframework/base/text_conv.h"
#include "uiframework/resources/file_bytes.h"
#include "uiframework/resources/skin_resources.h"

namespace Veneer {
namespace {

// The decoder allocates from sizes it reads in the file (a chunk length, or
// an output buffer that doubles while a compressed stream goes on), not
// only from the dimensions checked before decoding. So each decode sets the
// largest block the decoder may take at once, and a larger request fails as
// if memory had run out.
struct DecoderBudget {
  size_t limit = SIZE_MAX;
  size_t refused = 0;  // the largest request refused, 0 when none
};
DecoderBudget g_decoder_budget;

void* DecoderAllocate(size_t size) {
  if (size > g_decoder_budget.limit) {
    g_decoder_budget.refused = std::max(g_decoder_budget.refused, size);
    return nullptr;
  }
  // Zeroed: the JPEG decoder keeps its Huffman tables in one allocation and
  // decodes a scan with whatever table it names, defined or not. Over
  // leftover bytes that means symbols out of range and reads past the
  // tables; over zeros an undefined table decodes every code as symbol 0.
  return std::calloc(1, size);
}

void* DecoderReallocate(void* block, size_t size) {
  if (size > g_decoder_budget.limit) {
    g_decoder_budget.refused = std::max(g_decoder_budget.refused, size);
    return nullptr;
  }
  return std::realloc(block, size);
}

}  // namespace
}  // namespace Veneer

#define STBI_MALLOC(size) ::Veneer::DecoderAllocate(size)
#define STBI_REALLOC(block, size) ::Veneer::DecoderReallocate(block, size)
#define STBI_FREE(block) std::free(block)
#define STBI_NO_STDIO
#define STBI_NO_HDR
#define STBI_NO_LINEAR
#define STBI_NO_PIC
#define STBI_NO_PNM
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#if defined(__GNUC__) && !defined(__clang__)
// gcc cannot see that a context over memory never reads its callback fields.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <stb/stb_image.h>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

namespace Veneer {

namespace {

constexpr const char* kLogSource = "image_loader";

// Reading a header needs the decoder's fixed state only.
constexpr size_t kHeaderAllocationLimit = 1u << 20;

// The largest block decoding a w x h image needs: 8 bytes a pixel (four
// 16-bit channels) over the size rounded up to whole JPEG blocks, twice
// over for a buffer that grew by doubling, plus the decoder's fixed state.
size_t DecoderAllocationLimit(int width, int height) {
  uint64_t bytes =
      2 * 8 * (static_cast<uint64_t>(width) + 32) * (static_cast<uint64_t>(height) + 32) + kHeaderAllocationLimit;
  return bytes < SIZE_MAX ? static_cast<size_t>(bytes) : SIZE_MAX;
}

ColorAdjustment g_adjustment;

uint8_t Premultiply(uint8_t channel, uint8_t alpha) { return static_cast<uint8_t>(channel * alpha / 255); }

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

// The JPEG decoder (stb_image 2.27) trusts the code counts of a Huffman
// table: a table of more than 256 codes is written past its arrays, over
// the rest of the decoder's state. A table of exactly 256 is no better: its
// fast lookup marks "no entry" with 255, so a short code of symbol 255 goes
// down the slow path and is decoded as some other symbol (an assertion
// fails in a debug build). No valid JPEG has more than 162 codes in a
// table, so 255 is the most we let through. Every place the decoder could
// take for a table definition (DHT) is checked first: the segments before
// the first scan, walked by their lengths as the decoder walks them, and
// after that every 0xFF 0xC4 in the data, where the decoder may resume after
// a scan. The decoder reads zeros past the end, and so does this check.
class JpegTableCheck {
 public:
  JpegTableCheck(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  static bool IsJpeg(const uint8_t* data, size_t size) {
    size_t pos = 0;
    while (pos < size && data[pos] == 0xFF) ++pos;
    return pos > 0 && pos < size && data[pos] == 0xD8;
  }

  bool TablesFit() const {
    size_t pos = 0;
    while (Byte(pos) == 0xFF) ++pos;
    ++pos;  // start of image
    // Segments before the first scan.
    while (pos < size_) {
      while (pos < size_ && Byte(pos) != 0xFF) ++pos;  // padding the decoder skips
      while (Byte(pos) == 0xFF) ++pos;
      if (pos >= size_) return true;
      const uint8_t marker = Byte(pos++);
      if (marker == 0xDA) break;
      if (marker == 0xD9) return true;
      if ((marker >= 0xD0 && marker <= 0xD8) || marker == 0x01) continue;  // no length
      if (marker == 0xC4 && !TableFits(pos)) return false;
      const size_t length = Read16(pos);
      if (length < 2) break;
      pos += length;
    }
    // From the first scan on.
    for (; pos < size_; ++pos) {
      if (Byte(pos) != 0xFF) continue;
      size_t marker = pos + 1;
      while (Byte(marker) == 0xFF && marker < size_) ++marker;
      if (Byte(marker) == 0xC4 && !TableFits(marker + 1)) return false;
      pos = marker - 1;
    }
    return true;
  }

 private:
  uint8_t Byte(size_t pos) const { return pos < size_ ? data_[pos] : 0; }
  size_t Read16(size_t pos) const { return (static_cast<size_t>(Byte(pos)) << 8) | Byte(pos + 1); }

  // `pos` is at the segment length. Follows the decoder's own arithmetic.
  bool TableFits(size_t pos) const {
    long remaining = static_cast<long>(Read16(pos)) - 2;
    pos += 2;
    while (remaining > 0 && pos < size_) {
      const uint8_t kind = Byte(pos++);
      if ((kind >> 4) > 1 || (kind & 15) > 3) return true;  // the decoder stops here
      long codes = 0;
      for (int i = 0; i < 16; ++i) codes += Byte(pos++);
      if (codes > 255) return false;
      pos += static_cast<size_t>(codes);
      remaining -= 17 + codes;
    }
    return true;
  }

  const uint8_t* data_;
  size_t size_;
};

bool FetchImageBytes(const wchar_t* name, const wchar_t* resource_type, std::vector<uint8_t>* bytes) {
  if (resource_type != nullptr && resource_type[0] != L'\0') {
    if (name[0] < L'0' || name[0] > L'9') {
      BASEKIT_LOG(Failure, "image %s of type %s: not a resource id", ToLogText(name).c_str(),
                  ToLogText(resource_type).c_str());
      return false;
    }
    uint32_t id = 0;
    for (const wchar_t* p = name; *p >= L'0' && *p <= L'9' && id <= 0xFFFFFFF; ++p) id = id * 10 + (*p - L'0');
    // Resource ids are 16-bit: a larger number names no resource, never one
    // that its lower bits happen to name.
    if (id > 0xFFFF) {
      BASEKIT_LOG(Failure, "image %s: no such resource id", ToLogText(name).c_str());
      return false;
    }
    ResourceBytes resource;
    if (!LoadModuleResource(CSkinResourcesUI::GetResourceInstance(), id, resource_type, &resource)) {
      BASEKIT_LOG(Failure, "image resource %u of type %s not found", id, ToLogText(resource_type).c_str());
      return false;
    }
    bytes->assign(resource.data, resource.data + resource.size);
    return true;
  }
  if (CSkinResourcesUI::FetchFile(name, kMaxImageFileBytes, bytes) == FetchStatus::kOk) return true;
  // Last resort: the name as a path of its own (absolute or relative to the
  // current directory).
  if (ReadFileBytes(name, kMaxImageFileBytes, bytes) == FileReadStatus::kOk) return true;
  BASEKIT_LOG(Failure, "image %s not found", ToLogText(name).c_str());
  return false;
}

// The image's dimensions, from its header alone: a small file can declare a
// huge image, and decoding allocates for the declared size before it reads
// any pixel. False (logged) for images that must not be decoded.
bool ReadImageHeader(const uint8_t* data, size_t size, int* width, int* height) {
  if (JpegTableCheck::IsJpeg(data, size) && !JpegTableCheck(data, size).TablesFit()) {
    BASEKIT_LOG(Failure, "JPEG image of %lu bytes refused: a Huffman table with more than 255 codes",
                static_cast<unsigned long>(size));
    return false;
  }
  int channels = 0;
  g_decoder_budget = DecoderBudget{kHeaderAllocationLimit, 0};
  bool known = stbi_info_from_memory(data, static_cast<int>(size), width, height, &channels) != 0;
  g_decoder_budget = DecoderBudget();
  if (!known) {
    BASEKIT_LOG(Failure, "image of %lu bytes not decodable: %s", static_cast<unsigned long>(size),
                stbi_failure_reason());
    return false;
  }
  if (*width <= 0 || *height <= 0) {
    BASEKIT_LOG(Failure, "image of %d x %d pixels refused: empty", *width, *height);
    return false;
  }
  if (static_cast<uint64_t>(*width) * static_cast<uint64_t>(*height) > kMaxImagePixels) {
    BASEKIT_LOG(Failure, "image of %d x %d pixels refused: a skin image has at most %lu pixels", *width, *height,
                static_cast<unsigned long>(kMaxImagePixels));
    return false;
  }
  return true;
}

// RGBA bytes of an image whose header said width x height; null (logged)
// when decoding fails or needs more memory than that size explains.
stbi_uc* DecodeRgba(const uint8_t* data, size_t size, int width, int height) {
  g_decoder_budget = DecoderBudget{DecoderAllocationLimit(width, height), 0};
  int channels = 0;
  stbi_uc* rgba = stbi_load_from_memory(data, static_cast<int>(size), &width, &height, &channels, 4);
  const DecoderBudget budget = g_decoder_budget;
  g_decoder_budget = DecoderBudget();
  if (rgba != nullptr) return rgba;
  if (budget.refused > 0) {
    BASEKIT_LOG(Failure,
                "image of %d x %d pixels refused: decoding asked for %lu bytes at once, more than the %lu "
                "its size needs",
                width, height, static_cast<unsigned long>(budget.refused), static_cast<unsigned long>(budget.limit));
  } else {
    BASEKIT_LOG(Failure, "image of %lu bytes not decodable: %s", static_cast<unsigned long>(size),
                stbi_failure_reason());
  }
  return nullptr;
}

}  // namespace

std::unique_ptr<ImageEntry> DecodeImage(const uint8_t* data, size_t size, uint32_t mask) {
  if (data == nullptr || size == 0 || size > static_cast<size_t>(INT32_MAX)) return nullptr;
  int width = 0;
  int height = 0;
  if (!ReadImageHeader(data, size, &width, &height)) return nullptr;
  stbi_uc* rgba = DecodeRgba(data, size, width, height);
  if (rgba == nullptr) return nullptr;
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
    uint32_t pixel =
        (static_cast<uint32_t>(a) << 24) | (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) | b;
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
    BASEKIT_LOG(Failure, "image %s could not be decoded", ToLogText(name).c_str());
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
