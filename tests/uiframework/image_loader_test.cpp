#include "uiframework/resources/image_loader.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "tests/uiframework/hostile_skins.h"
#include "tests/uiframework/test_support.h"
#include "uiframework/core/paint_host.h"
#include "uiframework/resources/image_resample.h"
#include "uiframework/resources/skin_resources.h"

namespace Veneer {
namespace {

using test::FrameworkTest;

class ImageLoaderTest : public FrameworkTest {};

// Three pixels in a row (RGBA): opaque red, half-transparent white,
// opaque magenta; and a second row below them, all blue.
std::vector<uint8_t> SamplePng() {
  return test::EncodePng(3, 2, {255, 0, 0,   255, 255, 255, 255, 128, 255, 0, 255, 255,  //
                                0,   0, 255, 255, 0,   0,   255, 255, 0,   0, 255, 255});
}

TEST_F(ImageLoaderTest, PremultipliedTopDownPixelsAndMask) {
  std::vector<uint8_t> png = SamplePng();
  struct Case {
    uint32_t mask;
    uint32_t magenta;  // what the third pixel becomes
  } cases[] = {{0, 0xFFFF00FF}, {0xFFFF00FF, 0}, {0xFF00FF, 0xFFFF00FF}};
  for (const Case& c : cases) {
    auto image = DecodeImage(png.data(), png.size(), c.mask);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 3);
    EXPECT_EQ(image->height, 2);
    EXPECT_TRUE(image->alpha);
    ASSERT_EQ(image->pixels.size(), 6u);
    EXPECT_EQ(image->pixels[0], 0xFFFF0000u);
    EXPECT_EQ(image->pixels[1], 0x80808080u);  // 255 * 128 / 255 = 128
    EXPECT_EQ(image->pixels[2], c.magenta) << std::hex << c.mask;
    EXPECT_EQ(image->pixels[3], 0xFF0000FFu);  // the second row comes second
    // Bytes in memory: blue, green, red, alpha.
    const auto* bytes = reinterpret_cast<const uint8_t*>(image->pixels.data());
    EXPECT_EQ(bytes[2], 255);
    EXPECT_EQ(bytes[3], 255);
  }
  // Opaque (drawn by copying) only when every pixel is, a masked one included.
  EXPECT_FALSE(DecodeImage(png.data(), png.size(), 0)->opaque);
  const std::vector<uint8_t> solid = test::EncodePng(2, 1, {10, 20, 30, 255, 40, 50, 60, 255});
  EXPECT_TRUE(DecodeImage(solid.data(), solid.size(), 0)->opaque);
  EXPECT_FALSE(DecodeImage(solid.data(), solid.size(), 0xFF0A141E)->opaque);
  const uint8_t junk[] = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_FALSE(DecodeImage(junk, sizeof(junk), 0));
  EXPECT_FALSE(DecodeImage(png.data(), png.size() / 2, 0));
}

void AppendBigEndian32(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

std::string Zlib(const std::string& data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
            static_cast<uLong>(data.size()), 9);
  out.resize(size);
  return out;
}

// An 8-bit RGBA PNG with one IDAT chunk whose length field says
// `idat_length` (normally the size of `idat`).
std::vector<uint8_t> Png(uint32_t width, uint32_t height, const std::string& idat, uint32_t idat_length) {
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  auto chunk = [&png](const char* type, const std::vector<uint8_t>& data, uint32_t length) {
    AppendBigEndian32(png, length);
    size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    AppendBigEndian32(png, static_cast<uint32_t>(crc32(0L, png.data() + start, static_cast<uInt>(png.size() - start))));
  };
  std::vector<uint8_t> header;
  AppendBigEndian32(header, width);
  AppendBigEndian32(header, height);
  header.insert(header.end(), {8, 6, 0, 0, 0});
  chunk("IHDR", header, 13);
  chunk("IDAT", std::vector<uint8_t>(idat.begin(), idat.end()), idat_length);
  chunk("IEND", {}, 0);
  return png;
}

// A header that declares a size, with the pixels of one row at most.
std::vector<uint8_t> PngDeclaring(uint32_t width, uint32_t height) {
  std::string idat = Zlib(std::string(5, '\0'));
  return Png(width, height, idat, static_cast<uint32_t>(idat.size()));
}

std::vector<uint8_t> BmpDeclaring(uint32_t width, uint32_t height) {
  std::vector<uint8_t> bmp(54 + 16, 0);
  bmp[0] = 'B';
  bmp[1] = 'M';
  test::Put32(bmp, 2, static_cast<uint32_t>(bmp.size()));
  test::Put32(bmp, 10, 54);
  test::Put32(bmp, 14, 40);
  test::Put32(bmp, 18, width);
  test::Put32(bmp, 22, height);
  test::Put16(bmp, 26, 1);
  test::Put16(bmp, 28, 24);
  return bmp;
}

std::vector<uint8_t> GifDeclaring(uint16_t width, uint16_t height) {
  std::vector<uint8_t> gif = {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0, 0, 0, 0, ';'};
  test::Put16(gif, 6, width);
  test::Put16(gif, 8, height);
  return gif;
}

std::vector<uint8_t> JpegDeclaring(uint16_t width, uint16_t height) {
  return {0xFF,
          0xD8,
          0xFF,
          0xC0,
          0,
          11,
          8,
          static_cast<uint8_t>(height >> 8),
          static_cast<uint8_t>(height),
          static_cast<uint8_t>(width >> 8),
          static_cast<uint8_t>(width),
          1,
          1,
          0x11,
          0,
          0xFF,
          0xD9};
}

// A Huffman table that claims 16 x 255 codes.
std::vector<uint8_t> JpegWithOversizedTable() {
  std::vector<uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xC4, 0, 19, 0x00};
  jpeg.insert(jpeg.end(), 16, 0xFF);
  std::vector<uint8_t> frame = JpegDeclaring(8, 8);
  jpeg.insert(jpeg.end(), frame.begin() + 2, frame.end());
  return jpeg;
}

