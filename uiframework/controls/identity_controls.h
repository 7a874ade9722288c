#pragma once

// The control classes of the skin vocabulary that no skin of the program
// uses: each answers its class name and its element name and otherwise
// behaves as its base (a control, label, button, option, progress bar or
// container). The tree view and tree node keep the structure the builder
// needs (a node holds a row of controls and child nodes).
// Thread affinity: UI thread only.

#include <cwchar>
#include <vector>

#include "uiframework/controls/button.h"
#include "uiframework/controls/label.h"
#include "uiframework/controls/option.h"
#include "uiframework/controls/progress.h"
#include "uiframework/core/container.h"
#include "uiframework/layout/horizontal_layout.h"
#include "uiframework/layout/vertical_layout.h"

namespace Veneer {

// Declares a minimal class with its class name and interface (element) name.
#define VENEER_MINIMAL_CONTROL(ClassType, BaseType, class_name, interface_name)   \
  class ClassType : public BaseType {                                             \
   public:                                                                        \
    const wchar_t* GetClass() const override { return class_name; }               \
    void* GetInterface(const wchar_t* name) override {                            \
      if (name != nullptr && std::wcscmp(name, interface_name) == 0) return this; \
      return BaseType::GetInterface(name);                                        \
    }                                                                             \
  }

VENEER_MINIMAL_CONTROL(CSliderUI, CProgressUI, L"SliderUI", L"Slider");
VENEER_MINIMAL_CONTROL(CEditUI, CLabelUI, L"EditUI", L"Edit");
VENEER_MINIMAL_CONTROL(CRichEditUI, CContainerUI, L"RichEditUI", L"RichEdit");
VENEER_MINIMAL_CONTROL(CComboUI, CContainerUI, L"ComboUI", L"Combo");
VENEER_MINIMAL_CONTROL(CTileLayoutUI, CContainerUI, L"TileLayoutUI", L"TileLayout");
VENEER_MINIMAL_CONTROL(CListUI, CVerticalLayoutUI, L"ListUI", L"List");
VENEER_MINIMAL_CONTROL(CListHeaderUI, CHorizontalLayoutUI, L"ListHeaderUI", L"ListHeader");
VENEER_MINIMAL_CONTROL(CListHeaderItemUI, CControlUI, L"ListHeaderItemUI", L"ListHeaderItem");
VENEER_MINIMAL_CONTROL(CListLabelElementUI, CControlUI, L"ListLabelElementUI", L"ListLabelElement");
VENEER_MINIMAL_CONTROL(CListTextElementUI, CListLabelElementUI, L"ListTextElementUI", L"ListTextElement");
VENEER_MINIMAL_CONTROL(CListContainerElementUI, CContainerUI, L"ListContainerElementUI", L"ListContainerElement");
VENEER_MINIMAL_CONTROL(CActiveXUI, CControlUI, L"ActiveXUI", L"ActiveX");
VENEER_MINIMAL_CONTROL(CWebBrowserUI, CActiveXUI, L"WebBrowserUI", L"WebBrowser");
VENEER_MINIMAL_CONTROL(CDateTimeUI, CLabelUI, L"DateTimeUI", L"DateTime");
VENEER_MINIMAL_CONTROL(CGifAnimUI, CControlUI, L"GifAnimUI", L"GifAnim");
VENEER_MINIMAL_CONTROL(CMpngAnimUI, CControlUI, L"MpngAnimUI", L"MPng");
VENEER_MINIMAL_CONTROL(CUIPopUp, CContainerUI, L"PopUpUI", L"PopUp");
VENEER_MINIMAL_CONTROL(UIButtonX, CButtonUI, L"ButtonXUI", L"ButtonX");
VENEER_MINIMAL_CONTROL(UIOptionX, COptionUI, L"OptionXUI", L"OptionX");

#undef VENEER_MINIMAL_CONTROL

class CTreeNodeUI;

// A tree view holds tree nodes only.
class CTreeViewUI : public CListUI {
 public:
  const wchar_t* GetClass() const override { return L"TreeViewUI"; }
  void* GetInterface(const wchar_t* name) override;
  bool AddAt(CControlUI* control, int index) override;
};

// A tree node: a row of controls (its horizontal layout) and child nodes,
// both owned by the node.
class CTreeNodeUI : public CListContainerElementUI {
 public:
  CTreeNodeUI();
  ~CTreeNodeUI() override;

  const wchar_t* GetClass() const override { return L"TreeNodeUI"; }
  void* GetInterface(const wchar_t* name) override;
  void SetHost(CPaintHostUI* host, CControlUI* parent, bool init) override;

  // Takes ownership on success; false for null, itself or a node already held.
  bool AddChildNode(CTreeNodeUI* node);
  int GetChildNodeCount() const { return static_cast<int>(child_nodes_.size()); }
  CTreeNodeUI* GetChildNode(int index) const;
  CTreeNodeUI* GetParentNode() const { return parent_node_; }
  // The row that holds the node's own controls.
  CHorizontalLayoutUI* GetTreeNodeHorizontal() const { return row_; }

 private:
  CHorizontalLayoutUI* row_;
  std::vector<CTreeNodeUI*> child_nodes_;
  CTreeNodeUI* parent_node_ = nullptr;
};

}  // namespace Veneer
