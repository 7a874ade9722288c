#pragma once

// A container whose content is another skin file ("xmlfile"), built when
// the container is initialised in its window: the file's first top-level
// control becomes the only child. A file that cannot be built leaves the
// container empty. The file is built through the window's child-layout
// loader (CChildLayoutLoader without one); child layouts share their
// window's build budget, and their nesting counts towards the builder's
// depth limit.
// Thread affinity: UI thread only.

#include <string>

#include "uiframework/core/container.h"

namespace Veneer {

class CChildLayoutUI : public CContainerUI {
 public:
  // The nesting depth one level of child layouts counts for.
  static constexpr int kChildLayoutDepth = 8;

  const wchar_t* GetClass() const override;
  void* GetInterface(const wchar_t* name) override;
  void SetAttribute(const wchar_t* name, const wchar_t* value) override;
  void DoInit() override;

  const std::wstring& GetChildLayoutXML() const { return xml_file_; }
  void SetChildLayoutXML(const std::wstring& file) { xml_file_ = file; }

 private:
  std::wstring xml_file_;
};

}  // namespace Veneer
