#include "uiframework/resources/image_loader.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cwchar>

#include "basekit/log/log.h"
#include "uiframework/base/platform_hooks.h"
#include "uiframework/base/text_conv.h"
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
  bool zeroed = true;  // blocks come zeroed (see DecoderAllocate)
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
  // (Other formats write every byte they read: zeroing their pixel buffers
  // only cost time.)
  return g_decoder_budget.zeroed ? std::calloc(1, size) : std::malloc(size);
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

// Checks a JPEG ahead of the decoder (stb_image 2.27) for what the decoder
// itself does not bound.
//
// Huffman tables: the decoder trusts their code counts, and a table of more
// than 256 codes is written past its arrays, over the rest of the decoder's
// state. A table of exactly 256 is no better: its fast lookup marks "no
// entry" with 255, so a short code of symbol 255 goes down the slow path and
// is decoded as some other symbol (an assertion fails in a debug build). No
// valid JPEG has more than 162 codes in a table, so 255 is the most we let
// through.
//
// Scans: the decoder visits every block of the components a scan names,
// however few bytes the scan has (in a progressive image a run of
// end-of-band codes covers 32,767 blocks in 15 bits), so 10,000 scans of
// a 4096 x 4096 image cost 2.6 billion block visits. The scans are counted
// ahead with the blocks each visits: at most kMaxPasses times the image's
// blocks in all (a progressive image takes five or six passes, a baseline
// image one). That bounds the scans too, as each visits a component.
//
// Every place the decoder could take for a table or a scan is looked at:
// the segments before the first scan, walked by their lengths as the
// decoder walks them, and after that every marker in the data (0xFF, fill
// bytes, then the marker's code), where the decoder may resume after a
// scan; valid scan data never holds one. The decoder reads zeros past the
// end, and so does this check.
class JpegCheck {
 public:
  enum class Verdict { kFits, kOversizedTable, kTooMuchWork };
  static constexpr uint64_t kMaxPasses = 32;

