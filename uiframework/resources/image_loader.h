#pragma once

// Skin images: bytes fetched by the skin resource rules (or from a numbered
// module resource), decoded with stb_image into top-down 32-bit pixels with
// premultiplied alpha.
// Thread affinity: UI thread only (the colour adjustment is process-wide).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Veneer {

// One decoded image. Pixels are 32-bit values 0xAARRGGBB (bytes blue, green,
// red, alpha in memory), top row first, colours premultiplied by alpha.
struct ImageEntry {
  std::vector<uint32_t> pixels;
  int width = 0;
  int height = 0;
  bool alpha = true;               // always set for images from this loader
  bool opaque = false;             // every pixel's alpha is 255
  bool color_adjust = false;       // "hsl": follows the process-wide adjustment
  std::vector<uint32_t> original;  // pixels as decoded, when color_adjust
  std::wstring resource_type;
  uint32_t mask = 0;
  // The DPI the pixels are for: 96 for an image as the skin gives it; a
  // copy for another DPI has the image's 96-DPI width and height scaled
  // (DpiScale::Scale), so that a 96-DPI coordinate in the image scales to
  // the same place in the copy.
  int dpi = 96;
  // Unique per entry a resource table holds (never reused), so that render
  // backends can key their caches by it.
  uint64_t serial = 0;
};

// Largest image file the loader reads, in bytes.
inline constexpr size_t kMaxImageFileBytes = 32u * 1024 * 1024;

// Most pixels a skin image may have: 4096 x 4096, 64 MiB once decoded to
// 32 bits. A window background for a 5K screen still fits; decoding one
// image at this size costs about three times that at its peak, which a
// 32-bit process can afford. Larger images are refused from their header,
// before anything is allocated for their pixels.
#if defined(FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION)
// Fuzzing builds decode under sanitizers at a fraction of the speed; a
// smaller bound keeps every input quick without changing any code path.
inline constexpr uint64_t kMaxImagePixels = 256u * 256u;
#else
inline constexpr uint64_t kMaxImagePixels = 4096u * 4096u;
#endif

// Decodes image bytes (PNG, JPEG, BMP, GIF, PSD, ...). A pixel equal to
// `mask` after premultiplication becomes fully transparent black. Null for
// undecodable bytes, for images of more than kMaxImagePixels pixels and for
// images whose pixels would take more than `max_bytes` (all three known from
// the header, before decoding).
std::unique_ptr<ImageEntry> DecodeImage(const uint8_t* data, size_t size, uint32_t mask, size_t max_bytes = SIZE_MAX);

// The width and height an image's header declares. False (logged) for
// bytes that must not be decoded (the checks of DecodeImage, from the
// header alone).
bool ReadImageSize(const uint8_t* data, size_t size, int* width, int* height);

// The bytes of a skin image. With a resource type the name must start with
// a digit and is the decimal id of a module resource of that type;
// otherwise the bytes are fetched by name (folder or archive), and failing
// that from a regular file of that name below the skin's folder
// (CSkinResourcesUI::FetchFolderFile). False when not found: logged, unless
// `quiet` (an image that may or may not be there, such as a variant).
bool FetchImageBytes(const wchar_t* name, const wchar_t* resource_type, std::vector<uint8_t>* bytes,
                     bool quiet = false);
// The entry for fetched bytes (`name` only names it in the log). Null when
// undecodable, or when the entry (with the copy kept for colour adjustment)
// would take more than `max_bytes`.
std::unique_ptr<ImageEntry> MakeImageEntry(const std::vector<uint8_t>& bytes, const wchar_t* name,
                                           const wchar_t* resource_type, uint32_t mask, bool color_adjust,
                                           size_t max_bytes = SIZE_MAX);
// Fetches and makes.
std::unique_ptr<ImageEntry> LoadImageEntry(const wchar_t* name, const wchar_t* resource_type, uint32_t mask,
                                           bool color_adjust, size_t max_bytes = SIZE_MAX);

// The process-wide colour adjustment for images with the colour-adjust
// flag: hue rotation in degrees (0-360), saturation and lightness in
// percent (100 = unchanged; 0-200).
struct ColorAdjustment {
  bool active = false;
  int hue = 180;
  int saturation = 100;
  int lightness = 100;
};
void SetColorAdjustment(const ColorAdjustment& adjustment);
const ColorAdjustment& GetColorAdjustment();
// Recomputes entry.pixels from entry.original with the current adjustment.
void ApplyColorAdjustment(ImageEntry& entry);

}  // namespace Veneer
