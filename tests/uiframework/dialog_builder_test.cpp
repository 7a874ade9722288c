#include "uiframework/builder/dialog_builder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>

#include "tests/uiframework/test_support.h"
#include "uiframework/builder/child_layout_loader.h"
#include "uiframework/core/paint_host.h"
#include "uiframework/controls/identity_controls.h"
#include "uiframework/controls/text.h"
#include "uiframework/core/container.h"
#include "uiframework/resources/skin_resources.h"

namespace Veneer {
namespace {

class FakeWindow : public test::FakeNativeWindow {
 public:
  void ResizeWindow(int cx, int cy) override {
    ++resizes;
    size = UiSize{cx, cy};
  }
  int resizes = 0;
  UiSize size;
};

// Creates "Custom" controls and counts what it is asked for.
class FakeCallback : public IDialogBuilderCallback {
 public:
  CControlUI* CreateControl(const wchar_t* class_name) override {
    asked.push_back(class_name);
    return std::wcscmp(class_name, L"Custom") == 0 ? new CContainerUI() : nullptr;
  }
  std::vector<std::wstring> asked;
};

// A container that takes nothing.
class RefusingContainer : public CContainerUI {
 public:
  bool AddAt(CControlUI*, int) override { return false; }
};

CControlUI* PluginFactory(const wchar_t* class_name) {
  if (std::wcscmp(class_name, L"Refusing") == 0) return new RefusingContainer();
  if (std::wcscmp(class_name, L"Plugged") == 0) return new CLabelUI();
  return nullptr;
}

// Class names of a container's children, blank-separated.
std::wstring Children(CControlUI* control) {
  auto* container = static_cast<IContainerUI*>(control->GetInterface(L"IContainer"));
  std::wstring out;
  for (int i = 0; container != nullptr && i < container->GetCount(); ++i) {
    if (i > 0) out += L" ";
    out += container->GetItemAt(i)->GetClass();
  }
  return out;
}

class DialogBuilderTest : public test::FrameworkTest {
 protected:
  // Builds markup text; the result is owned by the test.
  CControlUI* Build(const wchar_t* markup, CPaintHostUI* host = nullptr, CControlUI* parent = nullptr,
                    IDialogBuilderCallback* callback = nullptr) {
    CDialogBuilder builder;
    return builder.Create(markup, nullptr, callback, host, parent);
  }
};

TEST_F(DialogBuilderTest, ClassTable) {
  struct Case {
    const wchar_t* element;
    const wchar_t* class_name;
  } cases[] = {
      {L"Control", L"ControlUI"},
      {L"Label", L"LabelUI"},
      {L"label", L"LabelUI"},
      {L"LABEL", L"LabelUI"},
      {L"Text", L"TextUI"},
      {L"text", L"TextUI"},
      {L"Button", L"ButtonUI"},
      {L"button", L"ButtonUI"},
      {L"Option", L"OptionUI"},
      {L"CheckBox", L"CheckBoxUI"},
      {L"Progress", L"ProgressUI"},
      {L"progress", L"ProgressUI"},
      {L"Slider", L"SliderUI"},
      {L"Edit", L"EditUI"},
      {L"RichEdit", L"RichEditUI"},
      {L"Combo", L"ComboUI"},
      {L"List", L"ListUI"},
      {L"ListHeader", L"ListHeaderUI"},
      {L"ListHeaderItem", L"ListHeaderItemUI"},
      {L"ListLabelElement", L"ListLabelElementUI"},
      {L"ListTextElement", L"ListTextElementUI"},
      {L"ListContainerElement", L"ListContainerElementUI"},
      {L"Container", L"ContainerUI"},
      {L"VerticalLayout", L"VerticalLayoutUI"},
      {L"HorizontalLayout", L"HorizontalLayoutUI"},
      {L"TabLayout", L"TabLayoutUI"},
      {L"TileLayout", L"TileLayoutUI"},
      {L"ChildLayout", L"ChildLayoutUI"},
      {L"ScrollBar", L"ScrollBarUI"},
      {L"ActiveX", L"ActiveXUI"},
      {L"WebBrowser", L"WebBrowserUI"},
      {L"DateTime", L"DateTimeUI"},
      {L"TreeView", L"TreeViewUI"},
      {L"TreeNode", L"TreeNodeUI"},
      {L"Gif", L"GifAnimUI"},
      {L"MPng", L"MpngAnimUI"},
      {L"PopUp", L"PopUpUI"},
      {L"ButtonX", L"ButtonXUI"},
      {L"OptionX", L"OptionXUI"},
  };
  for (const Case& c : cases) {
    CControlUI* control = CDialogBuilder::CreateStandardControl(c.element);
    ASSERT_NE(control, nullptr) << c.element;
    EXPECT_STREQ(control->GetClass(), c.class_name) << c.element;
    EXPECT_EQ(control->GetInterface(L"Control"), control) << c.element;
    control->Delete();
  }
  for (const wchar_t* unknown : {L"Labe", L"Labels", L"Window", L"", L"Lab\u00e9l"}) {
    EXPECT_EQ(CDialogBuilder::CreateStandardControl(unknown), nullptr) << unknown;
  }
  // Identity: a check box is an option and a button, but not a progress bar.
  CControlUI* check = CDialogBuilder::CreateStandardControl(L"CheckBox");
  EXPECT_NE(check->GetInterface(L"Option"), nullptr);
  EXPECT_NE(check->GetInterface(L"Button"), nullptr);
  EXPECT_EQ(check->GetInterface(L"Progress"), nullptr);
  EXPECT_EQ(check->GetInterface(L"IContainer"), nullptr);
  check->Delete();
}

TEST_F(DialogBuilderTest, BuildsTheWindowAndItsResources) {
  test::ScratchDir dir;
  dir.Write("skin/bk.png", test::EncodePng(1, 1, {1, 2, 3, 255}));
  CSkinResourcesUI::SetResourcePath(dir.WidePath().c_str());
  FakeWindow window;
  CPaintHostUI host;
  host.AttachNativeWindow(&window);
  const wchar_t* skin =
      L"<?xml version=\"1.0\" encoding=\"utf-8\"?>"
      L"<Window size=\"580,374\" sizebox=\"4,4,6,6\" caption=\"0,0,0,30\" roundcorner=\"5,5\" mininfo=\"100,80\""
      L" maxinfo=\"800,600\" showdirty=\"TRUE\" layerd=\"true\" alpha=\"200\" bktrans=\"true\""
      L" defaultfontcolor=\"#FF112233\" disabledfontcolor=\"FF445566\" linkfontcolor=\"#FF000001\""
      L" linkhoverfontcolor=\"#FF000002\" selectedcolor=\"#FF000003\" unknown=\"1\">"
      L"  <Font id=\"0\" name=\"\u5fae\u8f6f\u96c5\u9ed1\" size=\"12\" bold=\"true\" default=\"true\"/>"
      L"  <FONT ID=\"1\" NAME=\"Tahoma\" SIZE=\"9\" Shared=\"TRUE\"/>"
      L"  <Font name=\"NoId\"/>"
      L"  <Font id=\"5\"/>"
      L"  <Image name=\"skin\\bk.png\" mask=\"#FF010203\"/>"
      L"  <Default name=\"Button\" value=\"text=&quot;from default&quot; height=&quot;30&quot;\"/>"
      L"  <MultiLanguage id=\"7\" value=\"Seven\"/>"
      L"  <VerticalLayout name=\"root\">"
      L"    <Button name=\"btn\" height=\"40\"/>"
      L"    <Label text=\"%{7}\"/>"
      L"  </VerticalLayout>"
      L"</Window>";
  CControlUI* root = Build(skin, &host);
  ASSERT_NE(root, nullptr);

  const WindowSettings& settings = host.GetWindowSettings();
  EXPECT_EQ(settings.init_size, (UiSize{580, 374}));
  EXPECT_EQ(window.resizes, 1);
  EXPECT_EQ(window.size, (UiSize{580, 374}));
  EXPECT_EQ(settings.size_box, (UiRect{4, 4, 6, 6}));
  EXPECT_EQ(settings.caption, (UiRect{0, 0, 0, 30}));
  EXPECT_EQ(settings.round_corner, (UiSize{5, 5}));
  EXPECT_EQ(settings.min_info, (UiSize{100, 80}));
  EXPECT_EQ(settings.max_info, (UiSize{800, 600}));
  EXPECT_TRUE(settings.show_update_rect);
  EXPECT_TRUE(settings.layered);
  EXPECT_EQ(settings.opacity, 200);
  EXPECT_TRUE(settings.background_transparent);
  EXPECT_EQ(window.layered, 1);  // "alpha" 200
  EXPECT_EQ(host.GetDefaultColors().normal, 0xFF112233u);
  EXPECT_EQ(host.GetDefaultColors().disabled, 0xFF445566u);
  EXPECT_EQ(host.GetDefaultColors().link, 0xFF000001u);
  EXPECT_EQ(host.GetDefaultColors().link_hover, 0xFF000002u);
  EXPECT_EQ(host.GetDefaultColors().selected, 0xFF000003u);
  EXPECT_EQ(CResourceTablesUI::Shared().GetDefaultColors().normal, 0xFF000000u);  // this window only

  const CResourceTablesUI& tables = host.GetResources();
  EXPECT_EQ(tables.GetFont(0).face, L"\u5fae\u8f6f\u96c5\u9ed1");
  EXPECT_TRUE(tables.GetFont(0).IsBold());
  EXPECT_EQ(tables.GetDefaultFont().face, L"\u5fae\u8f6f\u96c5\u9ed1");
  EXPECT_EQ(tables.GetFont(1).face, L"Tahoma");
  CPaintHostUI other;
  EXPECT_EQ(other.GetResources().GetFont(1).face, L"Tahoma");  // shared
  EXPECT_NE(other.GetResources().GetFont(0).face, L"\u5fae\u8f6f\u96c5\u9ed1");
  EXPECT_EQ(&tables.GetFont(5), &tables.GetDefaultFont());  // no face: not registered

  const ImageEntry* image = tables.GetImage(L"skin\\bk.png");
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->pixels[0], 0u);  // the only pixel equals the mask
  EXPECT_EQ(other.GetResources().GetImage(L"skin\\bk.png"), nullptr);
  EXPECT_STREQ(tables.GetMultiLanguageString(7), L"Seven");