  JpegCheck(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  static bool IsJpeg(const uint8_t* data, size_t size) {
    size_t pos = 0;
    while (pos < size && data[pos] == 0xFF) ++pos;
    return pos > 0 && pos < size && data[pos] == 0xD8;
  }

  Verdict Check() {
    size_t pos = 0;
    while (Byte(pos) == 0xFF) ++pos;
    ++pos;  // start of image
    // Segments before the first scan.
    while (pos < size_) {
      while (pos < size_ && Byte(pos) != 0xFF) ++pos;  // padding the decoder skips
      while (Byte(pos) == 0xFF) ++pos;
      if (pos >= size_) return Verdict::kFits;
      const uint8_t marker = Byte(pos++);
      if (marker == 0xD9) return Verdict::kFits;
      if ((marker >= 0xD0 && marker <= 0xD8) || marker == 0x01) continue;  // no length
      if (marker == 0xDA) {
        if (!CountScan(pos)) return Verdict::kTooMuchWork;
        break;
      }
      if (marker == 0xC4 && !TableFits(pos)) return Verdict::kOversizedTable;
      if (IsFrame(marker) && !frame_.known) ReadFrame(pos);
      const size_t length = Read16(pos);
      if (length < 2) break;
      pos += length;
    }
    // From the first scan on.
    for (; pos < size_; ++pos) {
      if (Byte(pos) != 0xFF) continue;
      size_t marker = pos + 1;
      while (Byte(marker) == 0xFF && marker < size_) ++marker;
      if (Byte(marker) == 0xC4 && !TableFits(marker + 1)) return Verdict::kOversizedTable;
      if (Byte(marker) == 0xDA && !CountScan(marker + 1)) return Verdict::kTooMuchWork;
      pos = marker - 1;
    }
    return Verdict::kFits;
  }

  int Scans() const { return scans_; }
  uint64_t Work() const { return work_; }
  uint64_t ImageBlocks() const { return frame_.blocks; }

 private:
  struct Component {
    uint8_t id;
    uint64_t h, v;
    uint64_t blocks;  // visited by a scan of this component alone
  };
  struct Frame {
    bool known = false;
    std::vector<Component> components;
    uint64_t mcus = 0;            // an interleaved scan visits these...
    uint64_t blocks_per_mcu = 0;  // ...with this many blocks each, at most
    uint64_t blocks = 0;          // all components, one pass
  };

  static bool IsFrame(uint8_t marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
  }

  uint8_t Byte(size_t pos) const { return pos < size_ ? data_[pos] : 0; }
  size_t Read16(size_t pos) const { return (static_cast<size_t>(Byte(pos)) << 8) | Byte(pos + 1); }

  // `pos` is at the segment length. The decoder's own arithmetic for the
  // sizes of the components and of the minimum coded unit.
  void ReadFrame(size_t pos) {
    const uint64_t height = Read16(pos + 3);
    const uint64_t width = Read16(pos + 5);
    const int count = Byte(pos + 7);
    uint64_t h_max = 1, v_max = 1;
    for (int i = 0; i < count; ++i) {
      const uint8_t sampling = Byte(pos + 9 + 3 * i);
      Component c{Byte(pos + 8 + 3 * i), std::max<uint64_t>(sampling >> 4, 1), std::max<uint64_t>(sampling & 15, 1), 0};
      h_max = std::max(h_max, c.h);
      v_max = std::max(v_max, c.v);
      frame_.components.push_back(c);
    }
    const uint64_t mcus_x = (width + 8 * h_max - 1) / (8 * h_max);
    const uint64_t mcus_y = (height + 8 * v_max - 1) / (8 * v_max);
    frame_.mcus = mcus_x * mcus_y;
    for (Component& c : frame_.components) {
      const uint64_t x = (width * c.h + h_max - 1) / h_max;
      const uint64_t y = (height * c.v + v_max - 1) / v_max;
      c.blocks = ((x + 7) / 8) * ((y + 7) / 8);
      frame_.blocks += c.blocks;
      frame_.blocks_per_mcu += c.h * c.v;
    }
    frame_.known = true;
  }

  // `pos` is at the length of a scan header. False when the scans went past
  // the bound.
  bool CountScan(size_t pos) {
    ++scans_;
    if (!frame_.known) return true;  // the decoder refuses a scan before the frame
    const int count = Byte(pos + 2);
    const Component* alone = nullptr;
    if (count == 1) {
      for (const Component& c : frame_.components) {
        if (c.id == Byte(pos + 3)) alone = &c;
      }
    }
    work_ += alone != nullptr ? alone->blocks : frame_.mcus * frame_.blocks_per_mcu;
    return work_ <= kMaxPasses * std::max<uint64_t>(frame_.blocks, 1);
  }

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
  Frame frame_;
  int scans_ = 0;
  uint64_t work_ = 0;
};

// False (logged) for a JPEG the decoder must not be given.
bool JpegFits(const uint8_t* data, size_t size) {
  JpegCheck check(data, size);
  switch (check.Check()) {
    case JpegCheck::Verdict::kFits:
      return true;
    case JpegCheck::Verdict::kOversizedTable:
      BASEKIT_LOG(Failure, "JPEG image of %lu bytes refused: a Huffman table with more than 255 codes",
                  static_cast<unsigned long>(size));
      return false;
    case JpegCheck::Verdict::kTooMuchWork:
      BASEKIT_LOG(Failure,
                  "JPEG image of %lu bytes refused: its first %d scans visit %llu blocks, more than %llu times "
                  "its %llu",
                  static_cast<unsigned long>(size), check.Scans(), static_cast<unsigned long long>(check.Work()),
                  static_cast<unsigned long long>(JpegCheck::kMaxPasses),
                  static_cast<unsigned long long>(check.ImageBlocks()));
      return false;
  }
  return false;
}

// The image's dimensions, from its header alone: a small file can declare a
// huge image, and decoding allocates for the declared size before it reads
// any pixel. False (logged) for images that must not be decoded.
bool ReadImageHeader(const uint8_t* data, size_t size, int* width, int* height) {
  if (JpegCheck::IsJpeg(data, size) && !JpegFits(data, size)) return false;
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
  g_decoder_budget = DecoderBudget{DecoderAllocationLimit(width, height), 0, JpegCheck::IsJpeg(data, size)};
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

bool ReadImageSize(const uint8_t* data, size_t size, int* width, int* height) {
  if (data == nullptr || size == 0 || size > static_cast<size_t>(INT32_MAX)) return false;
  return ReadImageHeader(data, size, width, height);
}

bool FetchImageBytes(const wchar_t* name, const wchar_t* resource_type, std::vector<uint8_t>* bytes, bool quiet) {
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
  if (CSkinResourcesUI::FetchFile(name, kMaxImageFileBytes, bytes, quiet) == FetchStatus::kOk) return true;
  // Not in the archive: a regular file of that name in the skin's folder
  // (without an archive the fetch has looked there already).
  if (!CSkinResourcesUI::GetResourceZip().empty() &&
      CSkinResourcesUI::FetchFolderFile(name, kMaxImageFileBytes, bytes, quiet) == FetchStatus::kOk) {
    return true;
  }
  if (!quiet) BASEKIT_LOG(Failure, "image %s not found", ToLogText(name).c_str());
  return false;
}

std::unique_ptr<ImageEntry> DecodeImage(const uint8_t* data, size_t size, uint32_t mask, size_t max_bytes) {
  if (data == nullptr || size == 0 || size > static_cast<size_t>(INT32_MAX)) return nullptr;
  int width = 0;
  int height = 0;
  if (!ReadImageHeader(data, size, &width, &height)) return nullptr;
  const uint64_t pixel_bytes = static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * sizeof(uint32_t);
  if (pixel_bytes > max_bytes) {
    BASEKIT_LOG(Failure, "image of %d x %d pixels refused: its %lu bytes do not fit in the %lu left to its table",
                width, height, static_cast<unsigned long>(pixel_bytes), static_cast<unsigned long>(max_bytes));
    return nullptr;
  }
  stbi_uc* rgba = DecodeRgba(data, size, width, height);
  if (rgba == nullptr) return nullptr;
  auto entry = std::make_unique<ImageEntry>();
  entry->width = width;
  entry->height = height;
  entry->mask = mask;
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  // Converted where the decoder left the pixels (four bytes each either
  // way), then copied once into the entry.
  uint32_t* pixels = reinterpret_cast<uint32_t*>(rgba);
  uint32_t all_alpha = 0xFF000000u;
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
    pixels[i] = pixel == mask ? 0 : pixel;
    all_alpha &= pixels[i];
  }
  entry->opaque = all_alpha == 0xFF000000u;
  entry->pixels.assign(pixels, pixels + count);
  stbi_image_free(rgba);
  return entry;
}

std::unique_ptr<ImageEntry> MakeImageEntry(const std::vector<uint8_t>& bytes, const wchar_t* name,
                                           const wchar_t* resource_type, uint32_t mask, bool color_adjust,
                                           size_t max_bytes) {
  // Colour adjustment keeps a second copy of the pixels.
  std::unique_ptr<ImageEntry> entry =
      DecodeImage(bytes.data(), bytes.size(), mask, color_adjust ? max_bytes / 2 : max_bytes);
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

std::unique_ptr<ImageEntry> LoadImageEntry(const wchar_t* name, const wchar_t* resource_type, uint32_t mask,
                                           bool color_adjust, size_t max_bytes) {
  if (name == nullptr || name[0] == L'\0') return nullptr;
  std::vector<uint8_t> bytes;
  if (!FetchImageBytes(name, resource_type, &bytes)) return nullptr;
  return MakeImageEntry(bytes, name, resource_type, mask, color_adjust, max_bytes);
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
