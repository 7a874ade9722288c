#include "uiframework/core/control.h"

#include <gtest/gtest.h>

#include "uiframework/base/attribute_values.h"
#include "uiframework/controls/button.h"
#include "uiframework/controls/text.h"
#include "uiframework/layout/vertical_layout.h"

namespace Veneer {
namespace {

// Records the attributes it is given.
class AttributeLog : public CControlUI {
 public:
  void SetAttribute(const wchar_t* name, const wchar_t* value) override {
    log += std::wstring(L"[") + name + L"=" + value + L"]";
  }
  std::wstring log;
};

std::wstring Applied(const wchar_t* list) {
  AttributeLog control;
  control.ApplyAttributeList(list);
  return control.log;
}

TEST(ControlTest, AttributeLists) {
  struct Case {
    const wchar_t* list;
    const wchar_t* applied;
  } cases[] = {
      {L"text=\"a\" height=\"30\"", L"[text=a][height=30]"},
      {L"bkimage=\"file='x.png' corner='1,1,1,1'\"", L"[bkimage=file='x.png' corner='1,1,1,1']"},
      {L"a=\"\"", L"[a=]"},
      {L"a=\"1\"  b=\"2\"", L"[a=1][ b=2]"},  // one blank separates; the next is part of the name
      {L"a=\"1\",b=\"2\"", L"[a=1]"},
      {L"a=\"1\" ", L"[a=1]"},
      {L"a=1", L""},
      {L"a =\"1\"", L"[a =1]"},
      {L"a=\"1", L""},
      {L"a", L""},
      {L"", L""},
  };
  for (const Case& c : cases) EXPECT_EQ(Applied(c.list), c.applied) << c.list;
}

TEST(ControlTest, AttributeValues) {
  struct RectCase {
    const wchar_t* text;
    UiRect rect;
  } rects[] = {
      {L"1,2,3,4", {1, 2, 3, 4}},
      {L" 548, 8 ,568,28", {548, 8, 0, 568}},  // the blank is the separator; "," reads as 0
      {L"1,2", {1, 2, 0, 0}},
      {L"1,,3,4", {1, 0, 3, 4}},
      {L"-5;6;7;8", {-5, 6, 7, 8}},
      {L"x", {0, 0, 0, 0}},
      {L"", {0, 0, 0, 0}},
      {L"99999999999,1,2,3", {2147483647, 1, 2, 3}},
  };
  for (const RectCase& c : rects) EXPECT_EQ(ParseRect(c.text), c.rect) << c.text;

  struct ColorCase {
    const wchar_t* text;
    uint32_t color;
  } colors[] = {
      {L"#FFFFFFFF", 0xFFFFFFFF},
      {L"#00D6D6E6", 0x00D6D6E6},
      {L"  #ff102030", 0xFF102030},
      {L"FF000000", 0xFF000000},
      {L"#123456789", 0xFFFFFFFF},
      {L"#xyz", 0},
      {L"", 0},
  };
  for (const ColorCase& c : colors) EXPECT_EQ(ParseColor(c.text), c.color) << c.text;

  EXPECT_TRUE(ParseBoolIgnoreCase(L"TRUE"));
  EXPECT_FALSE(ParseBoolIgnoreCase(L"1"));
  EXPECT_TRUE(ParseBool(L"true"));
  EXPECT_FALSE(ParseBool(L"True"));
  EXPECT_EQ(ParseSize(L"580,374"), (UiSize{580, 374}));
}

TEST(ControlTest, ContainerOwnsItsChildren) {
  CVerticalLayoutUI layout;
  auto* a = new CLabelUI();
  auto* b = new CButtonUI();
  EXPECT_TRUE(layout.Add(a));
  EXPECT_FALSE(layout.Add(a));  // already a child
  CVerticalLayoutUI other;
  EXPECT_FALSE(other.Add(a));  // a child of another container
  EXPECT_FALSE(layout.Add(nullptr));
  EXPECT_FALSE(layout.Add(&layout));
  EXPECT_TRUE(layout.AddAt(b, 0));
  EXPECT_EQ(layout.GetItemAt(0), b);
  EXPECT_EQ(layout.GetItemIndex(a), 1);
  EXPECT_EQ(a->GetParent(), &layout);
  EXPECT_TRUE(layout.SetItemIndex(b, 1));
  EXPECT_EQ(layout.GetItemAt(1), b);
  EXPECT_TRUE(layout.Remove(a));  // destroyed
  EXPECT_EQ(layout.GetCount(), 1);
  EXPECT_FALSE(layout.RemoveAt(3));
  layout.Add(new CTextUI());
  // The rest go with the container.
}

}  // namespace
}  // namespace Veneer