// A baseline 8 x 8 grey JPEG whose DC table holds 256 codes: 255 of eight
// bits and one of nine, which the scan uses first. A decoder whose lookup
// table marks "no entry" with 255 takes that code for another one.
std::vector<uint8_t> JpegWith256Codes() {
  std::vector<uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xDB, 0, 67, 0};  // SOI, quantisation table 0
  jpeg.insert(jpeg.end(), 64, 1);
  const std::vector<uint8_t> frame = {0xFF, 0xC0, 0, 11, 8, 0, 8, 0, 8, 1, 1, 0x11, 0};
  jpeg.insert(jpeg.end(), frame.begin(), frame.end());
  std::vector<uint8_t> dc = {0xFF, 0xC4, 0x01, 0x13, 0x00, 0, 0, 0, 0, 0, 0, 0, 255, 1, 0, 0, 0, 0, 0, 0, 0};
  dc.insert(dc.end(), 256, 0);  // every symbol: difference 0
  jpeg.insert(jpeg.end(), dc.begin(), dc.end());
  const std::vector<uint8_t> ac = {0xFF, 0xC4, 0, 20, 0x10, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00};
  jpeg.insert(jpeg.end(), ac.begin(), ac.end());
  const std::vector<uint8_t> scan = {0xFF, 0xDA, 0,    8,    1,    1,    0x00, 0,   63,
                                     0,    0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xD9};  // 11111111 0...
  jpeg.insert(jpeg.end(), scan.begin(), scan.end());
  return jpeg;
}

