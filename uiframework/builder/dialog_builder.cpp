#include "uiframework/builder/dialog_builder.h"

#include <algorithm>
#include <cwchar>
#include <vector>

#include "basekit/log/log.h"
#include "uiframework/core/attribute_values.h"
#include "uiframework/core/paint_host.h"
#include "uiframework/core/platform_hooks.h"
#include "uiframework/core/standard_controls.h"
#include "uiframework/core/text_conv.h"
#include "uiframework/resources/skin_resources.h"

namespace Veneer {

namespace {

constexpr const char* kLogSource = "dialog_builder";
// Include reads its attributes into buffers of this many characters.
constexpr size_t kIncludeValueChars = 500;

template <typename T>
CControlUI* Make() {
  return new T();
}

struct ClassEntry {
  const wchar_t* name;
  size_t length;
  CControlUI* (*make)();
};

#define VENEER_CLASS(name, type) {name, sizeof(name) / sizeof(wchar_t) - 1, &Make<type>}
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

}  // namespace

CDialogBuilder::CDialogBuilder() = default;

CDialogBuilder::~CDialogBuilder() = default;

CControlUI* CDialogBuilder::Create(SkinSource xml, const wchar_t* type, IDialogBuilderCallback* callback,
                                   CPaintHostUI* host, CControlUI* parent) {
  if (xml.IsResourceId()) {
    ResourceBytes bytes;
    if (!LoadModuleResource(CSkinResourcesUI::GetResourceInstance(), xml.GetId(), type, &bytes)) {
      basekit::LogPrintf(6, kLogSource, __LINE__, "skin resource %u of type %s not found", xml.GetId(),
                         ToLogText(type).c_str());
      return nullptr;
    }
    callback_ = callback;
    if (!markup_.LoadFromMem(bytes.data, bytes.size, CMarkupDoc::kUtf8)) {
      basekit::LogPrintf(6, kLogSource, __LINE__, "skin resource %u: %s", xml.GetId(),
                         ToLogText(markup_.GetLastErrorMessage()).c_str());
      return nullptr;
    }
    resource_type_ = type;
    from_resource_ = true;
  } else {
    const wchar_t* text = xml.GetText();
    if (text[0] == L'<') {
      if (!markup_.Load(text)) {
        basekit::LogPrintf(6, kLogSource, __LINE__, "skin markup: %s at \"%s\"",
                           ToLogText(markup_.GetLastErrorMessage()).c_str(),
                           ToLogText(markup_.GetLastErrorLocation()).c_str());
        return nullptr;
      }
    } else if (!markup_.LoadFromFile(text, CMarkupDoc::kUtf8)) {
      basekit::LogPrintf(6, kLogSource, __LINE__, "skin %s: %s; trying once more", ToLogText(text).c_str(),
                         ToLogText(markup_.GetLastErrorMessage()).c_str());
      if (!markup_.LoadFromFile(text, CMarkupDoc::kUtf8)) {
        basekit::LogPrintf(6, kLogSource, __LINE__, "skin %s: %s", ToLogText(text).c_str(),
                           ToLogText(markup_.GetLastErrorMessage()).c_str());
        return nullptr;
      }
    }
  }
  return Create(callback, host, parent);
}

CControlUI* CDialogBuilder::Create(IDialogBuilderCallback* callback, CPaintHostUI* host, CControlUI* parent) {
  callback_ = callback;
  CMarkupElement root = markup_.GetRoot();
  if (!root.IsValid()) {
    basekit::LogPrintf(6, kLogSource, __LINE__, "no document to build");
    return nullptr;
  }
  if (host != nullptr) {
    RegisterResources(root, host);
    ApplyWindowAttributes(root, host);
  }
  return BuildLevel(root, parent, host, base_depth_);
}

void CDialogBuilder::RegisterResources(CMarkupElement root, CPaintHostUI* host) {
  for (CMarkupElement node = root.GetChild(); node.IsValid(); node = node.GetSibling()) {
    const wchar_t* name = node.GetName();
    if (EqualsIgnoreCase(name, L"Image")) {
      const wchar_t* image = FindAttribute(node, L"name");
      const wchar_t* type = FindAttribute(node, L"restype");
      if (type != nullptr && type[0] == L'\0') type = nullptr;
      const wchar_t* mask = FindAttribute(node, L"mask");
      if (image != nullptr && host->AddImage(image, type, ParseColor(mask), false, FindBool(node, L"shared")) ==
                                  nullptr) {
        basekit::LogPrintf(6, kLogSource, __LINE__, "image %s not added", ToLogText(image).c_str());
      }
    } else if (EqualsIgnoreCase(name, L"Font")) {
      int id = FindDecimal(node, L"id", -1);
      const wchar_t* face = FindAttribute(node, L"name");
      if (id < 0 || face == nullptr) {
        basekit::LogPrintf(8, kLogSource, __LINE__, "font without id or name ignored");
        continue;
      }
      int size = FindDecimal(node, L"size", 12);
      bool bold = FindBool(node, L"bold");
      bool underline = FindBool(node, L"underline");
      bool italic = FindBool(node, L"italic");
      bool shared = FindBool(node, L"shared");
      host->AddFont(id, face, size, bold, underline, italic, shared);
      if (FindBool(node, L"default")) host->SetDefaultFont(face, size, bold, underline, italic, shared);
    } else if (EqualsIgnoreCase(name, L"Default")) {
      const wchar_t* control = FindAttribute(node, L"name");
      const wchar_t* value = FindAttribute(node, L"value");
      if (control != nullptr) host->AddDefaultAttributeList(control, value != nullptr ? value : L"", FindBool(node, L"shared"));
    } else if (EqualsIgnoreCase(name, L"MultiLanguage")) {
      int id = FindDecimal(node, L"id", -1);
      const wchar_t* value = FindAttribute(node, L"value");
      if (id >= 0 && value != nullptr) CPaintHostUI::AddMultiLanguageString(id, value);
    }
  }
}

void CDialogBuilder::ApplyWindowAttributes(CMarkupElement root, CPaintHostUI* host) {
  if (!EqualsIgnoreCase(root.GetName(), L"Window") || host->GetNativeWindow() == nullptr) return;
  int count = root.GetAttributeCount();
  for (int i = 0; i < count; ++i) {
    const wchar_t* name = root.GetAttributeName(i);
    const wchar_t* value = root.GetAttributeValue(i);
    DefaultColors& colors = host->GetDefaultColors();
    if (EqualsIgnoreCase(name, L"size")) {
      UiSize size = ParseSize(value);
      host->SetInitSize(size.cx, size.cy);
    } else if (EqualsIgnoreCase(name, L"sizebox")) {
      host->SetSizeBox(ParseRect(value));
    } else if (EqualsIgnoreCase(name, L"caption")) {
      host->SetCaptionRect(ParseRect(value));
    } else if (EqualsIgnoreCase(name, L"roundcorner")) {
      UiSize size = ParseSize(value);
      host->SetRoundCorner(size.cx, size.cy);
    } else if (EqualsIgnoreCase(name, L"mininfo")) {
      UiSize size = ParseSize(value);
      host->SetMinInfo(size.cx, size.cy);
    } else if (EqualsIgnoreCase(name, L"maxinfo")) {
      UiSize size = ParseSize(value);
      host->SetMaxInfo(size.cx, size.cy);
    } else if (EqualsIgnoreCase(name, L"showdirty")) {
      host->SetShowUpdateRect(ParseBoolIgnoreCase(value));
    } else if (EqualsIgnoreCase(name, L"layerd")) {
      host->SetLayered(ParseBoolIgnoreCase(value));
    } else if (EqualsIgnoreCase(name, L"alpha")) {
      host->SetOpacity(ParseDecimal(value));
    } else if (EqualsIgnoreCase(name, L"bktrans")) {
      host->SetBackgroundTransparent(ParseBoolIgnoreCase(value));
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
  if (class_name == nullptr) return nullptr;
  size_t length = std::wcslen(class_name);
  for (const ClassEntry& entry : kClassTable) {
    if (entry.length == length && EqualsIgnoreCase(entry.name, class_name)) return entry.make();
  }
  return nullptr;
}

void CDialogBuilder::AddControlFactory(ControlFactory factory) {
  if (factory != nullptr) Factories().push_back(factory);
}

void CDialogBuilder::RemoveControlFactory(ControlFactory factory) {
  auto& factories = Factories();
  factories.erase(std::remove(factories.begin(), factories.end(), factory), factories.end());
}

CControlUI* CDialogBuilder::CreateControl(const wchar_t* class_name) {
  if (CControlUI* control = CreateStandardControl(class_name)) return control;
  for (ControlFactory factory : Factories()) {
    if (CControlUI* control = factory(class_name)) return control;
  }
  if (callback_ != nullptr) return callback_->CreateControl(class_name);
  return nullptr;
}

// Steps 8-10 of building an element: defaults, then the element's own
// attributes, while attached to the host (without initialisation).
void CDialogBuilder::ApplyAttributes(CControlUI* control, CMarkupElement node, const wchar_t* default_key,
                                     CControlUI* parent, CPaintHostUI* host) {
  if (host != nullptr) {
    control->SetHost(host, parent, false);
    if (const wchar_t* defaults = host->GetDefaultAttributeList(default_key)) control->ApplyAttributeList(defaults);
  }
  int count = node.GetAttributeCount();
  for (int i = 0; i < count; ++i) control->SetAttribute(node.GetAttributeName(i), node.GetAttributeValue(i));
  if (host != nullptr) control->SetHost(nullptr, parent, false);
}

void CDialogBuilder::BuildInclude(CMarkupElement node, CControlUI* parent, CPaintHostUI* host, int depth) {
  if (!node.HasAttributes()) return;
  wchar_t value[kIncludeValueChars] = {};
  int count = 1;
  if (node.GetAttributeValue(L"count", value, kIncludeValueChars)) count = ParseDecimal(value);
  std::wmemset(value, L'\0', kIncludeValueChars);
  if (!node.GetAttributeValue(L"source", value, kIncludeValueChars)) {
    basekit::LogPrintf(8, kLogSource, __LINE__, "Include without source ignored");
    return;
  }
  if (include_depth_ >= kMaxIncludeDepth) {
    basekit::LogPrintf(6, kLogSource, __LINE__, "Include of %s nested too deeply; ignored", ToLogText(value).c_str());
    return;
  }
  for (int i = 0; i < count; ++i) {
    if (*shared_include_budget_ <= 0) {
      basekit::LogPrintf(6, kLogSource, __LINE__, "more than %d included documents; Include of %s stopped",
                         kMaxIncludes, ToLogText(value).c_str());
      return;
    }
    --*shared_include_budget_;
    CDialogBuilder builder;
    builder.include_depth_ = include_depth_ + 1;
    // The included controls sit at this level: their nesting goes on from
    // here, so that a chain of includes cannot nest without bound.
    builder.base_depth_ = depth;
    builder.shared_include_budget_ = shared_include_budget_;
    CControlUI* control;
    if (from_resource_) {
      auto id = static_cast<uint16_t>(ParseDecimal(value));
      control = builder.Create(SkinSource(static_cast<uint32_t>(id)), resource_type_.c_str(), callback_, host, parent);
    } else {
      control = builder.Create(SkinSource(value), nullptr, callback_, host, parent);
    }
    if (control != nullptr && parent == nullptr) {
      // Without a parent nobody would own the included controls.
      basekit::LogPrintf(8, kLogSource, __LINE__, "Include of %s without a parent dropped", ToLogText(value).c_str());
      control->Delete();
    }
  }
}

CControlUI* CDialogBuilder::BuildTreeNode(CMarkupElement node, CControlUI* parent, CPaintHostUI* host, int depth,
                                          bool* level_failed) {
  auto* parent_node = parent != nullptr ? static_cast<CTreeNodeUI*>(parent->GetInterface(L"TreeNode")) : nullptr;
  auto* tree_node = new CTreeNodeUI();
  if (parent_node != nullptr && !parent_node->AddChildNode(tree_node)) {
    basekit::LogPrintf(6, kLogSource, __LINE__, "tree node refused by its parent node");
    tree_node->Delete();
    return nullptr;
  }
  ApplyAttributes(tree_node, node, L"TreeNode", parent, host);
  if (node.HasChildren()) BuildLevel(node, tree_node, host, depth + 1);
  if (parent_node == nullptr) {
    auto* view = parent != nullptr ? static_cast<CTreeViewUI*>(parent->GetInterface(L"TreeView")) : nullptr;
    if (view == nullptr) {
      basekit::LogPrintf(6, kLogSource, __LINE__, "TreeNode outside a TreeView");
      tree_node->Delete();
      *level_failed = true;
      return nullptr;
    }
    if (!view->Add(tree_node)) {
      basekit::LogPrintf(6, kLogSource, __LINE__, "tree node refused by its tree view");
      tree_node->Delete();
      return nullptr;
    }
  }
  return tree_node;
}

CControlUI* CDialogBuilder::BuildLevel(CMarkupElement element, CControlUI* parent, CPaintHostUI* host, int depth) {
  if (depth >= kMaxDepth) {
    basekit::LogPrintf(6, kLogSource, __LINE__, "elements nested deeper than %d skipped", kMaxDepth);
    return nullptr;
  }
  CControlUI* result = nullptr;
  IContainerUI* container = nullptr;
  for (CMarkupElement node = element.GetChild(); node.IsValid(); node = node.GetSibling()) {
    const wchar_t* class_name = node.GetName();
    if (IsResourceElement(class_name)) continue;
    if (EqualsIgnoreCase(class_name, L"Include")) {
      BuildInclude(node, parent, host, depth);
      continue;
    }
    if (EqualsIgnoreCase(class_name, L"TreeNode")) {
      bool level_failed = false;
      BuildTreeNode(node, parent, host, depth, &level_failed);
      if (level_failed) {
        // Without a parent nobody else owns the level's first control.
        if (parent == nullptr && result != nullptr) result->Delete();
        return nullptr;
      }
      continue;
    }

    CControlUI* control = CreateControl(class_name);
    if (control == nullptr) {
      basekit::LogPrintf(8, kLogSource, __LINE__, "no control for element %s; skipped with its children",
                         ToLogText(class_name).c_str());
      continue;
    }
    if (node.HasChildren()) BuildLevel(node, control, host, depth + 1);

    if (parent != nullptr) {
      auto* parent_node = static_cast<CTreeNodeUI*>(parent->GetInterface(L"TreeNode"));
      if (parent_node != nullptr) {
        if (!parent_node->GetTreeNodeHorizontal()->Add(control)) {
          basekit::LogPrintf(6, kLogSource, __LINE__, "tree node row refused %s", ToLogText(class_name).c_str());
          control->Delete();
          continue;
        }
      } else {
        if (container == nullptr) container = static_cast<IContainerUI*>(parent->GetInterface(L"IContainer"));
        if (container == nullptr) {
          basekit::LogPrintf(6, kLogSource, __LINE__, "%s placed in %s, which is no container",
                             ToLogText(class_name).c_str(), ToLogText(parent->GetClass()).c_str());
          control->Delete();
          return nullptr;
        }
        if (!container->Add(control)) {
          basekit::LogPrintf(6, kLogSource, __LINE__, "container refused %s", ToLogText(class_name).c_str());
          control->Delete();
          continue;
        }
      }
    }

    ApplyAttributes(control, node, class_name, parent, host);
    if (result == nullptr) {
      result = control;
    } else if (parent == nullptr) {
      // A second top-level control without a parent would have no owner.
      basekit::LogPrintf(8, kLogSource, __LINE__, "extra top-level element %s dropped", ToLogText(class_name).c_str());
      control->Delete();
    }
  }
  return result;
}

}  // namespace Veneer
