#pragma once

// Turns one skin document into a tree of controls: registers the
// document's images, fonts, default attribute lists and language strings
// with the window's host, applies the Window element's settings, and
// creates one control per element (by the class table, then the plug-in
// factories, then the callback), nesting them as the document nests them.
//
// Skins are untrusted: nesting is bounded (kMaxDepth, counted across
// included documents and child layouts), and one build may bring in at most
// BuildBudget's documents and bytes: document text and element tables,
// attribute values (twice: a value may be kept in two places) and every
// control created, at its size. A build that runs out of bytes fails as a
// whole: Create returns null and frees whatever it had built. A build for a
// host uses the host's budget, which the child layouts of its tree go on
// with while it attaches.
//
// A builder is used for one document. Thread affinity: UI thread only.

#include <cstdint>
#include <string>

#include "uiframework/builder/dialog_builder_callback.h"
#include "uiframework/core/control.h"
#include "uiframework/markup/markup_doc.h"
#include "uiframework/resources/build_budget.h"

namespace Veneer {

class CPaintHostUI;
class IContainerUI;

// A skin named by text (a file name, or markup starting with "<") or by a
// numbered module resource. As with the platform's resource names, any
// pointer value below 65536 is taken as a resource id. Resource ids are
// 16-bit: a larger number names resource 0, which no module has (it must
// never be taken for a text pointer).
class SkinSource {
 public:
  SkinSource(const wchar_t* text) : value_(reinterpret_cast<uintptr_t>(text)) {}  // NOLINT: implicit on purpose
  SkinSource(uint32_t id) : value_(id < 65536 ? id : 0) {}                        // NOLINT
  bool IsResourceId() const { return value_ < 65536; }
  uint32_t GetId() const { return static_cast<uint32_t>(value_); }
  const wchar_t* GetText() const { return reinterpret_cast<const wchar_t*>(value_); }

 private:
  uintptr_t value_;
};

// A plug-in factory: a new control for an element name, or null.
using ControlFactory = CControlUI* (*)(const wchar_t* class_name);

class CDialogBuilder {
 public:
  // Deepest element nesting built, counted across included documents and
  // child layouts; deeper subtrees are skipped.
  static constexpr int kMaxDepth = 256;
  // Deepest chain of Include elements (a skin including itself ends here).
  static constexpr int kMaxIncludeDepth = 16;
  // Most documents one build may load, all levels together, so that a
  // broken "count" cannot hang the window; further includes are skipped.
  static constexpr int kMaxIncludes = BuildBudget::kMaxDocuments;

  CDialogBuilder();
  CDialogBuilder(const CDialogBuilder&) = delete;
  CDialogBuilder& operator=(const CDialogBuilder&) = delete;
  ~CDialogBuilder();

  // Loads the document and builds it. `type` names the resource type when
  // xml is a resource id. A file that cannot be loaded is tried once more.
  // Returns the first control created at the top level (owned by `parent`
  // when given, else by the caller), or null.
  CControlUI* Create(SkinSource xml, const wchar_t* type = nullptr, IDialogBuilderCallback* callback = nullptr,
                     CPaintHostUI* host = nullptr, CControlUI* parent = nullptr);
  // Builds the already loaded document.
  CControlUI* Create(IDialogBuilderCallback* callback = nullptr, CPaintHostUI* host = nullptr,
                     CControlUI* parent = nullptr);

  // Builds within an outer budget (a window's child layouts share one)
  // instead of a fresh one per Create. The budget must outlive the build.
  void SetBudget(BuildBudget* budget) { outer_budget_ = budget; }
  // The nesting depth the document's top level starts at.
  void SetBaseDepth(int depth) { base_depth_ = depth; }
  // True when the last Create failed because the byte budget ran out.
  bool IsBudgetExceeded() const { return budget_exceeded_; }

  CMarkupDoc* GetMarkup() { return &markup_; }
  const wchar_t* GetLastErrorMessage() const { return markup_.GetLastErrorMessage(); }
  const wchar_t* GetLastErrorLocation() const { return markup_.GetLastErrorLocation(); }

  // The control classes of the element table (34 names, case ignored);
  // null for an unknown name.
  static CControlUI* CreateStandardControl(const wchar_t* class_name);

  // Process-wide plug-in factories, asked in registration order after the
  // class table and before the callback.
  static void AddControlFactory(ControlFactory factory);
  static void RemoveControlFactory(ControlFactory factory);

 private:
  bool LoadFile(const wchar_t* name);
  CControlUI* Build(IDialogBuilderCallback* callback, CPaintHostUI* host, CControlUI* parent);
  void RegisterResources(CMarkupElement root, CPaintHostUI* host);
  void ApplyWindowAttributes(CMarkupElement root, CPaintHostUI* host);
  // Builds the children of `element` into `parent`; false when the level
  // failed (its first control, if it had no parent, is freed).
  bool BuildLevel(CMarkupElement element, CControlUI* parent, CPaintHostUI* host, int depth, CControlUI** first);
  void BuildInclude(CMarkupElement node, CControlUI* parent, CPaintHostUI* host, int depth);
  bool BuildTreeNode(CMarkupElement node, CControlUI* parent, CPaintHostUI* host, int depth);
  bool PlaceControl(ControlPtr& control, CControlUI* parent, IContainerUI** container, const wchar_t* class_name,
                    bool* level_failed);
  // Also says what the control costs the budget.
  ControlPtr CreateControl(const wchar_t* class_name, size_t* bytes);
  // The budget of a Create: the outer one, else the host's (started
  // afresh), else `own`.
  BuildBudget* StartBudget(CPaintHostUI* host, BuildBudget* own) const;
  bool ApplyAttributes(CControlUI* control, CMarkupElement node, const wchar_t* default_key, CControlUI* parent,
                       CPaintHostUI* host);
  bool TakeBytes(size_t bytes, const char* what);

  CMarkupDoc markup_;
  IDialogBuilderCallback* callback_ = nullptr;
  std::wstring resource_type_;
  bool from_resource_ = false;
  int include_depth_ = 0;
  int base_depth_ = 0;
  BuildBudget* outer_budget_ = nullptr;
  BuildBudget* budget_ = nullptr;  // in effect during a Create
  bool budget_exceeded_ = false;
};

}  // namespace Veneer