// Small files that would cost far more memory than their size explains
// (a 1 MB PNG of 16,000 x 16,000 cost 2 GB and 8 s) are refused before the
// decoder allocates for them.
TEST_F(ImageLoaderTest, HostileImagesAreRefusedBeforeTheyCostMemory) {
  const std::string inflates_to_8_mib = Zlib(std::string(8u << 20, '\0'));
  struct Case {
    const char* label;
    std::vector<uint8_t> bytes;
    const char* refusal;  // what the log says; null: not refused
  } cases[] = {
      {"PNG 16000 x 16000", PngDeclaring(16000, 16000), "pixels refused: a skin image has at most"},
      {"BMP 16000 x 16000", BmpDeclaring(16000, 16000), "pixels refused: a skin image has at most"},
      {"GIF 16000 x 16000", GifDeclaring(16000, 16000), "pixels refused: a skin image has at most"},
      {"JPEG 16000 x 16000", JpegDeclaring(16000, 16000), "pixels refused: a skin image has at most"},
      {"PNG 4097 x 4096", PngDeclaring(4097, 4096), "pixels refused: a skin image has at most"},
      {"BMP 3 x 0", BmpDeclaring(3, 0), "pixels refused: empty"},
      {"PNG 4096 x 4096", PngDeclaring(4096, 4096), nullptr},
      {"PNG 16384 x 1024", PngDeclaring(16384, 1024), nullptr},
      {"PNG with an IDAT chunk said to hold 1.75 GiB", Png(4, 3, Zlib("x"), 0x70000000), "bytes at once"},
      {"1 x 1 PNG whose data inflates to 8 MiB",
       Png(1, 1, inflates_to_8_mib, static_cast<uint32_t>(inflates_to_8_mib.size())), "bytes at once"},
      {"JPEG with a Huffman table of 4080 codes", JpegWithOversizedTable(), "Huffman table with more than 255"},
      {"JPEG with a Huffman table of 256 codes", JpegWith256Codes(), "Huffman table with more than 255"},
      // Each scan visits every block however few bytes it has: 10,000 such
      // scans of 4096 x 4096 pixels took 19 s.
      {"progressive JPEG of 41 scans, each over all its blocks", test::EobRunJpeg(64, 64, 40),
       "its first 33 scans visit 2112 blocks, more than 32 times its 64"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    test::LogCapture log;
    EXPECT_FALSE(DecodeImage(c.bytes.data(), c.bytes.size(), 0));
    if (c.refusal != nullptr) {
      EXPECT_EQ(log.Count(c.refusal), 1) << log.Text();
    } else {
      EXPECT_EQ(log.Count("refused"), 0) << log.Text();  // too short to decode, nothing more
    }
  }

  // A progressive image of ten scans, as encoders make them, decodes.
  const std::vector<uint8_t> progressive = test::EobRunJpeg(64, 64, 9);
  EXPECT_TRUE(DecodeImage(progressive.data(), progressive.size(), 0));

  // Through the loader the image is missing, as an image that is not found.
  std::vector<uint8_t> bomb = PngDeclaring(16000, 16000);
  test::ZipImage zip = test::BuildZip({{"skin/bomb.png", std::string(bomb.begin(), bomb.end()), true}});
  CSkinResourcesUI::SetResourceZip(zip.bytes.data(), zip.bytes.size());
  test::LogCapture log;
  EXPECT_FALSE(LoadImageEntry(L"skin\\bomb.png", nullptr, 0, false));
  EXPECT_EQ(log.Count("pixels refused"), 1);
}

TEST_F(ImageLoaderTest, LoadsByTheSkinRules) {
  test::ScratchDir dir;
  std::vector<uint8_t> png = SamplePng();
  test::ZipImage zip = test::BuildZip({{"skin/question.png", std::string(png.begin(), png.end()), true}});
  CSkinResourcesUI::SetResourceZip(zip.bytes.data(), zip.bytes.size());
  dir.Write("outside.png", png);

  EXPECT_TRUE(LoadImageEntry(L"skin\\question.png", nullptr, 0, false));
  EXPECT_TRUE(LoadImageEntry(L"SKIN/Question.png", nullptr, 0, false));
  // Not in the archive: a file of that name in the skin's folder, and only
  // there (not by a path of its own).
  EXPECT_FALSE(LoadImageEntry(L"outside.png", nullptr, 0, false));
  CSkinResourcesUI::SetResourcePath(dir.WidePath().c_str());
  EXPECT_TRUE(LoadImageEntry(L"outside.png", nullptr, 0, false));
  EXPECT_FALSE(LoadImageEntry((dir.WidePath() + L"outside.png").c_str(), nullptr, 0, false));
  EXPECT_FALSE(LoadImageEntry(L"skin\\missing.png", nullptr, 0, false));
  // With a resource type the name must be a number.
  EXPECT_FALSE(LoadImageEntry(L"skin\\question.png", L"PNG", 0, false));
  EXPECT_FALSE(LoadImageEntry(L"", nullptr, 0, false));
}

TEST_F(ImageLoaderTest, LoadsNumberedResources) {
  static std::vector<uint8_t> png = SamplePng();
  PlatformHooks hooks;
  hooks.load_resource = [](ModuleHandle, uint32_t id, const wchar_t*, ResourceBytes* out) {
    if (id != 140 && id != 65676) return false;  // 65676 is 140 in 16 bits
    out->data = png.data();
    out->size = png.size();
    return true;
  };
  SetPlatformHooks(hooks);
  auto image = LoadImageEntry(L"140", L"PNG", 0, false);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->resource_type, L"PNG");
  EXPECT_FALSE(LoadImageEntry(L"141", L"PNG", 0, false));
  EXPECT_FALSE(LoadImageEntry(L"65676", L"PNG", 0, false));  // no resource, not 140
}

