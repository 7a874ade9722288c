// The program's skins as the framework reads them: each file parses, holds
// the controls its window looks up (with the element the window expects),
// and every image it names is there, decodes at the size its control
// implies, and contains the rectangles its descriptor cuts from it.

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/resources/skin_files.h"
#include "uiframework/base/attribute_values.h"
#include "uiframework/base/dpi_scale.h"
#include "uiframework/markup/markup_doc.h"
#include "uiframework/resources/image_loader.h"

namespace resources_test {
namespace {

using Veneer::CMarkupDoc;
using Veneer::CMarkupElement;

struct NamedControl {
  const wchar_t* name;
  const wchar_t* element;  // compared without case, as the builder does
};

struct SkinCase {
  const char* file;
  const wchar_t* root;
  std::vector<NamedControl> controls;
};

const SkinCase kSkins[] = {
    {"repair.xml",
     L"Window",
     {{L"repair_btn_close", L"Button"},
      {L"repair_step1", L"ChildLayout"},
      {L"repair_step2", L"ChildLayout"},
      {L"repair_step3", L"ChildLayout"}}},
    {"step1.xml", L"root", {{L"repair_btn_step1", L"Button"}, {L"repair_notice", L"Text"}}},
    {"step2.xml",
     L"root",
     {{L"repair_progress", L"Progress"},
      {L"repair_heading", L"Label"},
      {L"repair_status_row", L"HorizontalLayout"},
      {L"repair_status", L"Label"},
      {L"repair_amount", L"Label"},
      {L"repair_failure", L"VerticalLayout"},
      {L"repair_cause", L"Text"},
      {L"repair_next", L"Text"},
      {L"repair_failure_buttons", L"HorizontalLayout"},
      {L"repair_btn_retry", L"Button"},
      {L"repair_btn_quit", L"Button"}}},
    {"step3.xml", L"root", {{L"repair_btn_step3", L"Button"}}},
    {"adapter.xml", L"Window", {{L"adapter_list", L"VerticalLayout"}}},
    {"common_alert_box.xml",
     L"Window",
     {{L"lb_title", L"Label"}, {L"lb_content", L"Text"}, {L"bt_close", L"Button"}, {L"bt_close_down", L"Button"}}},
};

// Pictures drawn unscaled into fixed-size controls have that size; the
// backgrounds are the main window's size (bk.png is stretched by its
// nine-grid into the smaller windows).
struct ImageCase {
  const char* name;
  int width;
  int height;
};

const ImageCase kImages[] = {
    {"skin/bk.png", 580, 374},
    {"skin/connect.png", 580, 374},
    {"skin/logo.png", 580, 374},
    {"skin/close-normal.png", 20, 20},
    {"skin/close-pushed.png", 20, 20},
    {"skin/btn-bk-normal.png", 120, 36},
    {"skin/btn-bk-hover.png", 120, 36},
    {"skin/btn-bk-pushed.png", 120, 36},
    {"skin/btn-normal2.png", 62, 34},
    {"skin/btn-hover2.png", 62, 34},
    {"skin/btn-pushed2.png", 62, 34},
    {"skin/btn-disable2.png", 62, 34},
    {"skin/progress_bk.png", 240, 6},
    {"skin/progress_fore.png", 240, 6},
    {"skin/btn-bk-disabled.png", 120, 36},
    {"skin/btn-small-normal.png", 100, 32},
    {"skin/btn-small-hover.png", 100, 32},
    {"skin/btn-small-pushed.png", 100, 32},
    {"skin/btn-ghost-normal.png", 100, 32},
    {"skin/btn-ghost-hover.png", 100, 32},
    {"skin/btn-ghost-pushed.png", 100, 32},
};

const std::set<std::wstring> kImageAttributes = {
    L"bkimage",   L"normalimage",  L"hotimage",        L"pushedimage",   L"focusedimage",     L"disabledimage",
    L"foreimage", L"hotforeimage", L"pushedforeimage", L"selectedimage", L"selectedhotimage",
};

// One element with its attributes, copied out of the document.
struct Element {
  std::wstring name;
  std::map<std::wstring, std::wstring> attributes;
};

void Flatten(const CMarkupElement& element, std::vector<Element>* out) {
  for (CMarkupElement e = element; e.IsValid(); e = e.GetSibling()) {
    Element copy{e.GetName(), {}};
    for (int i = 0; i < e.GetAttributeCount(); ++i) copy.attributes[e.GetAttributeName(i)] = e.GetAttributeValue(i);
    out->push_back(std::move(copy));
    Flatten(e.GetChild(), out);
  }
}

bool SameName(const std::wstring& a, const wchar_t* b) { return Veneer::EqualsIgnoreCase(a.c_str(), b); }

// The image name and the rectangles of an image descriptor: a plain name,
// or key='value' pairs separated by blanks.
struct Descriptor {
  std::wstring file;
  std::wstring source;
  std::wstring corner;
};

Descriptor ParseDescriptor(const std::wstring& text) {
  if (text.find(L"='") == std::wstring::npos) return {text, L"", L""};
  Descriptor d;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t eq = text.find(L"='", pos);
    size_t end = eq == std::wstring::npos ? eq : text.find(L'\'', eq + 2);
    if (end == std::wstring::npos) break;
    std::wstring key = text.substr(pos, eq - pos);
    key.erase(0, key.find_first_not_of(L' '));
    std::wstring value = text.substr(eq + 2, end - eq - 2);
    if (key == L"file") d.file = value;
    if (key == L"source") d.source = value;
    if (key == L"corner") d.corner = value;
    pos = end + 1;
  }
  return d;
}

std::vector<Element> LoadSkin(const char* file) {
  std::vector<Element> elements;
  auto bytes = ReadSkinFile(file);
  if (!bytes) {
    ADD_FAILURE() << file << " is missing";
    return elements;
  }
  CMarkupDoc doc;
  if (!doc.LoadFromMem(bytes->data(), bytes->size(), CMarkupDoc::kUtf8)) {
    ADD_FAILURE() << file << ": " << Narrow(doc.GetLastErrorMessage()) << " at " << Narrow(doc.GetLastErrorLocation());
    return elements;
  }
  Flatten(doc.GetRoot(), &elements);
  return elements;
}

TEST(Skins, ParseAndHoldTheControlsTheirWindowsLookUp) {
  for (const SkinCase& skin : kSkins) {
    SCOPED_TRACE(skin.file);
    std::vector<Element> elements = LoadSkin(skin.file);
    ASSERT_FALSE(elements.empty());
    EXPECT_EQ(elements[0].name, skin.root);
    for (const NamedControl& control : skin.controls) {
      int found = 0;
      for (const Element& e : elements) {
        auto name = e.attributes.find(L"name");
        if (name == e.attributes.end() || name->second != control.name) continue;
        ++found;
        EXPECT_TRUE(SameName(e.name, control.element)) << Narrow(control.name) << " is a " << Narrow(e.name);
      }
      EXPECT_EQ(found, 1) << Narrow(control.name);
    }
    for (const Element& e : elements) {
      // Every face is the skin face; a file saved in another encoding
      // would garble it (and every Chinese text with it).
      if (SameName(e.name, L"Font")) {
        EXPECT_EQ(e.attributes.at(L"name"), L"\u5FAE\u8F6F\u96C5\u9ED1");
      }
      // Child layouts load their pages from the same archive.
      if (SameName(e.name, L"ChildLayout")) {
        EXPECT_TRUE(ReadSkinFile(Narrow(e.attributes.at(L"xmlfile")))) << Narrow(e.attributes.at(L"xmlfile"));
      }
    }
  }
}

TEST(Skins, EveryImageNamedDecodesAtItsSize) {
  std::map<std::string, const ImageCase*> expected;
  for (const ImageCase& image : kImages) expected[image.name] = &image;
  std::set<std::string> named;
  for (const SkinCase& skin : kSkins) {
    for (const Element& e : LoadSkin(skin.file)) {
      for (const auto& [attribute, value] : e.attributes) {
        if (kImageAttributes.count(attribute) == 0) continue;
        Descriptor d = ParseDescriptor(value);
        std::string name = Narrow(d.file);
        SCOPED_TRACE(std::string(skin.file) + " " + Narrow(attribute) + " " + name);
        named.insert(name);
        auto size = expected.find(name);
        ASSERT_NE(size, expected.end()) << "no expected size for this image";
        auto bytes = ReadSkinFile(name);
        ASSERT_TRUE(bytes);
        auto image = Veneer::DecodeImage(bytes->data(), bytes->size(), 0);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->width, size->second->width);
        EXPECT_EQ(image->height, size->second->height);
        if (!d.source.empty()) {
          Veneer::UiRect source = Veneer::ParseRect(d.source.c_str());
          EXPECT_TRUE(source.left >= 0 && source.top >= 0 && source.left < source.right && source.top < source.bottom &&
                      source.right <= image->width && source.bottom <= image->height);
        }
        if (!d.corner.empty()) {
          Veneer::UiRect corner = Veneer::ParseRect(d.corner.c_str());
          EXPECT_LE(corner.left + corner.right, image->width);
          EXPECT_LE(corner.top + corner.bottom, image->height);
        }
      }
    }
  }
  for (const ImageCase& image : kImages) EXPECT_EQ(named.count(image.name), 1u) << image.name << " is not used";
}

// Each picture carries its variants for 144 and 192 DPI, at the size the
// framework scales the picture to (a variant of another size would be
// resampled at every start).
TEST(Skins, EveryImageHasItsVariants) {
  for (const ImageCase& image : kImages) {
    for (const int dpi : {144, 192}) {
      const Veneer::DpiScale scale(dpi);
      std::string name = image.name;
      name.insert(name.rfind('.'), dpi == 144 ? "@1.5x" : "@2x");
      SCOPED_TRACE(name);
      auto bytes = ReadSkinFile(name);
      ASSERT_TRUE(bytes);
      auto variant = Veneer::DecodeImage(bytes->data(), bytes->size(), 0);
      ASSERT_TRUE(variant);
      EXPECT_EQ(variant->width, scale.Scale(image.width));
      EXPECT_EQ(variant->height, scale.Scale(image.height));
    }
  }
}

}  // namespace
}  // namespace resources_test
