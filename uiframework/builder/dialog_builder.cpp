#include "uiframework/builder/dialog_builder.h"

#include <algorithm>
#include <cwchar>
#include <vector>

#include "basekit/log/log.h"
#include "uiframework/base/attribute_values.h"
#include "uiframework/base/platform_hooks.h"
#include "uiframework/base/text_conv.h"
#include "uiframework/builder/child_layout.h"
#include "uiframework/controls/button.h"
#include "uiframework/controls/identity_controls.h"
#include "uiframework/controls/label.h"
#include "uiframework/controls/option.h"
#include "uiframework/controls/progress.h"
#include "uiframework/controls/text.h"
#include "uiframework/core/container.h"
#include "uiframework/core/paint_host.h"
#include "uiframework/core/scroll_bar.h"
#include "uiframework/layout/horizontal_layout.h"
#include "uiframework/layout/tab_layout.h"
#include "uiframework/layout/vertical_layout.h"
#include "uiframework/resources/skin_resources.h"

namespace Veneer {

namespace {

constexpr const char* kLogSource = "dialog_builder";
// Include reads its attributes into buffers of this many characters.
constexpr size_t kIncludeValueChars = 500;
constexpr uint32_t kMaxResourceId = 65535;

// What the budget charges besides document text and attribute values, so
// that a small skin cannot multiply memory through anything else it asks
// for. A control costs its object, plus the heap block, its slot in the
// parent and its entries in the host's name and group tables:
constexpr size_t kControlOverheadBytes = 128;
// applying an attribute costs the copies made for the call and the call's
// work, whatever its value:
constexpr size_t kAttributeOverheadBytes = 32;
// and a value may be kept twice (an image descriptor and its name, a
// control's name and its key in the name table).
constexpr size_t kValueCopies = 2;

template <typename T>
CControlUI* Make() {
  return new T();
}

struct ClassEntry {
  const wchar_t* name;
  size_t length;
  CControlUI* (*make)();
  size_t bytes;  // the object's size
};

#define VENEER_CLASS(name, type) \
  { name, sizeof(name) / sizeof(wchar_t) - 1, &Make<type>, sizeof(type) }
const ClassEntry kClassTable[] = {
    VENEER_CLASS(L"Control", CControlUI),
    VENEER_CLASS(L"Label", CLabelUI),
    VENEER_CLASS(L"Text", CTextUI),
    VENEER_CLASS(L"Button", CButtonUI),
    VENEER_CLASS(L"Option", COptionUI),
    VENEER_CLASS(L"CheckBox", CCheckBoxUI),
    VENEER_CLASS(L"Progress", CProgressUI),
    VENEER_CLASS(L"Slider", CSliderUI),
    VENEER_CLASS(L"Edit", CEditUI),
    VENEER_CLASS(L"RichEdit", CRichEditUI),
    VENEER_CLASS(L"Combo", CComboUI),
    VENEER_CLASS(L"List", CListUI),
    VENEER_CLASS(L"ListHeader", CListHeaderUI),
    VENEER_CLASS(L"ListHeaderItem", CListHeaderItemUI),
    VENEER_CLASS(L"ListLabelElement", CListLabelElementUI),
    VENEER_CLASS(L"ListTextElement", CListTextElementUI),
    VENEER_CLASS(L"ListContainerElement", CListContainerElementUI),
    VENEER_CLASS(L"Container", CContainerUI),
    VENEER_CLASS(L"VerticalLayout", CVerticalLayoutUI),
    VENEER_CLASS(L"HorizontalLayout", CHorizontalLayoutUI),
    VENEER_CLASS(L"TabLayout", CTabLayoutUI),
    VENEER_CLASS(L"TileLayout", CTileLayoutUI),
    VENEER_CLASS(L"ChildLayout", CChildLayoutUI),
    VENEER_CLASS(L"ScrollBar", CScrollBarUI),
    VENEER_CLASS(L"ActiveX", CActiveXUI),
    VENEER_CLASS(L"WebBrowser", CWebBrowserUI),
    VENEER_CLASS(L"DateTime", CDateTimeUI),
    VENEER_CLASS(L"TreeView", CTreeViewUI),
    VENEER_CLASS(L"TreeNode", CTreeNodeUI),
    VENEER_CLASS(L"Gif", CGifAnimUI),
    VENEER_CLASS(L"MPng", CMpngAnimUI),
    VENEER_CLASS(L"PopUp", CUIPopUp),
    VENEER_CLASS(L"ButtonX", UIButtonX),
    VENEER_CLASS(L"OptionX", UIOptionX),
};
#undef VENEER_CLASS
static_assert(sizeof(kClassTable) / sizeof(kClassTable[0]) == 34);

// A control from a plug-in factory or the callback is charged as the
// largest class of the table.
size_t LargestClassBytes() {
  size_t largest = 0;
  for (const ClassEntry& entry : kClassTable) largest = std::max(largest, entry.bytes);
  return largest;
}

const ClassEntry* FindClass(const wchar_t* class_name) {
  if (class_name == nullptr) return nullptr;
  const size_t length = std::wcslen(class_name);
  for (const ClassEntry& entry : kClassTable) {
    if (entry.length == length && EqualsIgnoreCase(entry.name, class_name)) return &entry;
  }
  return nullptr;
}

std::vector<ControlFactory>& Factories() {
  static std::vector<ControlFactory> factories;
  return factories;
}

bool IsResourceElement(const wchar_t* name) {
  return EqualsIgnoreCase(name, L"Image") || EqualsIgnoreCase(name, L"Font") || EqualsIgnoreCase(name, L"Default") ||
         EqualsIgnoreCase(name, L"MultiLanguage");
}

// The value of an attribute whose name matches ignoring case, or null.
const wchar_t* FindAttribute(const CMarkupElement& node, const wchar_t* name) {
  int count = node.GetAttributeCount();
  for (int i = 0; i < count; ++i) {
    if (EqualsIgnoreCase(node.GetAttributeName(i), name)) return node.GetAttributeValue(i);
  }
  return nullptr;
}

bool FindBool(const CMarkupElement& node, const wchar_t* name) {
  const wchar_t* value = FindAttribute(node, name);
  return value != nullptr && ParseBoolIgnoreCase(value);
}

int FindDecimal(const CMarkupElement& node, const wchar_t* name, int fallback) {
  const wchar_t* value = FindAttribute(node, name);
  return value != nullptr ? ParseDecimal(value) : fallback;
}

size_t TextBytes(const wchar_t* text) { return text != nullptr ? std::wcslen(text) * sizeof(wchar_t) : 0; }

// What applying an attribute list costs: its pairs as attributes (each
// value is between two quotes).
size_t AttributeListBytes(const wchar_t* list) {
  size_t quotes = 0;
  for (const wchar_t* p = list; *p != L'\0'; ++p) quotes += *p == L'"' ? 1 : 0;
  return TextBytes(list) * kValueCopies + (quotes / 2) * kAttributeOverheadBytes;
}

// Whatever a scroll bar's attributes created counts as controls too.
size_t ScrollBarBytes(CControlUI* control) {
  auto* container = static_cast<CContainerUI*>(control->GetInterface(L"Container"));
  if (container == nullptr) return 0;
  const size_t bars =
      (container->GetVerticalScrollBar() != nullptr ? 1 : 0) + (container->GetHorizontalScrollBar() != nullptr ? 1 : 0);
  return bars * (sizeof(CScrollBarUI) + kControlOverheadBytes);
}

IContainerUI* AsContainer(CControlUI* control) {
  return control != nullptr ? static_cast<IContainerUI*>(control->GetInterface(L"IContainer")) : nullptr;
}

}  // namespace

CDialogBuilder::CDialogBuilder() = default;

CDialogBuilder::~CDialogBuilder() = default;

bool CDialogBuilder::TakeBytes(size_t bytes, const char* what) {
  if (budget_->TakeBytes(bytes)) return true;
  if (!budget_exceeded_) {
    BASEKIT_LOG(Failure, "skin needs more than the %lu bytes one build may load and copy (at %s); not built",
                static_cast<unsigned long>(BuildBudget::kMaxBytes), what);
  }
  budget_exceeded_ = true;
  return false;
}

bool CDialogBuilder::LoadFile(const wchar_t* name) {
  std::vector<uint8_t> bytes;
  FetchStatus status = CSkinResourcesUI::FetchFile(name, CMarkupDoc::kMaxFileBytes, &bytes);
  if (status != FetchStatus::kOk) {
    markup_.SetLoadError(FetchStatusMessage(status));  // the fetch has logged the cause
    return false;
  }
  if (!TakeBytes(bytes.size() * sizeof(wchar_t), "a skin file")) {
    markup_.SetLoadError(L"Build budget exceeded");
    return false;
  }
  return markup_.LoadFromMem(bytes.data(), bytes.size(), CMarkupDoc::kUtf8);
}

BuildBudget* CDialogBuilder::StartBudget(CPaintHostUI* host, BuildBudget* own) const {
  if (outer_budget_ != nullptr) return outer_budget_;
  if (host == nullptr) return own;
  // A window's skin is one build: the child layouts its tree builds while
  // it attaches go on from what this build left.
  host->GetBuildBudget().Reset();
  return &host->GetBuildBudget();
}

CControlUI* CDialogBuilder::Create(SkinSource xml, const wchar_t* type, IDialogBuilderCallback* callback,
                                   CPaintHostUI* host, CControlUI* parent) {
  BuildBudget own;
  budget_ = StartBudget(host, &own);
  budget_exceeded_ = false;
  // Every document a build brings in besides its first counts.
  if (outer_budget_ != nullptr && !budget_->TakeDocument()) {
    budget_ = nullptr;
    return nullptr;
  }
  bool loaded = false;
  if (xml.IsResourceId()) {
    ResourceBytes bytes;
    if (!LoadModuleResource(CSkinResourcesUI::GetResourceInstance(), xml.GetId(), type, &bytes)) {
      BASEKIT_LOG(Failure, "skin resource %u of type %s not found", xml.GetId(), ToLogText(type).c_str());
    } else if (TakeBytes(bytes.size * sizeof(wchar_t), "a skin resource")) {
      callback_ = callback;
      loaded = markup_.LoadFromMem(bytes.data, bytes.size, CMarkupDoc::kUtf8);  // a failure is logged there
      resource_type_ = type != nullptr ? type : L"";
      from_resource_ = true;
    }
  } else {
    const wchar_t* text = xml.GetText();
    if (text[0] == L'<') {
      loaded = TakeBytes(TextBytes(text), "skin markup") && markup_.Load(text);
    } else {
      // The fetch or the parser has logged why; the second attempt is
      // identical (a file being replaced may read whole the next time).
      loaded = LoadFile(text);
      if (!loaded && !budget_exceeded_) {
        BASEKIT_LOG(Progress, "skin %s not loaded; trying once more", ToLogText(text).c_str());
        loaded = LoadFile(text);
      }
    }
  }
  // The element table grows with the elements, not with the text's bytes.
  if (loaded) loaded = TakeBytes(markup_.GetElementTableBytes(), "the elements of a document");
  CControlUI* result = loaded ? Build(callback, host, parent) : nullptr;
  budget_ = nullptr;
  return result;
}

CControlUI* CDialogBuilder::Create(IDialogBuilderCallback* callback, CPaintHostUI* host, CControlUI* parent) {
  if (budget_ != nullptr) return Build(callback, host, parent);
  BuildBudget own;
  budget_ = StartBudget(host, &own);
  budget_exceeded_ = false;
  CControlUI* result = Build(callback, host, parent);
  budget_ = nullptr;
  return result;
}

CControlUI* CDialogBuilder::Build(IDialogBuilderCallback* callback, CPaintHostUI* host, CControlUI* parent) {
  callback_ = callback;
  CMarkupElement root = markup_.GetRoot();
  if (!root.IsValid()) {
    BASEKIT_LOG(Failure, "no document to build");
    return nullptr;
  }
  if (host != nullptr) {
    RegisterResources(root, host);
    ApplyWindowAttributes(root, host);
  }
  IContainerUI* container = AsContainer(parent);
  const int placed_before = container != nullptr ? container->GetCount() : 0;
  CControlUI* first = nullptr;
  const bool built = BuildLevel(root, parent, host, base_depth_, &first);
  if (budget_->IsBytesExceeded()) {
    budget_exceeded_ = true;
    // Nothing of a failed build stays: what it placed in the parent goes
    // too (a level without a parent has freed its own already).
    if (container != nullptr) {
      while (container->GetCount() > placed_before) container->RemoveAt(container->GetCount() - 1);
    }
    return nullptr;
  }
  return built ? first : nullptr;
}

void CDialogBuilder::RegisterResources(CMarkupElement root, CPaintHostUI* host) {
  CResourceTablesUI& tables = host->GetResources();
  for (CMarkupElement node = root.GetChild(); node.IsValid(); node = node.GetSibling()) {
    const wchar_t* name = node.GetName();
    if (EqualsIgnoreCase(name, L"Image")) {
      const wchar_t* image = FindAttribute(node, L"name");
      const wchar_t* type = FindAttribute(node, L"restype");
      if (type != nullptr && type[0] == L'\0') type = nullptr;
      const wchar_t* mask = FindAttribute(node, L"mask");
      if (image != nullptr &&
          tables.AddImage(image, type, ParseColor(mask), false, FindBool(node, L"shared")) == nullptr) {
        BASEKIT_LOG(Failure, "image %s not added", ToLogText(image).c_str());
      }
    } else if (EqualsIgnoreCase(name, L"Font")) {
      int id = FindDecimal(node, L"id", -1);
      const wchar_t* face = FindAttribute(node, L"name");
      if (id < 0 || face == nullptr) {
        BASEKIT_LOG(Lookup, "font without id or name ignored");
        continue;
      }
      int size = FindDecimal(node, L"size", 12);
      bool bold = FindBool(node, L"bold");
      bool underline = FindBool(node, L"underline");
      bool italic = FindBool(node, L"italic");
      bool shared = FindBool(node, L"shared");
      tables.AddFont(id, face, size, bold, underline, italic, shared);
      if (FindBool(node, L"default")) tables.SetDefaultFont(face, size, bold, underline, italic, shared);
    } else if (EqualsIgnoreCase(name, L"Default")) {
      const wchar_t* control = FindAttribute(node, L"name");
      const wchar_t* value = FindAttribute(node, L"value");
      if (control != nullptr) {
        tables.AddDefaultAttributeList(control, value != nullptr ? value : L"", FindBool(node, L"shared"));
      }
    } else if (EqualsIgnoreCase(name, L"MultiLanguage")) {
      int id = FindDecimal(node, L"id", -1);
      const wchar_t* value = FindAttribute(node, L"value");
      if (id >= 0 && value != nullptr) tables.AddMultiLanguageString(id, value);
    }
  }
}

void CDialogBuilder::ApplyWindowAttributes(CMarkupElement root, CPaintHostUI* host) {
  if (!EqualsIgnoreCase(root.GetName(), L"Window") || host->GetNativeWindow() == nullptr) return;
  DefaultColors& colors = host->GetDefaultColors();
  WindowSettings& settings = host->GetWindowSettings();
  int count = root.GetAttributeCount();
  for (int i = 0; i < count; ++i) {
    const wchar_t* name = root.GetAttributeName(i);
    const wchar_t* value = root.GetAttributeValue(i);
    if (EqualsIgnoreCase(name, L"size")) {
      UiSize size = ParseSize(value);
      host->SetInitSize(size.cx, size.cy);  // resizes the window as well
    } else if (EqualsIgnoreCase(name, L"sizebox")) {
      settings.size_box = ParseRect(value);
    } else if (EqualsIgnoreCase(name, L"caption")) {
      settings.caption = ParseRect(value);
    } else if (EqualsIgnoreCase(name, L"roundcorner")) {
      settings.round_corner = ParseSize(value);
    } else if (EqualsIgnoreCase(name, L"mininfo")) {
      settings.min_info = ParseSize(value);
    } else if (EqualsIgnoreCase(name, L"maxinfo")) {
      settings.max_info = ParseSize(value);
    } else if (EqualsIgnoreCase(name, L"showdirty")) {
      settings.show_update_rect = ParseBoolIgnoreCase(value);
    } else if (EqualsIgnoreCase(name, L"layerd")) {
      settings.layered = ParseBoolIgnoreCase(value);
    } else if (EqualsIgnoreCase(name, L"alpha")) {
      host->SetOpacity(ParseDecimal(value));  // sets the window's style as well
    } else if (EqualsIgnoreCase(name, L"bktrans")) {
      settings.background_transparent = ParseBoolIgnoreCase(value);
    } else if (EqualsIgnoreCase(name, L"disabledfontcolor")) {
      colors.disabled = ParseColor(value);
    } else if (EqualsIgnoreCase(name, L"defaultfontcolor")) {
      colors.normal = ParseColor(value);
    } else if (EqualsIgnoreCase(name, L"linkfontcolor")) {
      colors.link = ParseColor(value);
    } else if (EqualsIgnoreCase(name, L"linkhoverfontcolor")) {
      colors.link_hover = ParseColor(value);
    } else if (EqualsIgnoreCase(name, L"selectedcolor")) {
      colors.selected = ParseColor(value);
    }
  }
}

CControlUI* CDialogBuilder::CreateStandardControl(const wchar_t* class_name) {
  const ClassEntry* entry = FindClass(class_name);
  return entry != nullptr ? entry->make() : nullptr;
}

void CDialogBuilder::AddControlFactory(ControlFactory factory) {
  if (factory != nullptr) Factories().push_back(factory);
}

void CDialogBuilder::RemoveControlFactory(ControlFactory factory) {
  auto& factories = Factories();
  factories.erase(std::remove(factories.begin(), factories.end(), factory), factories.end());
}

ControlPtr CDialogBuilder::CreateControl(const wchar_t* class_name, size_t* bytes) {
  static const size_t kUnknownClassBytes = LargestClassBytes();
  if (const ClassEntry* entry = FindClass(class_name)) {
    *bytes = entry->bytes + kControlOverheadBytes;
    return ControlPtr(entry->make());
  }
  *bytes = kUnknownClassBytes + kControlOverheadBytes;
  for (ControlFactory factory : Factories()) {
    if (CControlUI* control = factory(class_name)) return ControlPtr(control);
  }
  if (callback_ != nullptr) return ControlPtr(callback_->CreateControl(class_name));
  return nullptr;
}

// Steps 8-10 of building an element: defaults, then the element's own
// attributes, while attached to the host (this control only, without
// initialisation). False when the byte budget ran out.
bool CDialogBuilder::ApplyAttributes(CControlUI* control, CMarkupElement node, const wchar_t* default_key, CControlUI*,
                                     CPaintHostUI* host) {
  bool ok = true;
  if (host != nullptr) {
    control->SetHostForAttributes(host);
    const wchar_t* defaults = host->GetResources().GetDefaultAttributeList(default_key);
    if (defaults != nullptr) {
      ok = TakeBytes(AttributeListBytes(defaults), "a default attribute list");
      if (ok) control->ApplyAttributeList(defaults);
    }
  }
  const int count = node.GetAttributeCount();
  for (int i = 0; ok && i < count; ++i) {
    const wchar_t* value = node.GetAttributeValue(i);
    ok = TakeBytes(TextBytes(value) * kValueCopies + kAttributeOverheadBytes, "an attribute value");
    if (ok) control->SetAttribute(node.GetAttributeName(i), value);
  }
  if (host != nullptr) control->SetHostForAttributes(nullptr);
  return ok && TakeBytes(ScrollBarBytes(control), "a scroll bar");
}

void CDialogBuilder::BuildInclude(CMarkupElement node, CControlUI* parent, CPaintHostUI* host, int depth) {
  if (!node.HasAttributes()) return;
  wchar_t value[kIncludeValueChars] = {};
  int count = 1;
  if (node.GetAttributeValue(L"count", value, kIncludeValueChars)) count = ParseDecimal(value);
  std::wmemset(value, L'\0', kIncludeValueChars);
  if (!node.GetAttributeValue(L"source", value, kIncludeValueChars)) {
    BASEKIT_LOG(Lookup, "Include without source ignored");
    return;
  }
  if (include_depth_ >= kMaxIncludeDepth) {
    BASEKIT_LOG(Failure, "Include of %s nested too deeply; ignored", ToLogText(value).c_str());
    return;
  }
  uint32_t resource_id = 0;
  if (from_resource_) {
    // A resource number names a 16-bit id; a larger one (or a negative one)
    // names nothing rather than some other resource.
    const int id = ParseDecimal(value);
    if (id < 0 || static_cast<uint32_t>(id) > kMaxResourceId) {
      BASEKIT_LOG(Failure, "Include of resource %s: no such resource id", ToLogText(value).c_str());
      return;
    }
    resource_id = static_cast<uint32_t>(id);
  }
  for (int i = 0; i < count; ++i) {
    if (budget_->IsBytesExceeded()) return;
    if (budget_->DocumentsLeft() <= 0) {
      BASEKIT_LOG(Failure, "more than %d included documents; Include of %s stopped", kMaxIncludes,
                  ToLogText(value).c_str());
      return;
    }
    CDialogBuilder builder;
    builder.include_depth_ = include_depth_ + 1;
    // The included controls sit at this level: their nesting goes on from
    // here, so that a chain of includes cannot nest without bound.
    builder.base_depth_ = depth;
    builder.outer_budget_ = budget_;
    ControlPtr control;
    if (from_resource_) {
      control.reset(builder.Create(SkinSource(resource_id), resource_type_.c_str(), callback_, host, parent));
    } else {
      control.reset(builder.Create(SkinSource(value), nullptr, callback_, host, parent));
    }
    if (control != nullptr && parent == nullptr) {
      // Without a parent nobody would own the included controls.
      BASEKIT_LOG(Lookup, "Include of %s without a parent dropped", ToLogText(value).c_str());
    } else {
      control.release();  // owned by the parent
    }
  }
}

bool CDialogBuilder::BuildTreeNode(CMarkupElement node, CControlUI* parent, CPaintHostUI* host, int depth) {
  // A node is two controls: itself and the row that holds its controls.
  if (!TakeBytes(sizeof(CTreeNodeUI) + sizeof(CHorizontalLayoutUI) + 2 * kControlOverheadBytes, "a tree node")) {
    return false;
  }
  auto* parent_node = parent != nullptr ? static_cast<CTreeNodeUI*>(parent->GetInterface(L"TreeNode")) : nullptr;
  auto* tree_node = new CTreeNodeUI();
  ControlPtr holder(tree_node);
  if (parent_node != nullptr) {
    if (!parent_node->AddChildNode(tree_node)) {
      BASEKIT_LOG(Failure, "tree node refused by its parent node");
      return true;
    }
    holder.release();
  }
  if (!ApplyAttributes(tree_node, node, L"TreeNode", parent, host)) return false;
  CControlUI* ignored = nullptr;
  if (node.HasChildren() && !BuildLevel(node, tree_node, host, depth + 1, &ignored) && budget_->IsBytesExceeded()) {
    return false;
  }
  if (parent_node == nullptr) {
    auto* view = parent != nullptr ? static_cast<CTreeViewUI*>(parent->GetInterface(L"TreeView")) : nullptr;
    if (view == nullptr) {
      BASEKIT_LOG(Failure, "TreeNode outside a TreeView");
      return false;
    }
    if (!view->Add(tree_node)) {
      BASEKIT_LOG(Failure, "tree node refused by its tree view");
      return true;
    }
    holder.release();
  }
  return true;
}

// Step 7: hands the control to its parent. False when it was not placed
// (it stays with the caller, who frees it); `level_failed` when the parent
// can hold no controls at all.
bool CDialogBuilder::PlaceControl(ControlPtr& control, CControlUI* parent, IContainerUI** container,
                                  const wchar_t* class_name, bool* level_failed) {
  if (parent == nullptr) return true;
  if (auto* parent_node = static_cast<CTreeNodeUI*>(parent->GetInterface(L"TreeNode"))) {
    if (!parent_node->GetTreeNodeHorizontal()->Add(control.get())) {
      BASEKIT_LOG(Failure, "tree node row refused %s", ToLogText(class_name).c_str());
      return false;
    }
    control.release();
    return true;
  }
  if (*container == nullptr) *container = AsContainer(parent);
  if (*container == nullptr) {
    BASEKIT_LOG(Failure, "%s placed in %s, which is no container", ToLogText(class_name).c_str(),
                ToLogText(parent->GetClass()).c_str());
    *level_failed = true;
    return false;
  }
  if (!(*container)->Add(control.get())) {
    BASEKIT_LOG(Failure, "container refused %s", ToLogText(class_name).c_str());
    return false;
  }
  control.release();
  return true;
}

bool CDialogBuilder::BuildLevel(CMarkupElement element, CControlUI* parent, CPaintHostUI* host, int depth,
                                CControlUI** first) {
  *first = nullptr;
  if (depth >= kMaxDepth) {
    BASEKIT_LOG(Failure, "elements nested deeper than %d skipped", kMaxDepth);
    return true;
  }
  // The level's result while nobody else owns it (no parent).
  ControlPtr unowned_first;
  auto fail = [&]() {
    *first = nullptr;
    return false;  // unowned_first frees the level's result
  };
  IContainerUI* container = nullptr;
  for (CMarkupElement node = element.GetChild(); node.IsValid(); node = node.GetSibling()) {
    if (budget_->IsBytesExceeded()) return fail();
    const wchar_t* class_name = node.GetName();
    if (IsResourceElement(class_name)) continue;
    if (EqualsIgnoreCase(class_name, L"Include")) {
      BuildInclude(node, parent, host, depth);
      continue;
    }
    if (EqualsIgnoreCase(class_name, L"TreeNode")) {
      if (!BuildTreeNode(node, parent, host, depth)) return fail();
      continue;
    }

    size_t control_bytes = 0;
    ControlPtr control = CreateControl(class_name, &control_bytes);
    if (control == nullptr) {
      BASEKIT_LOG(Lookup, "no control for element %s; skipped with its children", ToLogText(class_name).c_str());
      continue;
    }
    if (!TakeBytes(control_bytes, "a control")) return fail();
    if (node.HasChildren()) {
      CControlUI* ignored = nullptr;
      BuildLevel(node, control.get(), host, depth + 1, &ignored);
      if (budget_->IsBytesExceeded()) return fail();
    }
    CControlUI* placed = control.get();
    bool level_failed = false;
    if (!PlaceControl(control, parent, &container, class_name, &level_failed)) {
      if (level_failed) return fail();
      continue;
    }
    if (parent == nullptr && *first != nullptr) {
      // A second top-level control without a parent would have no owner.
      BASEKIT_LOG(Lookup, "extra top-level element %s dropped", ToLogText(class_name).c_str());
      continue;
    }
    if (!ApplyAttributes(placed, node, class_name, parent, host)) return fail();
    if (*first == nullptr) {
      *first = placed;
      if (parent == nullptr) unowned_first = std::move(control);
    }
  }
  unowned_first.release();  // handed to the caller
  return true;
}

}  // namespace Veneer