TEST_F(ImageLoaderTest, ColourAdjustmentKeepsTheOriginal) {
  std::vector<uint8_t> png = SamplePng();
  test::ScratchDir dir;
  dir.Write("a.png", png);
  CSkinResourcesUI::SetResourcePath(dir.WidePath().c_str());
  ColorAdjustment adjustment;
  adjustment.active = true;
  adjustment.lightness = 0;
  SetColorAdjustment(adjustment);
  auto adjusted = LoadImageEntry(L"a.png", nullptr, 0, true);
  ASSERT_TRUE(adjusted);
  ASSERT_EQ(adjusted->original.size(), adjusted->pixels.size());
  EXPECT_EQ(adjusted->original[0], 0xFFFF0000u);
  EXPECT_EQ(adjusted->pixels[0], 0xFF000000u);  // no lightness: black, alpha kept
  auto plain = LoadImageEntry(L"a.png", nullptr, 0, false);
  ASSERT_TRUE(plain);
  EXPECT_TRUE(plain->original.empty());
  EXPECT_EQ(plain->pixels[0], 0xFFFF0000u);
}

// Resampled pictures are filtered, not picked: an edge enlarged gets the
// colours between its two sides, a reduced pattern its mean; premultiplied
// colours never exceed their alpha; flat areas stay flat.
TEST_F(ImageLoaderTest, ResamplingFilters) {
  auto row = [](std::vector<uint32_t> pixels) {
    ImageEntry image;
    image.width = static_cast<int>(pixels.size());
    image.height = 1;
    image.pixels = std::move(pixels);
    return image;
  };
  auto red = [](uint32_t pixel) { return static_cast<int>((pixel >> 16) & 0xFF); };
  // Black to white, twice as wide: in between on both sides of the edge.
  auto wide = ResampleImage(row({0xFF000000, 0xFFFFFFFF}), 4, 1);
  ASSERT_TRUE(wide);
  EXPECT_EQ(red(wide->pixels[0]), 0);
  EXPECT_GT(red(wide->pixels[1]), 0);
  EXPECT_LT(red(wide->pixels[2]), 255);
  EXPECT_EQ(red(wide->pixels[3]), 255);
  // Alternating stripes halved: grey, not one of the stripes.
  auto narrow = ResampleImage(row({0xFF000000, 0xFFFFFFFF, 0xFF000000, 0xFFFFFFFF}), 2, 1);
  ASSERT_TRUE(narrow);
  for (uint32_t pixel : narrow->pixels) EXPECT_NEAR(red(pixel), 128, 40);
  // Clear to opaque white, enlarged by 1.5: colour never above alpha.
  auto edge = ResampleImage(row({0x00000000, 0xFFFFFFFF, 0x80808080}), 5, 3);
  ASSERT_TRUE(edge);
  for (uint32_t pixel : edge->pixels) EXPECT_LE(red(pixel), static_cast<int>(pixel >> 24));
  auto flat = ResampleImage(row({0xFF336699, 0xFF336699, 0xFF336699}), 7, 2);
  ASSERT_TRUE(flat);
  for (uint32_t pixel : flat->pixels) EXPECT_EQ(pixel, 0xFF336699u);
  EXPECT_FALSE(ResampleImage(row({}), 2, 2));
}

}  // namespace
}  // namespace Veneer