  EXPECT_STREQ(root->GetClass(), L"VerticalLayoutUI");
  EXPECT_EQ(root->GetName(), L"root");
  EXPECT_EQ(Children(root), L"ButtonUI LabelUI");
  auto* layout = static_cast<IContainerUI*>(root->GetInterface(L"IContainer"));
  CControlUI* button = layout->GetItemAt(0);
  // Defaults first, then the element's own attributes.
  EXPECT_EQ(button->GetText(), L"from default");
  EXPECT_EQ(button->GetFixedHeight(), 40);
  EXPECT_EQ(button->GetParent(), root);
  EXPECT_EQ(button->GetHost(), nullptr);  // detached until the tree is attached
  EXPECT_EQ(host.FindControl(std::wstring(L"btn")), nullptr);

  ASSERT_TRUE(host.AttachDialog(root));
  EXPECT_EQ(button->GetHost(), &host);
  EXPECT_EQ(host.FindControl(std::wstring(L"btn")), button);
  // With a root attached the size no longer resizes the window.
  host.SetInitSize(10, 10);
  EXPECT_EQ(window.resizes, 1);
}

TEST_F(DialogBuilderTest, WindowAttributesNeedAWindowRootAndANativeWindow) {
  FakeWindow window;
  CPaintHostUI attached;
  attached.AttachNativeWindow(&window);
  CPaintHostUI detached;
  struct Case {
    const wchar_t* skin;
    CPaintHostUI* host;
    bool applied;
  } cases[] = {
      {L"<Window size=\"1,2\"><Label/></Window>", &attached, true},
      {L"<window size=\"1,2\"><Label/></window>", &attached, true},
      {L"<root size=\"1,2\"><Label/></root>", &attached, false},
      {L"<Window size=\"1,2\"><Label/></Window>", &detached, false},
  };
  for (const Case& c : cases) {
    c.host->SetInitSize(0, 0);
    CControlUI* control = Build(c.skin, c.host);
    ASSERT_NE(control, nullptr) << c.skin;
    EXPECT_STREQ(control->GetClass(), L"LabelUI") << c.skin;
    EXPECT_EQ(c.host->GetWindowSettings().init_size == (UiSize{1, 2}), c.applied) << c.skin;
    control->Delete();
  }
}

TEST_F(DialogBuilderTest, DefaultListsAreKeyedByTheNameAsWritten) {
  CPaintHostUI host;
  CContainerUI parent;
  Build(
      L"<root><Default name=\"Label\" value=\"text=&quot;x&quot;\"/>"
      L"<Label/><label/><LABEL text=\"own\"/></root>",
      &host, &parent);
  ASSERT_EQ(parent.GetCount(), 3);
  EXPECT_EQ(parent.GetItemAt(0)->GetText(), L"x");
  EXPECT_EQ(parent.GetItemAt(1)->GetText(), L"");
  EXPECT_EQ(parent.GetItemAt(2)->GetText(), L"own");
  for (int i = 0; i < 3; ++i) EXPECT_STREQ(parent.GetItemAt(i)->GetClass(), L"LabelUI");
}

TEST_F(DialogBuilderTest, IncludeRepeatsTheSource) {
  test::ScratchDir dir;
  dir.Write("item.xml", std::string("<root><Button name=\"b\"/><Label/></root>"));
  dir.Write("self.xml", std::string("<root><Include source=\"self.xml\"/><Label/></root>"));
  CSkinResourcesUI::SetResourcePath(dir.WidePath().c_str());
  CPaintHostUI host;

  CControlUI* root = Build(
      L"<Window><HorizontalLayout><Include source=\"item.xml\" count=\"3\"/><Text/>"
      L"<Include count=\"2\"/><Include/><Include source=\"missing.xml\"/></HorizontalLayout></Window>",
      &host);
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(Children(root), L"ButtonUI LabelUI ButtonUI LabelUI ButtonUI LabelUI TextUI");
  root->Delete();

  // Included controls never become the result.
  CContainerUI parent;
  CControlUI* first = Build(L"<root><Include source=\"item.xml\"/><Label/></root>", &host, &parent);
  EXPECT_EQ(first, parent.GetItemAt(2));
  // A skin that includes itself ends after a bounded depth.
  CContainerUI deep;
  Build(L"<root><Include source=\"self.xml\"/></root>", &host, &deep);
  EXPECT_EQ(deep.GetCount(), CDialogBuilder::kMaxIncludeDepth);
  // A huge count stops at the include budget.
  CContainerUI many;
  Build(L"<root><Include source=\"&lt;r&gt;&lt;Label/&gt;&lt;/r&gt;\" count=\"2000000000\"/></root>", &host, &many);
  EXPECT_EQ(many.GetCount(), CDialogBuilder::kMaxIncludes);
}

// Levels of containers below `control` (0 for a control without children).
int NestingBelow(CControlUI* control) {
  int depth = 0;
  while (auto* container = static_cast<IContainerUI*>(control->GetInterface(L"IContainer"))) {
    if (container->GetCount() == 0) break;
    control = container->GetItemAt(0);
    ++depth;
  }
  return depth;
}

TEST_F(DialogBuilderTest, NestingIsBoundedAcrossIncludes) {
  // Each copy nests 200 containers and includes itself at the bottom: the
  // depth limit must hold for the chain, not per document, or the stack of
  // the UI thread runs out.
  test::ScratchDir dir;
  std::string deep;
  for (int i = 0; i < 200; ++i) deep += "<Container>";
  deep += "<Include source=\"self.xml\"/>";
  for (int i = 0; i < 200; ++i) deep += "</Container>";
  dir.Write("self.xml", "<root>" + deep + "</root>");
  CSkinResourcesUI::SetResourcePath(dir.WidePath().c_str());
  CContainerUI parent;
  Build(L"<root><Include source=\"self.xml\"/></root>", nullptr, &parent);
  ASSERT_EQ(parent.GetCount(), 1);
  EXPECT_EQ(NestingBelow(&parent), CDialogBuilder::kMaxDepth);
}

TEST_F(DialogBuilderTest, PluginsAndCallbackCreateUnknownElements) {
  FakeCallback callback;
  CDialogBuilder::AddControlFactory(&PluginFactory);
  CControlUI* root = Build(
      L"<root><Container><Plugged/><Custom><Label/></Custom><Unknown><Label/><Label/></Unknown>"
      L"<Label/><Refusing><Label/></Refusing></Container></root>",
      nullptr, nullptr, &callback);
  CDialogBuilder::RemoveControlFactory(&PluginFactory);
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(Children(root), L"LabelUI ContainerUI LabelUI ContainerUI");
  auto* container = static_cast<IContainerUI*>(root->GetInterface(L"IContainer"));
  EXPECT_EQ(Children(container->GetItemAt(1)), L"LabelUI");  // built inside the callback's control
  EXPECT_EQ(Children(container->GetItemAt(3)), L"");         // the refusing container kept nothing
  // The table comes first; the callback hears only what neither table nor plug-in knew.
  EXPECT_EQ(callback.asked, (std::vector<std::wstring>{L"Custom", L"Unknown"}));
  root->Delete();
}

TEST_F(DialogBuilderTest, ChildrenOfANonContainerAreDropped) {
  CControlUI* root = Build(L"<root><Label><Button/><Text/></Label><Button/></root>");
  ASSERT_NE(root, nullptr);
  EXPECT_STREQ(root->GetClass(), L"LabelUI");
  root->Delete();
}

TEST_F(DialogBuilderTest, ExtraTopLevelControlsWithoutParentAreNotLeaked) {
  CControlUI* first = Build(L"<root><Label/><Button/><Include source=\"&lt;r&gt;&lt;Text/&gt;&lt;/r&gt;\"/></root>");
  ASSERT_NE(first, nullptr);
  EXPECT_STREQ(first->GetClass(), L"LabelUI");
  first->Delete();  // the sanitizer builds fail on anything left behind
}

TEST_F(DialogBuilderTest, TreeNodes) {
  CControlUI* root = Build(
      L"<root><TreeView><TreeNode text=\"a\"><Label/><TreeNode text=\"a1\"/><Button/></TreeNode>"
      L"<treenode text=\"b\"/></TreeView></root>");
  ASSERT_NE(root, nullptr);
  auto* view = static_cast<CTreeViewUI*>(root->GetInterface(L"TreeView"));
  ASSERT_NE(view, nullptr);
  ASSERT_EQ(view->GetCount(), 2);
  auto* a = static_cast<CTreeNodeUI*>(view->GetItemAt(0)->GetInterface(L"TreeNode"));
  EXPECT_EQ(a->GetText(), L"a");
  EXPECT_EQ(Children(a->GetTreeNodeHorizontal()), L"LabelUI ButtonUI");
  ASSERT_EQ(a->GetChildNodeCount(), 1);
  EXPECT_EQ(a->GetChildNode(0)->GetText(), L"a1");
  root->Delete();

  // A tree node outside a tree view ends its level.
  CContainerUI parent;
  EXPECT_EQ(Build(L"<root><Label/><TreeNode/><Button/></root>", nullptr, &parent), nullptr);
  EXPECT_EQ(Children(&parent), L"LabelUI");
  EXPECT_EQ(Build(L"<root><TreeNode/></root>"), nullptr);
  // Without a parent, the control already made at that level has no owner
  // once the level fails (the sanitizer builds catch a leak).
  EXPECT_EQ(Build(L"<root><Label/><TreeNode/></root>"), nullptr);
}

TEST_F(DialogBuilderTest, FailedLoadsAreTriedTwice) {
  test::ScratchDir dir;
  CSkinResourcesUI::SetResourcePath(dir.WidePath().c_str());
  test::LogCapture log;
  CDialogBuilder builder;
  EXPECT_EQ(builder.Create(L"missing.xml"), nullptr);
  EXPECT_STREQ(builder.GetLastErrorMessage(), L"Error opening file");
  EXPECT_EQ(log.Count("skin file missing.xml: Error opening file"), 2);

  CDialogBuilder broken;
  EXPECT_EQ(broken.Create(L"<root><Label></root>"), nullptr);
  EXPECT_STREQ(broken.GetLastErrorMessage(), L"Unmatched closing tag");
  CDialogBuilder empty;
  EXPECT_EQ(empty.Create(L"<root/>"), nullptr);  // a valid document with nothing to build
}

// A markup error is logged once per attempt, by the parser, with where it
// is: from a text, from a skin file (tried twice) and from a resource.
TEST_F(DialogBuilderTest, AMarkupErrorIsLoggedOnceWithItsLocation) {
  static const char* const kBroken = "<root><Label></root>";
  test::ScratchDir dir;
  dir.Write("broken.xml", std::string(kBroken));
  CSkinResourcesUI::SetResourcePath(dir.WidePath().c_str());
  PlatformHooks hooks;
  hooks.load_resource = [](ModuleHandle, uint32_t id, const wchar_t*, ResourceBytes* out) {
    if (id != 300) return false;
    out->data = reinterpret_cast<const uint8_t*>(kBroken);
    out->size = std::strlen(kBroken);
    return true;
  };
  SetPlatformHooks(hooks);
  struct Case {
    const char* what;
    SkinSource source;
    int attempts;
  };
  const Case cases[] = {
      {"text", SkinSource(L"<root><Label></root>"), 1},
      {"file", SkinSource(L"broken.xml"), 2},
      {"resource", SkinSource(300u), 1},
  };
  for (const Case& c : cases) {
    test::LogCapture log;
    CDialogBuilder builder;
    EXPECT_EQ(builder.Create(c.source, L"XML"), nullptr) << c.what;
    EXPECT_EQ(log.Count("Unmatched closing tag"), c.attempts) << c.what << "\n" << log.Text();
    EXPECT_EQ(log.Count("skin markup: Unmatched closing tag at character 15 (\"root>\")"), c.attempts) << c.what;
  }
}

TEST_F(DialogBuilderTest, BuildsFromNumberedResources) {
  static const char* const kMain =
      "<Window><VerticalLayout><Include source=\"201\" count=\"2\"/></VerticalLayout></Window>";
  static const char* const kPart = "<root><Label/></root>";
  // 66037 is 501 in 16 bits: it must name nothing, not resource 501.
  static const char* const kWide =
      "<Window><VerticalLayout><Include source=\"66037\"/><Include source=\"-1\"/>"
      "<Button/></VerticalLayout></Window>";
  PlatformHooks hooks;
  hooks.load_resource = [](ModuleHandle, uint32_t id, const wchar_t* type, ResourceBytes* out) {
    if (std::wcscmp(type, L"XML") != 0) return false;
    const char* text = id == 200 ? kMain : id == 201 || id == 501 ? kPart : id == 203 ? kWide : nullptr;
    if (text == nullptr) return false;
    out->data = reinterpret_cast<const uint8_t*>(text);
    out->size = std::strlen(text);
    return true;
  };
  SetPlatformHooks(hooks);
  CDialogBuilder builder;
  CControlUI* root = builder.Create(200u, L"XML");
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(Children(root), L"LabelUI LabelUI");
  root->Delete();
  CDialogBuilder wide;
  root = wide.Create(203u, L"XML");
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(Children(root), L"ButtonUI");
  root->Delete();
  CDialogBuilder missing;
  EXPECT_EQ(missing.Create(202u, L"XML"), nullptr);
  // Not a resource id, and not a text either.
  CDialogBuilder too_large;
  EXPECT_EQ(too_large.Create(65536u + 200u, L"XML"), nullptr);
}

// Skins that would bring in far more than they are: a 1 MB text repeated by
// Include or by a default attribute list. The build stops at its byte
// budget, fails as a whole and leaves the parent as it was.
TEST_F(DialogBuilderTest, HostileSkinsStopAtTheByteBudget) {
  const std::string big_text(1024 * 1024, 'x');
  std::vector<test::ZipSpec> entries = {
      {"big.xml", "<root><Label text=\"" + big_text + "\"/></root>"},
      {"main.xml", "<Window><VerticalLayout><Include source=\"big.xml\" count=\"4096\"/></VerticalLayout></Window>"},
      {"defaults.xml", "<Window><Default name=\"Label\" value=\"text=&quot;" + big_text + "&quot;\"/><VerticalLayout>" +
                           [] {
                             std::string labels;
                             for (int i = 0; i < 100; ++i) labels += "<Label/>";
                             return labels;
                           }() +
                           "</VerticalLayout></Window>"},
      {"fine.xml", "<Window><VerticalLayout><Include source=\"big.xml\" count=\"3\"/></VerticalLayout></Window>"},
  };
  test::ZipImage zip = test::BuildZip(entries);
  CSkinResourcesUI::SetResourceZip(zip.bytes.data(), zip.bytes.size());
  test::LogCapture log;
  CPaintHostUI host;
  for (const wchar_t* skin : {L"main.xml", L"defaults.xml"}) {
    CContainerUI parent;
    parent.Add(new CLabelUI());
    CDialogBuilder builder;
    EXPECT_EQ(builder.Create(skin, nullptr, nullptr, &host, &parent), nullptr);
    EXPECT_TRUE(builder.IsBudgetExceeded());
    EXPECT_EQ(parent.GetCount(), 1);
  }
  EXPECT_EQ(log.Count("bytes one build may load and copy"), 2);
  // Real amounts still build.
  CDialogBuilder fine;
  CControlUI* root = fine.Create(L"fine.xml", nullptr, nullptr, &host);
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(Children(root), L"LabelUI LabelUI LabelUI");
  root->Delete();
}

// What a tiny skin can multiply besides text costs the budget too: every
// control at its size (a tree node is two), the scroll bars its attributes
// create, every attribute applied. 2,000 controls from 20 KB of markup,
// say, cost 1.7 MB natively; within a budget of 256 KiB they are refused.
TEST_F(DialogBuilderTest, TheBudgetChargesWhatTheSkinCreates) {
  auto repeat = [](const std::wstring& piece, int count) {
    std::wstring out;
    for (int i = 0; i < count; ++i) out += piece;
    return out;
  };
  struct Case {
    const char* what;
    std::wstring markup;
    bool built;
  } cases[] = {
      {"2,000 empty controls",
       L"<Window><VerticalLayout>" + repeat(L"<Control/>", 2000) + L"</VerticalLayout></Window>", false},
      {"500 options (larger objects)",
       L"<Window><VerticalLayout>" + repeat(L"<Option/>", 500) + L"</VerticalLayout></Window>", false},
      {"1,000 tree nodes", L"<Window><TreeView>" + repeat(L"<TreeNode/>", 1000) + L"</TreeView></Window>", false},
      {"150 layouts, each with both scroll bars",
       L"<Window><VerticalLayout>" + repeat(L"<VerticalLayout vscrollbar=\"true\" hscrollbar=\"true\"/>", 150) +
           L"</VerticalLayout></Window>",
       false},
      {"6,400 empty attributes on 100 controls",
       L"<Window><VerticalLayout>" + repeat(L"<Control " + repeat(L"a=\"\" ", 64) + L"/>", 100) +
           L"</VerticalLayout></Window>",
       false},
      {"100 controls", L"<Window><VerticalLayout>" + repeat(L"<Control/>", 100) + L"</VerticalLayout></Window>", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BuildBudget budget(BuildBudget::kMaxDocuments, 256 * 1024);
    CDialogBuilder builder;
    builder.SetBudget(&budget);
    test::LogCapture log;
    ControlPtr root(builder.Create(c.markup.c_str()));
    EXPECT_EQ(root != nullptr, c.built);
    EXPECT_EQ(builder.IsBudgetExceeded(), !c.built);
    EXPECT_EQ(log.Count("bytes one build may load and copy"), c.built ? 0 : 1);
  }
}

// A window's skin is one build: the child layouts its tree builds while it
// attaches go on with what the skin's own build left of the host's budget,
// instead of starting afresh (which doubled what a skin could bring in).
TEST_F(DialogBuilderTest, ChildLayoutsGoOnWithTheWindowsBudget) {
  test::ScratchDir dir;
  dir.Write("child.xml", std::string("<root><Label text=\"child\"/></root>"));
  CSkinResourcesUI::SetResourcePath(dir.WidePath().c_str());
  test::FakeNativeWindow native;
  CPaintHostUI host;
  host.AttachNativeWindow(&native);
  CDialogBuilder builder;
  CControlUI* root = builder.Create(
      L"<Window><VerticalLayout><Label text=\"main\"/><ChildLayout "
      L"xmlfile=\"child.xml\"/></VerticalLayout></Window>",
      nullptr, nullptr, &host);
  ASSERT_NE(root, nullptr);
  const size_t after_build = host.GetBuildBudget().BytesLeft();
  EXPECT_LT(after_build, BuildBudget::kMaxBytes);
  host.AttachDialog(root);
  EXPECT_LT(host.GetBuildBudget().BytesLeft(), after_build);
  EXPECT_EQ(host.GetBuildBudget().DocumentsLeft(), BuildBudget::kMaxDocuments - 1);
}

// A child layout builds through its window's loader, so the window's own
// control classes reach it; without a loader it knows only the builder's.
TEST_F(DialogBuilderTest, ChildLayoutsBuildThroughTheWindowsLoader) {
  test::ScratchDir dir;
  dir.Write("custom.xml", std::string("<root><Custom/></root>"));
  CSkinResourcesUI::SetResourcePath(dir.WidePath().c_str());
  FakeCallback callback;
  CChildLayoutLoader loader(&callback);
  for (IChildLayoutLoaderUI* set :
       {static_cast<IChildLayoutLoaderUI*>(&loader), static_cast<IChildLayoutLoaderUI*>(nullptr)}) {
    test::TestWindow window;
    window.host.SetChildLayoutLoader(set);
    ASSERT_TRUE(window.Build(L"<Window><ChildLayout name=\"c\" xmlfile=\"custom.xml\"/></Window>", 100, 100));
    EXPECT_EQ(Children(window.Find(L"c")), set != nullptr ? L"ContainerUI" : L"");
  }
  EXPECT_EQ(callback.asked, (std::vector<std::wstring>{L"Custom"}));
}

// Child layouts that load themselves twice over: bounded by the documents
// a window may build, and by the nesting depth.
TEST_F(DialogBuilderTest, ChildLayoutsThatIncludeThemselvesEnd) {
  test::ScratchDir dir;
  dir.Write("self.xml", std::string("<root><VerticalLayout><ChildLayout xmlfile=\"self.xml\"/>"
                                    "<ChildLayout xmlfile=\"self.xml\"/></VerticalLayout></root>"));
  CSkinResourcesUI::SetResourcePath(dir.WidePath().c_str());
  test::TestWindow window;
  ASSERT_TRUE(window.Build(L"<Window><ChildLayout xmlfile=\"self.xml\"/></Window>", 100, 100));
  EXPECT_EQ(window.host.GetBuildBudget().DocumentsLeft(), 0);
}

}  // namespace
}  // namespace Veneer
