#include "uiframework/resources/image_loader.h"

#include <gtest/gtest.h>

#include "tests/uiframework/test_support.h"
#include "uiframework/core/paint_host.h"
#include "uiframework/resources/skin_resources.h"

namespace Veneer {
namespace {

using test::FrameworkTest;

class ImageLoaderTest : public FrameworkTest {};

// Three pixels in a row (RGBA): opaque red, half-transparent white,
// opaque magenta; and a second row below them, all blue.
std::vector<uint8_t> SamplePng() {
  return test::EncodePng(3, 2, {255, 0, 0, 255, 255, 255, 255, 128, 255, 0, 255, 255,  //
                                0, 0, 255, 255, 0, 0, 255, 255, 0, 0, 255, 255});
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
  const uint8_t junk[] = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_FALSE(DecodeImage(junk, sizeof(junk), 0));
  EXPECT_FALSE(DecodeImage(png.data(), png.size() / 2, 0));
}

TEST_F(ImageLoaderTest, LoadsByTheSkinRules) {
  test::ScratchDir dir;
  std::vector<uint8_t> png = SamplePng();
  test::ZipImage zip = test::BuildZip({{"skin/question.png", std::string(png.begin(), png.end()), true}});
  CSkinResourcesUI::SetResourceZip(zip.bytes.data(), zip.bytes.size());
  dir.Write("outside.png", png);

  EXPECT_TRUE(LoadImageEntry(L"skin\\question.png", nullptr, 0, false));
  EXPECT_TRUE(LoadImageEntry(L"SKIN/Question.png", nullptr, 0, false));
  // Not in the archive: the name is tried as a path of its own.
  EXPECT_TRUE(LoadImageEntry((dir.WidePath() + L"outside.png").c_str(), nullptr, 0, false));
  EXPECT_FALSE(LoadImageEntry(L"skin\\missing.png", nullptr, 0, false));
  // With a resource type the name must be a number.
  EXPECT_FALSE(LoadImageEntry(L"skin\\question.png", L"PNG", 0, false));
  EXPECT_FALSE(LoadImageEntry(L"", nullptr, 0, false));
}

TEST_F(ImageLoaderTest, LoadsNumberedResources) {
  static std::vector<uint8_t> png = SamplePng();
  PlatformHooks hooks;
  hooks.load_resource = [](ModuleHandle, uint32_t id, const wchar_t*, ResourceBytes* out) {
    if (id != 140) return false;
    out->data = png.data();
    out->size = png.size();
    return true;
  };
  SetPlatformHooks(hooks);
  auto image = LoadImageEntry(L"140", L"PNG", 0, false);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->resource_type, L"PNG");
  EXPECT_FALSE(LoadImageEntry(L"141", L"PNG", 0, false));
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

}  // namespace
}  // namespace Veneer
