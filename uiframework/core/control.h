#pragma once

// The control base. Every element of a skin becomes a CControlUI (or a
// subclass) created by the dialog builder, which calls only the operations
// declared here: class identity and interface queries, attribute handling,
// temporary attachment to a host and destruction. Layout, painting and
// events are added on top of this base.
//
// Ownership: a control is owned by its container, the root by its host;
// Delete() destroys a control that nobody owns yet.
// Thread affinity: UI thread only.

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace Veneer {

class CPaintHostUI;

class CControlUI {
 public:
  CControlUI();
  CControlUI(const CControlUI&) = delete;
  CControlUI& operator=(const CControlUI&) = delete;
  virtual ~CControlUI();

  // Destroys the control (and, for containers, its children).
  virtual void Delete();

  // The class name ("ControlUI", "LabelUI", ...).
  virtual const wchar_t* GetClass() const;
  // This object for its element name ("Control", "Label", ...; containers
  // also "IContainer"), else whatever the base class answers; null at the end.
  virtual void* GetInterface(const wchar_t* name);

  virtual const std::wstring& GetName() const;
  virtual void SetName(const std::wstring& name);
  virtual const std::wstring& GetText() const;
  virtual void SetText(const std::wstring& text);

  virtual CPaintHostUI* GetHost() const;
  virtual CControlUI* GetParent() const;
  // Attaches to (or, with a null host, detaches from) a host with the given
  // parent; initialises the control when `init` is set.
  virtual void SetHost(CPaintHostUI* host, CControlUI* parent, bool init);

  // Runs DoInit once the control is attached for real.
  virtual void Init();
  virtual void DoInit();

  // Handles one skin attribute (names are case-sensitive). Names a class
  // does not handle go to its base class; this base keeps every attribute
  // it is given (see GetAttribute) and handles "name" and "text".
  virtual void SetAttribute(const wchar_t* name, const wchar_t* value);
  // Applies a list written name="value" name="value" ...: the name runs to
  // "=", which must be followed by a double quote; the value runs to the
  // next double quote; exactly one blank separates two pairs. Anything else
  // ends the list.
  void ApplyAttributeList(const wchar_t* list);

  // The last value given for an attribute name, or null.
  const wchar_t* GetAttribute(const wchar_t* name) const;
  // Every attribute given, in order.
  const std::vector<std::pair<std::wstring, std::wstring>>& GetAttributeLog() const { return attributes_; }
  bool IsInitialized() const { return initialized_; }

 protected:
  CPaintHostUI* host_ = nullptr;
  CControlUI* parent_ = nullptr;
  std::wstring name_;
  std::wstring text_;
  bool initialized_ = false;

 private:
  std::vector<std::pair<std::wstring, std::wstring>> attributes_;
};

}  // namespace Veneer
